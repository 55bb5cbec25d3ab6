// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// One connected printer: its identity, what has been learnt about it and the
// flags of its polling cycle.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "daemon/UsbPort.h"

constexpr size_t kModelSize = 128;
constexpr size_t kSerialSize = 64;

struct thdata {
  explicit thdata(UsbDevice* dev) : device(dev) {}

  std::thread thread;
  UsbHandle* handle = nullptr;  // open only while the printer is polled
  UsbDevice* device;            // the key by which records are found
  char model[kModelSize] = {};
  char serial[kSerialSize] = {};
  // Set by the main thread; the printer thread ends at its next check.
  std::atomic<bool> exitRequested{false};
  bool modelMatched = false;
  bool serialKnown = false;
  bool queueRegistered = false;
  int32_t lastRequest = 0;
  int32_t lastTotalCount = -1;
  bool interfaceClaimed = false;
  bool monitorWatching = false;
  bool watchCountRead = false;
  bool backendPrinting = false;
  bool printEnded = false;
};
