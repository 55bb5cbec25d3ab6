// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// valdren-zelbackend: the CUPS backend of QV-46 queues.
//   valdren-zelbackend                       lists attached printers
//   valdren-zelbackend job user title copies options [file]
//                                            prints to DEVICE_URI's printer
#include <cups/backend.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <string>

#include "Backend.h"
#include "LibusbBus.h"

namespace {

volatile sig_atomic_t gCancelled = 0;

void OnTerm(int) { gCancelled = 1; }

void SleepMs(int ms) {
  timespec delay{ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&delay, nullptr);  // SIGTERM ends it early
}

int64_t NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace

int main(int argc, char** argv) {
  // No SA_RESTART: a cancel must interrupt a read that waits for the filter.
  struct sigaction action = {};
  action.sa_handler = OnTerm;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);

  if (argc != 1 && argc != 6 && argc != 7) {
    zelbackend::WriteLine(
        std::cerr, std::string("Usage: ") + argv[0] + " job-id user title copies options [file]");
    return CUPS_BACKEND_FAILED;
  }

  zelbackend::LibusbBus bus;
  zelbackend::Services services;
  services.bus = &bus;
  services.messages = &std::cerr;
  services.cancelled = [] { return gCancelled != 0; };
  services.sleepMs = SleepMs;
  services.nowMs = NowMs;
  // CUPS gives each backend a private temporary folder.
  if (const char* tmpdir = std::getenv("TMPDIR")) services.spoolDir = tmpdir;
  if (bus.InitResult() != 0) {
    zelbackend::WriteLine(std::cerr, "ERROR: Cannot use USB");
    return argc == 1 ? 0 : CUPS_BACKEND_FAILED;
  }

  if (argc == 1) {
    services.claimWaitMs = 5000;  // discovery must not keep CUPS waiting
    return zelbackend::Discover(services, std::cout);
  }

  zelbackend::Job job;
  job.id = argv[1];
  const char* uri = std::getenv("DEVICE_URI");
  job.uri = uri ? uri : argv[0];
  if (argc == 7) {
    job.inputFd = open(argv[6], O_RDONLY | O_CLOEXEC);
    if (job.inputFd < 0) {
      zelbackend::WriteLine(
          std::cerr, std::string("ERROR: Cannot open ") + argv[6] + ": " + std::strerror(errno));
      // Nothing leaks here: the open failed, so there is no descriptor to close.
      // cppcheck-suppress resourceLeak
      return CUPS_BACKEND_FAILED;
    }
    job.copies = std::max(1, std::atoi(argv[4]));
  }
  int result = zelbackend::RunJob(services, job);
  if (argc == 7) close(job.inputFd);
  return result;
}
