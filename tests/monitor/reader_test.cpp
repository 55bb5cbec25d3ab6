// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The status reader against real files: shapes the daemon writes, shapes it
// might leave behind mid-write, and files that are missing or unreadable.
#include "statusmonitor.h"

#include "OtherUser.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using StatusMap = QMap<QString, QString>;

namespace {

// The 16 lines the daemon writes, with values to fill in.
QString statusFile(const QString &status, const QString &message, const QString &eol = "\n")
{
    const QStringList lines = {
        "#PRINTER_INFORMATION",
        "MODEL=\"QV-46\"",
        "PRINTER_STATUS=\"" + status + "\"",
        "PRINTER_MESSAGE=\"" + message + "\"",
        "PRINTER_VERSION=\"1.20\"",
        "PRINTER_SERIAL_NO=\"6A2041175\"",
        "",
        "#MEDIA_INFORMATION",
        "MEDIA_SIZE=\"00310\"",
        "MEDIA_INITIAL=\"50\"",
        "MEDIA_REMAIN=\"37\"",
        "MEDIA_REMAIN_HALF=\"74\"",
        "",
        "#COUNTER_INFORMATION",
        "TOTAL_COUNT=\"1286\"",
        "",
    };
    QString text;
    for (const QString &line : lines)
        text += line + eol;
    return text;
}

StatusMap fullMap()
{
    return {{"PRINTER_STATUS", "01100"}, {"PRINTER_MESSAGE", "00102"}, {"PRINTER_VERSION", "1.20"},
        {"PRINTER_SERIAL_NO", "6A2041175"}, {"MEDIA_SIZE", "00310"}, {"MEDIA_INITIAL", "50"},
        {"MEDIA_REMAIN", "37"}, {"MEDIA_REMAIN_HALF", "74"}, {"TOTAL_COUNT", "1286"}};
}

StatusMap offlineDefaults()
{
    return {{"PRINTER_STATUS", "99999"}, {"PRINTER_MESSAGE", "00006"}, {"PRINTER_VERSION", ""},
        {"PRINTER_SERIAL_NO", ""}, {"MEDIA_SIZE", ""}, {"MEDIA_INITIAL", ""}, {"MEDIA_REMAIN", ""},
        {"MEDIA_REMAIN_HALF", ""}, {"TOTAL_COUNT", ""}};
}

void writeFile(const QString &path, const QString &text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.toUtf8());
    // As the daemon leaves it, whatever the umask.
    QVERIFY(file.setPermissions(
        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
}

// A reader whose waits run a hook instead of sleeping.
class HookedReader : public StatusMonitor
{
public:
    HookedReader(const QString &path, std::function<void()> hook)
        : StatusMonitor(path, 60000, nullptr)
        , hook(std::move(hook))
    {
    }
    int pauses = 0;

protected:
    void pause(int milliseconds) override
    {
        QCOMPARE(milliseconds, 100);
        ++pauses;
        if (hook)
            hook();
    }

private:
    std::function<void()> hook;
};

} // namespace

class ReaderTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qRegisterMetaType<StatusMap>();
        QVERIFY(dir.isValid());
    }

    void createStatusMap_data();
    void createStatusMap();
    void missingFileGivesOfflineDefaultsAfterOneWait();
    void unopenableFileWaitsThreeTimes();
    void fifoIsNotOpened();
    void malformedFileIsReadAgainAfterTheWait();
    void timerDeliversMaps();
    void fileAnotherUserCouldWriteIsOffline_data();
    void fileAnotherUserCouldWriteIsOffline();

private:
    QString path() const { return dir.filePath("QV-46_reader.log"); }
    QTemporaryDir dir;
};

void ReaderTest::createStatusMap_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("result");
    QTest::addColumn<StatusMap>("expected");

    const QString good = statusFile("01100", "00102");
    QTest::newRow("daemon's file") << good << true << fullMap();
    QTest::newRow("CRLF line ends") << statusFile("01100", "00102", "\r\n") << true << fullMap();

    StatusMap emptyStatus = fullMap();
    emptyStatus["PRINTER_STATUS"] = "99999";
    QTest::newRow("empty status is offline") << statusFile("", "00102") << true << emptyStatus;

    QString versionReplaced = good;
    versionReplaced.replace("PRINTER_VERSION=\"1.20\"", "#SOMETHING_ELSE");
    QTest::newRow("missing key stops the search")
        << versionReplaced << true
        << StatusMap {{"PRINTER_STATUS", "01100"}, {"PRINTER_MESSAGE", "00102"}};

    QString swapped = good;
    swapped.replace("PRINTER_STATUS=\"01100\"\nPRINTER_MESSAGE=\"00102\"",
        "PRINTER_MESSAGE=\"00102\"\nPRINTER_STATUS=\"01100\"");
    QTest::newRow("key before its turn is lost")
        << swapped << true << StatusMap {{"PRINTER_STATUS", "01100"}};

    QString unclosed = good;
    unclosed.replace("PRINTER_VERSION=\"1.20\"", "PRINTER_VERSION=\"1.20 beta");
    StatusMap unclosedMap = fullMap();
    unclosedMap["PRINTER_VERSION"] = "1.20 beta";
    QTest::newRow("missing closing quote") << unclosed << true << unclosedMap;

    // The file is UTF-8 whatever the session's locale says.
    QString accented = good;
    accented.replace(
        "PRINTER_VERSION=\"1.20\"", QString::fromUtf8("PRINTER_VERSION=\"1.20 \u00e9t\u00e9\""));
    StatusMap accentedMap = fullMap();
    accentedMap["PRINTER_VERSION"] = QString::fromUtf8("1.20 \u00e9t\u00e9");
    QTest::newRow("UTF-8 value") << accented << true << accentedMap;

    QString bare = good;
    bare.replace("PRINTER_VERSION=\"1.20\"", "PRINTER_VERSION=1.20");
    StatusMap bareMap = fullMap();
    bareMap["PRINTER_VERSION"] = "";
    QTest::newRow("value without quotes is empty") << bare << true << bareMap;

    QString duplicateTotal = good;
    duplicateTotal.replace("TOTAL_COUNT=\"1286\"\n\n", "TOTAL_COUNT=\"1286\"\nTOTAL_COUNT=\"7\"\n");
    StatusMap lastTotal = fullMap();
    lastTotal["TOTAL_COUNT"] = "7";
    QTest::newRow("last key may repeat") << duplicateTotal << true << lastTotal;

    QTest::newRow("16 parts") << QString(good).remove(good.size() - 1, 1) << false << StatusMap();
    QTest::newRow("18 parts") << good + "\n" << false << StatusMap();
    QTest::newRow("empty file") << QString() << false << StatusMap();
    // Qt 5 reads text only up to a NUL, where Qt 6 goes on: either way the
    // file is not the daemon's.
    QTest::newRow("extra lines behind a NUL") << good + QChar(0) + "PRINTER_STATUS=\"00000\"\n"
                                              << false << StatusMap();

    // The right shape, but far bigger than the daemon ever writes.
    QString padded = good;
    padded.replace("#MEDIA_INFORMATION", "#" + QString(70000, 'x'));
    QTest::newRow("oversized file") << padded << false << StatusMap();
}

void ReaderTest::createStatusMap()
{
    QFETCH(QString, text);
    QFETCH(bool, result);
    QFETCH(StatusMap, expected);
    writeFile(path(), text);

    HookedReader reader(path(), nullptr);
    StatusMap map {{"stale", "value"}};
    QCOMPARE(reader.createStatusMap(map), result);
    QCOMPARE(map, expected);
    QCOMPARE(reader.pauses, 0);
}

void ReaderTest::missingFileGivesOfflineDefaultsAfterOneWait()
{
    HookedReader reader(dir.filePath("no-such.log"), nullptr);
    QCOMPARE(reader.getPrinterStatus(), offlineDefaults());
    QCOMPARE(reader.pauses, 1);
}

void ReaderTest::unopenableFileWaitsThreeTimes()
{
    // A directory exists but cannot be opened as a file, even by root.
    const QString folder = dir.filePath("QV-46_folder.log");
    QVERIFY(QDir().mkpath(folder));
    HookedReader reader(folder, nullptr);
    QCOMPARE(reader.getPrinterStatus(), offlineDefaults());
    QCOMPARE(reader.pauses, 3);
}

void ReaderTest::fifoIsNotOpened()
{
    // Opening a FIFO nobody writes to would block the window for good.
    const QString fifo = dir.filePath("QV-46_fifo.log");
    QCOMPARE(::mkfifo(fifo.toUtf8().constData(), 0600), 0);
    HookedReader reader(fifo, nullptr);
    QCOMPARE(reader.getPrinterStatus(), offlineDefaults());
    QCOMPARE(reader.pauses, 3);
}

void ReaderTest::malformedFileIsReadAgainAfterTheWait()
{
    // The daemon is half-way through a rewrite at the first read.
    writeFile(path(), "#PRINTER_INFORMATION\nMODEL=\"QV-46\"\n");
    HookedReader reader(path(), [this] { writeFile(path(), statusFile("01100", "00102")); });
    QCOMPARE(reader.getPrinterStatus(), fullMap());
    QCOMPARE(reader.pauses, 1);

    // Still malformed at the second read: the result is an empty map.
    writeFile(path(), "PRINTER_STATUS=\"00000\"\n");
    HookedReader stillBroken(path(), nullptr);
    QCOMPARE(stillBroken.getPrinterStatus(), StatusMap());
    QCOMPARE(stillBroken.pauses, 1);
}

void ReaderTest::timerDeliversMaps()
{
    writeFile(path(), statusFile("01100", "00102"));
    StatusMonitor reader(path(), 10, nullptr);
    QSignalSpy spy(&reader, &StatusMonitor::statusNotification);
    QVERIFY(spy.wait(5000));
    QCOMPARE(spy.first().first().value<StatusMap>(), fullMap());
}

// Any local user may create the status file's name in /tmp before the
// daemon does; only a file the daemon could have written is shown.
void ReaderTest::fileAnotherUserCouldWriteIsOffline_data()
{
    QTest::addColumn<bool>("byNobody");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("shown");
    QTest::newRow("root's, 0644") << false << 0644 << true;
    QTest::newRow("another user's") << true << 0644 << false;
    QTest::newRow("root's, writable by others") << false << 0666 << false;
    QTest::newRow("root's, writable by its group") << false << 0664 << false;
}

void ReaderTest::fileAnotherUserCouldWriteIsOffline()
{
    QFETCH(bool, byNobody);
    QFETCH(int, mode);
    QFETCH(bool, shown);
    if (::geteuid() != 0)
        QSKIP("needs root, to write as nobody");
    // In /tmp itself, where nobody may create files.
    const QString planted = QString("/tmp/QV-46_reader%1.log").arg(::getpid());
    QFile::remove(planted);
    const std::string text = statusFile("01100", "00102").toStdString();
    const auto write = [&] {
        return qv46test::WriteNewFile(planted.toStdString(), text, static_cast<mode_t>(mode));
    };
    QVERIFY(byNobody ? qv46test::AsNobody(write) : write());
    HookedReader reader(planted, nullptr);
    const StatusMap map = reader.getPrinterStatus();
    QFile::remove(planted);
    QCOMPARE(map, shown ? fullMap() : offlineDefaults());
}

QTEST_GUILESS_MAIN(ReaderTest)
#include "reader_test.moc"
