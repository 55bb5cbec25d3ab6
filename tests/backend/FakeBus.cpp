// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "FakeBus.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

std::string Trimmed(const std::string& word) {
  size_t end = word.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : word.substr(0, end + 1);
}

class FakeChannel : public zelbackend::PrinterChannel {
 public:
  explicit FakeChannel(std::shared_ptr<FakePrinter> p) : p_(std::move(p)) { p_->claimed = true; }
  ~FakeChannel() override { p_->claimed = false; }

  int BulkOut(const uint8_t* data, int length, int* done) override {
    *done = 0;
    const char* bytes = reinterpret_cast<const char*>(data);
    if (length == 32 && std::memcmp(bytes, "\x1bPINFO  ", 8) == 0) {
      std::string key = "INFO " + Trimmed(std::string(bytes + 8, 16));
      p_->queries.push_back(key);
      pending_ = p_->replies.count(key) ? p_->replies[key] : std::string();
      *done = length;
      return 0;
    }
    if (p_->onStreamTransfer) p_->onStreamTransfer();
    if (p_->failAfterBytes >= 0 && static_cast<long>(p_->stream.size()) >= p_->failAfterBytes)
      return LIBUSB_ERROR_NO_DEVICE;
    // Nothing allocated per transfer: a test measures the backend's memory.
    const size_t all = static_cast<size_t>(length);
    size_t n = p_->sendLimit ? std::min(p_->sendLimit, all) : all;
    if (p_->keepStream) p_->stream.append(bytes, n);
    p_->streamBytes += n;
    p_->transfers.push_back(length);
    *done = static_cast<int>(n);
    return 0;
  }

  int BulkIn(uint8_t* data, int capacity, int* done) override {
    *done = 0;
    if (pending_.empty()) return LIBUSB_ERROR_TIMEOUT;
    size_t n = std::min(pending_.size(), static_cast<size_t>(capacity));
    std::memcpy(data, pending_.data(), n);
    pending_.erase(0, n);
    *done = static_cast<int>(n);
    return 0;
  }

  std::string DeviceId() override { return p_->deviceId; }

 private:
  std::shared_ptr<FakePrinter> p_;
  std::string pending_;
};

}  // namespace

std::string ReplyPacket(const std::string& text) {
  char header[16];
  std::snprintf(header, sizeof header, "%08zu", text.size() + 1);
  return header + text + "\r";
}

FakePrinter::FakePrinter(std::string s) : serial(std::move(s)) {
  replies["INFO SERIAL_NUMBER"] = ReplyPacket(serial);
  replies["INFO MEDIA"] = ReplyPacket("0000310");
  replies["INFO RQTY"] = ReplyPacket("00000101");
}

int FakeBus::Open(int index, std::unique_ptr<zelbackend::PrinterChannel>* channel) {
  FakePrinter& p = *printers.at(static_cast<size_t>(index));
  if (p.busyOpens > 0) {
    --p.busyOpens;
    return LIBUSB_ERROR_BUSY;
  }
  ++p.opens;
  channel->reset(new FakeChannel(printers[static_cast<size_t>(index)]));
  return 0;
}
