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

// Every PAPPL checked, up to 1.4.9, keeps a printer's active jobs newest
// first and starts the first pending one on a new thread that marks it
// processing only once it runs: jobs submitted at once each start a thread on
// the one device, newest first, and a job can even start twice. The app
// holds every new job (papplPrinterHoldNewJobs) and its JobQueue worker
// releases them one at a time, oldest first, once the last one ended.
constexpr bool kPapplStartsJobsOutOfTurn = QV46_PAPPL_VERSION < 10500;

// Adds the app's strings to PAPPL's catalogues for the web pages. Where
// PAPPL repeats the languages attribute, no strings file keeps its language
// (and IPP clients get no printer-strings-uri).
void AddAppStrings(pappl_system_t* system);
