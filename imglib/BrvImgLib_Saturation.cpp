// Saturation: each pixel goes to hue, chroma and lightness, its chroma is
// scaled, and it comes back. Hue and lightness stay.
#include <algorithm>
#include <cstdint>

#include "imglib/BrvImgLib.h"
#include "imglib/BrvImgLib_Internal.h"

// Both conversions are written as selects and a sector table rather than a
// chain of cases, which spares the pixel loop most branches on the colour;
// every value still comes from the same operations, in the same order, as in
// the plain case-by-case rules.

namespace {

struct Hsl {
  double hue, chroma, lightness;
};

inline Hsl ToHsl(int r, int g, int b) {
  Hsl out;
  const int max = std::max(std::max(r, g), b);
  const int min = std::min(std::min(r, g), b);
  out.lightness = (min + max) * 0.5;
  out.chroma = max - min;
  // The first of blue, red, green that is the minimum picks the formula.
  const int difference = b == min ? g - r : r == min ? b - g : r - b;
  const int offset = b == min ? 60 : r == min ? 180 : 300;
  const double divisor = max == min ? 1.0 : out.chroma;  // grey: no hue to compute
  const double angle = difference * 60.0 / divisor + offset;
  out.hue = max == min ? -1.0 : angle;
  return out;
}

enum Role { kTop, kBottom, kPart };

// Per sector of 60 degrees: the part's hue offset is hue * sign + base
// (hue, 120 - hue, hue - 120, ...), and which of top, bottom and part each
// of red, green and blue receives.
struct Sector {
  double sign, base;
  Role red, green, blue;
};
constexpr Sector kSectors[6] = {
    {1, 0, kTop, kPart, kBottom},    {-1, 120, kPart, kTop, kBottom}, {1, -120, kBottom, kTop, kPart},
    {-1, 240, kBottom, kPart, kTop}, {1, -240, kPart, kBottom, kTop}, {-1, 360, kTop, kBottom, kPart},
};

// Truncates toward zero and keeps the low byte.
uint8_t ToByte(double v) { return static_cast<uint8_t>(static_cast<int32_t>(v)); }

inline void ToRgb(double hue, double chroma, double lightness, uint8_t *r, uint8_t *g, uint8_t *b) {
  // Keep the colour inside 0..255 at this lightness.
  const double wanted = chroma * 0.5;
  const bool darkLimit = wanted > lightness;
  const double darkMax = 2 * lightness;
  const double plainMax = lightness + wanted;
  const bool lightLimit = !darkLimit && plainMax > 255;
  const double lightHalf = 255 - lightness;
  const double half = darkLimit ? lightness : lightLimit ? lightHalf : wanted;
  const double max = darkLimit ? darkMax : lightLimit ? lightness + lightHalf : plainMax;
  const double min = lightness - half;
  const double range = max - min;

  const int index = (hue >= 60) + (hue >= 120) + (hue >= 180) + (hue >= 240) + (hue >= 300);
  const Sector &sector = kSectors[index];
  const double offset = hue * sector.sign + sector.base;
  uint8_t values[3];
  values[kTop] = ToByte(max);
  values[kBottom] = ToByte(min);
  values[kPart] = ToByte(offset / 60 * range + min);

  const bool grey = hue < 0;
  const uint8_t greyValue = ToByte(lightness);
  *r = grey ? greyValue : values[sector.red];
  *g = grey ? greyValue : values[sector.green];
  *b = grey ? greyValue : values[sector.blue];
}

}  // namespace

void RGBtoHSL(int r, int g, int b, double *hue, double *chroma, double *lightness) {
  const Hsl hsl = ToHsl(r, g, b);
  *hue = hsl.hue;
  *chroma = hsl.chroma;
  *lightness = hsl.lightness;
}

void HSLtoRGB(double hue, double chroma, double lightness, uint8_t *r, uint8_t *g, uint8_t *b) {
  ToRgb(hue, chroma, lightness, r, g, b);
}

int IL_ChangeBitmapSaturation(pBITMAPHANDLE handle, int32_t amount) {
  if (!handle) return IL_ERROR_BITMAP_NULL;
  if (!IsColorBitmap(handle)) return IL_ERROR_INV_PARAMETER;
  if (amount < -1000 || amount > 1000) return IL_ERROR_INV_PARAMETER;

  // The new chroma depends on the old one alone, which is a whole number
  // from 0 to 255: one table per call instead of a division per pixel.
  double newChroma[256];
  for (int chroma = 0; chroma < 256; ++chroma) {
    const double scaled = (amount * static_cast<double>(chroma)) / 1000 + chroma;
    newChroma[chroma] = scaled < 0 ? 0 : scaled > 255 ? 255 : scaled;
  }

  // Byte positions of red and blue; green is always byte 1.
  const int redAt = handle->ColorOrder == 0 ? 0 : 2;
  const int blueAt = 2 - redAt;
  const int64_t pitch = RowPitch(handle->Width, 24);
  for (int32_t y = 0; y < handle->Height; ++y) {
    uint8_t *pixel = handle->Pixels + y * pitch;
    for (int32_t x = 0; x < handle->Width; ++x, pixel += 3) {
      const Hsl hsl = ToHsl(pixel[redAt], pixel[1], pixel[blueAt]);
      const double scaled = newChroma[static_cast<int>(hsl.chroma)];
      ToRgb(hsl.hue, scaled, hsl.lightness, &pixel[redAt], &pixel[1], &pixel[blueAt]);
    }
  }
  return IL_SUCCESS;
}
