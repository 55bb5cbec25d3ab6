// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// What valdren-zelbackend does, apart from main(): list the attached
// printers for CUPS, and carry one job's stream to the printer its URI names.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include "PrinterBus.h"
#include "common/TmpFiles.h"

namespace zelbackend {

// The platform the backend runs on; main() wires the real one.
struct Services {
  PrinterBus* bus = nullptr;
  std::ostream* messages = nullptr;     // CUPS reads STATE:/INFO:/ERROR: lines here
  std::function<bool()> cancelled;      // the job was cancelled (SIGTERM)
  std::function<void(int ms)> sleepMs;  // may return early when cancelled
  std::function<int64_t()> nowMs;       // monotonic
  std::string tmpDir = kTmpDir;
  std::string spoolDir = kTmpDir;  // large packets from a pipe wait here (CUPS's TMPDIR)
  int claimWaitMs = 5000;          // discovery: how long a busy printer is waited for
  int claimRetryMs = 500;          // a job: next look when some printer was busy
  int searchRetryMs = 1000;        // a job: next look when none was
};

// Writes `line` and its line feed in one write: CUPS shares the stream with
// the filters, and a line written in pieces can be glued to theirs.
void WriteLine(std::ostream& out, const std::string& line);

// Prints one CUPS discovery line per attached QV-46 to `out`. Returns 0.
int Discover(Services& services, std::ostream& out);

struct Job {
  std::string id;   // argv[1]
  std::string uri;  // DEVICE_URI
  int inputFd = 0;  // the filter's output, or the file to print
  int copies = 1;   // > 1 only for a file, which is then rewound
};

// Runs one job; returns a CUPS backend exit code. Waits for the printer of
// the URI as long as it takes (until cancelled); a cancel stops the sending
// only between command packets.
int RunJob(Services& services, const Job& job);

}  // namespace zelbackend
