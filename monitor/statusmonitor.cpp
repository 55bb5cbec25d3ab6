#include "statusmonitor.h"

#include <QFile>
#include <QStringList>
#include <QTextStream>
#include <QThread>
#include <QTimerEvent>

namespace {

// The daemon writes 16 lines, each ended by a line feed.
const int kStatusFileParts = 17;
const int kRetryWaitMs = 100;

// Keys in the order the daemon writes them; the reader only ever looks for
// the next one, so a key that is out of order is not found.
const char *const kKeys[] = {
    "PRINTER_STATUS", "PRINTER_MESSAGE", "PRINTER_VERSION", "PRINTER_SERIAL_NO", "MEDIA_SIZE",
    "MEDIA_INITIAL",  "MEDIA_REMAIN",    "MEDIA_REMAIN_HALF", "TOTAL_COUNT",
};
const int kKeyCount = sizeof(kKeys) / sizeof(kKeys[0]);

const char kOfflineStatus[] = "99999";
const char kConnectPrinterMessage[] = "00006";

void putDefaults(QMap<QString, QString> &map)
{
    for (const char *key : kKeys)
        map.insert(key, QString());
    map.insert("PRINTER_STATUS", kOfflineStatus);
    map.insert("PRINTER_MESSAGE", kConnectPrinterMessage);
}

} // namespace

StatusMonitor::StatusMonitor(QString filePath, int interval, QObject *parent)
    : QObject(parent), interval(interval), timerId(0), filePath(filePath)
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
    if (!file.open(QIODevice::ReadOnly)) {
        pause(kRetryWaitMs);
        if (!file.open(QIODevice::ReadOnly)) {
            putDefaults(map);
            return false;
        }
    }
    QTextStream stream(&file);
    stream.setCodec("UTF-8");
    const QString text = stream.readAll();
    file.close();

    const QStringList parts = text.split('\n', Qt::KeepEmptyParts, Qt::CaseSensitive);
    if (parts.size() != kStatusFileParts)
        return false;

    int k = 0;
    for (const QString &part : parts) {
        const QString key = QString::fromLatin1(kKeys[k]);
        if (!part.startsWith(key + '=', Qt::CaseSensitive))
            continue;
        // The value runs from the first quote to the next one; a line with
        // no quote at all carries no value.
        QString value = part.section('"', 1, 1);
        if (k == 0 && value.isEmpty())
            value = kOfflineStatus;
        map.insert(key, value);
        if (k < kKeyCount - 1)
            ++k;
    }
    return true;
}
