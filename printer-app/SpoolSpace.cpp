// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printer-app/SpoolSpace.h"

#include <sys/statvfs.h>

#include <cinttypes>
#include <set>

#include "printer-app/PapplFaults.h"

namespace {

struct Watch {
  std::string directory;
  std::set<int> refused;  // ids of the printers this watch disabled
  int64_t freeBytes = 0;
};

void Refuse(pappl_printer_t* printer, void* data) {
  auto* watch = static_cast<Watch*>(data);
  const int id = papplPrinterGetID(printer);
  // Every turn: a printer plugged in meanwhile, or enabled by hand.
  if (!papplPrinterIsAcceptingJobs(printer)) return;
  papplPrinterDisable(printer);
  papplPrinterSetReasons(printer, PAPPL_PREASON_SPOOL_AREA_FULL, PAPPL_PREASON_NONE);
  if (watch->refused.insert(id).second)
    papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR,
                    "The spool %s has %" PRId64 " MB free, less than the %" PRIu64
                    " MB a photo may need: not accepting jobs until there is room.",
                    watch->directory.c_str(), watch->freeBytes >> 20, kSpoolReserveBytes >> 20);
}

void Readmit(pappl_printer_t* printer, void* data) {
  auto* watch = static_cast<Watch*>(data);
  if (watch->refused.erase(papplPrinterGetID(printer)) == 0) return;
  papplPrinterSetReasons(printer, PAPPL_PREASON_NONE, PAPPL_PREASON_SPOOL_AREA_FULL);
  papplPrinterEnable(printer);
  papplLogPrinter(printer, PAPPL_LOGLEVEL_INFO, "The spool has room again: accepting jobs.");
}

// A timer: PAPPL runs it under the system's read lock, which iterating takes too.
bool Look(pappl_system_t* system, void* data) {
  auto* watch = static_cast<Watch*>(data);
  watch->freeBytes = SpoolFreeBytes(watch->directory);
  // Unknown room is not a full disk.
  const bool full =
      watch->freeBytes >= 0 && static_cast<uint64_t>(watch->freeBytes) < kSpoolReserveBytes;
  if (full || !watch->refused.empty())
    papplSystemIteratePrinters(system, full ? Refuse : Readmit, watch);
  return true;
}

}  // namespace

int64_t SpoolFreeBytes(const std::string& directory) {
  struct statvfs fs;
  if (statvfs(directory.c_str(), &fs) != 0) return -1;
  return static_cast<int64_t>(static_cast<uint64_t>(fs.f_bavail) * fs.f_frsize);
}

void WatchSpoolSpace(pappl_system_t* system, const std::string& directory, int seconds) {
  if (!kPapplHidesAFullSpool) return;
  static Watch watch;
  watch.directory = directory;
  papplSystemAddTimerCallback(system, 0, seconds, Look, &watch);
}
