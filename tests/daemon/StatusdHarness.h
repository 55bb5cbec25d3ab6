// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Runs the real qv46-statusd against simulated printers: readiness through
// a private NOTIFY_SOCKET, unique serials, and clean-up of every /tmp file
// the run touched.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Fakes.h"
#include "daemon/StatusDaemon.h"
#include "qv46sim.h"

namespace qv46test {

class StatusdHarness {
 public:
  // The daemon runs this many times faster than it does for users: a cycle
  // of kCycleMs / kPace, the first tries after an arrival as much quicker.
  static constexpr unsigned kPace = 5;
  static constexpr int kTestCycleMs = static_cast<int>(kCycleMs / kPace);

  explicit StatusdHarness(qv46sim::Testbed& bed);
  ~StatusdHarness();

  // Lets `cycles` of the daemon's cycles pass, and time for a poll under way
  // to reach the printer: for what must not happen, which has no event.
  static void LetCyclesPass(int cycles);

  // Starts the daemon with `extraEnv` added and waits for READY=1; false
  // when it did not come.
  bool Start(const std::vector<std::string>& extraEnv = {});
  bool Running() { return daemon_.Running(); }
  qv46sim::Process& Process() { return daemon_; }

  // A serial no other test or run uses; its /tmp files are removed at the end.
  std::string NewSerial(const std::string& tag);
  // Forgets a file name that is not derived from a serial, for clean-up.
  void RemoveAtEnd(const std::string& path) { extraFiles_.push_back(path); }

  static std::string StatusPath(const std::string& serial) {
    return "/tmp/QV-46_" + serial + ".log";
  }
  static std::string WatchPath(const std::string& serial) {
    return "/tmp/QV-46_" + serial + "_UTIL";
  }
  static std::string CountPath(const std::string& serial) {
    return "/tmp/QV-46_" + serial + "_TC_UTIL";
  }
  static std::string PausePath(const std::string& serial) {
    return "/tmp/Pause_valdren-zelbackend:__VALDREN_QV-46?serial=" + serial;
  }
  // The status file's lines, or none while it is missing or half written.
  static std::vector<std::string> StatusLines(const std::string& serial);
  static bool IsOffline(const std::string& serial);
  static bool IsOnline(const std::string& serial);

 private:
  qv46sim::Testbed& bed_;
  qv46sim::Process daemon_;
  std::vector<std::string> serials_;
  std::vector<std::string> extraFiles_;
  int counter_ = 0;
};

}  // namespace qv46test
