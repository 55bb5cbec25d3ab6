// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "LibusbBus.h"

#include <libusb.h>

#include <utility>

#include "common/UsbPrinter.h"

namespace zelbackend {
namespace {

// The backend's seam over the shared libusb printer.
class LibusbChannel : public PrinterChannel {
 public:
  explicit LibusbChannel(std::unique_ptr<UsbPrinter> printer) : printer_(std::move(printer)) {}

  int BulkOut(const uint8_t* data, int length, int* done) override {
    return printer_->BulkOut(data, length, done);
  }
  int BulkIn(uint8_t* data, int capacity, int* done) override {
    return printer_->BulkIn(data, capacity, done);
  }
  std::string DeviceId() override { return printer_->DeviceId(); }

 private:
  std::unique_ptr<UsbPrinter> printer_;
};

}  // namespace

LibusbBus::LibusbBus() {
  initResult_ = libusb_init(&context_);
  if (initResult_ != 0) context_ = nullptr;
}

LibusbBus::~LibusbBus() {
  Forget();
  if (context_) libusb_exit(context_);
}

void LibusbBus::Forget() {
  for (libusb_device* device : printers_) libusb_unref_device(device);
  printers_.clear();
}

int LibusbBus::Scan() {
  Forget();
  if (context_) printers_ = ListQv46(context_);
  return static_cast<int>(printers_.size());
}

int LibusbBus::Open(int index, std::unique_ptr<PrinterChannel>* channel) {
  if (index < 0 || index >= static_cast<int>(printers_.size())) return LIBUSB_ERROR_NOT_FOUND;
  std::unique_ptr<UsbPrinter> printer;
  const int rc = UsbPrinter::Open(printers_[static_cast<size_t>(index)], &printer);
  if (rc == 0) channel->reset(new LibusbChannel(std::move(printer)));
  return rc;
}

}  // namespace zelbackend
