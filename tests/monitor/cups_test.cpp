// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The printer list from a real CUPS scheduler: a private cupsd with a QV-46
// queue whose device URI carries a serial, and a queue of another printer.
#include "PrivateCupsd.h"
#include "statusdialog.h"
#include "statusmonitor.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QTranslator>
#include <QtTest>
#include <csignal>
#include <memory>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

int qInitResources_statusmonitor();

namespace {

QString label(const QWidget &dialog, const char *name)
{
    return dialog.findChild<QLabel *>(name)->text();
}

} // namespace

class CupsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void signalClosesLikeTheWindow_data();
    void signalClosesLikeTheWindow();
    void queueFromCupsIsListedAndWatched();

private:
    bool lpadmin(const std::vector<std::string> &args);

    std::unique_ptr<qv46test::PrivateCupsd> cupsd;
    QTranslator english;
    QString serial;
    QString queue;
};

bool CupsTest::lpadmin(const std::vector<std::string> &args)
{
    std::vector<std::string> argv = {"lpadmin"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string output;
    const int status = cupsd->Run(argv, &output);
    if (status != 0)
        qWarning("lpadmin failed (%d): %s", status, output.c_str());
    return status == 0;
}

void CupsTest::initTestCase()
{
    qRegisterMetaType<QMap<QString, QString>>();
    qInitResources_statusmonitor();
    QVERIFY(english.load(":/translations/localize_en"));
    QCoreApplication::installTranslator(&english);

    serial = QString("cups%1").arg(getpid());
    queue = QString("VALDREN-QV-46-%1").arg(getpid());
    if (std::string(QV46_BACKEND_PATH).empty() || access(QV46_BACKEND_PATH, X_OK) != 0)
        QSKIP("the valdren-zelbackend backend is not part of this build");
    qv46test::PrivateCupsd::Options options;
    options.extraBackends = {QV46_BACKEND_PATH};
    cupsd = std::make_unique<qv46test::PrivateCupsd>(options);
    std::string error;
    QVERIFY2(cupsd->Start(&error), error.c_str());
    cupsd->ApplyClientEnv(); // before this process's first libcups call

    const std::string uri = "valdren-zelbackend://VALDREN/QV-46?serial=" + serial.toStdString();
    QVERIFY(lpadmin({"-p", queue.toStdString(), "-v", uri, "-m", "VALDREN_QV-46.ppd", "-E"}));
    QVERIFY(lpadmin({"-p", "Office", "-v", "socket://127.0.0.1:9", "-m", "VALDREN_QV-46.ppd"}));
}

void CupsTest::cleanupTestCase()
{
    for (const char *suffix : {"_UTIL", "_TC_UTIL", ".log"})
        QFile::remove("/tmp/QV-46_" + serial + suffix);
    cupsd.reset();
}

void CupsTest::signalClosesLikeTheWindow_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
    QTest::newRow("SIGINT") << SIGINT;
}

// The real program, stopped as a session ends, takes its watch file away:
// otherwise the daemon polls the printer every second for good.
void CupsTest::signalClosesLikeTheWindow()
{
    QFETCH(int, signalNumber);
    const QString watchFile = "/tmp/QV-46_" + serial + "_UTIL";
    QFile::remove(watchFile);
    char *const argv[] = {const_cast<char *>(QV46_MONITOR_PATH), nullptr};
    pid_t pid = -1;
    QCOMPARE(posix_spawn(&pid, QV46_MONITOR_PATH, nullptr, nullptr, argv, environ), 0);
    // The deleter's type is fixed by the unique_ptr it belongs to.
    // cppcheck-suppress constParameterPointer
    const std::unique_ptr<pid_t, void (*)(pid_t *)> reaper(&pid, [](pid_t *child) {
        if (::waitpid(*child, nullptr, WNOHANG) == 0) { // still running: the test failed
            ::kill(*child, SIGKILL);
            ::waitpid(*child, nullptr, 0);
        }
    });
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(watchFile), 20000);

    QCOMPARE(::kill(pid, signalNumber), 0);
    int status = 0;
    pid_t ended = 0;
    for (int wait = 0; wait < 200 && ended == 0; ++wait) {
        QTest::qWait(50);
        ended = ::waitpid(pid, &status, WNOHANG);
    }
    QCOMPARE(ended, pid);
    QVERIFY(!QFile::exists(watchFile));
    QVERIFY2(WIFEXITED(status), "ended by the signal itself");
}

void CupsTest::queueFromCupsIsListedAndWatched()
{
    QFile status("/tmp/QV-46_" + serial + ".log");
    QVERIFY(status.open(QIODevice::WriteOnly | QIODevice::Truncate));
    status.write("#PRINTER_INFORMATION\nMODEL=\"QV-46\"\nPRINTER_STATUS=\"00001\"\n"
                 "PRINTER_MESSAGE=\"00002\"\nPRINTER_VERSION=\"1.20\"\n"
                 "PRINTER_SERIAL_NO=\""
        + serial.toUtf8()
        + "\"\n\n#MEDIA_INFORMATION\n"
          "MEDIA_SIZE=\"00301\"\nMEDIA_INITIAL=\"50\"\nMEDIA_REMAIN=\"40\"\n"
          "MEDIA_REMAIN_HALF=\"0\"\n\n#COUNTER_INFORMATION\nTOTAL_COUNT=\"321\"\n\n");
    status.close();

    StatusDialog dialog(nullptr); // the real CUPS source
    auto *list = dialog.findChild<QComboBox *>("printerComboBox");
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->itemText(0), queue);
    QVERIFY(dialog.isRegisterPrinter());
    QVERIFY(QFile::exists("/tmp/QV-46_" + serial + "_UTIL"));

    StatusMonitor *reader = dialog.findChild<StatusMonitor *>();
    QVERIFY(reader);
    QSignalSpy ticks(reader, &StatusMonitor::statusNotification);
    QVERIFY(ticks.wait(5000));
    QCOMPARE(label(dialog, "label_Status"), QString("Printing"));
    QCOMPARE(label(dialog, "label_SerialValue"), serial);
    QCOMPARE(label(dialog, "label_MediaSizeDetails"), QString("Prints left: 40 / 50"));
    QCOMPARE(label(dialog, "label_TCValue"), QString("321"));

    // Deleting the queue takes the count off the screen at the next reading.
    QVERIFY(lpadmin({"-x", queue.toStdString()}));
    QVERIFY(!dialog.isRegisterPrinter());
    QVERIFY(ticks.wait(5000));
    QCOMPARE(label(dialog, "label_TCValue"), QString("---"));

    QKeyEvent key(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QCoreApplication::sendEvent(list, &key);
    QCOMPARE(list->count(), 0);
    QCOMPARE(label(dialog, "label_Status"), QString("Offline"));
}

QTEST_MAIN(CupsTest)
#include "cups_test.moc"
