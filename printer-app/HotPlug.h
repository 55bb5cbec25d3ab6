// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Printers that come and go: one PAPPL printer per QV-46 serial, named like
// the classic queues, and offline while unplugged.
#pragma once

#include <pappl/pappl.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

class HotPlug {
 public:
  // Also when the process ends without Stop: the worker is never left
  // waiting on a condition variable that is being destroyed.
  ~HotPlug();

  // Looks at the bus now, then every `interval` on a thread of its own;
  // `added` completes each printer it creates.
  static void Start(pappl_system_t* system, std::chrono::milliseconds interval,
                    std::function<void(pappl_printer_t*)> added);
  // Ends the worker and waits for it; it never looks again.
  static void Stop();

  // One look: adds new printers, and marks missing ones offline at once.
  void Scan(pappl_system_t* system);

 private:
  void Work(pappl_system_t* system, std::chrono::milliseconds interval);
  void Join();

  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopped_ = false;
  std::thread worker_;
  std::function<void(pappl_printer_t*)> added_;
  // Serials of the printers seen on the bus, by bus and address.
  std::map<std::pair<int, int>, std::string> known_;
};

// "VALDREN-QV-46", then "VALDREN-QV-46-2" and so on: the first name free.
std::string FreePrinterName(pappl_system_t* system);
