// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// A job a client was told is accepted survives a stop of any kind. PAPPL
// answers Print-Job once the document is in the spool, but saves the job
// itself (its line in the state file, its attributes in a .ipp file beside
// the document) only up to a second later. So the app writes each job's
// attributes when PAPPL creates it, before the document arrives, and a start
// adopts every job whose document arrived whole but the saved state does not
// know or knows without its document. Likewise a job is marked before the
// command that prints it goes out, until a saved state says the job ended: a
// start holds a marked job, saying it may have printed, instead of printing
// it again.
#pragma once

#include <pappl/pappl.h>

#include <string>
#include <vector>

// From now on, each job's attributes are in the spool as soon as PAPPL
// creates the job.
void KeepNewJobs(pappl_system_t* system);

// Before PAPPL loads `statePath`: adds the jobs of `spoolDirectory` whose
// document is whole to the state, waiting their turn with their options, and
// removes the files of jobs whose document never arrived whole.
void AdoptAcceptedJobs(const std::string& spoolDirectory, const std::string& statePath);

// True when the document at `path`, of MIME type `format`, ends where its
// format says it ends (JPEG, PNG and PDF; false for any other format).
bool DocumentIsWhole(const std::string& path, const std::string& format);

// The printing command of `job` is about to go out.
void MarkPrinting(pappl_job_t* job);
// After PAPPL loaded the state: holds each unfinished job that is marked, and
// says why.
void HoldJobsThatMayHavePrinted(pappl_system_t* system);
// The marks in `spoolDirectory` of jobs that ended; they go once a state
// saved after this call is in place.
std::vector<std::string> MarksOfEndedJobs(pappl_system_t* system,
                                          const std::string& spoolDirectory);
