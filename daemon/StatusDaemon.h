// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The daemon's main-thread logic: hot-plug notices, one record and one
// thread per connected printer, and the printer threads' polling cycle.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "daemon/DaemonContext.h"
#include "daemon/PrinterRecord.h"

constexpr unsigned kCycleMs = 1000;
// Pauses between the tries to get hold of a printer that has just arrived:
// doubling from the first to the last (about three seconds in all).
constexpr unsigned kArrivalFirstPauseMs = 50;
constexpr unsigned kArrivalLastPauseMs = 1600;

class StatusDaemon : public HotplugListener {
 public:
  explicit StatusDaemon(DaemonContext& ctx) : ctx_(ctx) {}
  // Stops every printer thread (each writes its offline file) and frees the records.
  ~StatusDaemon() override;
  StatusDaemon(const StatusDaemon&) = delete;
  StatusDaemon& operator=(const StatusDaemon&) = delete;

  // Decides SELinux, registers for hot-plug notices and takes on the printers
  // already attached. Returns 0, or 1 when USB cannot report hot-plug events.
  int Start();
  // One turn of the main loop: wait while a printer is being polled, handle
  // USB events, then create or retire records for what arrived or left.
  void RunOnce();

  size_t PrinterCount();

  // Hot-plug notices can come on any thread that handles USB events, a
  // printer thread in a transfer included: they only note the device.
  void DeviceArrived(UsbDevice* device) override;
  void DeviceLeft(UsbDevice* device) override;

 protected:
  // Starts the record's thread; false when the system refuses one.
  virtual bool StartThread(thdata* record);

 private:
  struct Notice {
    bool arrived;
    UsbDevice* device;  // referenced until handled
  };

  void HandleNotices();
  void AddPrinter(UsbDevice* device);
  void RemovePrinter(UsbDevice* device);
  void thread_function(thdata* record);
  // False when the printer was due a poll but could not be opened and claimed.
  bool RunCycle(thdata* record);
  // Asks the record's thread to end and waits for it.
  void Stop(thdata* record);

  DaemonContext& ctx_;
  std::vector<std::unique_ptr<thdata>> thDevData;  // in order of arrival
  std::mutex m;                                    // guards thDevData
  std::mutex usb_openclose_mutex;                  // one printer talked to at a time
  std::mutex noticesMutex_;
  std::vector<Notice> notices_;
};
