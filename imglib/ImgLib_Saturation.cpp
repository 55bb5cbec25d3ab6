// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Saturation: each pixel goes to hue, chroma and lightness, its chroma is
// scaled, and it comes back. Hue and lightness stay.
#include <algorithm>
#include <cstdint>

#include "imglib/ImgLib.h"
#include "imglib/ImgLib_Internal.h"

// The conversions are written as selects rather than a chain of cases, so
// that the compiler can run several pixels side by side (this file is built
// with -fno-trapping-math, which lets it turn selects between doubles into
// masks). Every value still comes from the same operations, in the same
// order, as in the plain case-by-case rules, so the bytes are the same.

namespace {

struct Hsl {
  double hue, chroma, lightness;
};

inline Hsl ToHsl(int r, int g, int b) {
  const int max = std::max(std::max(r, g), b);
  const int min = std::min(std::min(r, g), b);
  // The first of blue, red, green that is the minimum picks the formula.
  const int difference = b == min ? g - r : r == min ? b - g : r - b;
  const int offset = b == min ? 60 : r == min ? 180 : 300;
  const int grey = max == min;
  const double divisor = max - min + grey;  // grey: no hue, and no division by 0
  const double angle = difference * 60.0 / divisor + offset;
  Hsl out;
  out.hue = grey ? -1.0 : angle;
  out.chroma = max - min;
  out.lightness = (min + max) * 0.5;
  return out;
}

struct Rgb {
  int32_t r, g, b;
};

inline Rgb ToRgb(double hue, double chroma, double lightness) {
  // Keep the colour inside 0..255 at this lightness.
  const double wanted = chroma * 0.5;
  const bool darkLimit = wanted > lightness;
  const double darkMax = 2 * lightness;
  const double plainMax = lightness + wanted;
  const bool lightLimit = (!darkLimit) & (plainMax > 255);
  const double lightHalf = 255 - lightness;
  const double lightMax = lightness + lightHalf;
  const double half = darkLimit ? lightness : lightLimit ? lightHalf : wanted;
  const double max = darkLimit ? darkMax : lightLimit ? lightMax : plainMax;
  const double min = lightness - half;
  const double range = max - min;

  // Sectors of 60 degrees, 0 to 5. The part's hue offset is hue, 120 - hue,
  // hue - 120, 240 - hue, hue - 240, 360 - hue: hue * (+-1) + base, exactly.
  const double s1 = hue >= 60 ? 1.0 : 0.0, s2 = hue >= 120 ? 1.0 : 0.0, s3 = hue >= 180 ? 1.0 : 0.0;
  const double s4 = hue >= 240 ? 1.0 : 0.0, s5 = hue >= 300 ? 1.0 : 0.0;
  const double odd = s1 - s2 + s3 - s4 + s5;
  const double base = 120 * s1 - 240 * s2 + 360 * s3 - 480 * s4 + 600 * s5;
  const double offset = hue * (1 - 2 * odd) + base;
  const double part = offset / 60 * range + min;

  // Which of max, part and min each channel receives, by sector:
  //   red   max 0,5  part 1,4  min 2,3
  //   green max 1,2  part 0,3  min 4,5
  //   blue  max 3,4  part 2,5  min 0,1
  const bool in0 = hue < 60, in1 = (hue >= 60) & (hue < 120), in2 = (hue >= 120) & (hue < 180);
  const bool in3 = (hue >= 180) & (hue < 240), in4 = (hue >= 240) & (hue < 300), in5 = hue >= 300;
  const bool grey = hue < 0;
  const double red = grey ? lightness : (in0 | in5) ? max : (in1 | in4) ? part : min;
  const double green = grey ? lightness : (in1 | in2) ? max : (in0 | in3) ? part : min;
  const double blue = grey ? lightness : (in3 | in4) ? max : (in2 | in5) ? part : min;
  // Truncated toward zero.
  return {static_cast<int32_t>(red), static_cast<int32_t>(green), static_cast<int32_t>(blue)};
}

constexpr int kChunk = 64;

// Up to kChunk pixels of a row: bytes out to arrays, the conversions over the
// arrays, bytes back. The chroma's new value depends on the chroma alone,
// a whole number up to 255, so it comes from `scaled`, worked out once a
// call.
template <int kRedAt>
IMGLIB_LOOP_BODY void SaturatePixels(uint8_t* __restrict pixels, int n,
                                     const double* __restrict scaled) {
  constexpr int kBlueAt = 2 - kRedAt;
  int32_t r[kChunk], g[kChunk], b[kChunk], span[kChunk];
  for (int i = 0; i < n; ++i) {
    r[i] = pixels[3 * i + kRedAt];
    g[i] = pixels[3 * i + 1];
    b[i] = pixels[3 * i + kBlueAt];
    span[i] = std::max(std::max(r[i], g[i]), b[i]) - std::min(std::min(r[i], g[i]), b[i]);
  }
  double hue[kChunk], chroma[kChunk], lightness[kChunk];
  for (int i = 0; i < n; ++i) {
    const Hsl hsl = ToHsl(r[i], g[i], b[i]);
    hue[i] = hsl.hue;
    lightness[i] = hsl.lightness;
  }
  for (int i = 0; i < n; ++i) chroma[i] = scaled[span[i]];
  for (int i = 0; i < n; ++i) {
    const Rgb rgb = ToRgb(hue[i], chroma[i], lightness[i]);
    r[i] = rgb.r;
    g[i] = rgb.g;
    b[i] = rgb.b;
  }
  for (int i = 0; i < n; ++i) {
    pixels[3 * i + kRedAt] = static_cast<uint8_t>(r[i]);
    pixels[3 * i + 1] = static_cast<uint8_t>(g[i]);
    pixels[3 * i + kBlueAt] = static_cast<uint8_t>(b[i]);
  }
}

// The byte orders, each with the positions of red and blue fixed, so that
// the compiler can take the bytes three pixels at a time.
IMGLIB_AVX512_CLONES
void SaturateRgb(uint8_t* pixels, int n, const double* scaled) {
  SaturatePixels<0>(pixels, n, scaled);
}

IMGLIB_AVX512_CLONES
void SaturateBgr(uint8_t* pixels, int n, const double* scaled) {
  SaturatePixels<2>(pixels, n, scaled);
}

}  // namespace

void RGBtoHSL(int r, int g, int b, double* hue, double* chroma, double* lightness) {
  const Hsl hsl = ToHsl(r, g, b);
  *hue = hsl.hue;
  *chroma = hsl.chroma;
  *lightness = hsl.lightness;
}

void HSLtoRGB(double hue, double chroma, double lightness, uint8_t* r, uint8_t* g, uint8_t* b) {
  const Rgb rgb = ToRgb(hue, chroma, lightness);
  *r = static_cast<uint8_t>(rgb.r);
  *g = static_cast<uint8_t>(rgb.g);
  *b = static_cast<uint8_t>(rgb.b);
}

int IL_ChangeBitmapSaturation(pBITMAPHANDLE handle, int32_t amount, int threads) {
  if (!handle) return IL_ERROR_BITMAP_NULL;
  if (!IsColorBitmap(handle)) return IL_ERROR_INV_PARAMETER;
  if (amount < -1000 || amount > 1000) return IL_ERROR_INV_PARAMETER;

  // The chroma scaled and kept within 0 .. 255, for every chroma.
  double scaled[256];
  for (int c = 0; c < 256; ++c) {
    const double chroma = c;
    const double value = (amount * chroma) / 1000 + chroma;
    const double low = value < 0 ? 0 : value;
    scaled[c] = low > 255 ? 255 : low;
  }
  const auto saturate = handle->ColorOrder == 0 ? SaturateRgb : SaturateBgr;
  const int64_t pitch = RowPitch(handle->Width, 24);
  const int32_t width = handle->Width;
  uint8_t* pixels = handle->Pixels;
  IL_RunRowBands(handle->Height, IL_RowBandCount(handle->Height, threads),
                 [&](int32_t, int32_t first, int32_t end) {
                   for (int32_t y = first; y < end; ++y) {
                     uint8_t* row = pixels + y * pitch;
                     for (int32_t x = 0; x < width; x += kChunk) {
                       saturate(row + 3 * x, std::min(kChunk, width - x), scaled);
                     }
                   }
                   return IL_SUCCESS;
                 });
  return IL_SUCCESS;
}
