// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// qv46-monitor-shot STATUS_FILE LANGUAGE OUTPUT.png
// qv46-monitor-shot --about LANGUAGE OUTPUT.png
//
// Shows the status window as it looks while watching a printer whose status
// file is STATUS_FILE (or the About window), in the catalogue that LANGUAGE
// (a locale name such as "en" or "ja-JP") selects, and saves the window's
// contents as a PNG.
#include "common/Serial.h"
#include "startup.h"
#include "statusdialog.h"
#include "statusmonitor.h"
#include "versiondialog.h"

#include <QApplication>
#include <QPixmap>
#include <QTranslator>
#include <cstdio>
#include <unistd.h>

int qInitResources_statusmonitor();

namespace {

// One queue, as the daemon would have registered it. Its serial is unique to
// this run so the watch file it causes cannot meet a real printer's.
class OneQueue : public PrinterSource
{
public:
    QList<PrinterDestination> destinations() override
    {
        const QString serial = QString("monitor-shot-%1").arg(getpid());
        return {{"VALDREN-QV-46", QString::fromStdString(MakeBackendUri(serial.toStdString()))}};
    }
};

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s STATUS_FILE|--about LANGUAGE OUTPUT.png\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInitResources_statusmonitor();

    QApplication app(argc, argv);
    app.setApplicationName("QV-46 Information");
    QTranslator translator;
    if (!translator.load(catalogueForLocale(QString::fromLocal8Bit(argv[2])))) {
        std::fprintf(stderr, "no catalogue for %s\n", argv[2]);
        return 1;
    }
    app.installTranslator(&translator);

    QPixmap shot;
    if (QByteArray(argv[1]) == "--about") {
        VersionDialog about;
        about.show();
        QApplication::processEvents();
        shot = about.grab();
    } else {
        OneQueue queue;
        StatusDialog dialog(nullptr, &queue);
        dialog.show();
        StatusMonitor reader(QString::fromLocal8Bit(argv[1]), 500, nullptr);
        dialog.upDateStatus(reader.getPrinterStatus());
        QApplication::processEvents();
        shot = dialog.grab();
    }
    if (!shot.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
