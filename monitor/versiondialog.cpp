#include "versiondialog.h"

#include "ui_versiondialog.h"

#include <QGraphicsScene>
#include <QPixmap>

namespace {

const char kProgramVersion[] = "1.0.0";
const char kCopyright[] = "\u00A9 VALDREN. All rights reserved.";
const int kIconSide = 80;

} // namespace

VersionDialog::VersionDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui_VersionDialog)
    , scene(new QGraphicsScene)
{
    ui->setupUi(this);
    ui->label_VersionNo->setText(tr("Version") + " " + kProgramVersion);
    ui->label_CopyRight->setText(kCopyright);

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
