// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The printer's state over IPP and on the web pages: the queries the status
// daemon asks, mapped to printer-state-reasons, a supply level and the ready
// media.
#pragma once

#include <pappl/pappl.h>

#include <string>

#include "common/TmpFiles.h"

class UsbPrinter;

// The supply, in words of the app's catalogue: the roll holds the ribbon and
// the paper together.
constexpr char kSupplyName[] = "Ribbon and paper";

struct PrinterReading {
  long status = kOfflineStatus;
  std::string mediaCode;  // "00310"; empty when unknown
  long remaining = -1;    // prints left
  long initial = -1;      // prints per new roll
  long totalCount = -1;   // prints in the printer's life
  std::string firmware, serial;
};

PrinterReading ReadPrinter(UsbPrinter& printer);

// IPP's words for a reading: reasons (with marker-supply-low when few prints
// are left) and the supply level in percent (-1: unknown).
pappl_preason_t ReasonsFor(const PrinterReading& reading);
int SupplyLevel(const PrinterReading& reading);
// Prints left on the loaded roll: none once the printer reports paper or
// ribbon end, whatever its count says; -1 when unknown.
long PrintsLeft(const PrinterReading& reading);
// At or below 10 % of a roll left (and not offline).
bool FewPrintsLeft(const PrinterReading& reading);
// False while the printer needs a person (paper or ribbon end, door open,
// jam, errors) or cannot be reached: nothing is sent to it then.
bool CanPrint(long status);

// Publishes `reading` on `printer` and keeps it for the status page.
void Publish(pappl_printer_t* printer, const PrinterReading& reading);
// The reading published last on `printer` (offline before the first).
PrinterReading LastReading(pappl_printer_t* printer);
// The status the pages show: a job holds the printer and its reading then
// stays as it was, so a ready printer with a job under way is printing.
long ShownStatus(pappl_printer_t* printer, const PrinterReading& reading);
