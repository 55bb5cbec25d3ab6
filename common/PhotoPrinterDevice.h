// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Command and reply packets exchanged with the printer.
//
// Command packet: ESC 'P', a 6-byte command word, a 16-byte parameter word
// (both space padded), an 8-digit payload length (spaces when there is no
// payload), then the payload. Reply packet: an 8-digit length, then text.
#pragma once

#include <cstdint>
#include <string>

enum {
  kDeviceOk = 0,
  kDeviceNoMemory = 2,
  kDeviceBadArgument = 3,
};

constexpr int kCmdHeaderSize = 32;
constexpr int kCmdWordOffset = 2;
constexpr int kCmdWordSize = 6;
constexpr int kCmdParameterOffset = kCmdWordOffset + kCmdWordSize;
constexpr int kCmdParameterSize = 16;
constexpr int kCmdLengthOffset = kCmdParameterOffset + kCmdParameterSize;
constexpr int kCmdLengthSize = 8;
// The length field holds eight decimal digits.
constexpr int kCmdMaxPayload = 99999999;

// The packet header at `header` starts with ESC 'P'.
inline bool IsCmdHeader(const uint8_t* header) { return header[0] == 0x1B && header[1] == 'P'; }

// Writes the kCmdHeaderSize bytes of a packet header: the command and
// parameter words, and the payload length, or spaces when it is 0. Returns 0,
// or 3 for a null or too long word, a missing parameter before a payload, or
// a length out of range; the header is then incomplete.
int WriteCmdHeader(uint8_t* header, const char* command, const char* parameter, long payloadLength);

// Reads the length field of the packet header at `header`: 1 and the length
// for eight digits, 0 for eight spaces (no payload), -1 for anything else.
int ReadCmdLength(const uint8_t* header, long* length);

class DeviceCmd {
 public:
  DeviceCmd() = default;
  ~DeviceCmd() { Free(); }
  DeviceCmd(const DeviceCmd&) = delete;
  DeviceCmd& operator=(const DeviceCmd&) = delete;

  // Builds the packet, replacing any earlier one. Returns 0, 2 or 3; on 3 the
  // object is left empty.
  int MakeCmd(const char* command, const char* parameter, int dataLength, const void* data);
  int Free();

  const uint8_t* buffer() const { return buffer_; }
  int length() const { return length_; }

 private:
  int Refuse();

  uint8_t* buffer_ = nullptr;  // packet followed by two NUL bytes
  int length_ = 0;             // bytes to send
};

class DeviceRecv {
 public:
  static constexpr int kVariableLength = -1;
  static constexpr int kVariableCapacity = 4096;
  static constexpr int kLengthFieldSize = 8;

  DeviceRecv(int expectedLength, const char* expectedEcho);
  ~DeviceRecv() { Free(); }
  DeviceRecv(const DeviceRecv&) = delete;
  DeviceRecv& operator=(const DeviceRecv&) = delete;

  // Receive capacity: 0, 4096 for a variable reply, N + 8 for N data bytes.
  int GetBufferLength() const;
  int Alloc();
  int Free();
  int CheckData() const;
  // Writes the reply's value, which may be up to 4,088 characters long.
  int GetEffectiveDataAsString(char* destination) const;

  char* buffer() { return buffer_; }
  const char* buffer() const { return buffer_; }
  int expectedLength() const { return expectedLength_; }

 private:
  char* buffer_ = nullptr;  // zero-filled, two bytes longer than the capacity
  int expectedLength_;
  std::string expectedEcho_;
};
