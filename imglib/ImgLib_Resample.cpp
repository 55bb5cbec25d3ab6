// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Resampling with separable cubic convolution: a horizontal pass into sums of
// doubles, then a vertical pass into a new pixel block.
//
// The positions, weights and summation order are fixed, so the results are
// bit for bit those of a plain two-pass loop over a full buffer of horizontal
// sums. What differs is only how much is kept: the vertical pass needs at
// most four consecutive source rows of sums at a time, so the sums live in a
// small cache of rows indexed by source row, each row computed when first
// needed.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "imglib/ImgLib.h"
#include "imglib/ImgLib_Internal.h"

namespace {

constexpr int kTaps = 4;
constexpr int kCachedRows = 4;

// The four samples around one position: source indices and their weights.
struct Taps {
  int32_t index[kTaps];
  double weight[kTaps];
};

// Samples t - 1 .. t + 2 around position * scale; one outside the source
// takes the sample at t, the position's own integer part.
Taps TapsAt(int32_t position, double scale, int32_t sourceLength) {
  const double p = position * scale;
  int32_t t = static_cast<int32_t>(p);
  t = std::min(t, sourceLength - 1);
  Taps taps;
  for (int q = 0; q < kTaps; ++q) {
    const int32_t k = t - 1 + q;
    taps.index[q] = (k >= 0 && k < sourceLength) ? k : t;
    taps.weight[q] = CubicWeight(std::fabs(k - p));
  }
  return taps;
}

// One source row through the horizontal pass: three sums per output column.
// The column taps come from `columns`, or are worked out here when there is
// no table.
void HorizontalRow(const uint8_t* __restrict source, const Taps* __restrict columns, double sx,
                   int32_t width, int32_t newWidth, double* __restrict sums) {
  for (int32_t j = 0; j < newWidth; ++j) {
    const Taps tap = columns ? columns[j] : TapsAt(j, sx, width);
    const uint8_t* s0 = source + 3 * tap.index[0];
    const uint8_t* s1 = source + 3 * tap.index[1];
    const uint8_t* s2 = source + 3 * tap.index[2];
    const uint8_t* s3 = source + 3 * tap.index[3];
    for (int b = 0; b < 3; ++b) {
      double sum = 0.0;
      sum += tap.weight[0] * s0[b];
      sum += tap.weight[1] * s1[b];
      sum += tap.weight[2] * s2[b];
      sum += tap.weight[3] * s3[b];
      sums[3 * j + b] = sum;
    }
  }
}

// One output row from four rows of sums.
IMGLIB_AVX2_CLONES
void VerticalRow(const double* __restrict r0, const double* __restrict r1,
                 const double* __restrict r2, const double* __restrict r3, const Taps& tap,
                 int64_t count, uint8_t* __restrict out) {
  const double w0 = tap.weight[0], w1 = tap.weight[1], w2 = tap.weight[2], w3 = tap.weight[3];
  for (int64_t x = 0; x < count; ++x) {
    double v = 0.0;
    v += w0 * r0[x];
    v += w1 * r1[x];
    v += w2 * r2[x];
    v += w3 * r3[x];
    // Below 0 gives 0, above 255 gives 255, in between v + 0.5 is cut toward
    // zero. Clamping v + 0.5 to 0.5 .. 255.5 before the cut gives the same
    // bytes and leaves the compiler plain selects.
    const double rounded = v + 0.5;
    const double low = rounded < 0.5 ? 0.5 : rounded;
    const double byte = low > 255.5 ? 255.5 : low;
    out[x] = static_cast<uint8_t>(static_cast<int32_t>(byte));
  }
}

}  // namespace

double CubicWeight(double a) {
  if (a <= 1) return a * (a * a) + (1 - (a + a) * a);
  if (a <= 2) return a * (-(a * a)) + ((a * -8 + 4) - (a * -5) * a);
  return 0.0;
}

int IL_SizeBitmap(pBITMAPHANDLE handle, int32_t newWidth, int32_t newHeight, int32_t method) {
  if (!handle || !IsColorBitmap(handle) || handle->Width <= 0 || handle->Height <= 0 ||
      newWidth <= 0 || newHeight <= 0 || method != IL_SIZE_BICUBIC) {
    return IL_ERROR_INV_PARAMETER;
  }
  const int64_t newPitch = RowPitch(newWidth, 24);
  if (newPitch > INT32_MAX) return IL_ERROR_INV_PARAMETER;
  const int32_t width = handle->Width;
  const int32_t height = handle->Height;
  const uint64_t newSize = static_cast<uint64_t>(newPitch) * static_cast<uint64_t>(newHeight);

  HGLOBAL block;
  uint8_t* pixels = AllocLocked(newSize, &block);
  if (!pixels) return IL_ERROR_NO_MEMORY;

  // Temporary buffer: the cached rows of sums and, when that still stays
  // within a full buffer of sums (24 bytes per output column per source row),
  // a table of the column taps. Sources of under six rows recompute them.
  const int cachedRows = std::min(kCachedRows, height);
  const bool tapTable = height >= cachedRows + 2;
  const int64_t rowSums = static_cast<int64_t>(newWidth) * 3;
  const uint64_t tempSize = sizeof(double) * static_cast<uint64_t>(rowSums) * cachedRows +
                            (tapTable ? sizeof(Taps) * static_cast<uint64_t>(newWidth) : 0);
  HGLOBAL tempBlock;
  uint8_t* temp = AllocLocked(tempSize, &tempBlock);
  if (!temp) {
    FreeLocked(block);
    return IL_ERROR_NO_MEMORY;
  }
  // Fresh heap memory from the memory layer, aligned for any type.
  // cppcheck-suppress invalidPointerCast
  auto* sums = reinterpret_cast<double*>(temp);
  Taps* columns = tapTable ? reinterpret_cast<Taps*>(sums + rowSums * cachedRows) : nullptr;
  int32_t cachedRow[kCachedRows] = {-1, -1, -1, -1};

  const double sx = static_cast<double>(width) / newWidth;
  const double sy = static_cast<double>(height) / newHeight;
  for (int32_t j = 0; tapTable && j < newWidth; ++j) columns[j] = TapsAt(j, sx, width);

  const uint8_t* source = handle->Pixels;
  const int64_t pitch = handle->BytesPerLine;
  for (int32_t i = 0; i < newHeight; ++i) {
    const Taps rowTaps = TapsAt(i, sy, height);
    const double* tapRows[kTaps];
    for (int q = 0; q < kTaps; ++q) {
      // Four consecutive rows never share a slot.
      const int32_t y = rowTaps.index[q];
      const int slot = y % cachedRows;
      double* slotSums = sums + slot * rowSums;
      if (cachedRow[slot] != y) {
        HorizontalRow(source + y * pitch, columns, sx, width, newWidth, slotSums);
        cachedRow[slot] = y;
      }
      tapRows[q] = slotSums;
    }
    VerticalRow(tapRows[0], tapRows[1], tapRows[2], tapRows[3], rowTaps, rowSums,
                pixels + i * newPitch);
  }

  FreeLocked(tempBlock);
  if (handle->MemoryHandle) {
    FreeLocked(handle->MemoryHandle);
    handle->Palette = nullptr;
  }
  handle->MemoryHandle = block;
  handle->Pixels = pixels;
  handle->Width = newWidth;
  handle->Height = newHeight;
  handle->BytesPerLine = static_cast<int32_t>(newPitch);
  handle->ImageSize = newSize;
  return IL_SUCCESS;
}
