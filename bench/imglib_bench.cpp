// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Page-sized work of the image library: a rotated 4x6 page at 300x600 dpi
// (3688 x 1240 resized to 1844 x 2480) and the steps run on the result.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "imglib/ImgLib.h"

namespace {

constexpr int kRecord = sizeof(BITMAPHANDLE);

// Photo-like content: smooth colour fields with fine grain, so every branch
// of the colour code sees a realistic mix.
std::vector<uint8_t> MakePage(int width, int height) {
  const int pitch = ((width * 24 + 31) / 32) * 4;
  std::vector<uint8_t> page(static_cast<size_t>(pitch) * height);
  std::mt19937 grain(46);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const double u = static_cast<double>(x) / width, v = static_cast<double>(y) / height;
      const double base[3] = {128 + 110 * std::sin(6.0 * u + 2.0 * v),
                              128 + 100 * std::cos(4.0 * v - 3.0 * u),
                              128 + 90 * std::sin(5.0 * (u + v))};
      for (int b = 0; b < 3; ++b) {
        const double value = base[b] + static_cast<int>(grain() % 17) - 8;
        page[static_cast<size_t>(y) * pitch + 3 * x + b] =
            static_cast<uint8_t>(value < 0     ? 0
                                 : value > 255 ? 255
                                               : value);
      }
    }
  return page;
}

void Wrap(BITMAPHANDLE* handle, std::vector<uint8_t>& page, int width, int height) {
  IL_CreateBitmap(handle, kRecord, IL_BITMAP_KIND, width, height, 24, IL_ORDER_BGR, nullptr, 4,
                  page.data(), page.size());
}

void BmSizeBitmap3688x1240To1844x2480(benchmark::State& state) {
  std::vector<uint8_t> page = MakePage(3688, 1240);
  for (auto _ : state) {
    BITMAPHANDLE handle{};
    Wrap(&handle, page, 3688, 1240);  // caller pixels: the source survives
    if (IL_SizeBitmap(&handle, 1844, 2480, IL_SIZE_BICUBIC) != IL_SUCCESS)
      state.SkipWithError("resize failed");
    benchmark::DoNotOptimize(handle.Pixels);
    IL_FreeBitmap(&handle);
  }
}

// Runs an in-place operation on a fresh copy of the page each time.
template <typename Operation>
void InPlace(benchmark::State& state, Operation operation) {
  const std::vector<uint8_t> original = MakePage(1844, 2480);
  // Kept across iterations, so that its memory is reused outside the timed part.
  // cppcheck-suppress variableScope
  std::vector<uint8_t> page;
  for (auto _ : state) {
    state.PauseTiming();
    page = original;
    BITMAPHANDLE handle{};
    Wrap(&handle, page, 1844, 2480);
    state.ResumeTiming();
    if (operation(&handle) != IL_SUCCESS) state.SkipWithError("operation failed");
    benchmark::DoNotOptimize(page.data());
  }
}

void BmSharpenBitmap6501844x2480(benchmark::State& state) {
  InPlace(state, [](BITMAPHANDLE* h) { return IL_SharpenBitmap(h, 650); });
}

void BmChangeBitmapSaturation1844x2480(benchmark::State& state) {
  InPlace(state, [](BITMAPHANDLE* h) { return IL_ChangeBitmapSaturation(h, 300); });
}

void BmSeparateCurvesMerge1844x2480(benchmark::State& state) {
  std::vector<uint8_t> page = MakePage(1844, 2480);
  for (auto _ : state) {
    BITMAPHANDLE source{}, merged{}, planes[3]{};
    BITMAPHANDLE* list[3] = {&planes[0], &planes[1], &planes[2]};
    Wrap(&source, page, 1844, 2480);
    int status = IL_ColorSeparateBitmap(&source, list, kRecord, 0);
    for (int k = 0; k < 3; ++k) {
      IL_GammaCorrectBitmap(list[k], 120 + 10 * k);
      IL_ChangeBitmapIntensity(list[k], 40);
      IL_ChangeBitmapContrast(list[k], -200);
    }
    status += IL_ColorMergeBitmap(&merged, list, kRecord, 0);
    if (status != 2 * IL_SUCCESS) state.SkipWithError("separate or merge failed");
    benchmark::DoNotOptimize(merged.Pixels);
    for (BITMAPHANDLE& plane : planes) IL_FreeBitmap(&plane);
    IL_FreeBitmap(&merged);
  }
}

}  // namespace

#define PAGE_BENCHMARK(name) \
  BENCHMARK(name)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true)

PAGE_BENCHMARK(BmSizeBitmap3688x1240To1844x2480);
PAGE_BENCHMARK(BmSharpenBitmap6501844x2480);
PAGE_BENCHMARK(BmChangeBitmapSaturation1844x2480);
PAGE_BENCHMARK(BmSeparateCurvesMerge1844x2480);
