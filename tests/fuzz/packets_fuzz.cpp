// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Command and reply packets: reading a reply off the bulk pipe in pieces,
// checking it, taking its value and reading the value out of it; the
// device-ID answer; building command packets; chunked writes that stop
// short.
//
// Input, in parts: reply bytes, the echo the reply is expected to start
// with, command word, parameter, payload, and control bytes (expected reply
// length, transfer sizes, results).
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "common/PacketTransfer.h"
#include "common/PhotoPrinterDevice.h"
#include "common/PhotoPrinterIF.h"
#include "common/PrinterReplies.h"

namespace {

// Control bytes, used in turn; zero once they run out.
class Controls {
 public:
  explicit Controls(const std::string& bytes) : bytes_(bytes) {}
  uint8_t Next() { return at_ < bytes_.size() ? static_cast<uint8_t>(bytes_[at_++]) : 0; }

 private:
  const std::string& bytes_;
  size_t at_ = 0;
};

// A media size or quantity is the reply's tail after its first 2 or 4
// characters; a quantity is a number of at least 0, or -1.
void ReadValues(const std::string& text) {
  const auto isTail = [&text](const std::string& value, size_t skipped) {
    return value.size() == (text.size() > skipped ? text.size() - skipped : 0) &&
           text.compare(text.size() - value.size(), value.size(), value) == 0;
  };
  if (!isTail(MediaSizeFromReply(text), 2) || !isTail(QuantityTextFromReply(text), 4) ||
      QuantityFromReply(text) < -1)
    std::abort();
  int32_t number = 0;
  StatusFromReply(text, &number);
  TotalCountFromReply(text, &number);
}

void ReadReply(const std::string& wire, const std::string& echo, Controls& controls) {
  static const int kLengths[] = {DeviceRecv::kVariableLength, 8, 0, 1, 16, -5};
  DeviceRecv reply(kLengths[controls.Next() % 6], echo.c_str());
  if (reply.Alloc() != kDeviceOk) return;
  const int capacity = reply.GetBufferLength();
  size_t offered = 0;
  const BulkRead read = [&](unsigned char* bytes, int length, int* done) {
    *done = 0;
    if (controls.Next() == 0xFF) return -7;  // a timeout
    const size_t piece =
        std::min<size_t>({size_t(length), wire.size() - offered, size_t(controls.Next()) + 1});
    std::memcpy(bytes, wire.data() + offered, piece);
    offered += piece;
    *done = static_cast<int>(piece);
    return 0;
  };
  int received = -1;
  if (capacity > 0) {
    ReadReplyPacket(read, reply.buffer(), capacity, &received);
    if (received < 0 || received > capacity) std::abort();
  }
  reply.CheckData();
  char value[DeviceRecv::kVariableCapacity - DeviceRecv::kLengthFieldSize + 1];
  reply.GetEffectiveDataAsString(value);
  if (strnlen(value, sizeof value) == sizeof value) std::abort();
  ReadValues(value);
}

void DeviceId(const std::string& wire, Controls& controls) {
  const size_t size = std::min<size_t>(wire.size(), controls.Next() * 8 + 2);
  std::vector<char> buffer(wire.begin(), wire.begin() + long(size));
  if (size == 0) return;
  if (DeviceIdFromReply(buffer.data(), size) == 0 && strnlen(buffer.data(), size) == size)
    std::abort();
  if (buffer[0] != '\0' && strnlen(buffer.data(), size) == size) std::abort();
}

void BuildCommand(const std::string& command, const std::string& parameter,
                  const std::string& payload, Controls& controls) {
  DeviceCmd cmd;
  const bool withPayload = controls.Next() & 1;
  const int dataLength = withPayload ? static_cast<int>(payload.size()) : -1;
  if (cmd.MakeCmd(command.c_str(), parameter.c_str(), dataLength, payload.data()) != kDeviceOk)
    return;
  long length = -1;
  const int field = ReadCmdLength(cmd.buffer(), &length);
  const long expected = withPayload && !payload.empty() ? long(payload.size()) : 0;
  if (!IsCmdHeader(cmd.buffer()) || length != expected || field != (expected > 0 ? 1 : 0) ||
      cmd.length() != kCmdHeaderSize + expected)
    std::abort();
}

void WriteChunks(const std::string& bytes, Controls& controls) {
  std::string sent;
  const int result = WriteInChunks(
      [&](const unsigned char* data, int length, int* done) {
        if (length <= 0 || length > 65536) std::abort();
        const uint8_t c = controls.Next();
        if (c == 0xFF) return -4;  // the printer left
        *done = c == 0xFE ? 0 : std::min<int>(length, (c + 1) * 97);
        sent.append(reinterpret_cast<const char*>(data), size_t(*done));
        return 0;
      },
      reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
  if (bytes.compare(0, sent.size(), sent) != 0) std::abort();
  if (result == 0 && sent.size() != bytes.size()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> parts = qv46fuzz::SplitParts(data, size, 6);
  Controls controls(parts[5]);
  ReadReply(parts[0], parts[1], controls);
  DeviceId(parts[0], controls);
  BuildCommand(parts[2], parts[3], parts[4], controls);
  WriteChunks(parts[0], controls);

  char text[600] = {};
  std::memcpy(text, parts[0].data(), std::min(parts[0].size(), sizeof text - 1));
  const int count = int(int8_t(controls.Next())) * 5;
  const int value = _TextToInt(text, count);
  if ((count < 0 || count > 511) && value != -1) std::abort();
  return 0;
}
