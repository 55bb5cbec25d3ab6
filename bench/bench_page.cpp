// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// One whole page through the filter's image path: a 4x6 in portrait page at
// 300x600 dpi, bordered, sharpened and colour-adjusted, through ColorProcess
// (via MakeImageData), SetImageData and Send, on `threads` threads (the
// argument). The CPU column is the whole process's, every thread's share.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "filter/PhotoPrinterDeviceQV46.h"
#include "imglib/ImgLib.h"

namespace {

// 4 x 6 in at 300 x 600 dpi, as CUPS rasterises the portrait page size.
constexpr long kWidth = 1200;
constexpr long kHeight = 3600;

std::vector<uint8_t> MakePattern() {
  const long pitch = ((kWidth * 24 + 31) / 32) * 4;
  std::vector<uint8_t> page(size_t(pitch) * kHeight, 0);
  for (long row = 0; row < kHeight; ++row) {
    for (long x = 0; x < kWidth; ++x) {
      uint8_t* p = &page[size_t(row * pitch + 3 * x)];
      p[0] = uint8_t(x * 255 / kWidth);
      p[1] = uint8_t(row * 255 / kHeight);
      p[2] = uint8_t((x ^ row) & 0xFF);
    }
  }
  return page;
}

void BmWholePage(benchmark::State& state) {
  IL_KeepFreedPagesInHeap();  // as the filter's process does
  FILE* sink = fopen("/dev/null", "w");
  DeviceEntry_QV46 device;
  device.SetOutput(sink);
  device.resolution = 600;
  device.resolutionMode = 1;
  if (device.SetMediaInfo(device.mediaInfo, 3, 1.53) != 0) {
    state.SkipWithError("no media row 3");
    return;
  }
  device.rotate = true;
  device.border = true;
  device.sharpness = 650;
  device.colorAdjustment = true;
  const int32_t gamma[3] = {141, 100, 70}, brightness[3] = {20, 0, -20},
                contrast[3] = {100, 0, -100};
  for (int k = 0; k < 3; ++k) {
    device.gamma[k] = gamma[k];
    device.brightness[k] = brightness[k];
    device.contrast[k] = contrast[k];
  }
  device.saturation = 200;
  device.threads = static_cast<int>(state.range(0));

  const std::vector<uint8_t> pattern = MakePattern();
  for (auto _ : state) {
    state.PauseTiming();
    char* page = static_cast<char*>(malloc(pattern.size()));
    if (page == nullptr) {
      state.SkipWithError("out of memory");
      break;
    }
    memcpy(page, pattern.data(), pattern.size());
    state.ResumeTiming();

    BITMAPHANDLE* image = device.MakeImageData(page, kWidth, kHeight, 0);
    device.SetImageData(0, image);
    const int sent = device.Send(&device.mediaInfo);
    device.Clear();
    IL_FreeBitmap(image);
    delete image;
    if (sent != 0) state.SkipWithError("Send failed");
  }
  fclose(sink);
}

BENCHMARK(BmWholePage)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(2)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace
