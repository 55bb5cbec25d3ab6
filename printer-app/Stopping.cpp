// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printer-app/Stopping.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>

#include "common/ReplaceFile.h"

namespace {

std::atomic<bool> gStopping{false};

// How long the job under way may take to finish its batch.
constexpr int kJobWaitSteps = 60;
constexpr std::chrono::milliseconds kJobWaitStep{50};

sigset_t StopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  return signals;
}

void Pause(pappl_printer_t* printer, void*) { papplPrinterPause(printer); }

bool IsProcessing(pappl_job_t* job) { return papplJobGetState(job) == IPP_JSTATE_PROCESSING; }

void CountProcessing(pappl_job_t* job, void* data) {
  if (IsProcessing(job)) ++*static_cast<int*>(data);
}

// A printer PAPPL stopped because it cannot open it holds its job
// "processing" until it returns; that job is saved as it is.
void CountPrinterJobs(pappl_printer_t* printer, void* data) {
  if (papplPrinterGetState(printer) == IPP_PSTATE_PROCESSING)
    papplPrinterIterateActiveJobs(printer, CountProcessing, data, 1, 0);
}

int ProcessingJobs(pappl_system_t* system) {
  int count = 0;
  papplSystemIteratePrinters(system, CountPrinterJobs, &count);
  return count;
}

void Stop(pappl_system_t* system, const StopSteps& steps) {
  gStopping = true;
  steps.stopWorkers();
  papplLog(system, PAPPL_LOGLEVEL_INFO, "Stopping: queued jobs are kept for the next start.");
  papplSystemIteratePrinters(system, Pause, nullptr);
  for (int step = 0; step < kJobWaitSteps && ProcessingJobs(system) > 0; ++step)
    std::this_thread::sleep_for(kJobWaitStep);
  steps.saveState();
  papplLog(system, PAPPL_LOGLEVEL_INFO, "Stopped.");
  // Nothing is torn down under the threads PAPPL still runs: the process
  // ends here, as PAPPL's own forced stop would after its wait.
  _exit(0);
}

}  // namespace

void BlockStopSignals() {
  const sigset_t signals = StopSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

void StartStopper(pappl_system_t* system, StopSteps steps) {
  std::thread([system, steps = std::move(steps)] {
    const sigset_t signals = StopSignals();
    int signal = 0;
    while (sigwait(&signals, &signal) != 0) {
    }
    Stop(system, steps);
  }).detach();
}

void RequestStop() { kill(getpid(), SIGTERM); }

bool AppStopping() { return gStopping; }

namespace {

// The state and job files are rewritten by renaming a whole new file over
// them, so a stop or a full disk in the middle never loses them.
void Rewrite(const std::string& path, const std::string& content) {
  int fd = -1;
  if (ReplaceFile(path, content, 0600, nullptr, &fd) == 0) close(fd);
}

ssize_t AppendTo(void* text, ipp_uchar_t* data, size_t bytes) {
  static_cast<std::string*>(text)->append(reinterpret_cast<const char*>(data), bytes);
  return static_cast<ssize_t>(bytes);
}

void RequeueStoppedJobs(const std::string& statePath) {
  std::ifstream in(statePath);
  if (!in) return;
  // Values are always quoted and their quotes escaped, so the option can be
  // matched as text.
  const std::string processing = " state=\"5\"", pending = " state=\"3\"";
  std::ostringstream out;
  bool changed = false;
  for (std::string line; std::getline(in, line);) {
    const size_t at = line.rfind("Job ", 0) == 0 ? line.find(processing) : std::string::npos;
    if (at != std::string::npos) {
      line.replace(at, processing.size(), pending);
      changed = true;
    }
    out << line << '\n';
  }
  in.close();
  if (changed) Rewrite(statePath, out.str());
}

void DropReaddedAttributes(const std::string& path) {
  static const char* const kReadded[] = {
      "job-id", "job-uri", "job-uuid", "job-printer-uri", "job-name", "job-originating-user-name"};
  const int in = open(path.c_str(), O_RDONLY);
  if (in < 0) return;
  ipp_t* attrs = ippNew();
  const bool read = ippReadFile(in, attrs) == IPP_STATE_DATA;
  close(in);
  bool changed = false;
  for (const char* name : kReadded) {
    for (ipp_attribute_t* attr; (attr = ippFindAttribute(attrs, name, IPP_TAG_ZERO)) != nullptr;) {
      ippDeleteAttribute(attrs, attr);
      changed = true;
    }
  }
  std::string content;
  if (read && changed && ippWriteIO(&content, AppendTo, 1, nullptr, attrs) == IPP_STATE_DATA)
    Rewrite(path, content);
  ippDelete(attrs);
}

}  // namespace

void PrepareSavedJobs(const std::string& spoolDirectory, const std::string& statePath) {
  RequeueStoppedJobs(statePath);
  DIR* dir = opendir(spoolDirectory.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".ipp") == 0)
      DropReaddedAttributes(spoolDirectory + "/" + name);
  }
  closedir(dir);
}
