// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#pragma once

#include <QDialog>

class QGraphicsScene;
class Ui_VersionDialog;

// The About window: icon, program version and copyright line.
class VersionDialog : public QDialog
{
    Q_OBJECT

public:
    explicit VersionDialog(QWidget *parent = nullptr);
    ~VersionDialog() override;

private:
    Ui_VersionDialog *ui;
    QGraphicsScene *scene;
};
