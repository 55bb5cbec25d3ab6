// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Row bands run side by side. Workers start with every signal blocked, so a
// signal for the program (the filter's SIGTERM) always lands on the thread
// that polls for it; they finish their rows and are joined before the call
// returns.
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

#include "imglib/ImgLib.h"

namespace {

// More threads than this never pay for themselves on a page.
constexpr int kMaxThreads = 64;

}  // namespace

int IL_DefaultThreadCount() {
  const unsigned cores = std::thread::hardware_concurrency();
  return std::clamp(static_cast<int>(std::min(cores, 1024u)), 1, kMaxThreads);
}

int32_t IL_RowBandCount(int32_t rows, int threads) {
  return std::max(1, std::min({threads, kMaxThreads, rows}));
}

void IL_RowBand(int32_t rows, int32_t bands, int32_t band, int32_t* first, int32_t* end) {
  *first = static_cast<int32_t>(static_cast<int64_t>(rows) * band / bands);
  *end = static_cast<int32_t>(static_cast<int64_t>(rows) * (band + 1) / bands);
}

int IL_RunRowBands(int32_t rows, int32_t bands, const RowBandFn& body) {
  if (rows <= 0) return IL_SUCCESS;
  std::vector<int> status(static_cast<size_t>(bands), IL_SUCCESS);
  const auto run = [&](int32_t band) {
    int32_t first, end;
    IL_RowBand(rows, bands, band, &first, &end);
    if (first < end) status[static_cast<size_t>(band)] = body(band, first, end);
  };
  std::vector<std::thread> workers;
  if (bands > 1) {
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    workers.reserve(static_cast<size_t>(bands - 1));
    for (int32_t band = 1; band < bands; ++band) {
      try {
        workers.emplace_back(run, band);
      } catch (const std::system_error&) {
        run(band);  // no thread to be had: this one does the band
      }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  }
  run(0);
  for (std::thread& worker : workers) worker.join();
  for (const int s : status) {
    if (s != IL_SUCCESS) return s;
  }
  return IL_SUCCESS;
}
