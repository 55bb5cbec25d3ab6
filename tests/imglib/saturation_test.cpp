// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "ImgTestSupport.h"

namespace {

using Bytes = std::array<int, 3>;

struct Case {
  int32_t amount;
  uint32_t order;
  Bytes in, out;  // the pixel's bytes as stored
};

const Case kCases[] = {
    {0, IL_ORDER_RGB, {0, 3, 25}, {0, 2, 25}},  // the round trip truncates
    {0, IL_ORDER_RGB, {255, 128, 0}, {255, 128, 0}},
    {-1000, IL_ORDER_RGB, {200, 100, 50}, {125, 125, 125}},
    {1000, IL_ORDER_RGB, {200, 100, 50}, {250, 83, 0}},
    {500, IL_ORDER_RGB, {200, 100, 50}, {237, 87, 12}},
    {-500, IL_ORDER_RGB, {200, 100, 50}, {162, 112, 87}},
    {300, IL_ORDER_RGB, {10, 200, 30}, {0, 210, 22}},
    {1000, IL_ORDER_RGB, {255, 0, 0}, {255, 0, 0}},
    {1000, IL_ORDER_BGR, {50, 100, 200}, {0, 83, 250}},
    {0, IL_ORDER_BGR, {25, 3, 0}, {25, 2, 0}},
    {1000, IL_ORDER_RGB, {100, 100, 100}, {100, 100, 100}},
    {-1000, IL_ORDER_RGB, {100, 100, 100}, {100, 100, 100}},
    {-1000, IL_ORDER_RGB, {0, 255, 0}, {127, 127, 127}},
    {700, IL_ORDER_RGB, {0, 0, 0}, {0, 0, 0}},
    {700, IL_ORDER_RGB, {255, 255, 255}, {255, 255, 255}},
};

TEST(Saturation, Examples) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << "amount " << c.amount << ", order " << c.order << ", ("
                                    << c.in[0] << ", " << c.in[1] << ", " << c.in[2] << ")");
    Bitmap image;
    MakeColor(image, 1, 1, c.order, [&](int, int, int b) { return c.in[b]; });
    ASSERT_EQ(IL_ChangeBitmapSaturation(image.Get(), c.amount), IL_SUCCESS);
    EXPECT_EQ((Bytes{image.At(0, 0, 0), image.At(0, 0, 1), image.At(0, 0, 2)}), c.out);
  }
}

TEST(Saturation, HueChromaAndLightness) {
  struct Hsl {
    int r, g, b;
    double hue, chroma, lightness;
  };
  const Hsl cases[] = {
      {200, 100, 50, 20, 150, 125},
      {100, 100, 100, -1, 0, 100},
      {255, 0, 0, 0, 255, 127.5},
      {0, 255, 0, 120, 255, 127.5},
      {0, 0, 255, 240, 255, 127.5},
      {0, 3, 25, 232.8, 25, 12.5},
      {255, 0, 128, 329.88235294117646, 255, 127.5},
  };
  for (const Hsl& c : cases) {
    double hue, chroma, lightness;
    RGBtoHSL(c.r, c.g, c.b, &hue, &chroma, &lightness);
    EXPECT_DOUBLE_EQ(hue, c.hue) << c.r << "," << c.g << "," << c.b;
    EXPECT_EQ(chroma, c.chroma);
    EXPECT_EQ(lightness, c.lightness);
  }
  uint8_t r, g, b;
  HSLtoRGB(20, 255, 125, &r, &g, &b);  // more chroma than lightness 125 can show
  EXPECT_EQ((Bytes{r, g, b}), (Bytes{250, 83, 0}));
  HSLtoRGB(-1, 40, 99.5, &r, &g, &b);
  EXPECT_EQ((Bytes{r, g, b}), (Bytes{99, 99, 99}));
  HSLtoRGB(200, 100, 230, &r, &g, &b);  // max would pass 255: chroma shrinks to 2 x 25
  EXPECT_EQ((Bytes{r, g, b}), (Bytes{205, 238, 255}));
}

TEST(Saturation, EveryPixelOfEveryRowTakesTheSameRoundTrip) {
  // A 5-pixel row has a padded pitch of 16 bytes; rows must step by it.
  for (uint32_t order : {IL_ORDER_RGB, IL_ORDER_BGR}) {
    for (int32_t amount : {-700, 0, 450}) {
      Bitmap image;
      MakeColor(image, 5, 4, order, RandomPixels(20 + amount));
      Bitmap expected;
      MakeColor(expected, 5, 4, order, [&](int x, int y, int b) { return image.At(x, y, b); });
      ASSERT_EQ(IL_ChangeBitmapSaturation(image.Get(), amount), IL_SUCCESS);
      for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) {
          Bitmap one;
          MakeColor(one, 1, 1, order, [&](int, int, int b) { return expected.At(x, y, b); });
          ASSERT_EQ(IL_ChangeBitmapSaturation(one.Get(), amount), IL_SUCCESS);
          for (int b = 0; b < 3; ++b)
            EXPECT_EQ(image.At(x, y, b), one.At(0, 0, b)) << x << "," << y;
        }
      for (int y = 0; y < 4; ++y)
        EXPECT_EQ(image->Pixels[y * 16 + 15], 0xA5) << "padding written in row " << y;
    }
  }
}

// The conversions as plain case-by-case rules; the library's branch-free
// versions must agree with them on every colour.
Bytes ReferenceRoundTrip(int r, int g, int b, int amount) {
  const int max = std::max({r, g, b}), min = std::min({r, g, b});
  const double lightness = (min + max) * 0.5, chroma = max - min;
  double hue;
  if (max == min)
    hue = -1;
  else if (b == min)
    hue = (g - r) * 60.0 / chroma + 60;
  else if (r == min)
    hue = (b - g) * 60.0 / chroma + 180;
  else
    hue = (r - b) * 60.0 / chroma + 300;
  double scaled = (amount * chroma) / 1000 + chroma;
  scaled = scaled < 0 ? 0 : scaled > 255 ? 255 : scaled;
  if (hue < 0)
    return {static_cast<int>(lightness), static_cast<int>(lightness), static_cast<int>(lightness)};
  double half = scaled * 0.5, top;
  if (half > lightness) {
    top = 2 * lightness;
    half = lightness;
  } else {
    top = lightness + half;
    if (top > 255) {
      half = 255 - lightness;
      top = lightness + half;
    }
  }
  const double bottom = lightness - half, range = top - bottom;
  const auto part = [&](double offset) { return static_cast<int>(offset / 60 * range + bottom); };
  const int t = static_cast<int>(top), m = static_cast<int>(bottom);
  if (hue < 60) return {t, part(hue), m};
  if (hue < 120) return {part(120 - hue), t, m};
  if (hue < 180) return {m, t, part(hue - 120)};
  if (hue < 240) return {m, part(240 - hue), t};
  if (hue < 300) return {part(hue - 240), m, t};
  return {t, m, part(360 - hue)};
}

TEST(Saturation, AgreesWithTheCaseByCaseRulesOnAColourGrid) {
  // Every third value per channel, plus the values next to the extremes.
  std::vector<int> levels;
  for (int v = 0; v < 256; v += 3) levels.push_back(v);
  levels.insert(levels.end(), {1, 2, 253, 254, 128, 127});
  const int n = static_cast<int>(levels.size());
  for (int amount : {-1000, -999, -333, 0, 1, 250, 1000}) {
    Bitmap image;
    MakeColor(image, n * n, n, IL_ORDER_RGB, [&](int x, int y, int b) {
      return levels[b == 0 ? y : b == 1 ? x / n : x % n];
    });
    ASSERT_EQ(IL_ChangeBitmapSaturation(image.Get(), amount), IL_SUCCESS);
    int mismatches = 0;
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n * n; ++x) {
        const Bytes want = ReferenceRoundTrip(levels[y], levels[x / n], levels[x % n], amount);
        const Bytes got = {image.At(x, y, 0), image.At(x, y, 1), image.At(x, y, 2)};
        if (got != want && ++mismatches <= 5)
          ADD_FAILURE() << "amount " << amount << ": (" << levels[y] << ", " << levels[x / n]
                        << ", " << levels[x % n] << ") gave (" << got[0] << ", " << got[1] << ", "
                        << got[2] << ")";
      }
    EXPECT_EQ(mismatches, 0) << "amount " << amount;
  }
}

TEST(Saturation, RefusesAndChangesNothing) {
  Bitmap image, plane, badOrder, noPixels;
  MakeColor(image, 3, 2, IL_ORDER_RGB, RandomPixels(5));
  MakeColor(plane, 3, 2, IL_ORDER_RGB, Flat(9));
  plane->BitsPerPixel = 8;
  MakeColor(badOrder, 3, 2, IL_ORDER_RGB, Flat(9));
  badOrder->ColorOrder = 2;
  const std::vector<uint8_t> before = PixelBytes(image.h);
  EXPECT_EQ(IL_ChangeBitmapSaturation(nullptr, 0), -814);
  EXPECT_EQ(IL_ChangeBitmapSaturation(nullptr, 5000), -814);
  EXPECT_EQ(IL_ChangeBitmapSaturation(noPixels.Get(), 0), -13);
  EXPECT_EQ(IL_ChangeBitmapSaturation(plane.Get(), 0), -13);
  EXPECT_EQ(IL_ChangeBitmapSaturation(badOrder.Get(), 0), -13);
  EXPECT_EQ(IL_ChangeBitmapSaturation(image.Get(), 1001), -13);
  EXPECT_EQ(IL_ChangeBitmapSaturation(image.Get(), -1001), -13);
  EXPECT_EQ(PixelBytes(image.h), before);
  EXPECT_EQ(PixelBytes(badOrder.h), std::vector<uint8_t>(18, 9));
}

}  // namespace
