// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Stopping the application: SIGTERM or SIGINT ends it once the packet being
// written to a printer is whole (at most the printer's write timeout), with
// the queue kept for the next start: the job under way is saved unfinished
// and printed whole again. PAPPL 1.3 itself waits up to 60 s for every
// queued job to print first.
#pragma once

#include <pappl/pappl.h>
#include <sys/types.h>

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
// workers, pauses the printers so that no queued job starts, waits for the
// packet being written, ends the helper programs, saves the state and ends
// the process.
void StartStopper(pappl_system_t* system, StopSteps steps);
// Asks the stopper to stop the application, as a signal would.
void RequestStop();
// True once the application stops.
bool AppStopping();

// Held while one packet is written to a printer: the stop waits for it. Once
// the application stops, no packet begins: the constructor never returns,
// and the job stays unfinished until the process ends.
class PacketWrite {
 public:
  PacketWrite();
  ~PacketWrite();
  PacketWrite(const PacketWrite&) = delete;
  PacketWrite& operator=(const PacketWrite&) = delete;
};

// A helper program a job started (Ghostscript): the stop ends it with the
// application. Each registered pid is forgotten once it was waited for.
void EndOnStop(pid_t pid);
void ForgetOnStop(pid_t pid);

// Prepares the saved queue for PAPPL's loader, rewriting PAPPL's own files
// where no API reaches a loaded job: a job saved while it printed or waited
// for its printer waits its turn again (kPapplLoadsUnfinishedJobsStuck), and
// the attributes PAPPL gives a job again when it loads it are taken out of
// its saved ones (kPapplLoadsJobAttributesTwice).
void PrepareSavedJobs(const std::string& spoolDirectory, const std::string& statePath);
