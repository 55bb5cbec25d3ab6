// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "common/ProgramInfo.h"
#include "quitsignals.h"
#include "startup.h"
#include "statusdialog.h"

#include <QApplication>
#include <QIcon>
#include <QLocale>
#include <QThread>
#include <QTranslator>

int qInitResources_statusmonitor();

int main(int argc, char *argv[])
{
    const int answered = AnswerInfoOption(argc, argv, "valdren_qv46_status",
        "Usage: valdren_qv46_status [--help | --version | Qt options]\n"
        "Shows the state, media and counters of QV-46 photo printers.\n");
    if (answered >= 0)
        return answered;
    qInitResources_statusmonitor();
    if (checkDoubleStartApp())
        return -1;
    QThread::msleep(1000);

    QApplication app(argc, argv);
    app.setApplicationName("QV-46 Information");

    QTranslator translator;
    // The catalogues are built in; without one the window shows its source texts.
    if (translator.load(catalogueForLocale(QLocale::system().bcp47Name())))
        app.installTranslator(&translator);
    app.setWindowIcon(QIcon(":/images/printer_icon.png"));

    // Before the window exists: it creates its watch file at once.
    QuitOnSignals quitOnSignals;
    StatusDialog dialog(nullptr);
    centreOnPrimaryScreen(&dialog);
    dialog.show();
    return app.exec();
}
