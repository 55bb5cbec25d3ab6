// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "quitsignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

const int kQuitSignals[] = {SIGTERM, SIGHUP, SIGINT};
volatile sig_atomic_t signalPipeWriteEnd = -1;

void onQuitSignal(int signalNumber)
{
    const int savedErrno = errno;
    const char byte = static_cast<char>(signalNumber);
    // Non-blocking: when the pipe is full, a quit is already on its way.
    [[maybe_unused]] const ssize_t written = ::write(signalPipeWriteEnd, &byte, 1);
    errno = savedErrno;
}

} // namespace

QuitOnSignals::QuitOnSignals(QObject *parent)
    : QObject(parent)
    , pipeEnds {-1, -1}
    , notifier(nullptr)
{
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &QuitOnSignals::drainAndQuit);
    signalPipeWriteEnd = pipeEnds[1];
    struct sigaction action = {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : kQuitSignals)
        ::sigaction(signalNumber, &action, nullptr);
}

QuitOnSignals::~QuitOnSignals()
{
    if (!notifier)
        return;
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : kQuitSignals)
        ::sigaction(signalNumber, &action, nullptr);
    signalPipeWriteEnd = -1;
    delete notifier;
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
}

void QuitOnSignals::drainAndQuit()
{
    char bytes[16];
    while (::read(pipeEnds[0], bytes, sizeof bytes) > 0) { }
    QCoreApplication::quit();
}
