// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Row bands: how rows are shared out, what a failing band reports, and that
// workers never take a signal meant for the program.
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <vector>

#include "imglib/ImgLib.h"

namespace {

TEST(RowBands, EveryRowOnceInOrderedBands) {
  struct Case {
    int32_t rows;
    int threads;
    int32_t bands;
  };
  const Case cases[] = {{1, 4, 1}, {3, 4, 3}, {10, 3, 3}, {1000, 2, 2}, {7, 1, 1}, {5, 0, 1}};
  for (const Case& c : cases) {
    const int32_t bands = IL_RowBandCount(c.rows, c.threads);
    EXPECT_EQ(bands, c.bands) << c.rows << " rows, " << c.threads << " threads";
    std::vector<std::atomic<int>> seen(static_cast<size_t>(c.rows));
    const int status = IL_RunRowBands(c.rows, bands, [&](int32_t band, int32_t first, int32_t end) {
      int32_t wantFirst, wantEnd;
      IL_RowBand(c.rows, bands, band, &wantFirst, &wantEnd);
      EXPECT_EQ(first, wantFirst);
      EXPECT_EQ(end, wantEnd);
      for (int32_t y = first; y < end; ++y) ++seen[static_cast<size_t>(y)];
      return IL_SUCCESS;
    });
    EXPECT_EQ(status, IL_SUCCESS);
    for (int32_t y = 0; y < c.rows; ++y) EXPECT_EQ(seen[static_cast<size_t>(y)], 1) << "row " << y;
  }
}

TEST(RowBands, AFailingBandIsReportedAfterAllFinish) {
  std::atomic<int> done{0};
  const int status = IL_RunRowBands(40, 4, [&](int32_t band, int32_t, int32_t) {
    ++done;
    return band == 2 ? IL_ERROR_NO_MEMORY : IL_SUCCESS;
  });
  EXPECT_EQ(status, IL_ERROR_NO_MEMORY);
  EXPECT_EQ(done, 4);
}

TEST(RowBands, WorkersBlockSignalsAndTheCallerKeepsItsMask) {
  sigset_t before;
  pthread_sigmask(SIG_SETMASK, nullptr, &before);
  ASSERT_FALSE(sigismember(&before, SIGTERM));
  std::vector<int> termBlocked(3, -1);
  IL_RunRowBands(3, 3, [&](int32_t band, int32_t, int32_t) {
    sigset_t mask;
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    termBlocked[static_cast<size_t>(band)] = sigismember(&mask, SIGTERM);
    return IL_SUCCESS;
  });
  EXPECT_EQ(termBlocked, (std::vector<int>{0, 1, 1}));  // band 0 runs on the caller
  sigset_t after;
  pthread_sigmask(SIG_SETMASK, nullptr, &after);
  EXPECT_FALSE(sigismember(&after, SIGTERM));
}

}  // namespace
