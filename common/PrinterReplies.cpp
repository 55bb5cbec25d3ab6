// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "common/PrinterReplies.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kMediaSizeSkip = 2;
constexpr size_t kQuantitySkip = 4;
constexpr size_t kTotalCountSkip = 2;

// The part of `text` after its first `count` characters; empty when the
// text is not longer than them.
const char* After(const char* text, size_t count) {
  return std::strlen(text) > count ? text + count : "";
}

// strtol's reading (blanks and a sign first), but a text without digits or
// a value beyond 32 bits gives no number rather than 0 or a clipped one.
bool NumberAt(const char* text, int32_t* number) {
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text, &end, 10);
  if (end == text || errno == ERANGE || value < INT32_MIN || value > INT32_MAX) return false;
  *number = static_cast<int32_t>(value);
  return true;
}

}  // namespace

bool StatusFromReply(const char* text, int32_t* status) { return NumberAt(text, status); }

std::string MediaSizeFromReply(const char* text) { return After(text, kMediaSizeSkip); }

std::string QuantityTextFromReply(const char* text) { return After(text, kQuantitySkip); }

int32_t QuantityFromReply(const char* text) {
  int32_t quantity = -1;
  return NumberAt(After(text, kQuantitySkip), &quantity) && quantity >= 0 ? quantity : -1;
}

bool TotalCountFromReply(const char* text, int32_t* count) {
  return NumberAt(After(text, kTotalCountSkip), count);
}
