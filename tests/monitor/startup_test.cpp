// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Start-up: the catalogue chosen from the locale, the catalogues themselves,
// and the single-instance check against real processes.
#include "startup.h"

#include "OtherUser.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

int qInitResources_statusmonitor();

namespace {

const char kLicenceLine[] = "\u00A9 VALDREN \u00B7 Apache License 2.0";

const char kRestart[] = "Restart the printer and computer.\nIf the printer does not recover after "
                        "the restart, contact the service center.";

// Every key of the window's catalogue context, with its English text.
const struct
{
    const char *key;
    const char *english;
} kStatusDialogKeys[] = {
    {"QV-46 Information", "QV-46 Information"},
    {"0%", "0%"},
    {"50%", "50%"},
    {"100%", "100%"},
    {"st_00000", "Waiting"},
    {"st_00001", "Printing"},
    {"st_00500", "Cooling head"},
    {"st_00900", "Waiting (Power saving mode)"},
    {"st_01000", "Door open"},
    {"st_01010", "No Scrap box"},
    {"st_01100", "Paper end"},
    {"st_01200", "Ribbon end"},
    {"st_01300", "Paper jam"},
    {"st_01400", "Ribbon error"},
    {"st_01500", "Paper size setting error"},
    {"st_01600", "System error"},
    {"st_02000", "System error"},
    {"st_02100", "System error"},
    {"st_02200", "System error"},
    {"st_02300", "System error"},
    {"st_02400", "System error"},
    {"st_02500", "System error"},
    {"st_02600", "System error"},
    {"st_02610", "System error"},
    {"st_02700", "System error"},
    {"st_02800", "System error"},
    {"st_03000", "System error"},
    {"st_99999", "Offline"},
    {"ms_00001", " "},
    {"ms_00002", " "},
    {"ms_00003", "Please wait a while.\nPrinting will resume automatically."},
    {"ms_00004", " "},
    {"ms_00005", " "},
    {"ms_00006", "Connect the printer and computer, and turn on the power."},
    {"ms_00100", "Close the printer."},
    {"ms_00101", "Attach the scrap box."},
    {"ms_00102", "Load new media.\n(Replace the paper and ribbon as a set.)"},
    {"ms_00103", "Load new media.\n(Replace the paper and ribbon as a set.)"},
    {"ms_00104", "Remove the paper and reload it properly."},
    {"ms_00105", "Reload the ribbon properly."},
    {"ms_00106", "Check the paper size setting and ribbon size."},
    {"ms_00107", kRestart},
    {"ms_00108", "\n<< Incorrect media type has been loaded. >>"},
    {"size_00210", "5x7in"},
    {"size_00301", "6x4in"},
    {"size_00310", "6x8in"},
    {"size_00400", "6x9in"},
    {"5x3.5in", "5x3.5in"},
    {"6x4.5in", "6x4.5in"},
    {"select_printer", "Select printer"},
    {"statusGroupBox", "Printer Status"},
    {"mediaGroupTitle", "Media Info"},
    {"serialNoGroupBox", "Serial No."},
    {"fwGroupBox", "Firmware Version"},
    {"tcGroupBox", "Total Count"},
    {"updateButton", "Update"},
    {"About", "About"},
    {"prints_left", "Prints left"},
};

QString key(int code)
{
    return QString("ms_%1").arg(code, 5, 10, QChar('0'));
}

// Texts that may stay as in English: the blanks, the percent marks, and
// words some languages share.
bool mayEqualEnglish(const QString &lang, const QString &k)
{
    static const QStringList always
        = {"0%", "50%", "100%", "ms_00001", "ms_00002", "ms_00004", "ms_00005"};
    if (always.contains(k))
        return true;
    return (lang == "de" && k == "st_99999") || ((lang == "fr" || lang == "de") && k == "Version");
}

} // namespace

class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qInitResources_statusmonitor(); }
    void cleanup() { stopCopies(); }

    void catalogueForLocale_data();
    void catalogueForLocale();
    void everyCatalogueTranslatesEveryKey_data();
    void everyCatalogueTranslatesEveryKey();

    void singleInstance_data();
    void singleInstance();

private:
    std::vector<pid_t> children;
    void startCopy(const QString &program);
    void stopCopies();
};

void StartupTest::catalogueForLocale_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("catalogue");
    QTest::newRow("zh-Hant-TW") << "zh-Hant-TW"
                                << ":/translations/localize_zh";
    QTest::newRow("zh-CN") << "zh-CN"
                           << ":/translations/localize_zh";
    QTest::newRow("en-GB") << "en-GB"
                           << ":/translations/localize_en";
    QTest::newRow("fr-CA") << "fr-CA"
                           << ":/translations/localize_fr";
    QTest::newRow("de") << "de"
                        << ":/translations/localize_de";
    QTest::newRow("ja-JP") << "ja-JP"
                           << ":/translations/localize_ja";
    QTest::newRow("es-419") << "es-419"
                            << ":/translations/localize_es";
    QTest::newRow("pt-BR") << "pt-BR"
                           << ":/translations/localize_en";
    QTest::newRow("C locale") << "en-US-POSIX"
                              << ":/translations/localize_en";
    QTest::newRow("upper case does not match") << "JA"
                                               << ":/translations/localize_en";
    QTest::newRow("empty") << ""
                           << ":/translations/localize_en";
}

void StartupTest::catalogueForLocale()
{
    QFETCH(QString, locale);
    QFETCH(QString, catalogue);
    QCOMPARE(::catalogueForLocale(locale), catalogue);
}

void StartupTest::everyCatalogueTranslatesEveryKey_data()
{
    QTest::addColumn<QString>("lang");
    for (const char *lang : {"zh", "en", "fr", "de", "ja", "es"})
        QTest::newRow(lang) << lang;
}

void StartupTest::everyCatalogueTranslatesEveryKey()
{
    QFETCH(QString, lang);
    QTranslator catalogue;
    QVERIFY(catalogue.load(::catalogueForLocale(lang)));

    QList<QPair<QString, QString>> keys;
    for (const auto &k : kStatusDialogKeys)
        keys.append({k.key, QString::fromUtf8(k.english)});
    for (int code = 200; code <= 210; ++code)
        keys.append({key(code), kRestart});

    for (const auto &entry : keys) {
        const QByteArray k = entry.first.toUtf8();
        const QString text = catalogue.translate("StatusDialog", k.constData());
        QVERIFY2(!text.isEmpty(), qPrintable(lang + ": " + entry.first));
        if (lang == "en")
            QCOMPARE(text, entry.second);
        else if (!mayEqualEnglish(lang, entry.first))
            QVERIFY2(text != entry.second, qPrintable(lang + " untranslated: " + entry.first));
    }
    // Every ms_002xx says what ms_00107 says, in every language.
    QCOMPARE(catalogue.translate("StatusDialog", "ms_00205"),
        catalogue.translate("StatusDialog", "ms_00107"));
    QCOMPARE(catalogue.translate("StatusDialog", "0%"), QString("0%"));

    const QString title = catalogue.translate("VersionDialog", "QV-46 Information");
    QCOMPARE(title, catalogue.translate("StatusDialog", "QV-46 Information"));
    QVERIFY(!catalogue.translate("VersionDialog", "Version").isEmpty());
    // The copyright line is fixed text: no catalogue may translate it.
    QCOMPARE(catalogue.translate("VersionDialog", kLicenceLine), QString());
    if (lang == "en") {
        QCOMPARE(title, QString("QV-46 Information"));
        QCOMPARE(catalogue.translate("VersionDialog", "Version"), QString("Version"));
    }
}

void StartupTest::startCopy(const QString &program)
{
    const QByteArray path = program.toUtf8();
    char *const argv[] = {const_cast<char *>(path.constData()), nullptr};
    pid_t pid = -1;
    QCOMPARE(posix_spawn(&pid, path.constData(), nullptr, nullptr, argv, environ), 0);
    children.push_back(pid);
}

void StartupTest::stopCopies()
{
    for (pid_t pid : children) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    children.clear();
}

namespace {

// The kernel lists every flock() with the process that took it.
bool holdsFlock(pid_t pid)
{
    QFile locks("/proc/locks");
    if (!locks.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : locks.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 4 && fields[1] == "FLOCK" && fields[4].toInt() == pid)
            return true;
    }
    return false;
}

} // namespace

// Another local user can run anything under the monitor's name; only this
// user's own running monitor keeps a second one from starting.
void StartupTest::singleInstance_data()
{
    QTest::addColumn<bool>("ownMonitor");
    QTest::addColumn<int>("othersCopies");
    QTest::addColumn<bool>("refused");
    QTest::newRow("none") << false << 0 << false;
    QTest::newRow("another user's copies") << false << 3 << false;
    QTest::newRow("this user's monitor") << true << 0 << true;
    QTest::newRow("this user's monitor beside another user's copies") << true << 3 << true;
}

void StartupTest::singleInstance()
{
    QFETCH(bool, ownMonitor);
    QFETCH(int, othersCopies);
    QFETCH(bool, refused);
    if (::geteuid() != 0)
        QSKIP("needs root, to run copies as nobody");

    // Stand-ins for the monitor, run by nobody: a sleeping program under
    // the installed monitor's name.
    QTemporaryDir dir(QDir::tempPath() + "/qv46-monitor-startup-XXXXXX");
    QVERIFY(dir.isValid());
    const QFileDevice::Permissions everyone = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
        | QFile::ReadOther | QFile::ExeOther;
    QVERIFY(QFile::setPermissions(dir.path(), everyone));
    const QString installed = dir.filePath("valdren_qv46_status");
    QVERIFY(QFile::copy("/bin/sleep", installed));
    QVERIFY(QFile::setPermissions(installed, everyone));
    for (int i = 0; i < othersCopies; ++i) {
        const pid_t pid = qv46test::StartAsNobody({installed.toStdString(), "60"});
        QVERIFY(pid > 0);
        children.push_back(pid);
    }
    // The lock goes into this test's folder, for the real monitor too.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path()));
    if (ownMonitor) {
        startCopy(QV46_MONITOR_PATH);
        QTRY_VERIFY_WITH_TIMEOUT(holdsFlock(children.back()), 20000);
    }

    int lockFd = -1;
    const bool result = checkDoubleStartApp(installed.toUtf8().constData(), &lockFd);
    if (lockFd >= 0)
        ::close(lockFd);
    stopCopies();
    if (runtime.isNull())
        qunsetenv("XDG_RUNTIME_DIR");
    else
        qputenv("XDG_RUNTIME_DIR", runtime);
    QCOMPARE(result, refused);
}

QTEST_GUILESS_MAIN(StartupTest)
#include "startup_test.moc"
