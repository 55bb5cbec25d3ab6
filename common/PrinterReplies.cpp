// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "common/PrinterReplies.h"

#include <cerrno>
#include <cstdlib>

namespace {

constexpr size_t kMediaSizeSkip = 2;
constexpr size_t kQuantitySkip = 4;
constexpr size_t kTotalCountSkip = 2;

// The part of `text` after its first `count` characters; empty when the
// text is not longer than them.
std::string After(const std::string& text, size_t count) {
  return text.size() > count ? text.substr(count) : std::string();
}

// strtol's reading (blanks and a sign first), but a text without digits or
// a value beyond 32 bits gives no number rather than 0 or a clipped one.
bool NumberAt(const std::string& text, int32_t* number) {
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (end == text.c_str() || errno == ERANGE || value < INT32_MIN || value > INT32_MAX)
    return false;
  *number = static_cast<int32_t>(value);
  return true;
}

}  // namespace

bool StatusFromReply(const std::string& text, int32_t* status) { return NumberAt(text, status); }

std::string MediaSizeFromReply(const std::string& text) { return After(text, kMediaSizeSkip); }

std::string QuantityTextFromReply(const std::string& text) { return After(text, kQuantitySkip); }

int32_t QuantityFromReply(const std::string& text) {
  int32_t quantity = -1;
  return NumberAt(After(text, kQuantitySkip), &quantity) && quantity >= 0 ? quantity : -1;
}

bool TotalCountFromReply(const std::string& text, int32_t* count) {
  return NumberAt(After(text, kTotalCountSkip), count);
}
