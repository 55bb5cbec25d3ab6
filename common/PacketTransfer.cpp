// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "common/PacketTransfer.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/PhotoPrinterDevice.h"
#include "common/PhotoPrinterIF.h"

namespace {

constexpr int kWholeWriteLimit = 512;  // below this a write goes out whole
constexpr int kWriteTail = 256;        // longer writes end with this many bytes
constexpr int kLargestChunk = 65536;
constexpr unsigned long kShortestDeviceId = 14;  // two length bytes and a little text

}  // namespace

int ChunkLength(int remaining) {
  if (remaining < kWholeWriteLimit) return remaining;
  return std::min(remaining - kWriteTail, kLargestChunk);
}

int WriteInChunks(const BulkWrite& write, const unsigned char* data, int length) {
  size_t taken = 0;
  return WriteInChunksFrom(
      write,
      [data, &taken](unsigned char* into, int count) {
        std::memcpy(into, data + taken, static_cast<size_t>(count));
        taken += static_cast<size_t>(count);
        return 0;
      },
      length);
}

int WriteInChunksFrom(const BulkWrite& write, const ChunkSource& source, int length) {
  // Holds the bytes of the transfer under way; a short transfer leaves its
  // rest at the front for the next one.
  std::vector<unsigned char> window(
      static_cast<size_t>(std::max(0, std::min(length, kLargestChunk))));
  int held = 0;
  while (length > 0) {
    const int chunk = ChunkLength(length);
    if (held < chunk) {
      const int result = source(window.data() + held, chunk - held);
      if (result != 0) return result;
      held = chunk;
    }
    int sent = 0;
    const int result = write(window.data(), chunk, &sent);
    if (result != 0) return result;
    // A transfer that moves nothing would otherwise loop for ever.
    if (sent <= 0) return kTransferIoError;
    sent = std::min(sent, chunk);
    std::memmove(window.data(), window.data() + sent, static_cast<size_t>(held - sent));
    held -= sent;
    length -= sent;
  }
  return 0;
}

int ReadReplyPacket(const BulkRead& read, char* buffer, int capacity, int* received) {
  *received = 0;
  if (capacity < DeviceRecv::kLengthFieldSize) return kDeviceBadArgument;
  unsigned char* bytes = reinterpret_cast<unsigned char*>(buffer);

  int got = 0;
  int result = read(bytes, DeviceRecv::kLengthFieldSize, &got);
  if (result < 0) return result;
  for (int i = 0; i < DeviceRecv::kLengthFieldSize; ++i)
    if (buffer[i] < '0' || buffer[i] > '9') return kDeviceBadArgument;

  const int length = _TextToInt(buffer, DeviceRecv::kLengthFieldSize);
  if (length < 1 || length > capacity - DeviceRecv::kLengthFieldSize) return kDeviceBadArgument;

  got = 0;
  result = read(bytes + DeviceRecv::kLengthFieldSize, length, &got);
  if (result < 0) return result;
  *received = std::min(got, length) + DeviceRecv::kLengthFieldSize;
  return kDeviceOk;
}

int DeviceIdFromReply(char* buffer, unsigned long size) {
  if (size < 2) {
    if (size > 0) buffer[0] = '\0';
    return -1;
  }
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(buffer);
  unsigned long length = (static_cast<unsigned long>(bytes[0]) << 8) | bytes[1];
  if (length < kShortestDeviceId || length > size)
    length = (static_cast<unsigned long>(bytes[1]) << 8) | bytes[0];

  const unsigned long n = std::min(size, length);
  if (n < kShortestDeviceId) {
    buffer[0] = '\0';
    return -1;
  }
  std::memmove(buffer, buffer + 2, n - 2);
  buffer[n - 2] = '\0';
  return 0;
}
