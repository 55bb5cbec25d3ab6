// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "ImgTestSupport.h"
#include "imglib/ImgLib_Internal.h"

namespace {

// Straight from the rules: nine clamped samples from an untouched copy, summed
// up-left to down-right, where "up" is row y - 1 as stored.
std::vector<uint8_t> ReferenceSharpen(const BITMAPHANDLE& h, double k) {
  const double centre = (8.0 * k) / 9.0 + 1.0, neighbour = (-k) / 9.0;
  std::vector<uint8_t> out;
  const auto at = [&](int x, int y, int b) {
    x = std::clamp(x, 0, h.Width - 1);
    y = std::clamp(y, 0, h.Height - 1);
    return static_cast<double>(h.Pixels[y * h.BytesPerLine + 3 * x + b]);
  };
  for (int y = 0; y < h.Height; ++y)
    for (int x = 0; x < h.Width; ++x)
      for (int b = 0; b < 3; ++b) {
        double sum = 0;
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx)
            sum += at(x + dx, y + dy, b) * (dx == 0 && dy == 0 ? centre : neighbour);
        const double cut = std::trunc(sum);
        out.push_back(static_cast<uint8_t>(std::clamp(cut, 0.0, 255.0)));
      }
  return out;
}

TEST(Sharpen, StrengthToKernelFactor) {
  struct Case {
    int32_t strength;
    double k;
  };
  const Case exact[] = {{-1000, -1.0},   {-950, -0.75}, {-1, -0.117}, {0, 0.0},    {1, 0.126},
                        {100, 0.140625}, {650, 0.365},  {750, 0.5},   {1000, 9.0}, {-975, -0.875}};
  for (const Case& c : exact) EXPECT_EQ(SharpenFactor(c.strength), c.k) << c.strength;
  const Case between[] = {{25, 0.13285714285714286}, {999, 8.865}, {-850, -0.47625}, {675, 0.3885}};
  for (const Case& c : between) EXPECT_NEAR(SharpenFactor(c.strength), c.k, 1e-12) << c.strength;
}

struct NeighbourhoodCase {
  const char* name;
  int32_t strength;
  int centre, around;        // a 5x5 image: one centre pixel among others
  int newCentre, newAround;  // the centre, and its direct neighbour afterwards
};

TEST(Sharpen, PixelExamples) {
  const NeighbourhoodCase cases[] = {
      {"1000 lifts an edge", 1000, 100, 90, 180, 80},
      {"1000 clamps a lone peak", 1000, 255, 0, 255, 0},
      {"750 sharpens", 750, 100, 90, 104, 89},
      {"750 flat", 750, 100, 100, 99, 99},
      {"-500 softens", -500, 255, 0, 208, 5},
      {"-1000 is a mean", -1000, 255, 0, 28, 28},
      {"-1000 flat", -1000, 7, 7, 6, 6},
      {"0 flat", 0, 7, 7, 7, 7},
      {"900 flat", 900, 200, 200, 200, 200},
      {"950 flat", 950, 31, 31, 31, 31},
      {"1000 flat", 1000, 255, 255, 255, 255},
  };
  for (const NeighbourhoodCase& c : cases) {
    for (int channel = 0; channel < 3; ++channel) {
      Bitmap image;
      MakeColor(image, 5, 5, IL_ORDER_BGR, [&](int x, int y, int b) {
        if (b != channel) return 0;
        return x == 2 && y == 2 ? c.centre : c.around;
      });
      ASSERT_EQ(IL_SharpenBitmap(image.Get(), c.strength), IL_SUCCESS);
      EXPECT_EQ(image.At(2, 2, channel), c.newCentre) << c.name;
      EXPECT_EQ(image.At(2, 1, channel), c.newAround) << c.name;
      EXPECT_EQ(image.At(2, 2, (channel + 1) % 3), 0) << c.name << ": channels mixed";
    }
  }
}

TEST(Sharpen, OnePixelKeepsItsValue) {
  for (int32_t strength : {-1000, 650, 1000}) {
    Bitmap image;
    MakeColor(image, 1, 1, IL_ORDER_RGB, [](int, int, int b) { return 60 + 70 * b; });
    ASSERT_EQ(IL_SharpenBitmap(image.Get(), strength), IL_SUCCESS);
    if (strength == 1000) {
      EXPECT_EQ(PixelBytes(image.h), (std::vector<uint8_t>{60, 130, 200}));
    }
  }
}

TEST(Sharpen, MatchesTheNineSampleSumBitForBit) {
  const int sizes[][2] = {{1, 1}, {1, 9}, {9, 1}, {2, 2}, {17, 9}, {64, 33}};
  const int32_t strengths[] = {-1000, -975, -500, -1, 0, 25, 650, 750, 999, 1000};
  unsigned seed = 40;
  // s is already a row of a const table.
  // cppcheck-suppress constVariableReference
  for (const auto& s : sizes)
    for (int32_t strength : strengths) {
      Bitmap image;
      MakeColor(image, s[0], s[1], seed % 2, RandomPixels(seed));
      ++seed;
      const std::vector<uint8_t> expected = ReferenceSharpen(image.h, SharpenFactor(strength));
      const std::vector<uint8_t> before = PixelBytes(image.h);
      ASSERT_EQ(IL_SharpenBitmap(image.Get(), strength), IL_SUCCESS);
      EXPECT_EQ(PixelBytes(image.h), expected) << s[0] << "x" << s[1] << " at " << strength;
      if (strength == 0) {
        EXPECT_EQ(PixelBytes(image.h), before);
      }
    }
}

TEST(Sharpen, UpIsTheRowBeforeAsStored) {
  // At strength 650 a column 1, 7, 13 and its mirror 13, 7, 1 give different
  // middles: the rows' order in the sum changes the last bit, and the cut.
  const int columns[2][3] = {{1, 7, 13}, {13, 7, 1}};
  int middles[2];
  for (int i = 0; i < 2; ++i) {
    Bitmap image;
    MakeColor(image, 1, 3, IL_ORDER_RGB, [&](int, int y, int) { return columns[i][y]; });
    const std::vector<uint8_t> expected = ReferenceSharpen(image.h, SharpenFactor(650));
    ASSERT_EQ(IL_SharpenBitmap(image.Get(), 650), IL_SUCCESS);
    EXPECT_EQ(PixelBytes(image.h), expected);
    middles[i] = image.At(0, 1, 0);
  }
  EXPECT_NE(middles[0], middles[1]);
}

TEST(Sharpen, RefusesAndChangesNothing) {
  Bitmap image, plane, badOrder, noPixels;
  MakeColor(image, 3, 3, IL_ORDER_RGB, RandomPixels(8));
  MakeColor(plane, 3, 3, IL_ORDER_RGB, Flat(1));
  plane->BitsPerPixel = 8;
  MakeColor(badOrder, 3, 3, IL_ORDER_RGB, Flat(1));
  badOrder->ColorOrder = 3;
  const std::vector<uint8_t> before = PixelBytes(image.h);
  EXPECT_EQ(IL_SharpenBitmap(nullptr, 0), -2);
  EXPECT_EQ(IL_SharpenBitmap(noPixels.Get(), 0), -2);
  EXPECT_EQ(IL_SharpenBitmap(noPixels.Get(), 5000), -2);
  EXPECT_EQ(IL_SharpenBitmap(plane.Get(), 0), -13);
  EXPECT_EQ(IL_SharpenBitmap(badOrder.Get(), 0), -13);
  EXPECT_EQ(IL_SharpenBitmap(image.Get(), 1001), -13);
  EXPECT_EQ(IL_SharpenBitmap(image.Get(), -1001), -13);

  CountingAllocator allocator;
  allocator.failAllocation = 1;
  {
    ScopedPixelAllocator scope(&allocator);
    EXPECT_EQ(IL_SharpenBitmap(image.Get(), 1000), IL_ERROR_NO_MEMORY);
    allocator.failAllocation = 0;
    allocator.failLock = 1;
    EXPECT_EQ(IL_SharpenBitmap(image.Get(), 1000), IL_ERROR_NO_MEMORY);
  }
  EXPECT_TRUE(allocator.live.empty());
  EXPECT_EQ(PixelBytes(image.h), before);
}

// Mapping the bytes in the sharpening pass gives what mapping them first
// gives, at every band boundary too.
TEST(Sharpen, TablesInThePassAreTheMapBeforeIt) {
  uint8_t tables[3][256];
  for (int v = 0; v < 256; ++v) {
    tables[0][v] = static_cast<uint8_t>(255 - v);
    tables[1][v] = static_cast<uint8_t>(v * v / 255);
    tables[2][v] = static_cast<uint8_t>(std::min(255, v + 40));
  }
  struct Case {
    int w, h, strength, threads;
  };
  const Case cases[] = {{1, 1, 650, 1}, {7, 5, 1000, 2}, {33, 17, -500, 3}, {2, 9, 300, 4}};
  unsigned seed = 40;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " on " << c.threads << " threads");
    Bitmap first, fused;
    MakeColor(first, c.w, c.h, IL_ORDER_BGR, RandomPixels(seed));
    MakeColor(fused, c.w, c.h, IL_ORDER_BGR, RandomPixels(seed++));
    ASSERT_EQ(IL_MapBitmapBytes(first.Get(), tables), IL_SUCCESS);
    ASSERT_EQ(IL_SharpenBitmap(first.Get(), c.strength), IL_SUCCESS);
    ASSERT_EQ(IL_SharpenBitmap(fused.Get(), c.strength, c.threads, tables), IL_SUCCESS);
    EXPECT_EQ(PixelBytes(fused.h), PixelBytes(first.h));
  }
}

}  // namespace
