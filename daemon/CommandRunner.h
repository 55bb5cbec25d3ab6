// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Runs external programs without a shell. SpawnCommandRunner is the one
// production implementation; tests use fakes that record the argument vectors.
#pragma once

#include <string>
#include <vector>

class CommandRunner {
 public:
  virtual ~CommandRunner() = default;
  // Runs argv[0] (searched in PATH) and waits. Returns its exit status, or -1
  // when it could not be started or did not exit normally.
  virtual int Run(const std::vector<std::string>& argv) = 0;
  // The same, capturing the first line of standard output (without the line
  // feed, at most `limit` characters) in `firstLine`.
  virtual int RunCapture(const std::vector<std::string>& argv, std::string* firstLine,
                         size_t limit) = 0;
};
