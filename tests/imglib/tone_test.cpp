// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "ImgTestSupport.h"

namespace {

// Three planes from a real separation: identity palettes to curve.
struct Planes {
  Bitmap p[3];
  BITMAPHANDLE* list[3] = {p[0].Get(), p[1].Get(), p[2].Get()};
  Planes() {
    Bitmap image;
    MakeColor(image, 16, 16, IL_ORDER_BGR, [](int x, int y, int b) { return 16 * y + x + b; });
    EXPECT_EQ(IL_ColorSeparateBitmap(image.Get(), list, kRecord, 0), IL_SUCCESS);
  }
  // What value v becomes in the plane's own channel.
  int Map(int plane, int v) { return p[plane]->Palette[4 * v + plane]; }
};

using Curve = std::function<int(BITMAPHANDLE*)>;

Curve Gamma(uint32_t g) {
  return [g](BITMAPHANDLE* h) { return IL_GammaCorrectBitmap(h, g); };
}
Curve Brightness(int32_t v) {
  return [v](BITMAPHANDLE* h) { return IL_ChangeBitmapIntensity(h, v); };
}
Curve Contrast(int32_t v) {
  return [v](BITMAPHANDLE* h) { return IL_ChangeBitmapContrast(h, v); };
}

struct TableCase {
  const char* name;
  Curve curve;
  std::vector<int> inputs;
  std::vector<int> outputs;
};

TEST(ToneCurves, TableValues) {
  const TableCase cases[] = {
      {"gamma 200", Gamma(200), {0, 1, 32, 64, 128, 192, 255}, {0, 16, 90, 128, 181, 221, 255}},
      {"gamma 50", Gamma(50), {0, 1, 32, 64, 128, 192, 255}, {0, 0, 4, 16, 64, 145, 255}},
      {"gamma 141", Gamma(141), {1, 32, 64, 128, 192}, {5, 59, 96, 156, 209}},
      {"gamma 2^31", Gamma(0x80000000u), {0, 1, 128, 255}, {0, 255, 255, 255}},
      {"gamma max", Gamma(0xFFFFFFFFu), {0, 1, 254}, {0, 255, 255}},
      {"brightness 100", Brightness(100), {0, 128, 255}, {26, 154, 255}},
      {"brightness -100", Brightness(-100), {0, 128, 255}, {0, 103, 230}},
      {"brightness 1000", Brightness(1000), {0, 1, 128, 255}, {255, 255, 255, 255}},
      {"brightness -1000", Brightness(-1000), {0, 128, 254, 255}, {0, 0, 0, 1}},
      {"brightness 1", Brightness(1), {0, 100}, {1, 101}},
      {"brightness 2", Brightness(2), {0, 100}, {1, 101}},
      {"brightness -1", Brightness(-1), {0, 100}, {0, 100}},
      {"brightness -3", Brightness(-3), {0, 100}, {0, 100}},
      {"brightness -4", Brightness(-4), {100}, {99}},
      {"contrast 1000",
       Contrast(1000),
       {0, 32, 63, 64, 65, 128, 192, 255},
       {0, 0, 62, 64, 66, 192, 255, 255}},
      {"contrast -1000",
       Contrast(-1000),
       {0, 32, 63, 64, 65, 128, 192, 255},
       {33, 49, 64, 64, 64, 95, 127, 158}},
  };
  for (const TableCase& c : cases) {
    Planes planes;
    for (int k = 0; k < 3; ++k) ASSERT_EQ(c.curve(planes.list[k]), IL_SUCCESS) << c.name;
    for (size_t i = 0; i < c.inputs.size(); ++i)
      for (int k = 0; k < 3; ++k)
        EXPECT_EQ(planes.Map(k, c.inputs[i]), c.outputs[i])
            << c.name << ", input " << c.inputs[i] << ", plane " << k;
  }
}

TEST(ToneCurves, NeutralValuesAreTheIdentityAndPixelsNeverMove) {
  for (const Curve& curve : {Gamma(100), Brightness(0), Contrast(0), Gamma(250), Contrast(-300)}) {
    Planes planes;
    std::vector<uint8_t> palette(planes.p[1]->Palette, planes.p[1]->Palette + 1024);
    std::vector<uint8_t> pixels(planes.p[1]->Pixels, planes.p[1]->Pixels + planes.p[1]->ImageSize);
    ASSERT_EQ(curve(planes.list[1]), IL_SUCCESS);
    EXPECT_EQ(
        std::vector<uint8_t>(planes.p[1]->Pixels, planes.p[1]->Pixels + planes.p[1]->ImageSize),
        pixels);
    for (int v = 0; v < 256; ++v)
      EXPECT_EQ(planes.p[1]->Palette[4 * v + 3], palette[4 * v + 3]) << "fourth byte moved";
  }
  for (const Curve& curve : {Gamma(100), Brightness(0), Contrast(0)}) {
    Planes planes;
    ASSERT_EQ(curve(planes.list[2]), IL_SUCCESS);
    for (int v = 0; v < 256; ++v)
      for (int b = 0; b < 3; ++b) ASSERT_EQ(planes.p[2]->Palette[4 * v + b], v);
  }
}

TEST(ToneCurves, CurvesComposeThroughThePalette) {
  Planes planes;
  ASSERT_EQ(IL_GammaCorrectBitmap(planes.list[0], 200), IL_SUCCESS);
  ASSERT_EQ(IL_GammaCorrectBitmap(planes.list[0], 50), IL_SUCCESS);
  int moved = 0;
  for (int v = 0; v < 256; ++v) moved += planes.Map(0, v) != v;
  EXPECT_GT(moved, 0) << "each step rounds, so the pair is not the identity";
  EXPECT_EQ(planes.Map(0, 64), 64);    // 64 -> 128 -> 64
  EXPECT_EQ(planes.Map(0, 254), 253);  // 254 -> 254 -> 253

  Planes chained;
  ASSERT_EQ(IL_ChangeBitmapIntensity(chained.list[0], 100), IL_SUCCESS);  // +26
  ASSERT_EQ(IL_ChangeBitmapContrast(chained.list[0], 1000), IL_SUCCESS);
  EXPECT_EQ(chained.Map(0, 38), 64);    // 38 + 26 = 64 stays
  EXPECT_EQ(chained.Map(0, 102), 192);  // 128 -> 192
}

TEST(ToneCurves, RefusesWhatIsNotAPlane) {
  Planes planes;
  Bitmap color;
  MakeColor(color, 2, 2, IL_ORDER_BGR, Flat(5));
  BITMAPHANDLE noPalette = planes.p[0].h, fewEntries = planes.p[0].h, noPixels = planes.p[0].h;
  noPalette.Palette = nullptr;
  fewEntries.PaletteEntries = 128;
  noPixels.Pixels = nullptr;
  const std::vector<uint8_t> palette(planes.p[0]->Palette, planes.p[0]->Palette + 1024);

  struct Case {
    const char* name;
    BITMAPHANDLE* h;
    Curve curve;
    int status;
  };
  const Case cases[] = {
      {"gamma null", nullptr, Gamma(100), -814},
      {"brightness null", nullptr, Brightness(0), -814},
      {"contrast null", nullptr, Contrast(0), -814},
      {"null before range", nullptr, Contrast(5000), -814},
      {"gamma 24-bit", color.Get(), Gamma(100), -13},
      {"brightness 24-bit", color.Get(), Brightness(0), -13},
      {"contrast 24-bit", color.Get(), Contrast(0), -13},
      {"no palette", &noPalette, Gamma(200), -13},
      {"128 entries", &fewEntries, Brightness(10), -13},
      {"no pixels", &noPixels, Contrast(10), -13},
      {"gamma 0", planes.list[0], Gamma(0), -13},
      {"brightness 1001", planes.list[0], Brightness(1001), -13},
      {"brightness -1001", planes.list[0], Brightness(-1001), -13},
      {"contrast 1001", planes.list[0], Contrast(1001), -13},
      {"contrast -1001", planes.list[0], Contrast(-1001), -13},
  };
  for (const Case& c : cases) EXPECT_EQ(c.curve(c.h), c.status) << c.name;
  EXPECT_EQ(std::vector<uint8_t>(planes.p[0]->Palette, planes.p[0]->Palette + 1024), palette);
  EXPECT_EQ(PixelBytes(color.h), std::vector<uint8_t>(12, 5));
}

}  // namespace
