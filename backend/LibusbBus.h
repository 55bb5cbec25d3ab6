// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The real PrinterBus: QV-46 printers (USB 5e1d:000a) through libusb.
#pragma once

#include <vector>

#include "PrinterBus.h"

struct libusb_context;
struct libusb_device;

namespace zelbackend {

class LibusbBus : public PrinterBus {
 public:
  LibusbBus();
  ~LibusbBus() override;
  LibusbBus(const LibusbBus&) = delete;
  LibusbBus& operator=(const LibusbBus&) = delete;

  // libusb_init's result: 0, or a negative libusb code.
  int InitResult() const { return initResult_; }

  int Scan() override;
  int Open(int index, std::unique_ptr<PrinterChannel>* channel) override;

 private:
  void Forget();

  libusb_context* context_ = nullptr;
  int initResult_ = 0;
  std::vector<libusb_device*> printers_;  // referenced until the next scan
};

}  // namespace zelbackend
