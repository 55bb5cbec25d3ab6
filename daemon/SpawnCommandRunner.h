// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Runs programs with posix_spawnp: no shell ever sees the arguments.
#pragma once

#include "daemon/CommandRunner.h"

class SpawnCommandRunner : public CommandRunner {
 public:
  int Run(const std::vector<std::string>& argv) override;
  int RunCapture(const std::vector<std::string>& argv, std::string* firstLine,
                 size_t limit) override;
};
