// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Faults of the PAPPL this app is built against that users would meet, and
// what the app does about them. Each is limited to the PAPPL versions that
// have it: QV46_PAPPL_VERSION (major * 10000 + minor * 100 + patch) comes from
// pkg-config at configure time.
#pragma once

#include <pappl/pappl.h>

// PAPPL before 1.4.6 adds another copy of printer-strings-languages-supported
// to the printer's own attributes at every Get-Printer-Attributes that asks
// for it, once a strings file names a language; the reply grows without end.
constexpr bool kPapplRepeatsStringsLanguages = QV46_PAPPL_VERSION < 10406;

// Adds the app's strings to PAPPL's catalogues for the web pages. Where
// PAPPL repeats the languages attribute, no strings file keeps its language
// (and IPP clients get no printer-strings-uri).
void AddAppStrings(pappl_system_t* system);

// PAPPL's printer page takes its form's actions (hold new jobs, identify the
// printer, print a test page) from whoever loaded the page, without a login.
// The page is served through a wrapper that asks an administrator's login
// for a POST first; called for each printer once PAPPL added its pages.
void GuardPrinterPage(pappl_printer_t* printer);
