// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Jobs are turned away while the spool has too little room for a photo. PAPPL
// takes a job's request first and writes the document into the spool while
// it arrives; on a full disk it then fails the request halfway, and when the
// last write only came up short its answer reads "Unable to write print
// file: Success" (kPapplHidesAFullSpool). Refused up front, a client hears
// that the printer is not accepting jobs, and printer-state-reasons says
// spool-area-full.
#pragma once

#include <pappl/pappl.h>

#include <cstdint>
#include <string>

// Room kept for the document being received: a large photo and its
// conversion.
constexpr uint64_t kSpoolReserveBytes = uint64_t{64} << 20;

// Bytes an unprivileged writer may still use in `directory`'s file system,
// or -1 when that cannot be told.
int64_t SpoolFreeBytes(const std::string& directory);

// Looks at the spool every `seconds`: while it has less than
// kSpoolReserveBytes free, every printer stops accepting jobs with the reason
// spool-area-full; once there is room again, the printers this took away
// accept again (one that an administrator disabled stays as it is).
void WatchSpoolSpace(pappl_system_t* system, const std::string& directory, int seconds);
