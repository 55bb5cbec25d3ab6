// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#pragma once

#include <QString>

// Where the monitor is installed; the console echo of the single-instance
// check shows this user's processes that carry this path.
extern const char kInstalledProgramPath[];

// True when another copy of the monitor runs for this user: it holds the
// lock on "valdren_qv46_status.lock" in $XDG_RUNTIME_DIR (without one,
// /tmp/valdren_qv46_status-<uid>.lock). Otherwise this copy takes the lock
// and keeps it while it runs (its descriptor goes to *lockFd when given, for
// the caller to close). Other users' copies never count; a lock file that
// is not this user's own is no lock, and the window opens. The ps lines of
// this user's copies of `programPath` are echoed to standard output.
bool checkDoubleStartApp(const char *programPath = kInstalledProgramPath, int *lockFd = nullptr);

// The resource path (without ".qm") of the catalogue for a BCP 47 locale name.
QString catalogueForLocale(const QString &bcp47Name);
