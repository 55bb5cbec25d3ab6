// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "startup.h"

#include <cstdio>
#include <cstring>
#include <string>

const char kInstalledProgramPath[] = "/opt/valdren_systems/valdren_qv46_status/valdren_qv46_status";

bool checkDoubleStartApp(const char *programPath)
{
    const std::string command = std::string("ps auxww | grep ") + programPath;
    FILE *ps = popen(command.c_str(), "r");
    if (!ps)
        return false;

    // The shell running the pipeline and grep itself both carry "grep".
    int copies = 0;
    char chunk[512];
    for (;;) {
        std::memset(chunk, 0, sizeof chunk);
        if (!std::fgets(chunk, 255, ps))
            break;
        std::printf("%s", chunk);
        if (!std::strstr(chunk, "grep"))
            ++copies;
        if (std::feof(ps))
            break;
    }
    pclose(ps);
    return copies > 2;
}

QString catalogueForLocale(const QString &bcp47Name)
{
    static const char *const kLanguages[] = {"zh", "en", "fr", "de", "ja", "es"};
    for (const char *language : kLanguages) {
        if (bcp47Name.startsWith(QLatin1String(language), Qt::CaseSensitive))
            return QString(":/translations/localize_") + language;
    }
    return ":/translations/localize_en";
}
