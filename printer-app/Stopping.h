// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Stopping the application: SIGTERM or SIGINT ends it within a few seconds
// whatever the printers are doing, with the queue kept for the next start.
// PAPPL 1.3 itself waits up to 60 s for every queued job to print first.
#pragma once

#include <pappl/pappl.h>

#include <functional>
#include <string>

struct StopSteps {
  std::function<void()> stopWorkers;  // ends and joins the app's own threads
  std::function<void()> saveState;    // writes the state file one last time
};

// Blocks SIGTERM and SIGINT in the calling thread, and so in every thread it
// starts afterwards; call it before any thread is started.
void BlockStopSignals();
// Has a thread of its own wait for those signals; on one it stops the
// workers, pauses the printers so that no queued job starts, lets the job
// under way end after the batch it is sending, saves the state and ends the
// process.
void StartStopper(pappl_system_t* system, StopSteps steps);
// Asks the stopper to stop the application, as a signal would.
void RequestStop();
// True once the application stops; jobs end at their next check.
bool AppStopping();

// Prepares the saved queue for PAPPL 1.3's loader: a job saved while it
// waited for its printer is queued again (PAPPL loads it as "processing"
// and never runs it), and the attributes PAPPL gives a job again when it
// loads it are taken out of its saved ones (or a client sees each twice).
void PrepareSavedJobs(const std::string& spoolDirectory, const std::string& statePath);
