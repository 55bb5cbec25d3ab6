// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "common/ProgramInfo.h"

#include <cstdio>
#include <cstring>

int AnswerInfoOption(int argc, char** argv, const char* program, const char* usage) {
  if (argc < 2) return -1;
  if (std::strcmp(argv[1], "--help") == 0) {
    std::fputs(usage, stdout);
  } else if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("%s %s\nLicensed under the Apache License 2.0.\n", program, QV46_VERSION);
  } else {
    return -1;
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
