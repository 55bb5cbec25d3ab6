// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Faults of the PAPPL this app is built against that users would meet, and
// what the app does about them. Each is limited to the PAPPL versions that
// have it: QV46_PAPPL_VERSION (major * 10000 + minor * 100 + patch) comes from
// pkg-config at configure time.
#pragma once

#include <pappl/pappl.h>

#include <string>

// PAPPL before 1.4.6 adds another copy of printer-strings-languages-supported
// to the printer's own attributes at every Get-Printer-Attributes that asks
// for it, once a strings file names a language; the reply grows without end.
constexpr bool kPapplRepeatsStringsLanguages = QV46_PAPPL_VERSION < 10406;

// Every PAPPL checked, up to 1.4.9, keeps a printer's active jobs newest
// first and starts the first pending one on a new thread that marks it
// processing only once it runs: jobs submitted at once each start a thread on
// the one device, newest first, and a job can even start twice. The app
// holds every new job (papplPrinterHoldNewJobs) and its JobQueue worker
// releases them one at a time, oldest first, once the last one ended.
constexpr bool kPapplStartsJobsOutOfTurn = QV46_PAPPL_VERSION < 10500;

// PAPPL keeps the first text a catalogue gets for a key, and loads its own
// catalogues when the system is created, before the app can add anything:
// its words cannot be replaced through its API. The app replaces them in the
// catalogue itself, whose layout is known for PAPPL 1.3 and 1.4 only.
constexpr bool kPapplKeepsItsOwnWords = QV46_PAPPL_VERSION >= 10300 && QV46_PAPPL_VERSION < 10500;

// Adds the app's strings to PAPPL's catalogues for the web pages, in place
// of PAPPL's own text for the same key, and serves each as a strings file,
// /qv46-<language>.strings. Where PAPPL repeats the languages attribute, no
// strings file names its language to PAPPL; /qv46.strings then serves the
// one of the browser's or client's language (English by default).
void AddAppStrings(pappl_system_t* system);

// Where PAPPL repeats the languages attribute: printer-strings-languages-
// supported with each language once, and a printer-strings-uri of
// /qv46.strings on `system`, among the driver's attributes, which PAPPL
// copies into every reply as they are.
void AddStringsAttributes(pappl_system_t* system, ipp_t* driverAttrs);

// Gives `key` the text `text` in the catalogue of `language`; false when
// the catalogue cannot be changed.
bool SetCatalogueText(pappl_system_t* system, const char* language, const std::string& key,
                      const std::string& text);

// PAPPL answers Print-Job once the document is in the spool but saves the
// job (its state line and its attributes' .ipp file) only up to a second
// later, and keeps no attributes before then: a job accepted just before the
// process is killed is lost. AcceptedJobs writes the .ipp as PAPPL creates
// the job and adopts whole documents at start, in the file layout of PAPPL
// 1.3 and 1.4.
constexpr bool kPapplSavesJobsLate = QV46_PAPPL_VERSION >= 10300 && QV46_PAPPL_VERSION < 10500;
