// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#pragma once

#include <QMap>
#include <QObject>
#include <QString>

// Reads one printer's status file on a coarse timer and hands each reading
// on as a key -> value map. Lives on the GUI thread; it only reads the file.
class StatusMonitor : public QObject
{
    Q_OBJECT

public:
    StatusMonitor(QString filePath, int interval, QObject *parent);
    ~StatusMonitor() override;

    // One reading, retried once after 100 ms when the first one failed.
    QMap<QString, QString> getPrinterStatus();

    // Fills `map` from the file. False when the file is missing, unreadable
    // (then `map` holds the offline defaults) or not 17 parts (`map` empty).
    bool createStatusMap(QMap<QString, QString> &map);

signals:
    void statusNotification(QMap<QString, QString> status);

protected:
    void timerEvent(QTimerEvent *event) override;

    // The waits between attempts; tests replace them to change the file
    // while the reader would be asleep.
    virtual void pause(int milliseconds);

private:
    int interval;
    int timerId;
    QString filePath;
};
