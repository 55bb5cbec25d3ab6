// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The status window, driven the way the reader and the user drive it, with a
// fake printer list standing in for CUPS and real request files in /tmp.
#include "fakeprinters.h"
#include "requestfile.h"
#include "statusdialog.h"
#include "statusmonitor.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QStyle>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

int qInitResources_statusmonitor();

using StatusMap = QMap<QString, QString>;

namespace {

const QString kRestart = "Restart the printer and computer.\nIf the printer does not recover "
                         "after the restart, contact the service center.";
const QString kNewMedia = "Load new media.\n(Replace the paper and ribbon as a set.)";
const QString kWrongMedia = "\n<< Incorrect media type has been loaded. >>";
const QString kConnect = "Connect the printer and computer, and turn on the power.";

QString text(const QWidget &dialog, const char *name)
{
    if (auto *label = dialog.findChild<QLabel *>(name))
        return label->text();
    if (auto *button = dialog.findChild<QPushButton *>(name))
        return button->text();
    return "<no widget " + QString(name) + ">";
}

int bar(const QWidget &dialog)
{
    return dialog.findChild<QProgressBar *>("progressBar")->value();
}

QComboBox *printerList(const QWidget &dialog)
{
    return dialog.findChild<QComboBox *>("printerComboBox");
}

// The picture the status view shows, or a null image when it shows none.
QImage shownPicture(const QWidget &dialog)
{
    const QGraphicsScene *scene = dialog.findChild<QGraphicsView *>("graphicsView")->scene();
    if (!scene)
        return QImage();
    for (QGraphicsItem *item : scene->items()) {
        if (auto *pixmap = dynamic_cast<QGraphicsPixmapItem *>(item))
            return pixmap->pixmap().toImage();
    }
    return QImage();
}

QImage expectedPicture(const QString &file)
{
    const QPixmap full(":/images/" + file);
    return full.scaled(80, 80, Qt::IgnoreAspectRatio, Qt::FastTransformation).toImage();
}

StatusMap reading(const QString &status, const QString &message = "00001",
    const QString &size = "00301", const QString &initial = "50", const QString &remain = "30",
    const QString &half = "0")
{
    return {{"PRINTER_STATUS", status}, {"PRINTER_MESSAGE", message}, {"PRINTER_VERSION", "1.20"},
        {"PRINTER_SERIAL_NO", "6A2041175"}, {"MEDIA_SIZE", size}, {"MEDIA_INITIAL", initial},
        {"MEDIA_REMAIN", remain}, {"MEDIA_REMAIN_HALF", half}, {"TOTAL_COUNT", "1286"}};
}

QString statusFileText(const StatusMap &m)
{
    return "#PRINTER_INFORMATION\nMODEL=\"QV-46\"\n"
           "PRINTER_STATUS=\""
        + m["PRINTER_STATUS"] + "\"\nPRINTER_MESSAGE=\"" + m["PRINTER_MESSAGE"]
        + "\"\nPRINTER_VERSION=\"" + m["PRINTER_VERSION"] + "\"\nPRINTER_SERIAL_NO=\""
        + m["PRINTER_SERIAL_NO"] + "\"\n\n#MEDIA_INFORMATION\nMEDIA_SIZE=\"" + m["MEDIA_SIZE"]
        + "\"\nMEDIA_INITIAL=\"" + m["MEDIA_INITIAL"] + "\"\nMEDIA_REMAIN=\"" + m["MEDIA_REMAIN"]
        + "\"\nMEDIA_REMAIN_HALF=\"" + m["MEDIA_REMAIN_HALF"]
        + "\"\n\n#COUNTER_INFORMATION\nTOTAL_COUNT=\"" + m["TOTAL_COUNT"] + "\"\n\n";
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool exists(const QString &path)
{
    struct stat st;
    return ::lstat(path.toUtf8().constData(), &st) == 0;
}

mode_t modeOf(const QString &path)
{
    struct stat st;
    return ::lstat(path.toUtf8().constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

QString watchFile(const QString &serial)
{
    return "/tmp/QV-46_" + serial + "_UTIL";
}
QString countFile(const QString &serial)
{
    return "/tmp/QV-46_" + serial + "_TC_UTIL";
}
QString statusFile(const QString &serial)
{
    return "/tmp/QV-46_" + serial + ".log";
}

// The printer application's words (printer-app/strings): the glossary's rows
// by key and language, the texts no page may show by language ("*" for
// all), and the app's catalogue of a language, which holds the monitor's
// state and stock words as the app shows them.
struct Glossary
{
    QMap<QString, QMap<QString, QString>> words;
    QMultiMap<QString, QString> avoid;
};

const QString kAppStrings = QString(QV46_SOURCE_DIR) + "/printer-app/strings/";
const char *const kLanguages[] = {"en", "de", "es", "fr", "ja", "zh"};

Glossary readGlossary()
{
    Glossary glossary;
    QFile file(kAppStrings + "glossary.tsv");
    if (!file.open(QIODevice::ReadOnly))
        return glossary;
    for (const QString &line : QString::fromUtf8(file.readAll()).split('\n')) {
        const QStringList fields = line.split('\t');
        if (fields.size() == 8 && fields[0] == "word") {
            for (int i = 0; i < 6; ++i)
                glossary.words[fields[1]][kLanguages[i]] = fields[2 + i];
        } else if (fields.size() >= 3 && fields[0] == "avoid") {
            glossary.avoid.insert(fields[1], fields[2]);
        }
    }
    return glossary;
}

QMap<QString, QString> appCatalogue(const QString &lang)
{
    QMap<QString, QString> texts;
    QFile file(kAppStrings + lang + ".strings");
    if (!file.open(QIODevice::ReadOnly))
        return texts;
    const QRegularExpression pair("^\"((?:[^\"\\\\]|\\\\.)*)\" = \"((?:[^\"\\\\]|\\\\.)*)\";$",
        QRegularExpression::MultilineOption);
    const QRegularExpression escape("\\\\(.)");
    auto it = pair.globalMatch(QString::fromUtf8(file.readAll()));
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        texts[QString(match.captured(1)).replace(escape, "\\1")]
            = QString(match.captured(2)).replace(escape, "\\1");
    }
    return texts;
}

} // namespace

class DialogTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void statusCodes_data();
    void statusCodes();
    void messageCodes_data();
    void messageCodes();
    void mediaSizes_data();
    void mediaSizes();
    void mediaLineAndPercent_data();
    void mediaLineAndPercent();
    void unrecognisedMedia_data();
    void unrecognisedMedia();
    void offlineReadingShowsOfflineState_data();
    void offlineReadingShowsOfflineState();
    void totalCountIsKeptUntilPrinterSwitch();
    void totalCountNeedsARegisteredQueue();

    void watchFileFollowsSelection();
    void reselectingKeepsTheWatchFile();
    void updateWritesCountRequest();
    void enterPressesUpdate();
    void requestFilesDoNotFollowLinks();
    void requestFileAtAFifoDoesNotBlock();
    void requestFilePathIsBounded_data();
    void requestFilePathIsBounded();
    void overlongSerialGivesNoRequestFile();
    void uriEndingInSerialMarkerKeepsSerial();
    void serialIsReadFromTheUriAsTheDaemonWroteIt_data();
    void serialIsReadFromTheUriAsTheDaemonWroteIt();

    void onlyQv46QueuesAreListed();
    void instancesCollapseOnRefresh();
    void statusFileIsShownAndQueueRemovalNoticed();
    void noQueueShowsOffline();

    void formLayout();
    void aboutWindow();

    void speaksThePrinterApplicationsWords_data();
    void speaksThePrinterApplicationsWords();

private:
    QString newSerial() { return QString("mon%1-%2").arg(getpid()).arg(++serialCount); }

    QTranslator english;
    int serialCount = 0;
};

void DialogTest::initTestCase()
{
    qRegisterMetaType<StatusMap>();
    qInitResources_statusmonitor();
    QVERIFY(english.load(":/translations/localize_en"));
    QCoreApplication::installTranslator(&english);
}

void DialogTest::cleanup()
{
    for (int i = 1; i <= serialCount; ++i) {
        const QString serial = QString("mon%1-%2").arg(getpid()).arg(i);
        for (const QString &path : {watchFile(serial), countFile(serial), statusFile(serial)})
            ::unlink(path.toUtf8().constData());
    }
}

// --- what a reading shows ---------------------------------------------------

void DialogTest::statusCodes_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("expectedText");
    QTest::addColumn<QString>("picture");
    QTest::addColumn<bool>("countsAtZero");

    const struct
    {
        const char *code, *text, *picture;
        bool zero;
    } rows[] = {
        {"00000", "Waiting", "PrtStsIdle.bmp", false},
        {"00001", "Printing", "PrtStsPrinting.bmp", false},
        {"00500", "Cooling head", "PrtStsCooling.bmp", false},
        {"00900", "Waiting (Power saving mode)", "PrtStsIdle.bmp", false},
        {"01000", "Door open", "PrtStsCoverOpen.bmp", false},
        {"01010", "No Scrap box", "PrtStsNoScrapBox.bmp", false},
        {"01100", "Paper end", "PrtStsPaperEnd.bmp", true},
        {"01200", "Ribbon end", "PrtStsRibbonEnd.bmp", true},
        {"01300", "Paper jam", "PrtStsPaperJam.bmp", false},
        {"01400", "Ribbon error", "PrtStsRibbonErr.bmp", false},
        {"01500", "Paper size setting error", "PrtStsPaperErr.bmp", false},
        {"01600", "System error", "PrtStsSystemErr01.bmp", false},
        {"02000", "System error", "PrtStsSystemErr01.bmp", false},
        {"02100", "System error", "PrtStsSystemErr01.bmp", false},
        {"02200", "System error", "PrtStsSystemErr01.bmp", false},
        {"02300", "System error", "PrtStsSystemErr01.bmp", false},
        {"02400", "System error", "PrtStsSystemErr01.bmp", false},
        {"02500", "System error", "PrtStsSystemErr01.bmp", false},
        {"02600", "System error", "PrtStsSystemErr01.bmp", false},
        {"02610", "System error", "PrtStsSystemErr01.bmp", false},
        {"02700", "System error", "PrtStsSystemErr01.bmp", false},
        {"02800", "System error", "PrtStsSystemErr01.bmp", false},
        {"03000", "System error", "PrtStsSystemErr01.bmp", false},
        {"01234", "System error", "PrtStsSystemErr01.bmp", false},
        {"00002", "System error", "PrtStsSystemErr01.bmp", false},
        {"not a number", "Waiting", "PrtStsIdle.bmp", false},
    };
    for (const auto &row : rows)
        QTest::newRow(row.code) << row.code << row.text << row.picture << row.zero;
}

void DialogTest::statusCodes()
{
    QFETCH(QString, code);
    QFETCH(QString, expectedText);
    QFETCH(QString, picture);
    QFETCH(bool, countsAtZero);

    FakePrinters printers;
    printers.addQv46("VALDREN-QV-46", newSerial());
    StatusDialog dialog(nullptr, &printers);
    dialog.upDateStatus(reading(code));

    QCOMPARE(text(dialog, "label_Status"), expectedText);
    const QImage shown = shownPicture(dialog);
    QCOMPARE(shown.size(), QSize(80, 80));
    QCOMPARE(shown, expectedPicture(picture));
    QCOMPARE(text(dialog, "label_MediaSizeDetails"),
        countsAtZero ? QString("Prints left: 0 / 50") : QString("Prints left: 30 / 50"));
    QCOMPARE(bar(dialog), countsAtZero ? 0 : 60);
    QCOMPARE(text(dialog, "label_SerialValue"), QString("6A2041175"));
    QCOMPARE(text(dialog, "label_FWValue"), QString("1.20"));
    QCOMPARE(text(dialog, "label_TCValue"), QString("1286"));
}

void DialogTest::messageCodes_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("expected");

    QTest::newRow("1") << "00001"
                       << " ";
    QTest::newRow("2") << "00002"
                       << " ";
    QTest::newRow("3") << "00003"
                       << "Please wait a while.\nPrinting will resume automatically.";
    QTest::newRow("4") << "00004"
                       << " ";
    QTest::newRow("5") << "00005"
                       << " ";
    QTest::newRow("6") << "00006" << kConnect;
    QTest::newRow("100") << "00100"
                         << "Close the printer.";
    QTest::newRow("101") << "00101"
                         << "Attach the scrap box.";
    QTest::newRow("102") << "00102" << kNewMedia;
    QTest::newRow("103") << "00103" << kNewMedia;
    QTest::newRow("104") << "00104"
                         << "Remove the paper and reload it properly.";
    QTest::newRow("105") << "00105"
                         << "Reload the ribbon properly.";
    QTest::newRow("106") << "00106"
                         << "Check the paper size setting and ribbon size.";
    QTest::newRow("107") << "00107" << kRestart;
    QTest::newRow("108") << "00108" << kWrongMedia;
    for (int code = 200; code <= 210; ++code)
        QTest::addRow("%d", code) << QString("%1").arg(code, 5, 10, QChar('0')) << kRestart;
    QTest::newRow("unlisted 150") << "00150" << kRestart;
    QTest::newRow("zero") << "00000" << kRestart;
    QTest::newRow("negative") << "-3" << kRestart;
    QTest::newRow("not a number") << "abc" << kRestart;
    QTest::newRow("empty") << ""
                           << "";
}

void DialogTest::messageCodes()
{
    QFETCH(QString, code);
    QFETCH(QString, expected);

    FakePrinters printers;
    printers.addQv46("VALDREN-QV-46", newSerial());
    StatusDialog dialog(nullptr, &printers);
    dialog.upDateStatus(reading("00000", code));
    QCOMPARE(text(dialog, "label_StatusMessage"), expected);
}

void DialogTest::mediaSizes_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("line");

    QTest::newRow("210") << "00210"
                         << "5x7in"
                         << "Prints left: 25 / 50 (5x3.5in: 50)";
    QTest::newRow("301") << "00301"
                         << "6x4in"
                         << "Prints left: 25 / 50";
    QTest::newRow("310") << "00310"
                         << "6x8in"
                         << "Prints left: 25 / 50 (6x4in: 50)";
    QTest::newRow("400") << "00400"
                         << "6x9in"
                         << "Prints left: 25 / 50 (6x4.5in: 50)";
}

void DialogTest::mediaSizes()
{
    QFETCH(QString, code);
    QFETCH(QString, size);
    QFETCH(QString, line);

    FakePrinters printers;
    printers.addQv46("VALDREN-QV-46", newSerial());
    StatusDialog dialog(nullptr, &printers);
    dialog.upDateStatus(reading("00000", "00001", code, "50", "25", "50"));
    QCOMPARE(text(dialog, "label_MediaSize"), size);
    QCOMPARE(text(dialog, "label_MediaSizeDetails"), line);
    QCOMPARE(bar(dialog), 50);
}

void DialogTest::mediaLineAndPercent_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("initial");
    QTest::addColumn<QString>("remain");
    QTest::addColumn<QString>("half");
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("percent");

    QTest::newRow("two-up") << "00000"
                            << "00310"
                            << "50"
                            << "25"
                            << "50"
                            << "Prints left: 25 / 50 (6x4in: 50)" << 50;
    QTest::newRow("leading zeros") << "00000"
                                   << "00310"
                                   << "0050"
                                   << "0025"
                                   << "0050"
                                   << "Prints left: 25 / 50 (6x4in: 50)" << 50;
    QTest::newRow("53 of 100") << "00000"
                               << "00301"
                               << "100"
                               << "53"
                               << "0"
                               << "Prints left: 53 / 100" << 52;
    QTest::newRow("1 of 3") << "00000"
                            << "00301"
                            << "3"
                            << "1"
                            << "0"
                            << "Prints left: 1 / 3" << 33;
    QTest::newRow("full") << "00000"
                          << "00301"
                          << "50"
                          << "50"
                          << "0"
                          << "Prints left: 50 / 50" << 100;
    QTest::newRow("paper end") << "01100"
                               << "00310"
                               << "50"
                               << "0"
                               << "0"
                               << "Prints left: 0 / 50 (6x4in: 0)" << 0;
    // Paper and ribbon are replaced as a set: the count the printer keeps
    // for the roll it ran out of is no print left.
    QTest::newRow("paper end zeroes counts") << "01100"
                                             << "00310"
                                             << "50"
                                             << "36"
                                             << "72"
                                             << "Prints left: 0 / 50 (6x4in: 0)" << 0;
    QTest::newRow("ribbon end zeroes counts") << "01200"
                                              << "00301"
                                              << "50"
                                              << "30"
                                              << "0"
                                              << "Prints left: 0 / 50" << 0;
    QTest::newRow("ribbon end two-up") << "01200"
                                       << "00310"
                                       << "50"
                                       << "30"
                                       << "60"
                                       << "Prints left: 0 / 50 (6x4in: 0)" << 0;
    QTest::newRow("no initial") << "00000"
                                << "00310"
                                << ""
                                << "25"
                                << "50"
                                << "Prints left: --- / ---" << 0;
    QTest::newRow("no remain") << "00000"
                               << "00310"
                               << "50"
                               << ""
                               << "50"
                               << "Prints left: --- / ---" << 0;
    QTest::newRow("initial 0, single") << "00000"
                                       << "00301"
                                       << "0"
                                       << "0"
                                       << "0"
                                       << "Prints left: --- / ---" << 0;
    QTest::newRow("initial 0, two-up") << "00000"
                                       << "00310"
                                       << "0"
                                       << "0"
                                       << "0"
                                       << "Prints left: --- / --- (6x4in: ---)" << 0;
    // The bar ignores values out of its range; it must not keep the last one.
    QTest::newRow("remain above initial") << "00000"
                                          << "00301"
                                          << "50"
                                          << "75"
                                          << "0"
                                          << "Prints left: 75 / 50" << 100;
    QTest::newRow("negative remain") << "00000"
                                     << "00301"
                                     << "50"
                                     << "-5"
                                     << "0"
                                     << "Prints left: -5 / 50" << 0;
    QTest::newRow("huge remain") << "00000"
                                 << "00301"
                                 << "1"
                                 << "2000000000"
                                 << "0"
                                 << "Prints left: 2000000000 / 1" << 100;
}

void DialogTest::mediaLineAndPercent()
{
    QFETCH(QString, status);
    QFETCH(QString, size);
    QFETCH(QString, initial);
    QFETCH(QString, remain);
    QFETCH(QString, half);
    QFETCH(QString, line);
    QFETCH(int, percent);

    FakePrinters printers;
    printers.addQv46("VALDREN-QV-46", newSerial());
    StatusDialog dialog(nullptr, &printers);
    dialog.upDateStatus(reading("00000", "00001", "00301", "50", "30", "0"));
    QCOMPARE(bar(dialog), 60);

    dialog.upDateStatus(reading(status, "00001", size, initial, remain, half));
    QCOMPARE(text(dialog, "label_MediaSizeDetails"), line);
    QCOMPARE(bar(dialog), percent);
}

void DialogTest::unrecognisedMedia_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("percent");

    QTest::newRow("waiting, size 999")
        << "00000"
        << "00999" << QString(" \n") + kWrongMedia << "Prints left: 0 / 50" << 0;
    QTest::newRow("paper end, no size")
        << "01100"
        << "" << kNewMedia + "\n" + kWrongMedia << "Prints left: 0 / 50" << 0;
    QTest::newRow("jam, size 999")
        << "01300"
        << "00999" << kNewMedia + "\n" + kWrongMedia << "Prints left: 0 / 50" << 0;
    QTest::newRow("system error: no note") << "01600"
                                           << "00999" << kNewMedia << "Prints left: 30 / 50" << 60;
    QTest::newRow("ribbon end: no note") << "01200"
                                         << "00999" << kNewMedia << "Prints left: 0 / 50" << 0;
}

void DialogTest::unrecognisedMedia()
{
    QFETCH(QString, status);
    QFETCH(QString, size);
    QFETCH(QString, message);
    QFETCH(QString, line);
    QFETCH(int, percent);

    FakePrinters printers;
    printers.addQv46("VALDREN-QV-46", newSerial());
    StatusDialog dialog(nullptr, &printers);
    const QString messageCode = status == "00000" ? "00001" : "00102";
    dialog.upDateStatus(reading(status, messageCode, size));
    QCOMPARE(text(dialog, "label_MediaSize"), QString("---"));
    QCOMPARE(text(dialog, "label_StatusMessage"), message);
    QCOMPARE(text(dialog, "label_MediaSizeDetails"), line);
    QCOMPARE(bar(dialog), percent);
}

void DialogTest::offlineReadingShowsOfflineState_data()
{
    QTest::addColumn<StatusMap>("map");
    QTest::newRow("status 99999 with values") << reading("99999", "00102", "00310");
    QTest::newRow("empty map (malformed file)") << StatusMap();
    QTest::newRow("empty status value") << reading("", "00102", "00310");
}

void DialogTest::offlineReadingShowsOfflineState()
{
    QFETCH(StatusMap, map);
    FakePrinters printers;
    printers.addQv46("VALDREN-QV-46", newSerial());
    StatusDialog dialog(nullptr, &printers);
    dialog.upDateStatus(reading("01100", "00102", "00310", "50", "25", "50"));
    QCOMPARE(text(dialog, "label_Status"), QString("Paper end"));

    dialog.upDateStatus(map);
    QCOMPARE(text(dialog, "label_Status"), QString("Offline"));
    QCOMPARE(text(dialog, "label_StatusMessage"), kConnect);
    QCOMPARE(text(dialog, "label_MediaSize"), QString("---"));
    QCOMPARE(text(dialog, "label_MediaSizeDetails"), QString("Prints left: --- / ---"));
    QCOMPARE(bar(dialog), 0);
    QCOMPARE(shownPicture(dialog), expectedPicture("PrtStsOffline.bmp"));
    for (const char *name : {"label_SerialValue", "label_FWValue", "label_TCValue"})
        QCOMPARE(text(dialog, name), QString("---"));
}

void DialogTest::totalCountIsKeptUntilPrinterSwitch()
{
    FakePrinters printers;
    printers.addQv46("VALDREN-QV-46", newSerial());
    printers.addQv46("VALDREN-QV-46-2", newSerial());
    StatusDialog dialog(nullptr, &printers);

    StatusMap map = reading("00000");
    map["TOTAL_COUNT"] = "000123";
    dialog.upDateStatus(map);
    QCOMPARE(text(dialog, "label_TCValue"), QString("123"));

    map["TOTAL_COUNT"] = "";
    dialog.upDateStatus(map);
    QCOMPARE(text(dialog, "label_TCValue"), QString("123"));
    dialog.upDateStatus(reading("99999"));
    dialog.upDateStatus(map);
    QCOMPARE(text(dialog, "label_TCValue"), QString("123"));

    map["TOTAL_COUNT"] = "12a";
    dialog.upDateStatus(map);
    QCOMPARE(text(dialog, "label_TCValue"), QString("123"));

    printerList(dialog)->setCurrentIndex(1);
    map["TOTAL_COUNT"] = "";
    dialog.upDateStatus(map);
    QCOMPARE(text(dialog, "label_TCValue"), QString("---"));
    map["TOTAL_COUNT"] = "7";
    dialog.upDateStatus(map);
    QCOMPARE(text(dialog, "label_TCValue"), QString("7"));
}

void DialogTest::totalCountNeedsARegisteredQueue()
{
    FakePrinters printers;
    printers.addQv46("VALDREN-QV-46", newSerial());
    StatusDialog dialog(nullptr, &printers);
    printers.list.clear(); // the queue was deleted from CUPS
    dialog.upDateStatus(reading("00000"));
    QCOMPARE(text(dialog, "label_Status"), QString("Waiting"));
    QCOMPARE(text(dialog, "label_SerialValue"), QString("6A2041175"));
    QCOMPARE(text(dialog, "label_TCValue"), QString("---"));
}

// --- request files ----------------------------------------------------------

void DialogTest::watchFileFollowsSelection()
{
    const QString first = newSerial(), second = newSerial();
    FakePrinters printers;
    printers.addQv46("VALDREN-QV-46", first);
    printers.addQv46("VALDREN-QV-46-2", second);

    const mode_t oldMask = ::umask(022);
    {
        StatusDialog dialog(nullptr, &printers);
        QVERIFY(exists(watchFile(first)));
        QCOMPARE(modeOf(watchFile(first)), mode_t(0666));
        QVERIFY(!exists(watchFile(second)));

        printerList(dialog)->setCurrentIndex(1);
        QVERIFY(!exists(watchFile(first)));
        QVERIFY(exists(watchFile(second)));
        QCOMPARE(modeOf(watchFile(second)), mode_t(0666));
        QVERIFY(dialog.findChild<StatusMonitor *>());
    }
    ::umask(oldMask);
    QVERIFY(!exists(watchFile(first)));
    QVERIFY(!exists(watchFile(second)));
}

void DialogTest::reselectingKeepsTheWatchFile()
{
    const QString serial = newSerial();
    FakePrinters printers;
    printers.addQv46("VALDREN-QV-46", serial);
    StatusDialog dialog(nullptr, &printers);
    QVERIFY(writeFile(watchFile(serial), "mark"));

    dialog.comboBox_indexChanged(0);
    QCOMPARE(readFile(watchFile(serial)), QByteArray("mark"));
    QCOMPARE(dialog.findChildren<StatusMonitor *>().size(), 1);
}

void DialogTest::updateWritesCountRequest()
{
    const QString serial = newSerial();
    FakePrinters printers;
    printers.addQv46("VALDREN-QV-46", serial);
    {
        StatusDialog dialog(nullptr, &printers);
        QVERIFY(!exists(countFile(serial)));
        const mode_t oldMask = ::umask(077);
        dialog.findChild<QPushButton *>("updateButton")->click();
        ::umask(oldMask);
        QVERIFY(exists(countFile(serial)));
        QCOMPARE(modeOf(countFile(serial)), mode_t(0666));
    }
    // The daemon consumes the count request; the window leaves it alone.
    QVERIFY(exists(countFile(serial)));
}

void DialogTest::enterPressesUpdate()
{
    const QString serial = newSerial();
    FakePrinters printers;
    printers.addQv46("VALDREN-QV-46", serial);
    StatusDialog dialog(nullptr, &printers);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClick(printerList(dialog), Qt::Key_Return);
    QVERIFY(exists(countFile(serial)));
}

void DialogTest::requestFilesDoNotFollowLinks()
{
    QTemporaryDir victimDir;
    QVERIFY(victimDir.isValid());
    const QString victim = victimDir.filePath("precious");
    QVERIFY(writeFile(victim, "precious data"));
    QVERIFY(QFile::setPermissions(victim, QFile::ReadOwner | QFile::WriteOwner));

    const QString serial = newSerial();
    QVERIFY(QFile::link(victim, watchFile(serial)));
    QVERIFY(QFile::link(victim, countFile(serial)));
    {
        FakePrinters printers;
        printers.addQv46("VALDREN-QV-46", serial);
        StatusDialog dialog(nullptr, &printers);
        dialog.push_update();
    }
    QCOMPARE(readFile(victim), QByteArray("precious data"));
    QCOMPARE(modeOf(victim), mode_t(0600));
    // Not created, so not ours to delete either.
    QVERIFY(QFileInfo(watchFile(serial)).isSymLink());
    QVERIFY(QFileInfo(countFile(serial)).isSymLink());
}

void DialogTest::requestFileAtAFifoDoesNotBlock()
{
    // Nobody reads the planted FIFO: opening it for writing must not wait.
    const QString serial = newSerial();
    QCOMPARE(::mkfifo(watchFile(serial).toUtf8().constData(), 0600), 0);
    QCOMPARE(::mkfifo(countFile(serial).toUtf8().constData(), 0600), 0);
    {
        FakePrinters printers;
        printers.addQv46("VALDREN-QV-46", serial);
        StatusDialog dialog(nullptr, &printers);
        dialog.push_update();
        QVERIFY(dialog.findChild<StatusMonitor *>()); // still watching the status file
    }
    // Not created, so not ours to delete either.
    QVERIFY(exists(watchFile(serial)));
    QCOMPARE(modeOf(countFile(serial)), mode_t(0600));
}

void DialogTest::requestFilePathIsBounded_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("watchPath");
    QTest::addColumn<QString>("countPath");

    const QString fits111 = QString(111, 'A'); // "/tmp/QV-46_" + 111 + "_UTIL" = 127
    const QString fits108 = QString(108, 'B'); // the longest for "_TC_UTIL"
    QTest::newRow("ordinary") << "6A2041175"
                              << "/tmp/QV-46_6A2041175_UTIL"
                              << "/tmp/QV-46_6A2041175_TC_UTIL";
    const QString prefix = "/tmp/QV-46_";
    QTest::newRow("watch fits exactly") << fits111 << prefix + fits111 + "_UTIL" << QString();
    QTest::newRow("count fits exactly")
        << fits108 << prefix + fits108 + "_UTIL" << prefix + fits108 + "_TC_UTIL";
    QTest::newRow("one byte too long") << QString(112, 'C') << ""
                                       << "";
    // The buffer counts bytes: 56 two-byte characters are 112 bytes.
    QTest::newRow("multibyte too long") << QString(56, QChar(0xE9)) << ""
                                        << "";
    QTest::newRow("empty") << ""
                           << ""
                           << "";
    QTest::newRow("slash leaves /tmp") << "../home/x"
                                       << ""
                                       << "";
}

void DialogTest::requestFilePathIsBounded()
{
    QFETCH(QString, serial);
    QFETCH(QString, watchPath);
    QFETCH(QString, countPath);
    QCOMPARE(requestFilePath(RequestKind::Watch, serial), watchPath);
    QCOMPARE(requestFilePath(RequestKind::TotalCount, serial), countPath);
}

void DialogTest::overlongSerialGivesNoRequestFile()
{
    const QString serial = newSerial() + QString(200, 'L');
    FakePrinters printers;
    printers.addQv46("VALDREN-QV-46", serial);
    StatusDialog dialog(nullptr, &printers);
    dialog.push_update();
    // Nothing was created under any prefix of the name either.
    QVERIFY(!exists(watchFile(serial)));
    QVERIFY(!exists(QString("/tmp/QV-46_" + serial).left(127)));
    // No daemon serves such a serial, so there is no status file to watch.
    QVERIFY(!dialog.findChild<StatusMonitor *>());
    QCOMPARE(text(dialog, "label_Status"), QString("Offline"));
}

void DialogTest::uriEndingInSerialMarkerKeepsSerial()
{
    const QString serial = newSerial();
    FakePrinters printers;
    printers.addQv46("VALDREN-QV-46", serial);
    printers.addQv46("VALDREN-QV-46-2", "");
    {
        StatusDialog dialog(nullptr, &printers);
        printerList(dialog)->setCurrentIndex(1);
        QCOMPARE(text(dialog, "label_Status"), QString("Offline"));
        QVERIFY(!dialog.findChild<StatusMonitor *>());
        QVERIFY(exists(watchFile(serial)));
        dialog.push_update(); // still the first printer's serial
        QVERIFY(exists(countFile(serial)));
    }
    QVERIFY(!exists(watchFile(serial)));
}

void DialogTest::serialIsReadFromTheUriAsTheDaemonWroteIt_data()
{
    QTest::addColumn<QString>("uriTail"); // after "serial="; "#" stands for a unique part
    QTest::addColumn<QString>("serial"); // empty: no serial, offline
    QTest::newRow("encoded") << "#%20x%2541"
                             << "# x%41";
    QTest::newRow("raw space of an older queue") << "# x"
                                                 << "# x";
    QTest::newRow("encoded slash") << "..%2F..%2F#"
                                   << "";
    QTest::newRow("raw slash") << "../../#"
                               << "";
}

void DialogTest::serialIsReadFromTheUriAsTheDaemonWroteIt()
{
    QFETCH(QString, uriTail);
    QFETCH(QString, serial);
    const QString unique = newSerial();
    FakePrinters printers;
    printers.addQv46("VALDREN-QV-46", uriTail.replace('#', unique));
    StatusDialog dialog(nullptr, &printers);
    QCOMPARE(bool(dialog.findChild<StatusMonitor *>()), !serial.isEmpty());
    if (serial.isEmpty())
        QCOMPARE(text(dialog, "label_Status"), QString("Offline"));
    else
        QVERIFY(exists(watchFile(serial.replace('#', unique))));
}

// --- the printer list -------------------------------------------------------

void DialogTest::onlyQv46QueuesAreListed()
{
    FakePrinters printers;
    printers.add("Office", "ipp://office.example/ipp/print");
    printers.add("NoUri", "");
    printers.add("", "valdren-zelbackend://VALDREN/QV-46?serial=" + newSerial());
    printers.addQv46("VALDREN-QV-46", newSerial());
    printers.add("Other-model", "valdren-zelbackend://VALDREN/QV-99?serial=1");
    StatusDialog dialog(nullptr, &printers);
    QCOMPARE(printerList(dialog)->count(), 1);
    QCOMPARE(printerList(dialog)->itemText(0), QString("VALDREN-QV-46"));
    QVERIFY(dialog.isRegisterPrinter());

    printers.list.removeLast();
    printers.list.removeLast();
    QVERIFY(!dialog.isRegisterPrinter());
}

void DialogTest::instancesCollapseOnRefresh()
{
    const QString serial = newSerial();
    FakePrinters printers;
    printers.addQv46("VALDREN-QV-46", serial);
    printers.addQv46("VALDREN-QV-46", serial); // a second CUPS instance
    StatusDialog dialog(nullptr, &printers);
    QCOMPARE(printerList(dialog)->count(), 2);

    QKeyEvent shift(QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier);
    QCoreApplication::sendEvent(printerList(dialog), &shift);
    QCOMPARE(printerList(dialog)->count(), 1);
    QCOMPARE(printerList(dialog)->currentIndex(), 0);
    QVERIFY(exists(watchFile(serial)));
    QVERIFY(dialog.findChild<StatusMonitor *>());
}

void DialogTest::statusFileIsShownAndQueueRemovalNoticed()
{
    const QString serial = newSerial();
    QVERIFY(writeFile(statusFile(serial),
        statusFileText(reading("01100", "00102", "00310", "50", "0", "0")).toUtf8()));
    FakePrinters printers;
    printers.addQv46("VALDREN-QV-46", serial);
    StatusDialog dialog(nullptr, &printers);
    StatusMonitor *reader = dialog.findChild<StatusMonitor *>();
    QVERIFY(reader);
    QSignalSpy ticks(reader, &StatusMonitor::statusNotification);

    QVERIFY(ticks.wait(5000));
    QCOMPARE(text(dialog, "label_Status"), QString("Paper end"));
    QCOMPARE(text(dialog, "label_StatusMessage"), kNewMedia);
    QCOMPARE(text(dialog, "label_MediaSize"), QString("6x8in"));
    QCOMPARE(text(dialog, "label_MediaSizeDetails"), QString("Prints left: 0 / 50 (6x4in: 0)"));
    QCOMPARE(shownPicture(dialog), expectedPicture("PrtStsPaperEnd.bmp"));
    QCOMPARE(text(dialog, "label_TCValue"), QString("1286"));

    // The queue goes away: values stay, the count does not, the list waits
    // for the user to touch it.
    printers.list.clear();
    QVERIFY(ticks.wait(5000));
    QCOMPARE(text(dialog, "label_Status"), QString("Paper end"));
    QCOMPARE(text(dialog, "label_TCValue"), QString("---"));
    QCOMPARE(printerList(dialog)->count(), 1);

    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QCoreApplication::sendEvent(printerList(dialog), &down);
    QCOMPARE(printerList(dialog)->count(), 0);
    QVERIFY(!dialog.findChild<StatusMonitor *>());
    QCOMPARE(text(dialog, "label_Status"), QString("Offline"));
}

void DialogTest::noQueueShowsOffline()
{
    FakePrinters printers;
    StatusDialog dialog(nullptr, &printers);
    QCOMPARE(printerList(dialog)->count(), 0);
    QCOMPARE(text(dialog, "label_Status"), QString("Offline"));
    QCOMPARE(text(dialog, "label_StatusMessage"), kConnect);
    QVERIFY(!dialog.findChild<StatusMonitor *>());
}

// --- form -------------------------------------------------------------------

void DialogTest::formLayout()
{
    FakePrinters printers;
    StatusDialog dialog(nullptr, &printers);
    dialog.show();
    QCOMPARE(dialog.size(), QSize(550, 570));
    QCOMPARE(dialog.minimumSize(), QSize(550, 570));
    QCOMPARE(dialog.maximumSize(), QSize(550, 570));
    QCOMPARE(dialog.windowTitle(), QString("QV-46 Information"));

    auto *view = dialog.findChild<QGraphicsView *>("graphicsView");
    QCOMPARE(view->geometry(), QRect(10, 30, 80, 80));
    QCOMPARE(view->frameShape(), QFrame::NoFrame);
    QCOMPARE(view->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(view->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);

    // Bottom to top: the raised panel, then the contents, then the caption.
    auto stacking = [&](const char *box) {
        QStringList names;
        for (QObject *child : dialog.findChild<QGroupBox *>(box)->children()) {
            if (child->isWidgetType())
                names << child->objectName();
        }
        return names;
    };
    QCOMPARE(stacking("mediaGroupBox"),
        QStringList({"frame_3", "label_MediaSize", "label_Per0", "label_Per50", "label_Per100",
            "progressBar", "label_MediaSizeDetails", "label_MediaGroup"}));
    QCOMPARE(stacking("statusGroupBox"),
        QStringList({"frame_2", "label_Status", "label_StatusMessage", "graphicsView",
            "label_StatusGroup"}));

    // Every placeholder of the form has been replaced.
    for (QLabel *label : dialog.findChildren<QLabel *>())
        QVERIFY2(label->text() != "TextLabel", qPrintable(label->objectName()));
    for (QPushButton *button : dialog.findChildren<QPushButton *>())
        QVERIFY2(button->text() != "PushButton", qPrintable(button->objectName()));
    QCOMPARE(text(dialog, "printerlabel"), QString("Select printer"));
    QCOMPARE(text(dialog, "label_StatusGroup"), QString("Printer Status"));
    QCOMPARE(text(dialog, "label_MediaGroup"), QString("Media Info"));
    QCOMPARE(text(dialog, "label_Serial"), QString("Serial No."));
    QCOMPARE(text(dialog, "label_FWGroup"), QString("Firmware Version"));
    QCOMPARE(text(dialog, "label_TCGroup"), QString("Total Count"));
    QCOMPARE(text(dialog, "updateButton"), QString("Update"));
    QCOMPARE(text(dialog, "versionButton"), QString("About"));
    QVERIFY(dialog.findChild<QPushButton *>("updateButton")->isDefault());
    QVERIFY(!dialog.findChild<QPushButton *>("versionButton")->isDefault());
}

void DialogTest::aboutWindow()
{
    FakePrinters printers;
    StatusDialog dialog(nullptr, &printers);
    dialog.findChild<QPushButton *>("versionButton")->click();

    QDialog *about = nullptr;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->objectName() == "VersionDialog" && window->isVisible())
            about = qobject_cast<QDialog *>(window);
    }
    QVERIFY(about);
    QCOMPARE(about->windowModality(), Qt::ApplicationModal);
    QCOMPARE(about->size(), QSize(320, 200));
    QCOMPARE(text(*about, "label_VersionNo"), QString("Version 1.0.0"));
    QCOMPARE(text(*about, "label_CopyRight"),
        QString::fromUtf8("\u00A9 VALDREN \u00B7 Apache License 2.0"));
    QCOMPARE(shownPicture(*about).size(), QSize(80, 80));
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(about->geometry(),
        QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, QSize(320, 200), area));

    // Placed once: a moved window stays where the user put it.
    about->hide();
    about->move(about->pos() + QPoint(40, 30));
    const QPoint moved = about->pos();
    dialog.push_version();
    QVERIFY(about->isVisible());
    QCOMPARE(about->pos(), moved);
}

// One word for each state and one name for each stock in the window and on
// the printer application's pages, in every language: the monitor's
// catalogue against the app's (printer-app/strings) and its glossary, which
// also names what no text may say ("Sheets", "ink", "Idle", ...). The
// longest line of prints fits its label.
void DialogTest::speaksThePrinterApplicationsWords_data()
{
    QTest::addColumn<QString>("lang");
    for (const char *lang : kLanguages)
        QTest::newRow(lang) << lang;
}

void DialogTest::speaksThePrinterApplicationsWords()
{
    QFETCH(QString, lang);
    const Glossary glossary = readGlossary();
    QVERIFY(glossary.words.contains("Prints left"));
    const QMap<QString, QString> app = appCatalogue(lang);
    QVERIFY(lang == "en" || !app.isEmpty());
    // The app shows a word under its English key; English keys show as they are.
    auto appWord = [&](const QString &english) { return app.value(english, english); };

    QTranslator catalogue;
    QVERIFY(catalogue.load(":/translations/localize_" + lang));
    QCoreApplication::removeTranslator(&english);
    QCoreApplication::installTranslator(&catalogue);
    struct Restore
    {
        QTranslator *english, *catalogue;
        ~Restore()
        {
            QCoreApplication::removeTranslator(catalogue);
            QCoreApplication::installTranslator(english);
        }
    } restore {&english, &catalogue};

    FakePrinters printers;
    printers.addQv46("VALDREN-QV-46", newSerial());
    StatusDialog dialog(nullptr, &printers);
    const QString printsLeft = glossary.words["Prints left"][lang] + ": ";
    const struct
    {
        StatusMap reading;
        const char *word, *stock, *half, *prints;
    } states[] = {
        {reading("00000", "00001", "00310", "50", "25", "50"), "Waiting", "6x8in", "6x4in",
            "25 / 50 (%1: 50)"},
        {reading("00001", "00001", "00301", "60", "36", "0"), "Printing", "6x4in", "", "36 / 60"},
        {reading("01100", "00102", "00310", "50", "36", "72"), "Paper end", "6x8in", "6x4in",
            "0 / 50 (%1: 0)"},
        {reading("01200", "00103", "00210", "50", "30", "60"), "Ribbon end", "5x7in", "5x3.5in",
            "0 / 50 (%1: 0)"},
        // The longest line: two-up on 6x9in, three digits each.
        {reading("01000", "00100", "00400", "100", "100", "200"), "Door open", "6x9in", "6x4.5in",
            "100 / 100 (%1: 200)"},
    };
    for (const auto &state : states) {
        dialog.upDateStatus(state.reading);
        QCOMPARE(text(dialog, "label_Status"), appWord(state.word));
        QCOMPARE(text(dialog, "label_MediaSize"), appWord(state.stock));
        QString prints = printsLeft + state.prints;
        // 5x3.5in and 6x4.5in are half prints, no stock of their own: the
        // monitor's names.
        if (*state.half)
            prints = prints.arg(app.contains(state.half) || lang == "en"
                    ? appWord(state.half)
                    : catalogue.translate("StatusDialog", state.half));
        QCOMPARE(text(dialog, "label_MediaSizeDetails"), prints);
        const auto *details = dialog.findChild<QLabel *>("label_MediaSizeDetails");
        QVERIFY2(details->fontMetrics().horizontalAdvance(details->text()) <= details->width(),
            qPrintable(details->text()));
        for (const QLabel *label : dialog.findChildren<QLabel *>()) {
            for (auto it = glossary.avoid.cbegin(); it != glossary.avoid.cend(); ++it) {
                if (it.key() == "*" || it.key() == lang)
                    QVERIFY2(!label->text().contains(it.value()),
                        qPrintable(label->objectName() + ": " + label->text()));
            }
        }
    }
    dialog.upDateStatus(reading("99999"));
    QCOMPARE(text(dialog, "label_Status"), appWord("Offline"));
    QCOMPARE(text(dialog, "label_MediaSizeDetails"), printsLeft + "--- / ---");
}

QTEST_MAIN(DialogTest)
#include "dialog_test.moc"
