// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The printer's status file, "<tmp>/QV-46_<serial>.log": 16 lines the monitor
// reads, replaced whole (a new file renamed over it) after every poll and
// put into an offline form when the printer leaves.
#pragma once

#include <string>

#include "daemon/DaemonContext.h"
#include "daemon/PrinterRecord.h"

constexpr size_t kPathSize = 128;
constexpr size_t kValueSize = 64;

// Queries the printer and replaces the file with its full form.
void WriteFile(DaemonContext& ctx, UsbHandle* handle, thdata* record);
// Writes the offline form for `serial`; nothing for a null pointer.
void WriteFile(DaemonContext& ctx, const char* serial);

// SELinux enforcing, asked once at start.
bool isSELinuxEnabled(CommandRunner& commands);
// `path` names a regular file of its own: a symlink, or a hard link to a file
// elsewhere, does not count (relabelling it would relabel that file).
bool existFile(const char* path);

// "<tmp>/QV-46_<serial>.log" into `path` (kPathSize bytes); false when it
// does not fit.
bool StatusFilePath(const DaemonContext& ctx, const char* serial, char* path);
