// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The printer's state over IPP and on the web status page: the queries the
// status daemon asks, mapped to printer-state-reasons, a supply level and
// the ready media.
#pragma once

#include <pappl/pappl.h>

#include <string>

#include "common/TmpFiles.h"

class UsbPrinter;

struct PrinterReading {
  long status = kOfflineStatus;
  std::string mediaCode;  // "00310"; empty when unknown
  long remaining = -1;    // prints left
  long initial = -1;      // prints per new roll
  long totalCount = -1;   // prints in the printer's life
  std::string firmware, serial;
};

PrinterReading ReadPrinter(UsbPrinter& printer);

// IPP's words for a reading: reasons (with marker-supply-low at or below
// 10 % left) and the supply level in percent (-1: unknown).
pappl_preason_t ReasonsFor(const PrinterReading& reading);
int SupplyLevel(const PrinterReading& reading);
// The status monitor's words.
const char* StatusText(long status);
const char* StatusMessage(long status);
// False while the printer needs a person (paper or ribbon end, door open,
// jam, errors) or cannot be reached: nothing is sent to it then.
bool CanPrint(long status);

// Publishes `reading` on `printer` and keeps it for the status page.
void Publish(pappl_printer_t* printer, const PrinterReading& reading);

// Adds the printer's web status page and puts the app's supplies page in
// place of PAPPL's.
void AddStatusPage(pappl_printer_t* printer);
