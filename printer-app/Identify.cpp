// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printer-app/Identify.h"

#include <cstdint>
#include <ctime>

namespace {

constexpr int kShownSeconds = 60;

// Finds the printer again by id: it may have been deleted meanwhile.
bool Clear(pappl_system_t* system, void* data) {
  const int id = static_cast<int>(reinterpret_cast<intptr_t>(data));
  pappl_printer_t* printer = papplSystemFindPrinter(system, nullptr, id, nullptr);
  if (printer != nullptr)
    papplPrinterSetReasons(printer, PAPPL_PREASON_NONE, PAPPL_PREASON_IDENTIFY_PRINTER_REQUESTED);
  return false;
}

}  // namespace

void IdentifyPrinter(pappl_printer_t* printer, pappl_identify_actions_t actions,
                     const char* message) {
  if ((actions & PAPPL_IDENTIFY_ACTIONS_DISPLAY) == 0) return;
  papplLogPrinter(printer, PAPPL_LOGLEVEL_INFO, "Identify-Printer: %s",
                  message != nullptr && *message ? message : "(no message)");
  papplPrinterSetReasons(printer, PAPPL_PREASON_IDENTIFY_PRINTER_REQUESTED, PAPPL_PREASON_NONE);
  papplSystemAddTimerCallback(
      papplPrinterGetSystem(printer), std::time(nullptr) + kShownSeconds, 0, Clear,
      reinterpret_cast<void*>(static_cast<intptr_t>(papplPrinterGetID(printer))));
}
