// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// A scripted USB bus for the backend's tests: printers that answer INFO
// queries, record what they are sent, and can be busy or fail.
#pragma once

#include <libusb.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "PrinterBus.h"

struct FakePrinter {
  std::string serial;
  std::string deviceId = "MANUFACTURER:VALDREN;MODEL:QV-46;";
  std::map<std::string, std::string> replies;  // "INFO MEDIA" -> wire bytes
  int busyOpens = 0;                           // this many opens fail with LIBUSB_ERROR_BUSY
  size_t sendLimit = 0;                        // when > 0, each bulk OUT moves at most this much
  long failAfterBytes = -1;                    // bulk OUT fails once this much stream was sent
  std::function<void()> onStreamTransfer;      // runs before each stream transfer

  std::vector<std::string> queries;  // "INFO SERIAL_NUMBER", ...
  bool keepStream = true;            // false: only count the stream's bytes
  std::string stream;                // every other byte sent, in order
  size_t streamBytes = 0;
  std::vector<int> transfers;  // sizes of the stream's transfers
  int opens = 0;
  bool claimed = false;

  explicit FakePrinter(std::string s);
};

// A well-formed reply packet carrying `text`.
std::string ReplyPacket(const std::string& text);

class FakeBus : public zelbackend::PrinterBus {
 public:
  std::vector<std::shared_ptr<FakePrinter>> printers;

  int Scan() override { return static_cast<int>(printers.size()); }
  int Open(int index, std::unique_ptr<zelbackend::PrinterChannel>* channel) override;
};
