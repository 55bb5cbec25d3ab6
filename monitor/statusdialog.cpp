// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "statusdialog.h"

#include "common/Serial.h"
#include "common/TmpFiles.h"
#include "requestfile.h"
#include "statusmonitor.h"
#include "ui_statusdialog.h"

#include <QEvent>
#include <QGraphicsScene>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QStyle>

namespace {

const char kMissing[] = "---";
const char kSerialMarker[] = "serial=";
const int kReaderPeriodMs = 500;
const int kPictureSide = 80;
const int kOfflineCode = kOfflineStatus;
const int kPaperEndCode = 1100;
const int kRibbonEndCode = 1200;

struct StatusRow
{
    int code;
    const char *textKey;
    const char *picture;
};

const StatusRow kStatusRows[] = {
    {0, QT_TRANSLATE_NOOP("StatusDialog", "st_00000"), "PrtStsIdle.bmp"},
    {1, QT_TRANSLATE_NOOP("StatusDialog", "st_00001"), "PrtStsPrinting.bmp"},
    {500, QT_TRANSLATE_NOOP("StatusDialog", "st_00500"), "PrtStsCooling.bmp"},
    {900, QT_TRANSLATE_NOOP("StatusDialog", "st_00900"), "PrtStsIdle.bmp"},
    {1000, QT_TRANSLATE_NOOP("StatusDialog", "st_01000"), "PrtStsCoverOpen.bmp"},
    {1010, QT_TRANSLATE_NOOP("StatusDialog", "st_01010"), "PrtStsNoScrapBox.bmp"},
    {1100, QT_TRANSLATE_NOOP("StatusDialog", "st_01100"), "PrtStsPaperEnd.bmp"},
    {1200, QT_TRANSLATE_NOOP("StatusDialog", "st_01200"), "PrtStsRibbonEnd.bmp"},
    {1300, QT_TRANSLATE_NOOP("StatusDialog", "st_01300"), "PrtStsPaperJam.bmp"},
    {1400, QT_TRANSLATE_NOOP("StatusDialog", "st_01400"), "PrtStsRibbonErr.bmp"},
    {1500, QT_TRANSLATE_NOOP("StatusDialog", "st_01500"), "PrtStsPaperErr.bmp"},
    {1600, QT_TRANSLATE_NOOP("StatusDialog", "st_01600"), "PrtStsSystemErr01.bmp"},
    {2000, QT_TRANSLATE_NOOP("StatusDialog", "st_02000"), "PrtStsSystemErr01.bmp"},
    {2100, QT_TRANSLATE_NOOP("StatusDialog", "st_02100"), "PrtStsSystemErr01.bmp"},
    {2200, QT_TRANSLATE_NOOP("StatusDialog", "st_02200"), "PrtStsSystemErr01.bmp"},
    {2300, QT_TRANSLATE_NOOP("StatusDialog", "st_02300"), "PrtStsSystemErr01.bmp"},
    {2400, QT_TRANSLATE_NOOP("StatusDialog", "st_02400"), "PrtStsSystemErr01.bmp"},
    {2500, QT_TRANSLATE_NOOP("StatusDialog", "st_02500"), "PrtStsSystemErr01.bmp"},
    {2600, QT_TRANSLATE_NOOP("StatusDialog", "st_02600"), "PrtStsSystemErr01.bmp"},
    {2610, QT_TRANSLATE_NOOP("StatusDialog", "st_02610"), "PrtStsSystemErr01.bmp"},
    {2700, QT_TRANSLATE_NOOP("StatusDialog", "st_02700"), "PrtStsSystemErr01.bmp"},
    {2800, QT_TRANSLATE_NOOP("StatusDialog", "st_02800"), "PrtStsSystemErr01.bmp"},
    {3000, QT_TRANSLATE_NOOP("StatusDialog", "st_03000"), "PrtStsSystemErr01.bmp"},
    {kOfflineCode, QT_TRANSLATE_NOOP("StatusDialog", "st_99999"), "PrtStsOffline.bmp"},
};

// Codes the printer does not document are shown as a system error.
const StatusRow &statusRow(int code)
{
    for (const StatusRow &row : kStatusRows) {
        if (row.code == code)
            return row;
    }
    static const StatusRow systemError = {-1, "st_03000", "PrtStsSystemErr01.bmp"};
    return systemError;
}

// States in which media of an unknown size is worth a note: the printer is
// otherwise fine or has a media-related problem.
bool notesUnknownMedia(int code)
{
    for (int c : {0, 1, 500, 900, 1000, 1010, 1100, 1300, 1400, 1500}) {
        if (c == code)
            return true;
    }
    return false;
}

bool isKnownMessage(int code)
{
    return (code >= 1 && code <= 6) || (code >= 100 && code <= 108) || (code >= 200 && code <= 210);
}

QString valueOrMissing(const QMap<QString, QString> &status, const char *key)
{
    const QString value = status.value(key);
    return value.isEmpty() ? QString(kMissing) : value;
}

struct MediaLine
{
    QString text;
    int percent;
};

// "Prints left: R / I" in the printer application's words, with the
// half-size prints in brackets when the media can print two-up.
MediaLine makeMediaLine(const QMap<QString, QString> &status, bool countsAtZero,
    const QString &printsLeft, const QString &halfSize)
{
    const QString label = printsLeft + ": ";
    const QString unknown = label + "--- / ---";
    const QString initialText = status.value(kKeyMediaInitial);
    const QString remainText = status.value(kKeyMediaRemain);
    if (initialText.isEmpty() || remainText.isEmpty())
        return {unknown, 0};

    const int initial = initialText.toInt();
    const int remain = countsAtZero ? 0 : remainText.toInt();
    const int remainHalf = countsAtZero ? 0 : status.value(kKeyMediaRemainHalf).toInt();
    if (initial == 0) {
        if (halfSize.isEmpty())
            return {unknown, 0};
        return {unknown + " (" + halfSize + ": ---)", 0};
    }
    QString line = label + QString::number(remain) + " / " + QString::number(initial);
    if (!halfSize.isEmpty())
        line += " (" + halfSize + ": " + QString::number(remainHalf) + ")";
    return {line, remainingPercent(remain, initial)};
}

} // namespace

int remainingPercent(int remain, int initial)
{
    const float share = static_cast<float>(remain) / static_cast<float>(initial);
    const float percent = share * 100.0f;
    // The bar ignores values outside its range and would keep the last one.
    if (!(percent > 0.0f))
        return 0;
    if (percent >= 100.0f)
        return 100;
    return static_cast<int>(percent);
}

void centreOnPrimaryScreen(QWidget *window)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    window->setGeometry(
        QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, window->size(), area));
}

StatusDialog::StatusDialog(QWidget *parent, PrinterSource *source)
    : QDialog(parent)
    , ui(new Ui_StatusDialog)
    , monitor(nullptr)
    , threadRunning(false)
    , statusScene(nullptr)
    , ownPrinters(source ? nullptr : new CupsPrinterSource)
    , printers(source ? source : ownPrinters.get())
{
    ui->setupUi(this);

    ui->printerComboBox->installEventFilter(this);
    connect(ui->printerComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
        &StatusDialog::comboBox_indexChanged);
    ui->printerComboBox->setFocus(Qt::OtherFocusReason);
    connect(ui->updateButton, &QPushButton::clicked, this, &StatusDialog::push_update);
    connect(ui->versionButton, &QPushButton::clicked, this, &StatusDialog::push_version);

    ui->printerlabel->setText(tr("select_printer"));
    ui->label_StatusGroup->setText(tr("statusGroupBox"));
    ui->label_MediaGroup->setText(tr("mediaGroupTitle"));
    ui->label_Serial->setText(tr("serialNoGroupBox"));
    ui->label_FWGroup->setText(tr("fwGroupBox"));
    ui->label_TCGroup->setText(tr("tcGroupBox"));
    ui->updateButton->setText(tr("updateButton"));
    ui->versionButton->setText(tr("About"));
    // The captions are the labels inside the boxes.
    ui->statusGroupBox->setTitle(QString());
    ui->mediaGroupBox->setTitle(QString());
    ui->serialGroupBox->setTitle(QString());
    ui->totalCountGroupBox->setTitle(QString());

    setUIOffline();

    // Every instance is listed here; the first entry becomes current and is
    // watched at once.
    for (const PrinterDestination &dest : printers->destinations()) {
        if (!isQv46Queue(dest))
            continue;
        printerMap.insert(dest.name, dest.deviceUri);
        ui->printerComboBox->addItem(dest.name);
    }
}

StatusDialog::~StatusDialog()
{
    ui->printerComboBox->removeEventFilter(this);
    threadQuit();
    delete ui;
    delete statusScene;
    removeRequestFile(utilFilePath);
}

bool StatusDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->printerComboBox
        && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress))
        refreshPrinterList();
    return QDialog::eventFilter(watched, event);
}

void StatusDialog::refreshPrinterList()
{
    const QList<PrinterDestination> dests = printers->destinations();
    ui->printerComboBox->clear();
    printerMap.clear();
    for (const PrinterDestination &dest : dests) {
        if (!isQv46Queue(dest))
            continue;
        if (printerMap.contains(dest.name)) {
            // A further instance of a queue already listed.
            printerMap.insert(dest.name, dest.deviceUri);
            for (int j = 0; j < ui->printerComboBox->count(); ++j) {
                if (ui->printerComboBox->itemText(j) == dest.name)
                    ui->printerComboBox->setItemText(j, dest.name);
            }
        } else {
            printerMap.insert(dest.name, dest.deviceUri);
            ui->printerComboBox->addItem(dest.name);
        }
    }
}

void StatusDialog::comboBox_indexChanged(int i)
{
    const QString oldSerial = serialNo;
    threadQuit();
    if (i == -1) {
        if (!isRegisterPrinter())
            setUIOffline();
        return;
    }

    const QString uri = printerMap.value(ui->printerComboBox->itemText(i));
    QString statusFilePath;
    if (!uri.isEmpty()) {
        const QByteArray uriBytes = uri.toUtf8();
        std::string serial;
        if (SerialFromBackendUri(uriBytes.toStdString(), &serial)) {
            serialNo = QString::fromStdString(serial);
            statusFilePath
                = QString(kTmpDir) + '/' + kPrinterFilePrefix + serialNo + kStatusFileSuffix;
        } else if (!uriBytes.endsWith(kSerialMarker)) {
            // No serial the daemon would serve: nothing in /tmp is named after it.
            serialNo.clear();
        }
    }

    if (oldSerial.isEmpty() && serialNo.isEmpty()) {
        setUIOffline();
        return;
    }
    if (serialNo != oldSerial) {
        if (!oldSerial.isEmpty()) {
            keptTotalCount.clear();
            removeRequestFile(requestFilePath(RequestKind::Watch, oldSerial));
        }
        const QString path = requestFilePath(RequestKind::Watch, serialNo);
        if (createRequestFile(path))
            utilFilePath = path;
    }
    if (!statusFilePath.isEmpty())
        threadStart(statusFilePath);
    else
        setUIOffline();
}

void StatusDialog::threadStart(QString statusFilePath)
{
    monitor = new StatusMonitor(statusFilePath, kReaderPeriodMs, this);
    connect(monitor, &StatusMonitor::statusNotification, this, &StatusDialog::upDateStatus);
    threadRunning = true;
}

void StatusDialog::threadQuit()
{
    if (!threadRunning)
        return;
    threadRunning = false;
    delete monitor;
    monitor = nullptr;
}

void StatusDialog::upDateStatus(QMap<QString, QString> status)
{
    const QString mediaCode = status.value(kKeyMediaSize);
    QString mediaText = getMediaSizeString(mediaCode);
    const bool mediaUnknown = mediaText.isEmpty();
    if (mediaUnknown)
        mediaText = kMissing;
    QString messageText = getStatusMessageString(status.value(kKeyPrinterMessage));
    const QString serialText = valueOrMissing(status, kKeyPrinterSerialNo);

    int code = kOfflineCode;
    bool countsAtZero = true;
    const QString statusValue = status.value(kKeyPrinterStatus);
    if (!statusValue.isEmpty()) {
        code = statusValue.toInt(); // text that is no number reads as 0
        // Paper and ribbon are replaced as a set: at either end no print is
        // left, whatever the printer still counts (the app says the same).
        countsAtZero = code == kOfflineCode || code == kPaperEndCode || code == kRibbonEndCode;
        if (mediaUnknown && notesUnknownMedia(code)) {
            messageText += "\n" + tr("ms_00108");
            countsAtZero = true;
        }
    }

    const StatusRow &row = statusRow(code);
    const QString statusText = tr(row.textKey);
    const QString picturePath = QString(":/images/") + row.picture;
    const MediaLine media
        = makeMediaLine(status, countsAtZero, tr("prints_left"), getHalfMediaSizeString(mediaCode));
    QString totalCountText = valueOrMissing(status, kKeyTotalCount);
    const QString firmwareText = valueOrMissing(status, kKeyPrinterVersion);

    if (code == kOfflineCode) {
        setUIOffline();
        return;
    }
    if (totalCountText != kMissing) {
        bool isNumber = false;
        const qlonglong count = totalCountText.toLongLong(&isNumber);
        totalCountText = isNumber ? QString::number(count) : QString(kMissing);
    }
    setUiParam(mediaText, media.text, media.percent, picturePath, statusText, messageText,
        serialText, totalCountText, firmwareText);
}

void StatusDialog::setUiParam(QString mediaSize, QString mediaDetails, int percent,
    QString picturePath, QString statusText, QString messageText, QString serial,
    QString totalCount, QString firmwareVersion)
{
    if (totalCount != kMissing)
        keptTotalCount = totalCount;
    ui->label_MediaSize->setText(mediaSize);
    ui->label_MediaSizeDetails->setText(mediaDetails);
    ui->progressBar->setValue(percent);
    ui->label_Status->setText(statusText);
    ui->label_StatusMessage->setText(messageText);
    showPicture(picturePath);
    ui->label_SerialValue->setText(serial);
    ui->label_FWValue->setText(firmwareVersion);
    ui->label_TCValue->setText(keptTotalCount.isEmpty() ? totalCount : keptTotalCount);
    if (!isRegisterPrinter())
        ui->label_TCValue->setText(kMissing);
}

void StatusDialog::setUIOffline()
{
    ui->label_MediaSize->setText(kMissing);
    ui->label_MediaSizeDetails->setText(tr("prints_left") + ": --- / ---");
    ui->progressBar->setValue(0);
    ui->label_Status->setText(tr("st_99999"));
    ui->label_StatusMessage->setText(tr("ms_00006"));
    showPicture(":/images/PrtStsOffline.bmp");
    ui->label_SerialValue->setText(kMissing);
    ui->label_FWValue->setText(kMissing);
    ui->label_TCValue->setText(kMissing);
}

void StatusDialog::showPicture(const QString &picturePath)
{
    const QPixmap picture(picturePath);
    delete statusScene;
    statusScene = new QGraphicsScene;
    if (!picture.isNull()) {
        statusScene->addPixmap(picture.scaled(
            kPictureSide, kPictureSide, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    }
    ui->graphicsView->setScene(statusScene);
}

QString StatusDialog::getMediaSizeString(QString code)
{
    switch (code.toInt()) {
    case 210:
        return tr("size_00210");
    case 301:
        return tr("size_00301");
    case 310:
        return tr("size_00310");
    case 400:
        return tr("size_00400");
    default:
        return QString();
    }
}

QString StatusDialog::getHalfMediaSizeString(QString code)
{
    switch (code.toInt()) {
    case 210:
        return tr("5x3.5in");
    case 310:
        return tr("size_00301");
    case 400:
        return tr("6x4.5in");
    default:
        return QString();
    }
}

QString StatusDialog::getStatusMessageString(QString code)
{
    if (code.isEmpty())
        return QString();
    bool isNumber = false;
    int number = code.toInt(&isNumber);
    if (!isNumber || !isKnownMessage(number))
        number = 210;
    const QByteArray key = "ms_" + QByteArray::number(number).rightJustified(5, '0');
    return tr(key.constData());
}

void StatusDialog::push_update()
{
    if (!serialNo.isEmpty())
        createRequestFile(requestFilePath(RequestKind::TotalCount, serialNo));
}

void StatusDialog::push_version()
{
    // Placed once; later showings keep wherever the user moved it.
    static bool flag = false;
    if (!flag) {
        centreOnPrimaryScreen(&versionDialog);
        flag = true;
    }
    versionDialog.show();
}

bool StatusDialog::isRegisterPrinter()
{
    for (const PrinterDestination &dest : printers->destinations()) {
        if (isQv46Queue(dest))
            return true;
    }
    return false;
}
