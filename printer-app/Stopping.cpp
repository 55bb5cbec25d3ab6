// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printer-app/Stopping.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>
#include <utility>

#include "common/Qv46Usb.h"
#include "common/ReplaceFile.h"
#include "printer-app/PapplFaults.h"

namespace {

// The stop and the packets written to printers, under one lock: a packet
// either began before the stop, which waits for it, or never begins.
std::mutex gWriteMutex;
std::condition_variable gWritesChanged;
bool gStopping = false;
int gWrites = 0;
std::set<pid_t> gChildren;

// A packet is written as transfers of at most the printer's write timeout
// each; the last one may just have begun.
constexpr std::chrono::milliseconds kPacketWait{kQv46BulkTimeoutMs + 2000};

sigset_t StopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  return signals;
}

void Pause(pappl_printer_t* printer, void*) { papplPrinterPause(printer); }

void Stop(pappl_system_t* system, const StopSteps& steps) {
  {
    std::lock_guard<std::mutex> lock(gWriteMutex);
    gStopping = true;
  }
  steps.stopWorkers();
  papplLog(system, PAPPL_LOGLEVEL_INFO, "Stopping: queued jobs are kept for the next start.");
  papplSystemIteratePrinters(system, Pause, nullptr);
  {
    std::unique_lock<std::mutex> lock(gWriteMutex);
    if (!gWritesChanged.wait_for(lock, kPacketWait, [] { return gWrites == 0; }))
      papplLog(system, PAPPL_LOGLEVEL_ERROR, "Stopping: a printer took no data for %u ms.",
               kQv46BulkTimeoutMs);
    for (pid_t child : gChildren) kill(child, SIGTERM);
  }
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

bool AppStopping() {
  std::lock_guard<std::mutex> lock(gWriteMutex);
  return gStopping;
}

PacketWrite::PacketWrite() {
  std::unique_lock<std::mutex> lock(gWriteMutex);
  // The job's thread waits here for the end of the process.
  gWritesChanged.wait(lock, [] { return !gStopping; });
  ++gWrites;
}

PacketWrite::~PacketWrite() {
  std::lock_guard<std::mutex> lock(gWriteMutex);
  --gWrites;
  gWritesChanged.notify_all();
}

void EndOnStop(pid_t pid) {
  std::lock_guard<std::mutex> lock(gWriteMutex);
  if (gStopping)
    kill(pid, SIGTERM);
  else
    gChildren.insert(pid);
}

void ForgetOnStop(pid_t pid) {
  std::lock_guard<std::mutex> lock(gWriteMutex);
  gChildren.erase(pid);
}

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
  // matched as text. Where the app hands PAPPL one job at a time, every
  // unfinished job waits held for its turn.
  const std::string processing = " state=\"5\"", pending = " state=\"3\"", held = " state=\"4\"";
  const std::string& waiting = kPapplStartsJobsOutOfTurn ? held : pending;
  std::ostringstream out;
  bool changed = false;
  for (std::string line; std::getline(in, line);) {
    for (const std::string* from : {&processing, &pending}) {
      const size_t at = line.rfind("Job ", 0) == 0 ? line.find(*from) : std::string::npos;
      if (at != std::string::npos && *from != waiting) {
        line.replace(at, from->size(), waiting);
        changed = true;
      }
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
  // Written from the start again: a message read whole is in its data
  // state, and would write nothing, leaving the job without its options.
  ippSetState(attrs, IPP_STATE_IDLE);
  if (read && changed && ippWriteIO(&content, AppendTo, 1, nullptr, attrs) == IPP_STATE_DATA)
    Rewrite(path, content);
  ippDelete(attrs);
}

}  // namespace

void PrepareSavedJobs(const std::string& spoolDirectory, const std::string& statePath) {
  if (kPapplLoadsUnfinishedJobsStuck) RequeueStoppedJobs(statePath);
  if (!kPapplLoadsJobAttributesTwice) return;
  DIR* dir = opendir(spoolDirectory.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".ipp") == 0)
      DropReaddedAttributes(spoolDirectory + "/" + name);
  }
  closedir(dir);
}
