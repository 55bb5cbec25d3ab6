// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#pragma once

#include "printersource.h"
#include "versiondialog.h"

#include <QDialog>
#include <QMap>
#include <QString>
#include <memory>

class QGraphicsScene;
class StatusMonitor;
class Ui_StatusDialog;

// The monitor's main window: lists the QV-46 queues known to CUPS, watches the
// selected printer's status file and shows what it says.
class StatusDialog : public QDialog
{
    Q_OBJECT

public:
    // Without a printer source the window asks the CUPS scheduler.
    explicit StatusDialog(QWidget *parent = nullptr, PrinterSource *printers = nullptr);
    ~StatusDialog() override;

    bool eventFilter(QObject *watched, QEvent *event) override;

    void threadStart(QString statusFilePath);
    void threadQuit();
    void setUIOffline();
    void setUiParam(QString mediaSize, QString mediaDetails, int percent, QString picturePath,
        QString statusText, QString messageText, QString serial, QString totalCount,
        QString firmwareVersion);
    QString getMediaSizeString(QString code);
    QString getHalfMediaSizeString(QString code);
    QString getStatusMessageString(QString code);
    bool isRegisterPrinter();

public slots:
    void upDateStatus(QMap<QString, QString> status);
    void comboBox_indexChanged(int i);
    void push_update();
    void push_version();

private:
    void showPicture(const QString &picturePath);
    void refreshPrinterList();

    Ui_StatusDialog *ui;
    StatusMonitor *monitor;
    bool threadRunning;
    QMap<QString, QString> printerMap;
    QString serialNo;
    VersionDialog versionDialog;
    QString keptTotalCount;
    QString utilFilePath;
    QGraphicsScene *statusScene;
    std::unique_ptr<PrinterSource> ownPrinters;
    PrinterSource *printers;
};

// Remaining media in whole percent: single-precision quotient times 100,
// truncated (53 of 100 gives 52), held within the bar's 0 to 100.
int remainingPercent(int remain, int initial);

// Centres a top-level window in the free area of the primary screen.
void centreOnPrimaryScreen(QWidget *window);
