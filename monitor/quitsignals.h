// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGHUP and SIGINT (logout, a closed terminal, Ctrl+C) into
// a quit of the event loop, so the window closes as when the user closes it
// and takes its request files away. The handler only writes a byte to a
// pipe; the event loop reads it. One instance per process.
class QuitOnSignals : public QObject
{
    Q_OBJECT

public:
    explicit QuitOnSignals(QObject *parent = nullptr);
    ~QuitOnSignals() override;

private:
    void drainAndQuit();

    int pipeEnds[2];
    QSocketNotifier *notifier;
};
