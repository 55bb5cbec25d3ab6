// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/PacketTransfer.h"
#include "common/PhotoPrinterDevice.h"

namespace {

TEST(PacketTransfer, ChunkLengths) {
  const struct {
    int remaining;
    int chunk;
  } cases[] = {{1, 1},         {511, 511},     {512, 256},     {600, 344},
               {65791, 65535}, {65792, 65536}, {200000, 65536}};
  for (const auto& c : cases) EXPECT_EQ(c.chunk, ChunkLength(c.remaining)) << c.remaining;
}

// A pipe that accepts at most `limit` bytes per transfer and records sizes.
struct RecordingPipe {
  int limit = 1 << 30;
  int failAt = -1;  // transfer index that fails
  int result = 0;
  std::vector<int> sizes;
  std::string bytes;

  int Write(const unsigned char* data, int length, int* done) {
    if (static_cast<int>(sizes.size()) == failAt) return result;
    sizes.push_back(length);
    *done = std::min(length, limit);
    bytes.append(reinterpret_cast<const char*>(data), static_cast<size_t>(*done));
    return 0;
  }
};

TEST(PacketTransfer, WritesEveryByteAndEndsLongWritesWith256) {
  const struct {
    int length;
    int limit;
    std::vector<int> sizes;
  } cases[] = {
      {100, 1 << 30, {100}},
      {1000, 1 << 30, {744, 256}},
      {70000, 1 << 30, {65536, 4208, 256}},
      // A short transfer resends the rest under the same rule.
      {1000, 300, {744, 444, 400, 100}},
  };
  for (const auto& c : cases) {
    std::string data(static_cast<size_t>(c.length), '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
    RecordingPipe pipe;
    pipe.limit = c.limit;
    EXPECT_EQ(0, WriteInChunks([&](const unsigned char* d, int n,
                                   int* done) { return pipe.Write(d, n, done); },
                               reinterpret_cast<const unsigned char*>(data.data()), c.length));
    EXPECT_EQ(c.sizes, pipe.sizes) << c.length;
    EXPECT_EQ(data, pipe.bytes) << c.length;
  }
}

TEST(PacketTransfer, WriteStopsAtFailureOrAStalledPipe) {
  std::string data(2000, 'x');
  const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
  RecordingPipe failing;
  failing.failAt = 1;
  failing.result = -4;
  EXPECT_EQ(-4, WriteInChunks([&](const unsigned char* d, int n,
                                  int* done) { return failing.Write(d, n, done); },
                              bytes, 2000));
  EXPECT_EQ(1u, failing.sizes.size());

  int calls = 0;
  EXPECT_EQ(kTransferIoError, WriteInChunks(
                                  [&](const unsigned char*, int, int* done) {
                                    ++calls;
                                    *done = 0;
                                    return 0;
                                  },
                                  bytes, 2000));
  EXPECT_EQ(1, calls);
}

// Serves a reply in the transfers the reader asks for.
struct ReplyPipe {
  std::string reply;
  size_t offset = 0;
  int failAt = -1;
  int calls = 0;

  int Read(unsigned char* data, int length, int* done) {
    if (calls++ == failAt) return -7;
    const size_t n = std::min(reply.size() - offset, static_cast<size_t>(length));
    std::memcpy(data, reply.data() + offset, n);
    offset += n;
    *done = static_cast<int>(n);
    return 0;
  }
};

TEST(PacketTransfer, ReadsLengthThenData) {
  const struct {
    const char* name;
    std::string reply;
    int capacity;
    int failAt;
    int result;
    int received;
    std::string data;
  } cases[] = {
      {"whole", "00000004ABC\r", 64, -1, 0, 12, "ABC\r"},
      {"shorterThanAnnounced", "00000010ABC", 64, -1, 0, 11, "ABC"},
      {"letterInLength", "0000x004ABC\r", 64, -1, kDeviceBadArgument, 0, ""},
      {"zeroLength", "00000000", 64, -1, kDeviceBadArgument, 0, ""},
      {"longerThanBuffer", "00000057", 64, -1, kDeviceBadArgument, 0, ""},
      {"fitsExactly", "00000056" + std::string(56, 'a'), 64, -1, 0, 64, std::string(56, 'a')},
      {"headerTimesOut", "00000004ABC\r", 64, 0, -7, 0, ""},
      {"dataTimesOut", "00000004ABC\r", 64, 1, -7, 0, ""},
  };
  for (const auto& c : cases) {
    ReplyPipe pipe{c.reply};
    pipe.failAt = c.failAt;
    std::vector<char> buffer(static_cast<size_t>(c.capacity) + 2, '\0');
    int received = -1;
    EXPECT_EQ(c.result, ReadReplyPacket([&](unsigned char* d, int n,
                                            int* done) { return pipe.Read(d, n, done); },
                                        buffer.data(), c.capacity, &received))
        << c.name;
    EXPECT_EQ(c.received, received) << c.name;
    if (c.result == 0) {
      EXPECT_EQ(c.data, std::string(buffer.data() + 8, c.data.size())) << c.name;
    }
  }
}

}  // namespace

namespace {

TEST(PacketTransfer, DeviceIdLengthEitherByteOrder) {
  const std::string text = "MFG:VALDREN;MDL:QV-46;CMD:RAW;";
  const struct {
    const char* name;
    unsigned char high;
    unsigned char low;
    int result;
    std::string id;
  } cases[] = {
      {"bigEndian", 0x00, 0x40, 0, text},
      {"littleEndian", 0x40, 0x00, 0, text},
      {"bothZero", 0x00, 0x00, -1, ""},
      {"littleEndianThirteen", 0x0D, 0x00, -1, ""},
      // Big-endian 5 is too short, so the little-endian 1,280 applies: the
      // whole buffer up to its first NUL.
      {"shortBigEndian", 0x00, 0x05, 0, text},
  };
  for (const auto& c : cases) {
    std::vector<char> buffer(2048, '\0');
    buffer[0] = static_cast<char>(c.high);
    buffer[1] = static_cast<char>(c.low);
    std::memcpy(buffer.data() + 2, text.data(), text.size());
    EXPECT_EQ(c.result, DeviceIdFromReply(buffer.data(), buffer.size())) << c.name;
    EXPECT_EQ(c.id, std::string(buffer.data())) << c.name;
  }
}

TEST(PacketTransfer, DeviceIdCutToTheAnnouncedLength) {
  std::vector<char> buffer(2048, 'z');
  buffer[0] = 0x00;
  buffer[1] = 0x10;  // 16: two length bytes and 14 characters
  ASSERT_EQ(0, DeviceIdFromReply(buffer.data(), buffer.size()));
  EXPECT_EQ(std::string(14, 'z'), std::string(buffer.data()));
}

}  // namespace
