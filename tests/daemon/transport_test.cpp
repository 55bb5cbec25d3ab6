// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Chunked writes, the two-stage reply read and the device-ID request.
#include "daemon/Transport.h"

#include <gtest/gtest.h>

#include <cstring>

#include "Fakes.h"

namespace qv46test {
namespace {

class TransportTest : public ::testing::Test {
 protected:
  TransportTest() : printer(std::make_shared<FakePrinter>()) {
    device = world.usb.Plug(printer);
    handle = world.usb.OpenForTest(device);
  }
  FakeWorld world;
  std::shared_ptr<FakePrinter> printer;
  UsbDevice* device;
  UsbHandle* handle;
};

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

struct DeviceIdCase {
  const char* name;
  std::string answer;
  int result;
  std::string id;
};

TEST_F(TransportTest, DeviceIdLengthIsReadEitherWay) {
  const std::string text62(62, 'x');
  const std::string text11(11, 'y');
  const std::string tail = "MFG:X;";
  const DeviceIdCase cases[] = {
      {"big-endian 64", Bytes({0x00, 0x40}) + text62 + "ignored", 0, text62},
      {"little-endian 64", Bytes({0x40, 0x00}) + text62 + "ignored", 0, text62},
      {"zero length", Bytes({0x00, 0x00}) + text62, -1, ""},
      {"little-endian 13", Bytes({0x0D, 0x00}) + text11, -1, ""},
      {"0x00 0x05 reads as 1280", Bytes({0x00, 0x05}) + tail, 0, tail},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    printer->deviceIdAnswer = c.answer;
    char buffer[2048];
    std::memset(buffer, 0, sizeof buffer);
    EXPECT_EQ(c.result, get_device_id(world.ctx, handle, buffer, sizeof buffer));
    EXPECT_EQ(c.id, std::string(buffer));
  }
}

TEST_F(TransportTest, DeviceIdFailedTransferGivesEmptyString) {
  world.usb.controlResult = UsbPort::kErrorTimeout;
  char buffer[64] = "stale";
  EXPECT_EQ(-1, get_device_id(world.ctx, handle, buffer, sizeof buffer));
  EXPECT_STREQ("", buffer);
}

TEST_F(TransportTest, DeviceIdLongerThanBufferIsCut) {
  printer->deviceIdAnswer = Bytes({0x00, 0x40}) + std::string(62, 'z');
  char buffer[20];
  EXPECT_EQ(0, get_device_id(world.ctx, handle, buffer, sizeof buffer));
  EXPECT_EQ(std::string(18, 'z'), std::string(buffer));
}

// The chunk sizes themselves are tested with the common chunking code.
TEST_F(TransportTest, WritesGoOutInTheCommonChunks) {
  const std::string bytes(70000, 'b');
  EXPECT_EQ(0, deviceWrite(world.ctx, handle, bytes.data(), 70000));
  EXPECT_EQ((std::vector<int>{65536, 4208, 256}), world.usb.outChunks);
}

TEST_F(TransportTest, PartialTransfersAdvanceByWhatWasSent) {
  world.usb.outLimit = 100;
  const std::string bytes(300, 'b');
  EXPECT_EQ(0, deviceWrite(world.ctx, handle, bytes.data(), 300));
  EXPECT_EQ((std::vector<int>{300, 200, 100}), world.usb.outChunks);
}

TEST_F(TransportTest, WriteRefusesBadArgumentsAndPassesErrorsThrough) {
  const char bytes[4] = {};
  EXPECT_EQ(3, deviceWrite(world.ctx, nullptr, bytes, 4));
  EXPECT_EQ(3, deviceWrite(world.ctx, handle, nullptr, 4));
  EXPECT_EQ(3, deviceWrite(world.ctx, handle, bytes, 0));
  EXPECT_EQ(3, deviceWrite(world.ctx, handle, static_cast<DeviceCmd*>(nullptr)));
  EXPECT_TRUE(world.usb.outChunks.empty());

  world.usb.outResult = UsbPort::kErrorTimeout;
  EXPECT_EQ(UsbPort::kErrorTimeout, deviceWrite(world.ctx, handle, bytes, 4));
}

TEST_F(TransportTest, TransferThatMovesNothingEndsTheWrite) {
  // A device that accepts nothing without an error must not hang the thread.
  class StuckUsb : public FakeUsb {
    int BulkOut(UsbHandle*, unsigned char, const unsigned char*, int, int* transferred,
                unsigned) override {
      *transferred = 0;
      return 0;
    }
  } stuck;
  DaemonContext ctx(stuck, world.cups, world.commands, world.sleeper, world.tmp.Path());
  auto other = std::make_shared<FakePrinter>();
  UsbHandle* h = stuck.OpenForTest(stuck.Plug(other));
  const char bytes[8] = {};
  EXPECT_EQ(UsbPort::kErrorIo, deviceWrite(ctx, h, bytes, 8));
}

TEST_F(TransportTest, ReplyHeaderMustBeEightDigitsWithinCapacity) {
  const struct {
    const char* name;
    std::string wire;
    int capacity;
    int result;
    size_t reads;  // reply bytes consumed by deviceRead
  } cases[] = {
      {"good", "00000003ab\r", 16, 0, 11},
      {"letter in header", "0000000xab\r", 16, 3, 8},
      {"space in header", " 0000003ab\r", 16, 3, 8},
      {"nine for capacity sixteen", "000000091234567\r\r", 16, 3, 8},
      {"eight for capacity sixteen", "0000000812345678", 16, 0, 16},
      {"zero length", "00000000", 16, 3, 8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    printer->replies["STATUS"] = c.wire;
    DeviceCmd cmd;
    cmd.MakeCmd("STATUS", nullptr, -1, nullptr);
    ASSERT_EQ(0, deviceWrite(world.ctx, handle, &cmd));
    std::vector<char> buffer(static_cast<size_t>(c.capacity) + 2, 0);
    int received = -5;
    EXPECT_EQ(c.result, deviceRead(world.ctx, handle, buffer.data(), c.capacity, &received));
    EXPECT_EQ(c.result == 0 ? static_cast<int>(c.reads) : 0, received);
    // A refused header is not followed by a second read.
    char rest[64];
    int more = 0;
    world.usb.BulkIn(handle, 0x82, reinterpret_cast<unsigned char*>(rest), sizeof rest, &more, 0);
    EXPECT_EQ(c.wire.size() - c.reads, static_cast<size_t>(more));
  }
}

TEST_F(TransportTest, ReadErrorsArePassedThrough) {
  char buffer[32] = {};
  int received = 7;
  EXPECT_EQ(UsbPort::kErrorTimeout, deviceRead(world.ctx, handle, buffer, 32, &received));
  EXPECT_EQ(0, received);
  printer->gone = true;
  EXPECT_EQ(UsbPort::kErrorNoDevice, deviceRead(world.ctx, handle, buffer, 32, &received));
  EXPECT_EQ(3, deviceRead(world.ctx, nullptr, buffer, 32, &received));
}

TEST_F(TransportTest, ExchangeChecksTheReplyAndCanWait) {
  printer->replies["INFO FVER"] = ReplyPacket("1.02");
  DeviceCmd cmd;
  cmd.MakeCmd("INFO", "FVER", -1, nullptr);
  DeviceRecv reply(-1, nullptr);
  EXPECT_EQ(0, DeviceIO(world.ctx, handle, &cmd, &reply));
  EXPECT_EQ(0u, world.sleeper.total);
  EXPECT_EQ(0, DeviceIO_T(world.ctx, handle, &cmd, &reply, true));
  EXPECT_EQ(10000u, world.sleeper.total);
  char value[16];
  reply.GetEffectiveDataAsString(value);
  EXPECT_STREQ("1.02", value);

  // Eight data bytes without CR or NUL fail the reply check.
  printer->replies["STATUS"] = "0000000812345678";
  DeviceCmd status;
  status.MakeCmd("STATUS", nullptr, -1, nullptr);
  DeviceRecv fixed(8, nullptr);
  EXPECT_EQ(3, DeviceIO(world.ctx, handle, &status, &fixed));
  EXPECT_EQ(3, DeviceIO(world.ctx, nullptr, &status, &fixed));
  EXPECT_EQ(3, DeviceIO(world.ctx, handle, &status, nullptr));
}

}  // namespace
}  // namespace qv46test
