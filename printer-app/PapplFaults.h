// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Faults of the PAPPL this app is built against that users would meet, and
// what the app does about them: every work-around of the app is listed here,
// limited to the PAPPL versions that have the fault. QV46_PAPPL_VERSION
// (major * 10000 + minor * 100 + patch) comes from pkg-config at configure
// time. "Up to 1.4.9" means every PAPPL checked has it; the work-around then
// stays until a later PAPPL is checked.
//
// Public API first. Three work-arounds change PAPPL's own data where PAPPL
// has no API for it: its catalogue (kPapplKeepsItsOwnWords: the API only
// reads it) and its saved state and job files before it loads them
// (kPapplLoadsUnfinishedJobsStuck, kPapplLoadsJobAttributesTwice: no API
// holds or changes a job PAPPL loaded before its loop starts it), and a
// job's attributes file, written as the job is created and read back for a
// job the saved state lacks (kPapplSavesJobsLate: PAPPL saves after it
// answers).
#pragma once

#include <pappl/pappl.h>

#include <string>

// --- Jobs ---

// Up to 1.4.9: PAPPL keeps a printer's active jobs newest first and starts
// the first pending one on a new thread that marks it processing only once
// it runs: jobs submitted at once each start a thread on the one device,
// newest first, and a job can even start twice. The app holds every new job
// (papplPrinterHoldNewJobs) and its JobQueue worker releases them one at a
// time, oldest first, once the last one ended; what anyone else releases
// (Release-Held-New-Jobs, Release-Job) is held again before it can start.
constexpr bool kPapplStartsJobsOutOfTurn = QV46_PAPPL_VERSION < 10500;

// Up to 1.4.9: PAPPL streams a PWG or Apple raster document as it arrives
// and refuses one with not-accepting-jobs while it holds new jobs (with
// server-error-busy, which clients retry, only while a job prints): the held
// queue would turn phones away. Such a document waits for its turn instead.
constexpr bool kPapplRefusesRasterWhileHolding = QV46_PAPPL_VERSION < 10500;

// Up to 1.4.9: PAPPL calls the operation callback only for operations it
// does not know; the authorisation callback is the one call the app gets
// before PAPPL runs Print-Job, Release-Held-New-Jobs and the other
// operations of its own.
constexpr bool kPapplRunsItsOperationsUnseen = QV46_PAPPL_VERSION < 10500;

// Up to 1.4.9: PAPPL's loader keeps a saved job's state: a job saved while
// it printed loads as processing and is never run, a pending one starts as
// PAPPL pleases. No API holds a loaded job before the loop starts it, so
// the job lines of the state file are rewritten first (PrepareSavedJobs):
// every unfinished job loads held and waits its turn.
constexpr bool kPapplLoadsUnfinishedJobsStuck = QV46_PAPPL_VERSION < 10500;

// Up to 1.4.9: PAPPL gives a loaded job its job-id, job-uri, job-uuid,
// job-printer-uri, job-name and job-originating-user-name again beside the
// saved ones, so a client saw each twice; they are taken out of the job's
// saved attributes file first (PrepareSavedJobs).
constexpr bool kPapplLoadsJobAttributesTwice = QV46_PAPPL_VERSION < 10500;

// Up to 1.4.9: on a full disk PAPPL fails the request halfway and, when the
// last write only came up short, answers "Unable to write print file:
// Success". Jobs are refused up front while the spool is short of room
// (WatchSpoolSpace), with the reason spool-area-full.
constexpr bool kPapplHidesAFullSpool = QV46_PAPPL_VERSION < 10500;

// PAPPL answers Print-Job once the document is in the spool but saves the
// job (its state line and its attributes' .ipp file) only up to a second
// later, and keeps no attributes before then: a job accepted just before the
// process is killed is lost. AcceptedJobs writes the .ipp as PAPPL creates
// the job and adopts whole documents at start, in the file layout of PAPPL
// 1.3 and 1.4.
constexpr bool kPapplSavesJobsLate = QV46_PAPPL_VERSION >= 10300 && QV46_PAPPL_VERSION < 10500;

// --- Access ---

// Up to 1.4.9: PAPPL asks only the print group for Disable-Printer,
// Enable-Printer and Cancel-Current-Job, yet they change the printer for
// everyone: the app asks for an administrator.
constexpr bool kPapplLeavesPrinterChangesToPrinting = QV46_PAPPL_VERSION < 10500;

// Up to 1.4.9: PAPPL's Get-Jobs lists every job's name and owner to anyone;
// a client that is no administrator is answered with its own jobs.
constexpr bool kPapplListsEveryonesJobs = QV46_PAPPL_VERSION < 10500;

// Up to 1.4.9: PAPPL listens on the IPv4 addresses of a name that has both
// families ("localhost" is 127.0.0.1 alone); each family is named.
constexpr bool kPapplListensOnOneFamily = QV46_PAPPL_VERSION < 10500;

// Up to 1.4.9: PAPPL points libcups back at its default TLS folder whenever
// the host name changes; the app's own folder is set again every few
// seconds.
constexpr bool kPapplResetsTlsFolder = QV46_PAPPL_VERSION < 10500;

// PAPPL's own pages for administrators answer a request without a login
// with a bare "401 - Unauthorized" and offer nothing else. Its page
// functions are exported under their internal names in PAPPL 1.3 and 1.4,
// which lets the app put a page of its own in front of them.
constexpr bool kPapplAnswersBare401 = QV46_PAPPL_VERSION >= 10300 && QV46_PAPPL_VERSION < 10500;

// --- Words ---

// Before 1.4.6: PAPPL adds another copy of printer-strings-languages-
// supported to the printer's own attributes at every Get-Printer-Attributes
// that asks for it, once a strings file names a language; the reply grows
// without end.
constexpr bool kPapplRepeatsStringsLanguages = QV46_PAPPL_VERSION < 10406;

// PAPPL keeps the first text a catalogue gets for a key, and loads its own
// catalogues when the system is created, before the app can add anything:
// its words cannot be replaced through its API. The app replaces them in the
// catalogue itself, whose layout is known for PAPPL 1.3 and 1.4 only.
constexpr bool kPapplKeepsItsOwnWords = QV46_PAPPL_VERSION >= 10300 && QV46_PAPPL_VERSION < 10500;

// --- Not gated: the app's own way is the right one whatever PAPPL does ---
//
// - PAPPL's form reader keeps the whole body in memory and silently stops at
//   2 MB: the print page reads its upload itself (ReadMultipart), to disk.
// - PAPPL 1.3's papplJobCreateWithFile makes a job's options printer
//   defaults: the print page submits an IPP Print-Job (SubmitJob).
// - PAPPL 1.3.1's PNG reader loops for ever on a damaged file: photos are
//   decoded by the app (ImageJob).
// - PAPPL's command socket lets whoever connects administer, and libcups
//   makes it writable by all: it lives in a private folder (CommandSocket).
// - PAPPL 1.3's add-printer page aborts the process without avahi-daemon:
//   the app serves that path first (main.cpp).
// - PAPPL 1.3 and 1.4 forget a job's open device when the printer is opened
//   for a reading: its USB claim is released first (UsbScheme).
// - PAPPL 1.3 waits up to 60 s for queued jobs on SIGTERM and then cuts the
//   packet being written: the app stops by itself (StartStopper).
// - Orders PAPPL needs: a job released before its loop runs stays pending
//   for good (JobQueue waits for papplSystemIsRunning); filters to the
//   driver's format are found first, so the app's come before PAPPL's JPEG
//   and PNG readers; a page added inside papplSystemIteratePrinters hangs on
//   the system's lock (main.cpp completes printers after the iteration).

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

// PAPPL's page function `name` (such as "_papplPrinterWebJobs"), called with
// the client and its printer or system; null where this PAPPL has none.
using PapplPage = void (*)(pappl_client_t* client, void* data);
PapplPage FindPapplPage(const char* name);
