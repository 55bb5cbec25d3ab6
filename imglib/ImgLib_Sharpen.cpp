// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Sharpening and softening with a 3x3 kernel: one centre weight, one weight
// shared by the eight neighbours, the two adding up to 1.
#include <cstdint>

#include "imglib/ImgLib.h"
#include "imglib/ImgLib_Internal.h"

namespace {

struct KPoint {
  int32_t strength;
  double k;
};

// Strength to kernel factor; strengths in between are interpolated.
constexpr KPoint KTable[] = {
    {-1000, -1.0},   {-950, -0.75}, {-900, -0.5625}, {-800, -0.39}, {-500, -0.204}, {-200, -0.135},
    {-100, -0.124},  {-50, -0.119}, {-1, -0.117},    {0, 0.0},      {1, 0.126},     {50, 0.14},
    {100, 0.140625}, {650, 0.365},  {700, 0.412},    {750, 0.5},    {800, 0.6046},  {850, 0.8203},
    {900, 1.125},    {950, 2.25},   {1000, 9.0},
};
constexpr int kKPoints = sizeof(KTable) / sizeof(KTable[0]);

// A row of the kernel's samples: each byte k through tables[k] when there
// are tables, the edge pixel repeated on both sides so that every column has
// a left and a right neighbour. `values` holds the samples as bytes, for the
// centre's term; `products` each sample times the neighbour weight, the very
// product that eight of the nine terms of a sum take, so that it is worked
// out once rather than eight times.
struct KernelRow {
  double* products;
  uint8_t* values;
};

IMGLIB_AVX2_CLONES
void NeighbourProducts(const uint8_t* __restrict values, int64_t count, double neighbour,
                       double* __restrict products) {
  for (int64_t i = 0; i < count; ++i) products[i] = values[i] * neighbour;
}

void LoadRow(const uint8_t* row, int32_t width, const uint8_t (*tables)[256], double neighbour,
             const KernelRow& out) {
  const int64_t bytes = static_cast<int64_t>(width) * 3;
  uint8_t* values = out.values;
  if (tables) {
    for (int64_t i = 0; i < bytes; i += 3) {
      values[3 + i] = tables[0][row[i]];
      values[4 + i] = tables[1][row[i + 1]];
      values[5 + i] = tables[2][row[i + 2]];
    }
  } else {
    CopyMemory(values + 3, row, static_cast<size_t>(bytes));
  }
  for (int b = 0; b < 3; ++b) {
    values[b] = values[3 + b];
    values[3 + bytes + b] = values[bytes + b];
  }
  NeighbourProducts(values, bytes + 6, neighbour, out.products);
}

// One output row. Every term is sample times weight, summed strictly in the
// order up-left, up, up-right, left, centre, right, down-left, down, down-right,
// and the sum is cut toward zero.
IMGLIB_AVX2_CLONES
void SharpenRow(const double* __restrict up, const double* __restrict mid,
                const double* __restrict down, const uint8_t* __restrict centreValues,
                int64_t bytes, double centre, uint8_t* __restrict out) {
  for (int64_t i = 0; i < bytes; ++i) {
    const int64_t c = i + 3;
    double sum = up[c - 3];
    sum += up[c];
    sum += up[c + 3];
    sum += mid[c - 3];
    sum += centreValues[c] * centre;
    sum += mid[c + 3];
    sum += down[c - 3];
    sum += down[c];
    sum += down[c + 3];
    sum = sum < 0 ? 0 : sum;
    sum = sum > 255 ? 255 : sum;
    out[i] = static_cast<uint8_t>(static_cast<int32_t>(sum));
  }
}

}  // namespace

double SharpenFactor(int32_t strength) {
  int i = 0;
  while (i < kKPoints - 1 && KTable[i].strength < strength) ++i;
  if (KTable[i].strength == strength || i == 0) return KTable[i].k;
  const KPoint& low = KTable[i - 1];
  const KPoint& high = KTable[i];
  return (high.k - low.k) * static_cast<double>(strength - low.strength) /
             static_cast<double>(high.strength - low.strength) +
         low.k;
}

int IL_SharpenBitmap(pBITMAPHANDLE handle, int32_t strength, int threads,
                     const uint8_t (*tables)[256]) {
  if (!handle || !handle->Pixels) return IL_ERROR_NO_BITMAP;
  if (handle->BitsPerPixel != 24 || (handle->ColorOrder != 0 && handle->ColorOrder != 1) ||
      strength < -1000 || strength > 1000) {
    return IL_ERROR_INV_PARAMETER;
  }
  const int32_t width = handle->Width;
  const int32_t height = handle->Height;
  if (width <= 0 || height <= 0) return IL_ERROR_INV_PARAMETER;

  // Reads must see the unchanged picture. Row y + 1 is still untouched when
  // row y is written, so three rows of the original are all the copy that is
  // needed. Each band of rows has its own three, and a fourth: the row below
  // the band, which the next band may already have changed by the time it is
  // needed, is read before any band starts, as is the row above.
  const int64_t bytes = static_cast<int64_t>(width) * 3;
  const int64_t rowDoubles = bytes + 6;
  // A kernel row: its products, then its bytes, rounded up to whole doubles.
  const int64_t rowSize =
      rowDoubles * static_cast<int64_t>(sizeof(double)) + (rowDoubles + 7) / 8 * 8;
  const int32_t bands = IL_RowBandCount(height, threads);
  HGLOBAL block;
  uint8_t* rows =
      AllocLocked(static_cast<uint64_t>(rowSize) * 4 * static_cast<uint64_t>(bands), &block);
  if (!rows) return IL_ERROR_NO_MEMORY;

  const double k = SharpenFactor(strength);
  const double centre = (8.0 * k) / 9.0 + 1.0;
  const double neighbour = (-k) / 9.0;

  const int64_t pitch = handle->BytesPerLine;
  uint8_t* pixels = handle->Pixels;
  // Fresh heap memory from the memory layer, aligned for any type.
  const auto kernelRow = [&](uint8_t* at) {
    // cppcheck-suppress invalidPointerCast
    return KernelRow{reinterpret_cast<double*>(at), at + rowDoubles * sizeof(double)};
  };
  // Band b's rows: up, mid, down, below.
  const auto bandRows = [&](int32_t band) { return rows + rowSize * 4 * band; };
  for (int32_t band = 0; band < bands; ++band) {
    int32_t first, end;
    IL_RowBand(height, bands, band, &first, &end);
    uint8_t* own = bandRows(band);
    // The top row is its own upper neighbour, the bottom row its own lower one.
    LoadRow(pixels + (first > 0 ? first - 1 : 0) * pitch, width, tables, neighbour, kernelRow(own));
    if (end < height) {
      LoadRow(pixels + end * pitch, width, tables, neighbour, kernelRow(own + 3 * rowSize));
    }
  }
  IL_RunRowBands(height, bands, [&](int32_t band, int32_t first, int32_t end) {
    uint8_t* up = bandRows(band);
    uint8_t* mid = up + rowSize;
    uint8_t* down = up + 2 * rowSize;
    const uint8_t* below = up + 3 * rowSize;
    LoadRow(pixels + first * pitch, width, tables, neighbour, kernelRow(mid));
    for (int32_t y = first; y < end; ++y) {
      if (y + 1 < end) {
        LoadRow(pixels + (y + 1) * pitch, width, tables, neighbour, kernelRow(down));
      } else {
        CopyMemory(down, y + 1 < height ? below : mid, static_cast<size_t>(rowSize));
      }
      SharpenRow(kernelRow(up).products, kernelRow(mid).products, kernelRow(down).products,
                 kernelRow(mid).values, bytes, centre, pixels + y * pitch);
      uint8_t* spare = up;
      up = mid;
      mid = down;
      down = spare;
    }
    return IL_SUCCESS;
  });

  FreeLocked(block);
  return IL_SUCCESS;
}
