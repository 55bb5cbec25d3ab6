// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "versiondialog.h"

#include "ui_versiondialog.h"

#include <QGraphicsScene>
#include <QPixmap>

namespace {

// The maker's copyright line is a fixed text, never translated.
const char kCopyright[] = "\u00A9 VALDREN \u00B7 Apache License 2.0";

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
    ui->label_CopyRight->setText(QString::fromUtf8(kCopyright));

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
