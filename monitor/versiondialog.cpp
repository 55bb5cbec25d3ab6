#include "versiondialog.h"

#include "ui_versiondialog.h"

#include <QGraphicsScene>
#include <QPixmap>

namespace {

const char kProgramVersion[] = "1.0.0";
const int kIconSide = 80;

} // namespace

VersionDialog::VersionDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui_VersionDialog)
    , scene(new QGraphicsScene)
{
    ui->setupUi(this);
    ui->label_VersionNo->setText(tr("Version") + " " + kProgramVersion);
    // The licence is named in the reader's language; the maker's name is not.
    ui->label_CopyRight->setText(tr("\u00A9 VALDREN \u00B7 Apache License 2.0"));

    const QPixmap icon(":/images/printer_icon.png");
    scene->addPixmap(
        icon.scaled(kIconSide, kIconSide, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    ui->graphicsView->setScene(scene);
}

VersionDialog::~VersionDialog()
{
    delete scene;
    delete ui;
}
