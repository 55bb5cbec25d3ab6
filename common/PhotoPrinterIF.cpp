// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "common/PhotoPrinterIF.h"

#include <cstdlib>
#include <cstring>

int _TextToInt(const char* text, int count) {
  char scratch[512];
  if (static_cast<unsigned>(count) > 511u) return -1;
  _CutText(scratch, text, count);
  // strtol's own rules: white space and a sign first, stop at a non-digit.
  return static_cast<int>(std::strtol(scratch, nullptr, 10));
}

int _CutText(char* destination, const char* source, int count) {
  std::memcpy(destination, source, static_cast<size_t>(count));
  destination[count] = '\0';
  return 0;
}

int StripToPlainText(char* text) {
  int kept = 0;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c >= 0x20 && *c < 0x7F && *c != '"') text[kept++] = *c;
  }
  text[kept] = '\0';
  return kept;
}
