// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The nine queries and the status-to-message table.
#include "daemon/Queries.h"

#include <gtest/gtest.h>

#include <cstring>

#include "Fakes.h"

namespace qv46test {
namespace {

class QueriesTest : public ::testing::Test {
 protected:
  QueriesTest() : printer(std::make_shared<FakePrinter>()) {
    handle = world.usb.OpenForTest(world.usb.Plug(printer));
  }
  FakeWorld world;
  std::shared_ptr<FakePrinter> printer;
  UsbHandle* handle;
};

using TextQuery = long (*)(DaemonContext&, UsbHandle*, char*, size_t);

long TotalCountNoWait(DaemonContext& ctx, UsbHandle* handle, char* value, size_t capacity) {
  return GetTotalCount(ctx, handle, value, capacity, false);
}

const struct {
  const char* key;
  TextQuery query;
} kTextQueries[] = {
    {"INFO SERIAL_NUMBER", GetSerialNo},
    {"INFO MEDIA", GetMediaSize},
    {"INFO MEDIA_CLASS_RFID", GetMediaClass},
    {"INFO MQTY_DEFAULT", GetMediaInitial},
    {"INFO MQTY", GetMediaRemain},
    {"INFO RQTY", GetMediaRemainHalf},
    {"INFO FVER", GetFirmVersion},
    {"MNT_RD COUNTER_LIFE", TotalCountNoWait},
};

TEST_F(QueriesTest, EachTextQuerySendsItsWordsAndReturnsTheValue) {
  for (const auto& q : kTextQueries) {
    SCOPED_TRACE(q.key);
    printer->replies.clear();
    printer->queries.clear();
    printer->replies[q.key] = ReplyPacket(std::string("v-") + q.key);
    char value[64];
    const long length = q.query(world.ctx, handle, value, sizeof value);
    EXPECT_EQ(std::string("v-") + q.key, value);
    EXPECT_EQ(static_cast<long>(std::strlen(value)), length);
    EXPECT_EQ(std::vector<std::string>{q.key}, printer->queries);
  }
}

TEST_F(QueriesTest, TextQueryFailuresAndEdgeAnswers) {
  char value[64] = "untouched";
  EXPECT_EQ(-1, GetFirmVersion(world.ctx, nullptr, value, sizeof value));
  EXPECT_STREQ("untouched", value);
  EXPECT_EQ(-1, GetFirmVersion(world.ctx, handle, nullptr, 64));

  // No answer: -1 and an empty value.
  EXPECT_EQ(-1, GetFirmVersion(world.ctx, handle, value, sizeof value));
  EXPECT_STREQ("", value);

  // A carriage return first is a valid, empty answer.
  printer->replies["INFO FVER"] = "00000001\r";
  std::strcpy(value, "old");
  EXPECT_EQ(0, GetFirmVersion(world.ctx, handle, value, sizeof value));
  EXPECT_STREQ("", value);
}

TEST_F(QueriesTest, LongestRepliesAreCutToTheCallersBuffer) {
  const std::string longest(kMaxReplyText - 1, 'L');  // plus CR: 4,088 data bytes
  printer->replies["INFO MEDIA"] = ReplyPacket(longest);
  // Guard bytes around the 64-byte buffer show any overflow.
  struct {
    char value[64];
    char guard[16];
  } area;
  std::memset(area.guard, 'G', sizeof area.guard);
  EXPECT_EQ(63, GetMediaSize(world.ctx, handle, area.value, sizeof area.value));
  EXPECT_EQ(std::string(63, 'L'), area.value);
  EXPECT_EQ(std::string(16, 'G'), std::string(area.guard, 16));

  char whole[kMaxReplyText + 1];
  EXPECT_EQ(static_cast<long>(longest.size()),
            GetMediaSize(world.ctx, handle, whole, sizeof whole));
}

TEST_F(QueriesTest, TotalCountCanWaitForTheReply) {
  printer->replies["MNT_RD COUNTER_LIFE"] = ReplyPacket("001234");
  char value[64];
  EXPECT_EQ(6, GetTotalCount(world.ctx, handle, value, sizeof value, true));
  EXPECT_EQ(10000u, world.sleeper.total);
}

TEST_F(QueriesTest, StatusReplies) {
  const struct {
    const char* name;
    std::string wire;
    long status;
  } cases[] = {
      {"paper end", "0000000801100\r", 1100},
      {"printing", "000000081\r", 1},
      {"short answer", "000000030\r", 0},
      {"eight digits, no terminator", "0000000812345678", kStatusFailed},
      {"bad header", "0000x0081\r", kStatusFailed},
      {"negative", "00000008-5\r", -5},
      {"no number", "00000008READY\r", kStatusFailed},
      {"no answer", "", kStatusFailed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.wire.empty())
      printer->replies.erase("STATUS");
    else
      printer->replies["STATUS"] = c.wire;
    EXPECT_EQ(c.status, GetStatus(world.ctx, handle));
  }
  EXPECT_EQ(kStatusFailed, GetStatus(world.ctx, nullptr));
}

TEST(GetMessageTest, ListedStatusesAndTheDefault) {
  const struct {
    long status;
    int message;
  } cases[] = {
      {0, 1},     {1, 2},      {900, 5},  {1100, 102}, {2610, 207},          {2800, 209},
      {99999, 6}, {3000, 210}, {-1, 210}, {2, 210},    {kStatusFailed, 210},
  };
  for (const auto& c : cases) EXPECT_EQ(c.message, GetMessage(c.status)) << c.status;
}

}  // namespace
}  // namespace qv46test
