// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "common/PhotoPrinterDevice.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/PhotoPrinterIF.h"

int WriteCmdHeader(uint8_t* header, const char* command, const char* parameter,
                   long payloadLength) {
  std::memset(header, ' ', kCmdHeaderSize);
  header[0] = 0x1B;
  header[1] = 'P';
  if (command == nullptr || payloadLength < 0 || payloadLength > kCmdMaxPayload)
    return kDeviceBadArgument;
  const size_t commandLength = std::strlen(command);
  if (commandLength > kCmdWordSize) return kDeviceBadArgument;
  std::memcpy(header + kCmdWordOffset, command, commandLength);

  if (parameter == nullptr) return payloadLength > 0 ? kDeviceBadArgument : kDeviceOk;
  const size_t parameterLength = std::strlen(parameter);
  if (parameterLength > kCmdParameterSize) return kDeviceBadArgument;
  std::memcpy(header + kCmdParameterOffset, parameter, parameterLength);

  if (payloadLength == 0) return kDeviceOk;
  char digits[16];
  std::snprintf(digits, sizeof digits, "%08ld", payloadLength);
  std::memcpy(header + kCmdLengthOffset, digits, kCmdLengthSize);
  return kDeviceOk;
}

int ReadCmdLength(const uint8_t* header, long* length) {
  const uint8_t* field = header + kCmdLengthOffset;
  *length = 0;
  if (std::memcmp(field, "        ", kCmdLengthSize) == 0) return 0;
  long value = 0;
  for (int i = 0; i < kCmdLengthSize; ++i) {
    if (field[i] < '0' || field[i] > '9') return -1;
    value = value * 10 + (field[i] - '0');
  }
  *length = value;
  return 1;
}

int DeviceCmd::Free() {
  std::free(buffer_);
  buffer_ = nullptr;
  length_ = 0;
  return kDeviceOk;
}

int DeviceCmd::Refuse() {
  Free();
  return kDeviceBadArgument;
}

int DeviceCmd::MakeCmd(const char* command, const char* parameter, int dataLength,
                       const void* data) {
  Free();
  const bool hasPayload = dataLength > 0 && data != nullptr;
  // The length field cannot describe a larger payload.
  if (hasPayload && dataLength > kCmdMaxPayload) return kDeviceBadArgument;

  const int packetLength = hasPayload ? dataLength + kCmdHeaderSize : kCmdHeaderSize;
  buffer_ = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(packetLength) + 2));
  if (buffer_ == nullptr) return kDeviceNoMemory;
  length_ = packetLength;

  buffer_[packetLength] = 0;
  buffer_[packetLength + 1] = 0;
  if (WriteCmdHeader(buffer_, command, parameter, hasPayload ? dataLength : 0) != kDeviceOk)
    return Refuse();
  if (hasPayload) std::memcpy(buffer_ + kCmdHeaderSize, data, static_cast<size_t>(dataLength));
  return kDeviceOk;
}

DeviceRecv::DeviceRecv(int expectedLength, const char* expectedEcho)
    : expectedLength_(expectedLength), expectedEcho_(expectedEcho ? expectedEcho : "") {}

int DeviceRecv::GetBufferLength() const {
  if (expectedLength_ == kVariableLength) return kVariableCapacity;
  if (expectedLength_ <= 0) return 0;
  return expectedLength_ + kLengthFieldSize;
}

int DeviceRecv::Alloc() {
  Free();
  const int capacity = GetBufferLength();
  if (capacity == 0) return kDeviceOk;
  buffer_ = static_cast<char*>(std::calloc(static_cast<size_t>(capacity) + 2, 1));
  return buffer_ ? kDeviceOk : kDeviceNoMemory;
}

int DeviceRecv::Free() {
  std::free(buffer_);
  buffer_ = nullptr;
  return kDeviceOk;
}

namespace {

bool Contains(const char* area, int size, char byte) {
  return std::memchr(area, byte, static_cast<size_t>(size)) != nullptr;
}

// The value ends at the first CR, else at the first NUL, else at the area's end.
int ValueEnd(const char* area, int size) {
  if (const void* cr = std::memchr(area, '\r', static_cast<size_t>(size)))
    return static_cast<int>(static_cast<const char*>(cr) - area);
  if (const void* nul = std::memchr(area, '\0', static_cast<size_t>(size)))
    return static_cast<int>(static_cast<const char*>(nul) - area);
  return size;
}

}  // namespace

int DeviceRecv::CheckData() const {
  const int area = GetBufferLength();
  if (buffer_ == nullptr || area == 0) return kDeviceBadArgument;

  if (expectedLength_ == kVariableLength) {
    if (!Contains(buffer_, area, '\r') && !Contains(buffer_, area, '\0')) return kDeviceBadArgument;
  } else {
    char header[kLengthFieldSize + 1];
    _CutText(header, buffer_, kLengthFieldSize);
    const int announced = _TextToInt(header, kLengthFieldSize);
    if (announced == expectedLength_) {
      if (!Contains(buffer_, area, '\r') && !Contains(buffer_, area, '\0'))
        return kDeviceBadArgument;
    } else if (!Contains(buffer_, area, '\0')) {
      return kDeviceBadArgument;
    }
  }

  if (!expectedEcho_.empty() &&
      std::strncmp(buffer_ + kLengthFieldSize, expectedEcho_.c_str(), expectedEcho_.size()) != 0)
    return kDeviceBadArgument;
  return kDeviceOk;
}

int DeviceRecv::GetEffectiveDataAsString(char* destination) const {
  if (destination == nullptr) return kDeviceBadArgument;
  destination[0] = '\0';
  const int area = GetBufferLength();
  if (area == 0 || buffer_ == nullptr) return kDeviceOk;

  const int end = ValueEnd(buffer_, area);
  const int start = kLengthFieldSize + static_cast<int>(expectedEcho_.size());
  if (end > start) _CutText(destination, buffer_ + start, end - start);
  return kDeviceOk;
}
