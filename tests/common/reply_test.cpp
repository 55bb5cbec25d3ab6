// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// What each query's reply text means: the characters before a value are
// skipped whatever they are, and a text without a number gives none.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "common/PrinterReplies.h"

namespace {

constexpr int32_t kNone = INT32_MIN;  // the reader found no number

int32_t Number(bool (*read)(const std::string&, int32_t*), const char* text) {
  int32_t value = 0;
  return read(text, &value) ? value : kNone;
}

TEST(PrinterReplies, FramedValues) {
  const struct {
    const char* text;
    const char* mediaSize;
    const char* quantityText;
    int32_t quantity;
    int32_t totalCount;
  } cases[] = {
      {"MS00310", "00310", "310", 310, 310},
      {"0000310", "00310", "310", 310, 310},
      {"  00310", "00310", "310", 310, 310},
      {"MQTY0050", "TY0050", "0050", 50, kNone},
      {"00000050", "000050", "0050", 50, 50},
      {"CL48213", "48213", "213", 213, 48213},
      {"    0042", "  0042", "0042", 42, 42},
      {"  -5", "-5", "", -1, -5},
      {"MQTY-5", "TY-5", "-5", -1, kNone},
      {"MQTY", "TY", "", -1, kNone},
      {"CL", "", "", -1, kNone},
      {"C", "", "", -1, kNone},
      {"", "", "", -1, kNone},
      {"CLxyz", "xyz", "z", -1, kNone},
      {"CL99999999999", "99999999999", "999999999", 999999999, kNone},
      {"MQTY99999999999", "TY99999999999", "99999999999", -1, kNone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("reply \"") + c.text + "\"");
    EXPECT_EQ(c.mediaSize, MediaSizeFromReply(c.text));
    EXPECT_EQ(c.quantityText, QuantityTextFromReply(c.text));
    EXPECT_EQ(c.quantity, QuantityFromReply(c.text));
    EXPECT_EQ(c.totalCount, Number(TotalCountFromReply, c.text));
  }
}

TEST(PrinterReplies, StatusCodes) {
  const struct {
    const char* text;
    int32_t status;
  } cases[] = {
      {"00000", 0},   {"01100", 1100}, {"1", 1},         {" 2610", 2610}, {"-5", -5},
      {"0110x", 110}, {"", kNone},     {"ABCDE", kNone}, {" ", kNone},    {"+", kNone},
  };
  for (const auto& c : cases) EXPECT_EQ(c.status, Number(StatusFromReply, c.text)) << c.text;
}

}  // namespace
