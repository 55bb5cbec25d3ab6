// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#pragma once

#include <QString>

// Where the monitor is installed; the single-instance check looks for this
// path, not for the path a copy was started from.
extern const char kInstalledProgramPath[];

// True when `ps` shows more than two lines (besides grep's own) that carry
// `programPath`: another copy runs beside the one starting. The ps lines are
// echoed to standard output. False also when the check cannot run.
bool checkDoubleStartApp(const char *programPath = kInstalledProgramPath);

// The resource path (without ".qm") of the catalogue for a BCP 47 locale name.
QString catalogueForLocale(const QString &bcp47Name);
