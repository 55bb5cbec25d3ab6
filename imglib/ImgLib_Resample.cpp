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
//
// When every column falls on a source pixel (a halving across), the sums of
// a row are its bytes, so the cache holds bytes. Rows whose weights are whole
// multiples of 1/256 (a doubling's -1/8 and 5/8) then sum exactly in
// integers, and the sums of a page read as turned are gathered a block of
// rows at a time, so that each page row is visited once a block rather than
// once a row.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "imglib/ImgLib.h"
#include "imglib/ImgLib_Internal.h"

namespace {

constexpr int kTaps = 4;
constexpr int kCachedRows = 4;
// Rows of bytes a band keeps, at most.
constexpr int32_t kByteRows = 16;

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

// Weights 0, 1, 0, 0: the position falls on a sample (a scale of exactly 2,
// or every other row of a doubling). Adding the zero products then changes
// no value, so the sums are the sample itself, and the bytes the same.
inline bool OnSample(const Taps& tap) {
  return tap.weight[0] == 0.0 && tap.weight[1] == 1.0 && tap.weight[2] == 0.0 &&
         tap.weight[3] == 0.0;
}

// The sums of one output column's three bytes from the four taps' pixels,
// `pixels` holding three doubles a pixel from source pixel `first` on. Each
// tap is read as four doubles, so that the compiler takes a pixel as one
// short vector: the fourth lane, the next pixel's first byte, sums to a value
// that lands one place past the column's sums, where the next column's sums
// overwrite it (kStore 4), or is dropped (kStore 3).
template <int kStore>
inline void ColumnSums(const double* __restrict pixels, int32_t first, const Taps& tap,
                       double* __restrict out) {
  const double* s0 = pixels + 3 * (tap.index[0] - first);
  const double* s1 = pixels + 3 * (tap.index[1] - first);
  const double* s2 = pixels + 3 * (tap.index[2] - first);
  const double* s3 = pixels + 3 * (tap.index[3] - first);
  double sums[4];
  for (int b = 0; b < 4; ++b) {
    double sum = 0.0;
    sum += tap.weight[0] * s0[b];
    sum += tap.weight[1] * s1[b];
    sum += tap.weight[2] * s2[b];
    sum += tap.weight[3] * s3[b];
    sums[b] = sum;
  }
  for (int b = 0; b < kStore; ++b) out[b] = sums[b];
}

// Source pixels widened at a time: 3 KiB of doubles on the stack.
constexpr int32_t kWidePixels = 128;
// Windows of a row worked out once for all its rows, at most; the rows of a
// picture more than about 8000 pixels wide find theirs row by row.
constexpr int32_t kMaxWindows = 64;

// Columns [first, end), whose taps all lie within source pixels low .. high,
// fewer than kWidePixels of them, widened together.
struct Window {
  int32_t first, end, low, high;
};

// The window from column j on: the columns whose taps stay within
// kWidePixels pixels of the first one's lowest. A column's lowest tap is its
// first or second, its highest its third or fourth (the others are clamped
// to its own sample).
template <typename TapAt>
IMGLIB_LOOP_BODY Window WindowAt(int32_t j, int32_t newWidth, const TapAt& tapAt) {
  const Taps& first = tapAt(j);
  Window window{j, j, std::min(first.index[0], first.index[1]), 0};
  window.high = window.low;
  while (window.end < newWidth) {
    const Taps& tap = tapAt(window.end);
    const int32_t right = std::max(tap.index[2], tap.index[3]);
    if (right >= window.low + kWidePixels) break;
    window.high = std::max(window.high, right);
    ++window.end;
  }
  return window;
}

// The sums of a window's columns. Pixels side by side (a row as stored)
// widen as one run of bytes, which the compiler vectorises; a column of a
// turned page goes pixel by pixel.
template <typename TapAt>
IMGLIB_LOOP_BODY void WindowSums(const uint8_t* __restrict source, int64_t pixelStep,
                                 const Window& window, const TapAt& tapAt, int32_t newWidth,
                                 double* __restrict wide, double* __restrict sums) {
  const uint8_t* run = source + window.low * pixelStep;
  const int32_t count = window.high - window.low + 1;
  if (pixelStep == 3) {
    for (int32_t i = 0; i < 3 * count; ++i) wide[i] = run[i];
  } else {
    for (int32_t p = 0; p < count; ++p) {
      for (int b = 0; b < 3; ++b) wide[3 * p + b] = run[p * pixelStep + b];
    }
  }
  wide[3 * count] = 0.0;
  const int32_t last = std::min(window.end, newWidth - 1);
  int32_t j = window.first;
  for (; j < last; ++j) ColumnSums<4>(wide, window.low, tapAt(j), sums + 3 * j);
  for (; j < window.end; ++j) ColumnSums<3>(wide, window.low, tapAt(j), sums + 3 * j);
}

// One source row through the horizontal pass: three sums per output column.
// The taps of a column are at most four neighbouring pixels, and they move
// right with the column, so the row is widened to doubles in windows of
// pixels as the columns reach them. With a table of column taps the windows
// come with it; without one the taps are worked out here, column by column,
// and the windows found as they go.
IMGLIB_AVX2_CLONES
void HorizontalRow(const uint8_t* __restrict source, int64_t pixelStep,
                   const Taps* __restrict columns, const Window* __restrict windows,
                   int32_t windowCount, double sx, int32_t width, int32_t newWidth,
                   double* __restrict sums) {
  // One double past the pixels: the last tap's fourth lane.
  double wide[3 * kWidePixels + 1];
  if (windows) {
    // A reference into the table: a copy costs a store and a reload per column.
    const auto tapAt = [columns](int32_t j) -> const Taps& { return columns[j]; };
    for (int32_t k = 0; k < windowCount; ++k) {
      WindowSums(source, pixelStep, windows[k], tapAt, newWidth, wide, sums);
    }
    return;
  }
  Taps worked;
  const auto tapAt = [&](int32_t j) -> const Taps& {
    if (columns) return columns[j];
    worked = TapsAt(j, sx, width);
    return worked;
  };
  for (int32_t j = 0; j < newWidth;) {
    const Window window = WindowAt(j, newWidth, tapAt);
    WindowSums(source, pixelStep, window, tapAt, newWidth, wide, sums);
    j = window.end;
  }
}

// A sum as a byte: below 0 gives 0, above 255 gives 255, in between v + 0.5
// is cut toward zero. Clamping v + 0.5 to 0.5 .. 255.5 before the cut gives
// the same bytes and leaves the compiler plain selects.
inline uint8_t ToByte(double v) {
  const double rounded = v + 0.5;
  const double low = rounded < 0.5 ? 0.5 : rounded;
  const double byte = low > 255.5 ? 255.5 : low;
  return static_cast<uint8_t>(static_cast<int32_t>(byte));
}

// One output row on a source row.
IMGLIB_AVX2_CLONES
void SampleRow(const double* __restrict sums, int64_t count, uint8_t* __restrict out) {
  for (int64_t x = 0; x < count; ++x) out[x] = ToByte(sums[x]);
}

// One output row from four rows of sums: doubles, or bytes when the sums
// are the source's own bytes (the same values, so the same results).
template <typename Sum>
IMGLIB_LOOP_BODY void VerticalSums(const Sum* __restrict r0, const Sum* __restrict r1,
                                   const Sum* __restrict r2, const Sum* __restrict r3,
                                   const Taps& tap, int64_t count, uint8_t* __restrict out) {
  const double w0 = tap.weight[0], w1 = tap.weight[1], w2 = tap.weight[2], w3 = tap.weight[3];
  for (int64_t x = 0; x < count; ++x) {
    double v = 0.0;
    v += w0 * r0[x];
    v += w1 * r1[x];
    v += w2 * r2[x];
    v += w3 * r3[x];
    out[x] = ToByte(v);
  }
}

IMGLIB_AVX2_CLONES
void VerticalRow(const double* __restrict r0, const double* __restrict r1,
                 const double* __restrict r2, const double* __restrict r3, const Taps& tap,
                 int64_t count, uint8_t* __restrict out) {
  VerticalSums(r0, r1, r2, r3, tap, count, out);
}

IMGLIB_AVX2_CLONES
void VerticalByteRow(const uint8_t* __restrict r0, const uint8_t* __restrict r1,
                     const uint8_t* __restrict r2, const uint8_t* __restrict r3, const Taps& tap,
                     int64_t count, uint8_t* __restrict out) {
  VerticalSums(r0, r1, r2, r3, tap, count, out);
}

// Weights that are whole multiples of 1/256, as integers: with bytes for
// sums every product and partial sum in doubles is then exact, v is S / 256
// exactly, and ToByte(v) is (S + 128) >> 8 clamped to 0 .. 255. False for
// any other weights.
bool FixedWeights(const Taps& tap, int32_t fixed[kTaps]) {
  for (int q = 0; q < kTaps; ++q) {
    const double scaled = tap.weight[q] * 256;  // a power of two: exact
    if (!(scaled >= -32768 && scaled <= 32768)) return false;
    fixed[q] = static_cast<int32_t>(scaled);
    if (fixed[q] != scaled) return false;
  }
  return true;
}

// One output row from four rows of bytes with weights in 1/256ths.
IMGLIB_AVX2_CLONES
void FixedVerticalRow(const uint8_t* __restrict r0, const uint8_t* __restrict r1,
                      const uint8_t* __restrict r2, const uint8_t* __restrict r3,
                      const int32_t* __restrict fixed, int64_t count, uint8_t* __restrict out) {
  const int32_t w0 = fixed[0], w1 = fixed[1], w2 = fixed[2], w3 = fixed[3];
  for (int64_t x = 0; x < count; ++x) {
    const int32_t sum = w0 * r0[x] + w1 * r1[x] + w2 * r2[x] + w3 * r3[x] + 128;
    const int32_t byte = (sum < 0 ? 0 : sum) >> 8;
    out[x] = static_cast<uint8_t>(byte > 255 ? 255 : byte);
  }
}

// What every band of one resampling shares.
struct Plan {
  IL_PixelView source;
  int32_t width, height, newWidth, newHeight;
  double sx, sy;
  const Taps* columns;    // null: worked out column by column
  const Window* windows;  // null: found row by row
  int32_t windowCount;
  bool onSamples;    // every column falls on a source pixel: rows of bytes
  int cachedRows;    // rows of sums (doubles) or of bytes a band keeps
  int32_t fillRows;  // rows of bytes gathered at a time
  int64_t rowSums;   // sums per source row
};

// Output rows [first, end) into `out` (row 0 of the result), with this
// band's own cache of rows of sums.
void ResampleBand(const Plan& plan, double* sums, int32_t first, int32_t end, uint8_t* out,
                  int64_t outPitch) {
  int32_t cachedRow[kCachedRows] = {-1, -1, -1, -1};
  for (int32_t i = first; i < end; ++i) {
    const Taps rowTaps = TapsAt(i, plan.sy, plan.height);
    const bool onSample = OnSample(rowTaps);
    const double* tapRows[kTaps] = {};
    for (int q = 0; q < kTaps; ++q) {
      if (onSample && q != 1) continue;  // only the sample's row is needed
      // Four consecutive rows never share a slot.
      const int32_t y = rowTaps.index[q];
      const int slot = y % plan.cachedRows;
      double* slotSums = sums + slot * plan.rowSums;
      if (cachedRow[slot] != y) {
        HorizontalRow(plan.source.origin + y * plan.source.rowStep, plan.source.pixelStep,
                      plan.columns, plan.windows, plan.windowCount, plan.sx, plan.width,
                      plan.newWidth, slotSums);
        cachedRow[slot] = y;
      }
      tapRows[q] = slotSums;
    }
    if (onSample) {
      SampleRow(tapRows[1], plan.rowSums, out + i * outPitch);
    } else {
      VerticalRow(tapRows[0], tapRows[1], tapRows[2], tapRows[3], rowTaps, plan.rowSums,
                  out + i * outPitch);
    }
  }
}

// Source rows [y, y + count) as rows of bytes into their slots of `rows`:
// each column's sample. A page read as turned has a column's pixels side by
// side, so there the block is gathered column by column.
void GatherByteRows(const Plan& plan, int32_t y, int32_t count, uint8_t* rows) {
  const IL_PixelView& view = plan.source;
  uint8_t* slot[kByteRows];
  for (int32_t r = 0; r < count; ++r) slot[r] = rows + ((y + r) % plan.cachedRows) * plan.rowSums;
  if (view.pixelStep == 3) {
    for (int32_t r = 0; r < count; ++r) {
      const uint8_t* row = view.origin + (y + r) * view.rowStep;
      for (int32_t j = 0; j < plan.newWidth; ++j) {
        const uint8_t* pixel = row + plan.columns[j].index[1] * 3;
        for (int b = 0; b < 3; ++b) slot[r][3 * j + b] = pixel[b];
      }
    }
    return;
  }
  for (int32_t j = 0; j < plan.newWidth; ++j) {
    const uint8_t* pixel =
        view.origin + plan.columns[j].index[1] * view.pixelStep + y * view.rowStep;
    for (int32_t r = 0; r < count; ++r, pixel += view.rowStep) {
      for (int b = 0; b < 3; ++b) slot[r][3 * j + b] = pixel[b];
    }
  }
}

// ResampleBand for rows of bytes. A missing row y is gathered with the rows
// after it, fillRows in all; the row's other taps lie within y - 3 .. y + 3,
// and fillRows + 3 slots hold y - 3 .. y + fillRows - 1 apart.
void ResampleByteBand(const Plan& plan, uint8_t* rows, int32_t first, int32_t end, uint8_t* out,
                      int64_t outPitch) {
  int32_t cachedRow[kByteRows];
  for (int32_t& row : cachedRow) row = -1;
  for (int32_t i = first; i < end; ++i) {
    const Taps rowTaps = TapsAt(i, plan.sy, plan.height);
    const bool onSample = OnSample(rowTaps);
    const uint8_t* tapRows[kTaps] = {};
    for (int q = 0; q < kTaps; ++q) {
      if (onSample && q != 1) continue;
      const int32_t y = rowTaps.index[q];
      const int slot = y % plan.cachedRows;
      if (cachedRow[slot] != y) {
        const int32_t count = std::min(plan.fillRows, plan.height - y);
        GatherByteRows(plan, y, count, rows);
        for (int32_t r = 0; r < count; ++r) cachedRow[(y + r) % plan.cachedRows] = y + r;
      }
      tapRows[q] = rows + slot * plan.rowSums;
    }
    uint8_t* outRow = out + i * outPitch;
    int32_t fixed[kTaps];
    if (onSample) {
      CopyMemory(outRow, tapRows[1], static_cast<size_t>(plan.rowSums));
    } else if (FixedWeights(rowTaps, fixed)) {
      FixedVerticalRow(tapRows[0], tapRows[1], tapRows[2], tapRows[3], fixed, plan.rowSums, outRow);
    } else {
      VerticalByteRow(tapRows[0], tapRows[1], tapRows[2], tapRows[3], rowTaps, plan.rowSums,
                      outRow);
    }
  }
}

// The first `rows` rows of `source` resampled to newWidth x newHeight, into
// `out`. The temporary buffer holds each band's cached rows of sums and,
// when that still stays within a full buffer of sums (24 bytes per output
// column per source row), a table of the column taps; sources of under six
// rows recompute them.
int Resample(const IL_PixelView& source, int32_t newWidth, int32_t newHeight, int32_t rows,
             uint8_t* out, int64_t outPitch, int threads) {
  Plan plan;
  plan.source = source;
  plan.width = source.width;
  plan.height = source.height;
  plan.newWidth = newWidth;
  plan.newHeight = newHeight;
  plan.sx = static_cast<double>(plan.width) / newWidth;
  plan.sy = static_cast<double>(plan.height) / newHeight;
  plan.rowSums = static_cast<int64_t>(newWidth) * 3;
  const bool tapTable = plan.height >= kCachedRows + 2;
  // Whether every column falls on a sample decides what the rows hold.
  plan.onSamples = tapTable;
  for (int32_t j = 0; plan.onSamples && j < newWidth; ++j) {
    plan.onSamples = OnSample(TapsAt(j, plan.sx, plan.width));
  }
  plan.cachedRows =
      plan.onSamples ? std::min(kByteRows, plan.height) : std::min(kCachedRows, plan.height);
  // Rows of bytes come a block at a time where that saves visits: a page
  // read as turned.
  plan.fillRows = plan.source.pixelStep == 3 ? 1 : plan.cachedRows - 3;
  const int32_t bands = IL_RowBandCount(rows, threads);
  const uint64_t tapBytes = tapTable ? sizeof(Taps) * static_cast<uint64_t>(newWidth) : 0;
  const uint64_t bandBytes =
      static_cast<uint64_t>(plan.rowSums) * plan.cachedRows * (plan.onSamples ? 1 : sizeof(double));
  HGLOBAL tempBlock;
  uint8_t* temp = AllocLocked(tapBytes + bandBytes * bands, &tempBlock);
  if (!temp) return IL_ERROR_NO_MEMORY;
  // Fresh heap memory from the memory layer, aligned for any type; the
  // table comes first, so that the rows of doubles after it stay aligned.
  // cppcheck-suppress invalidPointerCast
  Taps* columns = tapTable ? reinterpret_cast<Taps*>(temp) : nullptr;
  uint8_t* cache = temp + tapBytes;
  plan.columns = columns;
  for (int32_t j = 0; tapTable && j < newWidth; ++j) columns[j] = TapsAt(j, plan.sx, plan.width);
  // The windows of a row, the same for every row.
  Window windows[kMaxWindows];
  plan.windows = nullptr;
  plan.windowCount = 0;
  if (tapTable && !plan.onSamples) {
    const auto tapAt = [columns](int32_t j) -> const Taps& { return columns[j]; };
    for (int32_t j = 0; j < newWidth && plan.windowCount <= kMaxWindows;) {
      const Window window = WindowAt(j, newWidth, tapAt);
      if (plan.windowCount < kMaxWindows) windows[plan.windowCount] = window;
      ++plan.windowCount;
      j = window.end;
    }
    if (plan.windowCount <= kMaxWindows) plan.windows = windows;
  }
  IL_RunRowBands(rows, bands, [&](int32_t band, int32_t first, int32_t end) {
    uint8_t* own = cache + bandBytes * band;
    if (plan.onSamples) {
      ResampleByteBand(plan, own, first, end, out, outPitch);
    } else {
      // Fresh heap memory from the memory layer, aligned for any type.
      // cppcheck-suppress invalidPointerCast
      ResampleBand(plan, reinterpret_cast<double*>(own), first, end, out, outPitch);
    }
    return IL_SUCCESS;
  });
  FreeLocked(tempBlock);
  return IL_SUCCESS;
}

}  // namespace

double CubicWeight(double a) {
  if (a <= 1) return a * (a * a) + (1 - (a + a) * a);
  if (a <= 2) return a * (-(a * a)) + ((a * -8 + 4) - (a * -5) * a);
  return 0.0;
}

int IL_SizeBitmap(pBITMAPHANDLE handle, int32_t newWidth, int32_t newHeight, int32_t method,
                  int threads) {
  if (!handle || !IsColorBitmap(handle) || handle->Width <= 0 || handle->Height <= 0 ||
      newWidth <= 0 || newHeight <= 0 || method != IL_SIZE_BICUBIC) {
    return IL_ERROR_INV_PARAMETER;
  }
  const int64_t newPitch = RowPitch(newWidth, 24);
  if (newPitch > INT32_MAX) return IL_ERROR_INV_PARAMETER;
  const uint64_t newSize = static_cast<uint64_t>(newPitch) * static_cast<uint64_t>(newHeight);

  HGLOBAL block;
  uint8_t* pixels = AllocLocked(newSize, &block);
  if (!pixels) return IL_ERROR_NO_MEMORY;
  const IL_PixelView source{handle->Pixels, 3, handle->BytesPerLine, handle->Width, handle->Height};
  const int status = Resample(source, newWidth, newHeight, newHeight, pixels, newPitch, threads);
  if (status != IL_SUCCESS) {
    FreeLocked(block);
    return status;
  }

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

int IL_ResampleView(const IL_PixelView& source, int32_t newWidth, int32_t newHeight, int32_t rows,
                    uint8_t* out, int64_t outPitch, int threads) {
  if (!source.origin || source.width <= 0 || source.height <= 0 || newWidth <= 0 ||
      newHeight <= 0 || rows <= 0 || rows > newHeight || !out ||
      outPitch < static_cast<int64_t>(newWidth) * 3) {
    return IL_ERROR_INV_PARAMETER;
  }
  return Resample(source, newWidth, newHeight, rows, out, outPitch, threads);
}
