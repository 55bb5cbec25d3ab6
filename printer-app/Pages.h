// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The app's own web pages where PAPPL's would hide or misword the printer's
// state: the home page and each printer's page show the state picture, the
// monitor's word and instruction and the prints left; the printer's status
// and supplies pages; the state words PAPPL's own pages use.
#pragma once

#include <pappl/pappl.h>

// Before the system runs: the home page (in place of PAPPL's), the state
// pictures under /qv46-state/, and the monitor's state and stock words for
// PAPPL's printer-state, printer-state-reasons and media keys.
void AddSystemPages(pappl_system_t* system);

// The printer's page, status page and supplies page, in place of PAPPL's.
void AddPrinterPages(pappl_printer_t* printer);
