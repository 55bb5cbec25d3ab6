// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "statusmonitor.h"

#include <QFile>
#include <QStringList>
#include <QThread>
#include <QTimerEvent>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/TmpFiles.h"

namespace {

// The daemon writes 16 lines, each ended by a line feed.
const int kStatusFileParts = 17;
const int kRetryWaitMs = 100;
// Far above the daemon's 16 short lines; a bigger file cannot have their
// shape, and reading it whole on every tick could exhaust memory.
const qint64 kMaxStatusFileBytes = 64 * 1024;

// The reader only ever looks for the next key in the order the daemon
// writes them, so a key that is out of order is not found.
const int kKeyCount = sizeof(kStatusFileKeys) / sizeof(kStatusFileKeys[0]);
const QString kOfflineText = QString::number(kOfflineStatus);
const char kConnectPrinterMessage[] = "00006";

void putDefaults(QMap<QString, QString> &map)
{
    for (const char *key : kStatusFileKeys)
        map.insert(key, QString());
    map.insert(kKeyPrinterStatus, kOfflineText);
    map.insert(kKeyPrinterMessage, kConnectPrinterMessage);
}

// The name lives in the world-writable /tmp: a FIFO or a device planted
// there would block or never end a read, and another user may have made the
// file before the daemon. Only the daemon's own kind of file is read.
bool openStatusFile(QFile &file)
{
    const int fd = ::open(QFile::encodeName(file.fileName()).constData(),
        O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !IsPublishedFile(info, ::geteuid())
        || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    // cppcheck-suppress resourceLeak ; the QFile owns it now (AutoCloseHandle)
    return true;
}

} // namespace

StatusMonitor::StatusMonitor(QString filePath, int interval, QObject *parent)
    : QObject(parent)
    , interval(interval)
    , timerId(0)
    , filePath(filePath)
{
    timerId = startTimer(interval, Qt::CoarseTimer);
}

StatusMonitor::~StatusMonitor()
{
    killTimer(timerId);
}

void StatusMonitor::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != timerId)
        return;
    emit statusNotification(getPrinterStatus());
}

void StatusMonitor::pause(int milliseconds)
{
    QThread::msleep(milliseconds);
}

QMap<QString, QString> StatusMonitor::getPrinterStatus()
{
    QMap<QString, QString> map;
    if (!createStatusMap(map)) {
        pause(kRetryWaitMs);
        createStatusMap(map);
    }
    return map;
}

bool StatusMonitor::createStatusMap(QMap<QString, QString> &map)
{
    map.clear();
    if (!QFile::exists(filePath)) {
        putDefaults(map);
        return false;
    }
    QFile file(filePath);
    if (!openStatusFile(file)) {
        pause(kRetryWaitMs);
        if (!openStatusFile(file)) {
            putDefaults(map);
            return false;
        }
    }
    const QByteArray bytes = file.read(kMaxStatusFileBytes + 1);
    file.close();
    // Qt 5 would end the text at a NUL, and lines behind it would go unseen.
    if (bytes.size() > kMaxStatusFileBytes || bytes.contains('\0'))
        return false;
    const QString text = QString::fromUtf8(bytes);

    const QStringList parts = text.split('\n', Qt::KeepEmptyParts, Qt::CaseSensitive);
    if (parts.size() != kStatusFileParts)
        return false;

    int k = 0;
    for (const QString &part : parts) {
        const QString key = QString::fromLatin1(kStatusFileKeys[k]);
        if (!part.startsWith(key + '=', Qt::CaseSensitive))
            continue;
        // The value runs from the first quote to the next one; a line with
        // no quote at all carries no value.
        QString value = part.section('"', 1, 1);
        if (k == 0 && value.isEmpty())
            value = kOfflineText;
        map.insert(key, value);
        if (k < kKeyCount - 1)
            ++k;
    }
    return true;
}
