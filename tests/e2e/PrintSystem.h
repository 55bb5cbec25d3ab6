// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The whole print path on one machine, for end-to-end tests and the demo:
// a simulated QV-46 (qv46-sim, capturing its bulk OUT bytes), a private
// cupsd with the real filter and backend, and optionally the real status
// daemon, which then registers the printer's queue itself.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "PrivateCupsd.h"
#include "qv46sim.h"

namespace e2e {

// Polls, soon at first, then every 100 ms; true as soon as the condition holds.
bool Eventually(const std::function<bool()>& condition, int timeoutMs);
std::string ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const std::string& bytes, unsigned mode = 0644);
bool Exists(const std::string& path);
// True when `bytes` are whole command packets, the last one complete.
bool WholePackets(const std::string& bytes);

// The job stream in bytes a printer received: without the queries in front
// of it, and without anything after its last START command.
std::string JobStreamIn(std::string bytes);

struct Programs {
  std::string filter, backend, simulator, streamTool;
  std::string daemon;  // empty: no status daemon
};

class PrintSystem {
 public:
  struct Options {
    Programs programs;
    std::vector<std::string> extraModels;   // more PPDs for lpadmin -m
    std::vector<std::string> extraFilters;  // more filters in ServerBin
    int printers = 1;                       // simulated printers, each capturing its own bytes
    std::vector<std::string> serials;       // their serials instead of made-up ones
  };

  explicit PrintSystem(Options options);
  ~PrintSystem();
  PrintSystem(const PrintSystem&) = delete;
  PrintSystem& operator=(const PrintSystem&) = delete;

  // Creates the scratch folder (work()) first, so callers can put files
  // there and add them to options() before start(). False with a reason.
  bool Prepare(std::string* error);
  Options& MutableOptions() { return options_; }
  // Starts the printer, cupsd and the daemon (if any); with the daemon,
  // waits until it registered the printer's queue.
  bool Start(std::string* error);

  const std::string& Work() const { return work_; }
  const std::string& Serial() const { return serial_; }
  // Every printer's serial, Serial() first.
  std::vector<std::string> Serials() const;
  // One qv46-sim command ("unplug SERIAL", "plug SERIAL"...); true on "ok".
  bool SimulatorCommand(const std::string& line);
  qv46test::PrivateCupsd& Cupsd() { return *cupsd_; }

  // The daemon's queue for our printer, as the daemon creates it.
  static const char* QueueName() { return "VALDREN-QV-46"; }
  static std::string DaemonQueueCommand(const std::string& serial);

  // lp -d queue -o option... file; the job id, or -1 (lp's words in *out).
  int Submit(const std::string& queue, const std::vector<std::string>& options,
             const std::string& file, std::string* out = nullptr);
  static int JobState(int id);
  // Waits until the job is in one of `states`; returns its state then.
  static int WaitForJob(int id, const std::set<int>& states, int timeoutMs = 60000);
  static std::string PrinterStateReasons(const std::string& queue);

  // Bytes the printer received so far, and the job stream in what it
  // received after `offset`: without the queries of the backend and the
  // daemon in front of it, and without anything after its START command.
  size_t Captured() const { return Captured(serial_); }
  size_t Captured(const std::string& serial) const;
  // The file holding every byte that printer received.
  std::string CapturePath(const std::string& serial) const;
  std::string JobStreamSince(size_t offset) const;
  // Runs qv46-stream on `stream`, writing planes and previews into `dir`;
  // returns its exit status and its listing in *listing.
  int Decode(const std::string& stream, const std::string& dir, std::string* listing);

  // True once the pause marker, job information and waiting files of the job are
  // gone (waits up to 15 s for a backend that is still ending).
  bool BackendFilesGone(const std::string& serial, int job);

 private:
  bool StartSimulator(std::string* error);
  bool StartDaemon(std::string* error);

  Options options_;
  std::string work_, serial_;
  std::vector<std::string> simEnv_;
  std::string simPreload_;
  std::unique_ptr<qv46sim::Process> simulator_, daemon_;
  std::unique_ptr<qv46test::PrivateCupsd> cupsd_;
};

}  // namespace e2e
