// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "daemon/StatusDaemon.h"

#include <algorithm>
#include <iterator>
#include <system_error>

#include "common/Qv46Usb.h"
#include "daemon/PrinterPoll.h"
#include "daemon/RequestFiles.h"
#include "daemon/StatusFile.h"

StatusDaemon::~StatusDaemon() {
  std::vector<std::unique_ptr<thdata>> records;
  {
    std::lock_guard<std::mutex> lock(m);
    records.swap(thDevData);
  }
  for (const auto& record : records) {
    Stop(record.get());
    ctx_.usb.UnrefDevice(record->device);
  }
  std::lock_guard<std::mutex> lock(noticesMutex_);
  for (const Notice& notice : notices_) ctx_.usb.UnrefDevice(notice.device);
}

int StatusDaemon::Start() {
  if (!ctx_.usb.HasHotplug()) return 1;
  ctx_.bSELinuxEnabled = isSELinuxEnabled(ctx_.commands);
  if (ctx_.usb.RegisterHotplug(kQv46VendorId, kQv46ProductId, this) < 0) return 1;
  // Printers attached before the start were reported during registration.
  HandleNotices();
  return 0;
}

void StatusDaemon::RunOnce() {
  // Events are not handled while a printer thread is in a poll.
  while (!usb_openclose_mutex.try_lock()) ctx_.sleeper.SleepMs(kCycleMs);
  usb_openclose_mutex.unlock();
  ctx_.usb.HandleEvents();
  HandleNotices();
}

size_t StatusDaemon::PrinterCount() {
  std::lock_guard<std::mutex> lock(m);
  return thDevData.size();
}

void StatusDaemon::DeviceArrived(UsbDevice* device) {
  ctx_.usb.RefDevice(device);
  std::lock_guard<std::mutex> lock(noticesMutex_);
  notices_.push_back({true, device});
}

void StatusDaemon::DeviceLeft(UsbDevice* device) {
  ctx_.usb.RefDevice(device);
  std::lock_guard<std::mutex> lock(noticesMutex_);
  notices_.push_back({false, device});
}

void StatusDaemon::HandleNotices() {
  std::vector<Notice> pending;
  {
    std::lock_guard<std::mutex> lock(noticesMutex_);
    pending.swap(notices_);
  }
  for (const Notice& notice : pending) {
    if (notice.arrived)
      AddPrinter(notice.device);
    else
      RemovePrinter(notice.device);
    ctx_.usb.UnrefDevice(notice.device);
  }
}

void StatusDaemon::AddPrinter(UsbDevice* device) {
  UsbDeviceDescriptor descriptor;
  if (ctx_.usb.GetDeviceDescriptor(device, &descriptor) < 0) return;

  ctx_.usb.RefDevice(device);  // the record's own reference
  auto owned = std::make_unique<thdata>(device);
  thdata* record = owned.get();
  {
    std::lock_guard<std::mutex> lock(m);
    thDevData.push_back(std::move(owned));
  }
  if (StartThread(record)) return;

  // No thread for this printer; later arrivals are still taken on.
  std::lock_guard<std::mutex> lock(m);
  thDevData.erase(std::find_if(thDevData.begin(), thDevData.end(),
                               [record](const auto& r) { return r.get() == record; }));
  ctx_.usb.UnrefDevice(device);
}

void StatusDaemon::RemovePrinter(UsbDevice* device) {
  thdata* leaving = nullptr;
  {
    std::lock_guard<std::mutex> lock(m);
    auto found = std::find_if(thDevData.begin(), thDevData.end(),
                              [device](const auto& r) { return r->device == device; });
    if (found != thDevData.end()) leaving = found->get();
  }
  if (leaving != nullptr) Stop(leaving);

  std::vector<std::unique_ptr<thdata>> gone;
  {
    std::lock_guard<std::mutex> lock(m);
    auto firstGone = std::stable_partition(thDevData.begin(), thDevData.end(),
                                           [device](const auto& r) { return r->device != device; });
    std::move(firstGone, thDevData.end(), std::back_inserter(gone));
    thDevData.erase(firstGone, thDevData.end());
  }
  for (const auto& record : gone) {
    Stop(record.get());
    ctx_.usb.UnrefDevice(record->device);
  }
}

void StatusDaemon::Stop(thdata* record) {
  // Neither lock is held here: the thread may be finishing a poll.
  record->exitRequested = true;
  if (record->thread.joinable()) record->thread.join();
}

bool StatusDaemon::StartThread(thdata* record) {
  try {
    record->thread = std::thread(&StatusDaemon::thread_function, this, record);
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

void StatusDaemon::thread_function(thdata* record) {
  // udev announces a device before its rules have set the node's
  // permissions: a new printer that cannot be got hold of yet is tried again
  // after growing pauses for a few seconds, then at the cycle's pace.
  unsigned arrivalPauseMs = kArrivalFirstPauseMs;  // 0 once the arrival is over
  while (!record->exitRequested) {
    const bool reached = RunCycle(record);
    if (reached || arrivalPauseMs > kArrivalLastPauseMs) arrivalPauseMs = 0;
    ctx_.sleeper.SleepMs(arrivalPauseMs != 0 ? arrivalPauseMs : kCycleMs);
    arrivalPauseMs *= 2;
  }
  WriteFile(ctx_, record->serial);
}

bool StatusDaemon::RunCycle(thdata* record) {
  if (record->serialKnown) record->lastRequest = fileCheck(ctx_, record);
  if (record->lastRequest == kRequestNone && record->queueRegistered) return true;

  bool reached = false;
  std::lock_guard<std::mutex> usbLock(usb_openclose_mutex);
  if (ctx_.usb.Open(record->device, &record->handle) == 0) {
    const int driver = ctx_.usb.KernelDriverActive(record->handle, kQv46Interface);
    const bool free = driver == 0 || (driver == 1 && ctx_.usb.DetachKernelDriver(
                                                         record->handle, kQv46Interface) == 0);
    if (free && ctx_.usb.ClaimInterface(record->handle, kQv46Interface) == 0) {
      record->interfaceClaimed = true;
      reached = true;
      getPrinterInfo(ctx_, record);
    }
    if (record->interfaceClaimed) {
      ctx_.usb.ReleaseInterface(record->handle, kQv46Interface);
      record->interfaceClaimed = false;
    }
    ctx_.usb.Close(record->handle);
  }
  record->handle = nullptr;
  record->lastRequest = kRequestNone;
  return reached;
}
