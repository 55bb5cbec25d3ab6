// Saturation: each pixel goes to hue, chroma and lightness, its chroma is
// scaled, and it comes back. Hue and lightness stay.
#include <cstdint>

#include "imglib/BrvImgLib.h"
#include "imglib/BrvImgLib_Internal.h"

void RGBtoHSL(int r, int g, int b, double *hue, double *chroma, double *lightness) {
  int max = r > g ? r : g;
  if (b > max) max = b;
  int min = r < g ? r : g;
  if (b < min) min = b;
  *lightness = (min + max) * 0.5;
  *chroma = max - min;
  if (max == min) {
    *hue = -1;
  } else if (b == min) {
    *hue = (g - r) * 60.0 / *chroma + 60;
  } else if (r == min) {
    *hue = (b - g) * 60.0 / *chroma + 180;
  } else {
    *hue = (r - b) * 60.0 / *chroma + 300;
  }
}

void HSLtoRGB(double hue, double chroma, double lightness, uint8_t *r, uint8_t *g, uint8_t *b) {
  if (hue < 0) {
    *r = *g = *b = static_cast<uint8_t>(lightness);
    return;
  }
  // Keep the colour inside 0..255 at this lightness.
  double half = chroma * 0.5;
  double max;
  if (half > lightness) {
    max = 2 * lightness;
    half = lightness;
  } else {
    max = lightness + half;
    if (max > 255) {
      half = 255 - lightness;
      max = lightness + half;
    }
  }
  const double min = lightness - half;
  const double range = max - min;
  const auto part = [&](double offset) { return static_cast<uint8_t>(offset / 60 * range + min); };
  const auto top = static_cast<uint8_t>(max);
  const auto bottom = static_cast<uint8_t>(min);

  if (hue < 60) {
    *r = top, *g = part(hue), *b = bottom;
  } else if (hue < 120) {
    *r = part(120 - hue), *g = top, *b = bottom;
  } else if (hue < 180) {
    *r = bottom, *g = top, *b = part(hue - 120);
  } else if (hue < 240) {
    *r = bottom, *g = part(240 - hue), *b = top;
  } else if (hue < 300) {
    *r = part(hue - 240), *g = bottom, *b = top;
  } else {
    *r = top, *g = bottom, *b = part(360 - hue);
  }
}

int IL_ChangeBitmapSaturation(pBITMAPHANDLE handle, int32_t amount) {
  if (!handle) return IL_ERROR_BITMAP_NULL;
  if (!IsColorBitmap(handle)) return IL_ERROR_INV_PARAMETER;
  if (amount < -1000 || amount > 1000) return IL_ERROR_INV_PARAMETER;

  // Byte positions of red and blue; green is always byte 1.
  const int redAt = handle->ColorOrder == 0 ? 0 : 2;
  const int blueAt = 2 - redAt;
  const int64_t pitch = RowPitch(handle->Width, 24);
  for (int32_t y = 0; y < handle->Height; ++y) {
    uint8_t *pixel = handle->Pixels + y * pitch;
    for (int32_t x = 0; x < handle->Width; ++x, pixel += 3) {
      double hue, chroma, lightness;
      RGBtoHSL(pixel[redAt], pixel[1], pixel[blueAt], &hue, &chroma, &lightness);
      double scaled = (amount * chroma) / 1000 + chroma;
      if (scaled < 0) scaled = 0;
      if (scaled > 255) scaled = 255;
      HSLtoRGB(hue, scaled, lightness, &pixel[redAt], &pixel[1], &pixel[blueAt]);
    }
  }
  return IL_SUCCESS;
}
