// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/PhotoPrinterDevice.h"
#include "common/PhotoPrinterIF.h"

namespace {

std::string Bytes(const DeviceCmd& cmd) {
  return std::string(reinterpret_cast<const char*>(cmd.buffer()),
                     static_cast<size_t>(cmd.length()));
}

std::string Pad(const std::string& s, size_t width) {
  return s + std::string(width - s.size(), ' ');
}

struct FrameCase {
  const char* name;
  const char* command;
  const char* parameter;
  int dataLength;
  const char* data;
  int result;
  std::string expected;  // whole packet, empty when refused
};

class MakeCmdTest : public ::testing::TestWithParam<FrameCase> {};

TEST_P(MakeCmdTest, BuildsFrameOrRefuses) {
  const FrameCase& c = GetParam();
  DeviceCmd cmd;
  EXPECT_EQ(c.result, cmd.MakeCmd(c.command, c.parameter, c.dataLength, c.data));
  if (c.result != kDeviceOk) {
    EXPECT_EQ(nullptr, cmd.buffer());
    EXPECT_EQ(0, cmd.length());
    return;
  }
  EXPECT_EQ(c.expected, Bytes(cmd));
  // Two NUL bytes follow the packet in the buffer.
  EXPECT_EQ(0, cmd.buffer()[cmd.length()]);
  EXPECT_EQ(0, cmd.buffer()[cmd.length() + 1]);
}

const std::string kEscP = "\x1bP";
const std::string kNoLength(8, ' ');

INSTANTIATE_TEST_SUITE_P(
    Frames, MakeCmdTest,
    ::testing::Values(
        FrameCase{"StatusQuery", "STATUS", nullptr, -1, nullptr, kDeviceOk,
                  kEscP + "STATUS" + std::string(16, ' ') + kNoLength},
        FrameCase{"SevenCharWord", "STATUS1", nullptr, -1, nullptr, kDeviceBadArgument, ""},
        FrameCase{"SixteenCharParameter", "INFO", "MEDIA_CLASS_RFID", -1, nullptr, kDeviceOk,
                  kEscP + "INFO  MEDIA_CLASS_RFID" + kNoLength},
        FrameCase{"SeventeenCharParameter", "INFO", "MEDIA_CLASS_RFIDX", -1, nullptr,
                  kDeviceBadArgument, ""},
        FrameCase{"ZeroLengthIsNoPayload", "CNTRL", "START", 0, "abc", kDeviceOk,
                  kEscP + "CNTRL " + Pad("START", 16) + kNoLength},
        FrameCase{"NullDataIsNoPayload", "CNTRL", "START", 5, nullptr, kDeviceOk,
                  kEscP + "CNTRL " + Pad("START", 16) + kNoLength},
        FrameCase{"OneBytePayload", "CNTRL", "DECURL", 1, "1", kDeviceOk,
                  kEscP + "CNTRL " + Pad("DECURL", 16) + "00000001" + "1"},
        FrameCase{"EightBytePayload", "CNTRL", "CUTTER", 8, "00000120", kDeviceOk,
                  kEscP + "CNTRL " + Pad("CUTTER", 16) + "00000008" + "00000120"},
        FrameCase{"NullParameterWithPayload", "CNTRL", nullptr, 4, "1234", kDeviceBadArgument, ""},
        FrameCase{"NullParameterNoPayload", "STATUS", nullptr, 0, nullptr, kDeviceOk,
                  kEscP + "STATUS" + std::string(24, ' ')},
        FrameCase{"NullCommand", nullptr, "START", -1, nullptr, kDeviceBadArgument, ""},
        FrameCase{"PayloadTooLongForLengthField", "IMAGE", "YPLANE", 100000000, "x",
                  kDeviceBadArgument, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MakeCmd, ReplacesEarlierPacketAndFreeEmpties) {
  DeviceCmd cmd;
  ASSERT_EQ(kDeviceOk, cmd.MakeCmd("CNTRL", "CUTTER", 8, "00000120"));
  ASSERT_EQ(40, cmd.length());
  ASSERT_EQ(kDeviceOk, cmd.MakeCmd("STATUS", nullptr, -1, nullptr));
  EXPECT_EQ(32, cmd.length());
  EXPECT_EQ(kDeviceBadArgument, cmd.MakeCmd("TOOLONGWORD", nullptr, -1, nullptr));
  EXPECT_EQ(0, cmd.length());
  ASSERT_EQ(kDeviceOk, cmd.MakeCmd("STATUS", nullptr, -1, nullptr));
  EXPECT_EQ(0, cmd.Free());
  EXPECT_EQ(nullptr, cmd.buffer());
  EXPECT_EQ(0, cmd.length());
}

// Reply checks: the received bytes are laid into a freshly allocated buffer.
struct ReplyCase {
  const char* name;
  int expectedLength;
  std::string received;
  int check;
  std::string value;
};

class ReplyTest : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(ReplyTest, ChecksAndExtractsValue) {
  const ReplyCase& c = GetParam();
  DeviceRecv reply(c.expectedLength, nullptr);
  ASSERT_EQ(kDeviceOk, reply.Alloc());
  ASSERT_LE(c.received.size(), static_cast<size_t>(reply.GetBufferLength()));
  std::memcpy(reply.buffer(), c.received.data(), c.received.size());
  EXPECT_EQ(c.check, reply.CheckData());
  char value[4096 + 1];
  EXPECT_EQ(kDeviceOk, reply.GetEffectiveDataAsString(value));
  EXPECT_EQ(c.value, std::string(value));
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ReplyTest,
    ::testing::Values(
        ReplyCase{"FixedNoTerminatorRefused", 8, "0000000812345678", kDeviceBadArgument,
                  "12345678"},
        ReplyCase{"FixedWithCarriageReturn", 8, "000000081234\r678", kDeviceOk, "1234"},
        ReplyCase{"FixedShorterThanAnnounced", 8, "00000004ABCD", kDeviceOk, "ABCD"},
        ReplyCase{"FixedWrongLengthNoNul", 8, "0000000512345678", kDeviceBadArgument, "12345678"},
        ReplyCase{"VariableValueEndsAtCr", -1, "00000004ABC\r", kDeviceOk, "ABC"},
        ReplyCase{"VariableLeadingCrIsEmpty", -1, "00000001\r", kDeviceOk, ""},
        ReplyCase{"VariableNulTerminated", -1, "00000003XYZ", kDeviceOk, "XYZ"},
        ReplyCase{"VariableFullAreaWithoutTerminator", -1, "00004088" + std::string(4088, 'a'),
                  kDeviceBadArgument, std::string(4088, 'a')}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DeviceRecv, CapacityPerExpectedLength) {
  EXPECT_EQ(0, DeviceRecv(0, nullptr).GetBufferLength());
  EXPECT_EQ(4096, DeviceRecv(-1, nullptr).GetBufferLength());
  EXPECT_EQ(16, DeviceRecv(8, nullptr).GetBufferLength());
}

TEST(DeviceRecv, NoBufferForZeroLengthAndNullDestinationRefused) {
  DeviceRecv none(0, nullptr);
  EXPECT_EQ(kDeviceOk, none.Alloc());
  EXPECT_EQ(nullptr, none.buffer());
  char value[8] = "junk";
  EXPECT_EQ(kDeviceOk, none.GetEffectiveDataAsString(value));
  EXPECT_STREQ("", value);
  EXPECT_EQ(kDeviceBadArgument, none.GetEffectiveDataAsString(nullptr));
}

TEST(DeviceRecv, EchoMustLeadAndIsSkipped) {
  DeviceRecv reply(-1, "OK:");
  ASSERT_EQ(kDeviceOk, reply.Alloc());
  std::strcpy(reply.buffer(), "00000006OK:42\r");
  EXPECT_EQ(kDeviceOk, reply.CheckData());
  char value[64];
  reply.GetEffectiveDataAsString(value);
  EXPECT_STREQ("42", value);
  std::strcpy(reply.buffer(), "00000006NO:42\r");
  EXPECT_EQ(kDeviceBadArgument, reply.CheckData());
}

TEST(DeviceRecv, AllocZeroFillsAndReallocates) {
  DeviceRecv reply(8, nullptr);
  ASSERT_EQ(kDeviceOk, reply.Alloc());
  std::memset(reply.buffer(), 'x', 18);
  ASSERT_EQ(kDeviceOk, reply.Alloc());
  for (int i = 0; i < 18; ++i) EXPECT_EQ(0, reply.buffer()[i]) << i;
}

TEST(TextHelpers, TextToInt) {
  const struct {
    const char* text;
    int count;
    int value;
  } cases[] = {
      {"00000120", 8, 120}, {"00000120", 4, 0},    {"  -12abc", 8, -12}, {"abc", 3, 0},
      {"+7", 2, 7},         {"12345678", 512, -1}, {"1", -1, -1},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.value, _TextToInt(c.text, c.count)) << c.text << "/" << c.count;
}

TEST(TextHelpers, CutTextTerminates) {
  char out[5];
  std::memset(out, 'z', sizeof out);
  EXPECT_EQ(0, _CutText(out, "abcdef", 4));
  EXPECT_STREQ("abcd", out);
}

}  // namespace

namespace {

TEST(ReadCmdLength, DigitsSpacesOrMalformed) {
  const struct {
    const char* field;
    int result;
    long length;
  } cases[] = {
      {"        ", 0, 0},        {"00000008", 1, 8},  {"00000000", 1, 0},
      {"99999999", 1, 99999999}, {"0000 008", -1, 0}, {"-0000008", -1, 0},
  };
  for (const auto& c : cases) {
    uint8_t header[kCmdHeaderSize];
    std::memset(header, ' ', sizeof header);
    std::memcpy(header + kCmdLengthOffset, c.field, 8);
    long length = -5;
    EXPECT_EQ(c.result, ReadCmdLength(header, &length)) << c.field;
    EXPECT_EQ(c.length, length) << c.field;
  }
}

TEST(ReadCmdLength, ReadsWhatMakeCmdWrote) {
  DeviceCmd cmd;
  ASSERT_EQ(kDeviceOk, cmd.MakeCmd("CNTRL", "CUTTER", 8, "00000120"));
  long length = 0;
  EXPECT_EQ(1, ReadCmdLength(cmd.buffer(), &length));
  EXPECT_EQ(8, length);
  ASSERT_EQ(kDeviceOk, cmd.MakeCmd("STATUS", nullptr, -1, nullptr));
  EXPECT_EQ(0, ReadCmdLength(cmd.buffer(), &length));
}

}  // namespace
