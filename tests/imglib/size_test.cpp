// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "ImgTestSupport.h"
#include "imglib/ImgLib_Internal.h"

namespace {

// Plain two-pass resampling over a full buffer of horizontal sums, written
// straight from the rules; the library's row cache must match it bit for bit.
std::vector<uint8_t> ReferenceResize(const BITMAPHANDLE& src, int nw, int nh) {
  const int srcWidth = src.Width, srcHeight = src.Height;
  const auto weight = [](double a) {
    if (a <= 1) return a * (a * a) + (1 - (a + a) * a);
    return a * (-(a * a)) + ((a * -8 + 4) - (a * -5) * a);
  };
  std::vector<double> temp(static_cast<size_t>(nw) * srcHeight * 3, 0.0);
  const double sx = static_cast<double>(srcWidth) / nw, sy = static_cast<double>(srcHeight) / nh;
  for (int y = 0; y < srcHeight; ++y)
    for (int j = 0; j < nw; ++j) {
      const double p = j * sx;
      const int t = static_cast<int>(p);
      for (int k = t - 1; k <= t + 2; ++k) {
        const double a = std::fabs(k - p);
        if (a > 2) continue;
        const int m = (k >= 0 && k < srcWidth) ? k : t;
        for (int b = 0; b < 3; ++b)
          temp[(static_cast<size_t>(y) * nw + j) * 3 + b] +=
              weight(a) * src.Pixels[y * src.BytesPerLine + m * 3 + b];
      }
    }
  std::vector<uint8_t> out;
  for (int i = 0; i < nh; ++i)
    for (int j = 0; j < nw; ++j)
      for (int b = 0; b < 3; ++b) {
        const double p = i * sy;
        const int t = static_cast<int>(p);
        double v = 0;
        for (int k = t - 1; k <= t + 2; ++k) {
          const double a = std::fabs(k - p);
          if (a > 2) continue;
          const int m = (k >= 0 && k < srcHeight) ? k : t;
          v += weight(a) * temp[(static_cast<size_t>(m) * nw + j) * 3 + b];
        }
        out.push_back(v < 0 ? 0 : v > 255 ? 255 : static_cast<uint8_t>(std::trunc(v + 0.5)));
      }
  return out;
}

struct EdgeCase {
  const char* name;
  std::vector<int> values;
  int newLength;
  std::vector<int> expected;
};

const EdgeCase kEdgeCases[] = {
    {"same size", {3, 77, 255, 0, 128}, 5, {3, 77, 255, 0, 128}},
    {"halving picks every second", {10, 20, 30, 40}, 2, {10, 30}},
    {"missing sample takes t", {0, 100, 200}, 2, {0, 175}},
    {"overshoot is clamped", {0, 255}, 4, {0, 159, 255, 255}},
    {"five to three", {0, 50, 100, 150, 200}, 3, {0, 80, 178}},
};

TEST(SizeBitmap, EdgeRuleAlongRowsAndColumnsInEveryByte) {
  for (const EdgeCase& c : kEdgeCases) {
    const int n = static_cast<int>(c.values.size());
    for (int channel = 0; channel < 3; ++channel) {
      SCOPED_TRACE(testing::Message() << c.name << ", byte " << channel);
      Bitmap row;
      MakeColor(row, n, 1, IL_ORDER_RGB, RowOf(c.values, channel));
      ASSERT_EQ(IL_SizeBitmap(row.Get(), c.newLength, 1, IL_SIZE_BICUBIC), IL_SUCCESS);
      Bitmap column;
      MakeColor(column, 1, n, IL_ORDER_BGR, ColumnOf(c.values, channel));
      ASSERT_EQ(IL_SizeBitmap(column.Get(), 1, c.newLength, IL_SIZE_BICUBIC), IL_SUCCESS);
      for (int x = 0; x < c.newLength; ++x)
        for (int b = 0; b < 3; ++b) {
          const int want = b == channel ? c.expected[x] : 0;
          EXPECT_EQ(row.At(x, 0, b), want) << "row position " << x;
          EXPECT_EQ(column.At(0, x, b), want) << "column position " << x;
        }
    }
  }
}

TEST(SizeBitmap, MatchesPlainTwoPassResamplingBitForBit) {
  struct Geometry {
    int w, h, nw, nh;
  };
  const Geometry geometries[] = {
      {37, 23, 80, 50},
      {80, 50, 37, 23},
      {64, 40, 32, 80},
      {31, 3, 62, 7},
      {9, 2, 4, 5},
      {5, 1, 13, 3},
      {7, 9, 7, 9},
      {40, 30, 3, 2},
      {12, 12, 1, 1},
      {3, 50, 3, 7},
      {100, 17, 50, 34},
      {1, 1, 6, 4},
      {20, 5, 9, 11},
      {6, 4, 12, 3},
      {9, 6, 17, 4},
      // Rows wider than the window of pixels widened at a time.
      {300, 8, 97, 9},
      {260, 7, 520, 3},
      {400, 6, 200, 12},
      // More windows than are kept for all rows: found row by row.
      {9000, 7, 8990, 9},
  };
  unsigned seed = 1;
  for (const Geometry& g : geometries) {
    for (uint32_t order : {IL_ORDER_RGB, IL_ORDER_BGR}) {
      // Bands of rows on several threads give the same bytes.
      const int threads = order == IL_ORDER_RGB ? 1 : 3;
      SCOPED_TRACE(testing::Message() << g.w << "x" << g.h << " -> " << g.nw << "x" << g.nh
                                      << " on " << threads << " threads");
      Bitmap image;
      MakeColor(image, g.w, g.h, order, RandomPixels(seed++));
      const std::vector<uint8_t> expected = ReferenceResize(image.h, g.nw, g.nh);
      ASSERT_EQ(IL_SizeBitmap(image.Get(), g.nw, g.nh, IL_SIZE_BICUBIC, threads), IL_SUCCESS);
      EXPECT_EQ(image->Width, g.nw);
      EXPECT_EQ(image->Height, g.nh);
      EXPECT_EQ(image->BytesPerLine, ((g.nw * 24 + 31) / 32) * 4);
      EXPECT_EQ(image->ImageSize, static_cast<uint64_t>(image->BytesPerLine) * g.nh);
      EXPECT_EQ(image->ColorOrder, static_cast<int32_t>(order));
      EXPECT_EQ(PixelBytes(image.h), expected);
    }
  }
}

TEST(ResampleView, ReadsAPageAsTurnedAndWritesOnlyTheRowsAsked) {
  // A page read turned a quarter counter-clockwise: pixel (x, y) of the view
  // is page pixel (y, height - 1 - x). Halving across and doubling down is a
  // portrait page at 300x600 dpi: rows of bytes, gathered a block at a time
  // on a turned page, with weights in 1/256ths; the others take each path
  // with other weights and ring sizes.
  struct Geometry {
    int pageWidth, pageHeight, newWidth, newHeight, rows;
  };
  const Geometry geometries[] = {
      {9, 14, 7, 18, 11},    // fewer source rows than the ring holds
      {40, 30, 15, 80, 80},  // the ring wraps, many times
      {37, 22, 11, 74, 70},  // odd height: the last rows clamp their taps
      {20, 10, 5, 80, 80},   // four times down: quarter steps, still 1/256ths
      {23, 26, 13, 9, 9},    // halving across, shrinking down: weights in doubles
      {20, 16, 8, 33, 33},   // halving across, 20 to 33 down
      {7, 12, 6, 7, 7},      // every row on a sample
      {30, 21, 17, 45, 40},  // no column on a sample: sums in doubles
  };
  unsigned seed = 77;
  for (const Geometry& g : geometries) {
    Bitmap page;
    MakeColor(page, g.pageWidth, g.pageHeight, IL_ORDER_BGR, RandomPixels(seed++));
    Bitmap turned;
    MakeColor(turned, g.pageHeight, g.pageWidth, IL_ORDER_BGR,
              [&](int x, int y, int b) { return page.At(y, g.pageHeight - 1 - x, b); });
    const IL_PixelView view{page->Pixels + (g.pageHeight - 1) * page->BytesPerLine,
                            -page->BytesPerLine, 3, g.pageHeight, g.pageWidth};
    const std::vector<uint8_t> expected = ReferenceResize(turned.h, g.newWidth, g.newHeight);
    const int pitch = ((g.newWidth * 24 + 31) / 32) * 4;
    const int rowBytes = g.newWidth * 3;
    for (int threads : {1, 2, 4}) {
      SCOPED_TRACE(testing::Message()
                   << g.pageWidth << "x" << g.pageHeight << " turned -> " << g.newWidth << "x"
                   << g.newHeight << " on " << threads << " threads");
      std::vector<uint8_t> out(static_cast<size_t>(pitch) * g.newHeight, 0xA5);
      ASSERT_EQ(IL_ResampleView(view, g.newWidth, g.newHeight, g.rows, out.data(), pitch, threads),
                IL_SUCCESS);
      for (int y = 0; y < g.newHeight; ++y) {
        for (int i = 0; i < pitch; ++i) {
          // Rows past those asked for and the padding stay as they were.
          const uint8_t want =
              y < g.rows && i < rowBytes ? expected[static_cast<size_t>(y * rowBytes + i)] : 0xA5;
          ASSERT_EQ(out[static_cast<size_t>(y * pitch + i)], want) << "row " << y << " byte " << i;
        }
      }
    }
  }
}

TEST(SizeBitmap, SameSizeIsTheIdentity) {
  const int sizes[][2] = {{1, 1}, {2, 3}, {17, 5}, {64, 64}, {5, 31}};
  unsigned seed = 100;
  // s is already a row of a const table.
  // cppcheck-suppress constVariableReference
  for (const auto& s : sizes) {
    Bitmap image;
    MakeColor(image, s[0], s[1], IL_ORDER_BGR, RandomPixels(seed++));
    const std::vector<uint8_t> before = PixelBytes(image.h);
    ASSERT_EQ(IL_SizeBitmap(image.Get(), s[0], s[1], IL_SIZE_BICUBIC), IL_SUCCESS);
    EXPECT_EQ(PixelBytes(image.h), before) << s[0] << "x" << s[1];
  }
}

TEST(SizeBitmap, KernelWeightsAroundAnyPositionSumToOne) {
  EXPECT_EQ(CubicWeight(0.0), 1.0);
  EXPECT_EQ(CubicWeight(1.0), 0.0);
  EXPECT_EQ(CubicWeight(2.0), 0.0);
  EXPECT_EQ(CubicWeight(2.5), 0.0);
  for (int step = 0; step < 1000; ++step) {
    const double f = step / 1000.0;  // fraction of the position past t
    const double sum =
        CubicWeight(1 + f) + CubicWeight(f) + CubicWeight(1 - f) + CubicWeight(2 - f);
    EXPECT_NEAR(sum, 1.0, 1e-12) << "fraction " << f;
  }
}

TEST(SizeBitmap, RefusesBadArgumentsAndChangesNothing) {
  Bitmap image;
  MakeColor(image, 4, 3, IL_ORDER_RGB, RandomPixels(7));
  Bitmap plane8;
  MakeColor(plane8, 4, 3, IL_ORDER_RGB, Flat(1));
  plane8->BitsPerPixel = 8;
  Bitmap badOrder;
  MakeColor(badOrder, 4, 3, IL_ORDER_RGB, Flat(1));
  badOrder->ColorOrder = 2;
  Bitmap noPixels;

  struct Case {
    const char* name;
    BITMAPHANDLE* h;
    int nw, nh, method;
  };
  const Case cases[] = {
      {"null handle", nullptr, 2, 2, 4},  {"no pixels", noPixels.Get(), 2, 2, 4},
      {"8-bit", plane8.Get(), 2, 2, 4},   {"order 2", badOrder.Get(), 2, 2, 4},
      {"width 0", image.Get(), 0, 2, 4},  {"height -1", image.Get(), 2, -1, 4},
      {"method 1", image.Get(), 2, 2, 1}, {"pitch beyond 32 bits", image.Get(), INT32_MAX, 1, 4},
  };
  for (const Case& c : cases) {
    BITMAPHANDLE before{};
    if (c.h) before = *c.h;
    const std::vector<uint8_t> pixels =
        c.h && c.h->Pixels ? PixelBytes(*c.h) : std::vector<uint8_t>{};
    EXPECT_EQ(IL_SizeBitmap(c.h, c.nw, c.nh, c.method), IL_ERROR_INV_PARAMETER) << c.name;
    if (!c.h) continue;
    EXPECT_EQ(std::memcmp(&before, c.h, sizeof before), 0) << c.name;
    if (c.h->Pixels) {
      EXPECT_EQ(PixelBytes(*c.h), pixels) << c.name;
    }
  }
}

TEST(SizeBitmap, CallerPixelsStayAndTheHandleOwnsNewOnes) {
  std::vector<uint8_t> caller(16 * 2, 0);
  for (int i = 0; i < 15; ++i) caller[i] = caller[16 + i] = static_cast<uint8_t>(i * 10);
  const std::vector<uint8_t> copy = caller;
  Bitmap image;
  ASSERT_EQ(IL_CreateBitmap(image.Get(), kRecord, 2, 5, 2, 24, 0, nullptr, 4, caller.data(),
                            caller.size()),
            IL_SUCCESS);
  ASSERT_EQ(IL_SizeBitmap(image.Get(), 10, 4, IL_SIZE_BICUBIC), IL_SUCCESS);
  EXPECT_EQ(caller, copy);
  EXPECT_NE(image->Pixels, caller.data());
  EXPECT_EQ(image->MemoryHandle, static_cast<void*>(image->Pixels));
  EXPECT_EQ(image.At(0, 0, 0), 0);
  EXPECT_EQ(image.At(2, 2, 2), 50);  // output (2, 2) falls exactly on source pixel (1, 1), byte 5
}

TEST(SizeBitmap, ReleasesOwnedPixelsExactlyOnce) {
  CountingAllocator allocator;
  ScopedPixelAllocator scope(&allocator);
  {
    Bitmap image;
    MakeColor(image, 6, 4, IL_ORDER_BGR, RandomPixels(3));
    // The allocator's set holds void*, so this one must be void* too.
    // cppcheck-suppress constVariablePointer
    void* old = image->MemoryHandle;
    ASSERT_EQ(IL_SizeBitmap(image.Get(), 3, 8, IL_SIZE_BICUBIC), IL_SUCCESS);
    EXPECT_EQ(allocator.live.count(old), 0u);
    EXPECT_EQ(allocator.live.size(), 1u);  // the new pixels only: no temporary left over
    EXPECT_EQ(allocator.live.count(image->MemoryHandle), 1u);
  }
  EXPECT_TRUE(allocator.live.empty());
}

TEST(SizeBitmap, OutOfMemoryLeavesTheBitmapAsItWas) {
  struct Case {
    const char* name;
    int failAllocation, failLock;
  };
  const Case cases[] = {{"pixel block", 1, 0},
                        {"pixel block lock", 0, 1},
                        {"temporary", 2, 0},
                        {"temporary lock", 0, 2}};
  for (const Case& c : cases) {
    Bitmap image;
    MakeColor(image, 6, 4, IL_ORDER_BGR, RandomPixels(4));
    const BITMAPHANDLE before = image.h;
    const std::vector<uint8_t> pixels = PixelBytes(image.h);
    CountingAllocator allocator;
    allocator.failAllocation = c.failAllocation;
    allocator.failLock = c.failLock;
    {
      ScopedPixelAllocator scope(&allocator);
      EXPECT_EQ(IL_SizeBitmap(image.Get(), 12, 2, IL_SIZE_BICUBIC), IL_ERROR_NO_MEMORY) << c.name;
    }
    EXPECT_TRUE(allocator.live.empty()) << c.name << ": something was not released";
    EXPECT_EQ(std::memcmp(&before, image.Get(), sizeof before), 0) << c.name;
    EXPECT_EQ(PixelBytes(image.h), pixels) << c.name;
  }
}

TEST(SizeBitmap, TemporaryBufferStaysWithinTwentyFourBytesPerColumnPerSourceRow) {
  struct Case {
    int w, h, nw, nh;
  };
  const Case cases[] = {{100, 80, 50, 160}, {40, 6, 13, 40}, {7, 1000, 9, 20},
                        {40, 5, 13, 1},     {40, 1, 13, 1},  {7, 3, 9, 20}};
  for (const Case& c : cases) {
    CountingAllocator allocator;
    ScopedPixelAllocator scope(&allocator);
    Bitmap image;
    MakeColor(image, c.w, c.h, IL_ORDER_BGR, Flat(9));
    ASSERT_EQ(IL_SizeBitmap(image.Get(), c.nw, c.nh, IL_SIZE_BICUBIC), IL_SUCCESS);
    ASSERT_EQ(allocator.sizes.size(), 3u);  // source, new pixels, temporary
    EXPECT_LE(allocator.sizes[2], 24u * c.nw * c.h)
        << c.w << "x" << c.h << " -> " << c.nw << "x" << c.nh;
  }
}

}  // namespace
