// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Tone curves: each builds a 256-entry table and passes a plane's palette
// through it; the pixels change only when the planes are merged.
#include <cmath>
#include <cstdint>

#include "imglib/ImgLib.h"

namespace {

constexpr int32_t kToneLimit = 1000;

// The checks shared by the three curves.
int CheckPlane(const BITMAPHANDLE* handle) {
  if (!handle) return IL_ERROR_BITMAP_NULL;
  if (!handle->Pixels || handle->BitsPerPixel != 8 || handle->PaletteEntries != 256 ||
      !handle->Palette) {
    return IL_ERROR_INV_PARAMETER;
  }
  return IL_SUCCESS;
}

uint8_t ClampByte(double v) {
  if (v < 0) return 0;
  if (v > 255) return 255;
  return static_cast<uint8_t>(v);
}

uint8_t ClampByte(int64_t v) {
  if (v < 0) return 0;
  if (v > 255) return 255;
  return static_cast<uint8_t>(v);
}

}  // namespace

void ConvertLUT8(pBITMAPHANDLE handle, const uint8_t* table) {
  uint8_t* entry = handle->Palette;
  for (int32_t i = 0; i < handle->PaletteEntries; ++i, entry += 4) {
    entry[2] = table[entry[2]];
    entry[1] = table[entry[1]];
    entry[0] = table[entry[0]];
  }
}

int IL_GammaCorrectBitmap(pBITMAPHANDLE handle, uint32_t gamma) {
  const int status = CheckPlane(handle);
  if (status != IL_SUCCESS) return status;
  if (gamma == 0) return IL_ERROR_INV_PARAMETER;

  const double exponent = 100.0 / gamma;
  uint8_t table[256];
  for (int i = 0; i < 256; ++i) {
    table[i] = ClampByte(std::trunc(std::pow(i / 255.0, exponent) * 255.0 + 0.5));
  }
  ConvertLUT8(handle, table);
  return IL_SUCCESS;
}

int IL_ChangeBitmapIntensity(pBITMAPHANDLE handle, int32_t brightness) {
  const int status = CheckPlane(handle);
  if (status != IL_SUCCESS) return status;
  if (brightness < -kToneLimit || brightness > kToneLimit) return IL_ERROR_INV_PARAMETER;

  const double x = brightness * 0.2545 + 0.4286;
  const int64_t offset = static_cast<int64_t>(brightness < 0 ? x - 0.5 : x + 0.5);
  uint8_t table[256];
  for (int i = 0; i < 256; ++i) table[i] = ClampByte(i + offset);
  ConvertLUT8(handle, table);
  return IL_SUCCESS;
}

int IL_ChangeBitmapContrast(pBITMAPHANDLE handle, int32_t contrast) {
  const int status = CheckPlane(handle);
  if (status != IL_SUCCESS) return status;
  if (contrast < -kToneLimit || contrast > kToneLimit) return IL_ERROR_INV_PARAMETER;

  const double k = std::exp(contrast * 0.0007);
  uint8_t table[256];
  for (int i = 0; i < 256; ++i) {
    table[i] = ClampByte(static_cast<int64_t>((i - 64) * k) + 64);
  }
  ConvertLUT8(handle, table);
  return IL_SUCCESS;
}
