// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "PacketStream.h"

#include <algorithm>

#include "common/PhotoPrinterDevice.h"

namespace qv46sim {
namespace {

constexpr char kEsc = 0x1B;

std::string TrimmedWord(const std::string& field) {
  std::size_t end = field.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : field.substr(0, end + 1);
}

// A malformed length field is taken as no payload, which keeps the parser
// in step with a sender that only ever writes the two legal forms.
std::size_t PayloadLength(const std::string& header) {
  long length = 0;
  ReadCmdLength(reinterpret_cast<const uint8_t*>(header.data()), &length);
  return static_cast<std::size_t>(length);
}

}  // namespace

void PacketStream::ParseHeader() {
  current_ = ReceivedCommand();
  current_.command = TrimmedWord(header_.substr(2, kCmdWordSize));
  current_.parameter = TrimmedWord(header_.substr(2 + kCmdWordSize, kCmdParameterSize));
  current_.payloadLength = PayloadLength(header_);
  payloadLeft_ = current_.payloadLength;
  inPayload_ = true;
  header_.clear();
}

void PacketStream::Feed(const unsigned char* data, std::size_t length, const Sink& sink) {
  std::size_t pos = 0;
  while (pos < length || (inPayload_ && payloadLeft_ == 0)) {
    if (inPayload_) {
      std::size_t take = std::min(payloadLeft_, length - pos);
      if (current_.payloadLength <= ReceivedCommand::kKeptPayload)
        current_.payload.append(reinterpret_cast<const char*>(data + pos), take);
      pos += take;
      payloadLeft_ -= take;
      if (payloadLeft_ == 0) {
        inPayload_ = false;
        sink(current_);
      }
      continue;
    }
    char c = static_cast<char>(data[pos++]);
    if (header_.empty() && c != kEsc) continue;
    if (header_.size() == 1 && c != 'P') {
      header_.clear();
      if (c == kEsc) header_.push_back(c);
      continue;
    }
    header_.push_back(c);
    if (header_.size() == static_cast<std::size_t>(kCmdHeaderSize)) ParseHeader();
  }
}

}  // namespace qv46sim
