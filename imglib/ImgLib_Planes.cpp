// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Colour planes: a 24-bit bitmap split into three 8-bit planes with identity
// palettes, and three planes joined through their palettes.
#include <cstdint>

#include "imglib/ImgLib.h"
#include "imglib/ImgLib_Internal.h"

namespace {

constexpr int kPlanes = 3;
constexpr size_t kPaletteBytes = 256 * 4;

// One row's bytes 0, 1 and 2 of each pixel into three plane rows. Its own
// function with restricted pointers and a width by value, so that the
// compiler knows the stores change neither and takes many pixels at a time.
IMGLIB_AVX2_CLONES
void SeparateRow(const uint8_t* __restrict in, int32_t width, uint8_t* __restrict byte0,
                 uint8_t* __restrict byte1, uint8_t* __restrict byte2) {
  for (int32_t x = 0; x < width; ++x) {
    byte0[x] = in[3 * x];
    byte1[x] = in[3 * x + 1];
    byte2[x] = in[3 * x + 2];
  }
}

}  // namespace

int IL_ColorSeparateBitmap(pBITMAPHANDLE source, pBITMAPHANDLE* planes, int32_t recordSize,
                           uint32_t flags, int threads) {
  if (!source) return IL_ERROR_INV_PARAMETER;
  if (recordSize != static_cast<int32_t>(sizeof(BITMAPHANDLE))) return IL_ERROR_INV_STRUCT_SIZE;
  if (!IsColorBitmap(source) || source->Width <= 0 || source->Height <= 0) {
    return IL_ERROR_INV_PARAMETER;
  }
  if (!planes || !planes[0] || !planes[1] || !planes[2]) return IL_ERROR_INV_PARAMETER;
  if (flags != 0) return IL_ERROR_INV_PARAMETER;

  const int32_t width = source->Width;
  const int32_t height = source->Height;
  const int64_t planePitch = RowPitch(width, 8);
  if (planePitch > INT32_MAX) return IL_ERROR_INV_PARAMETER;
  const uint64_t planeBytes = static_cast<uint64_t>(planePitch) * static_cast<uint64_t>(height);

  // Every block first, so that running out of memory leaves the records as given.
  HGLOBAL blocks[kPlanes];
  uint8_t* blockPixels[kPlanes];
  for (int k = 0; k < kPlanes; ++k) {
    blockPixels[k] = AllocLocked(planeBytes + kPaletteBytes, &blocks[k]);
    if (!blockPixels[k]) {
      for (int got = k - 1; got >= 0; --got) FreeLocked(blocks[got]);
      return IL_ERROR_NO_MEMORY;
    }
  }
  for (int k = 0; k < kPlanes; ++k) {
    BITMAPHANDLE* plane = planes[k];
    plane->MemoryHandle = blocks[k];
    plane->Pixels = blockPixels[k];
    plane->Palette = blockPixels[k] + planeBytes;
    for (int v = 0; v < 256; ++v) {
      plane->Palette[4 * v + 0] = static_cast<uint8_t>(v);
      plane->Palette[4 * v + 1] = static_cast<uint8_t>(v);
      plane->Palette[4 * v + 2] = static_cast<uint8_t>(v);
    }
    plane->Width = width;
    plane->Height = height;
    plane->BitsPerPixel = 8;
    plane->PaletteEntries = 256;
    plane->BytesPerLine = static_cast<int32_t>(planePitch);
    plane->ColorOrder = 0;
    plane->RowAlignment = source->RowAlignment;
    plane->ImageSize = planeBytes;
  }

  // Plane 0 is blue: byte 0 of a B,G,R pixel, byte 2 of an R,G,B one.
  const bool bgr = source->ColorOrder == 1;
  const int64_t sourcePitch = RowPitch(width, source->BitsPerPixel);
  const int blueAt = bgr ? 0 : 2;
  IL_RunRowBands(height, IL_RowBandCount(height, threads),
                 [&](int32_t, int32_t first, int32_t end) {
                   for (int32_t y = first; y < end; ++y) {
                     uint8_t* rows[kPlanes];
                     for (int k = 0; k < kPlanes; ++k) rows[k] = planes[k]->Pixels + y * planePitch;
                     SeparateRow(source->Pixels + y * sourcePitch, width, rows[blueAt], rows[1],
                                 rows[2 - blueAt]);
                   }
                   return IL_SUCCESS;
                 });
  return IL_SUCCESS;
}

int IL_ColorMergeBitmap(pBITMAPHANDLE destination, pBITMAPHANDLE* planes, int32_t recordSize,
                        uint32_t flags) {
  if (!destination) return IL_ERROR_INV_PARAMETER;
  if (recordSize != static_cast<int32_t>(sizeof(BITMAPHANDLE))) return IL_ERROR_INV_STRUCT_SIZE;
  if (!planes) return IL_ERROR_INV_PARAMETER;
  for (int k = 0; k < kPlanes; ++k) {
    if (!planes[k] || !planes[k]->Pixels) return IL_ERROR_NO_BITMAP;
  }
  if (flags != 0) return IL_ERROR_INV_PARAMETER;

  const int32_t width = planes[0]->Width;
  const int32_t height = planes[0]->Height;
  const int32_t alignment = planes[0]->RowAlignment;
  if (width <= 0 || height <= 0) return IL_ERROR_INV_PARAMETER;
  const int64_t planePitch = RowPitch(width, 8);
  const uint64_t planeBytes = static_cast<uint64_t>(planePitch) * static_cast<uint64_t>(height);
  for (int k = 0; k < kPlanes; ++k) {
    const BITMAPHANDLE* plane = planes[k];
    if (plane->Width != width || plane->Height != height || plane->BitsPerPixel != 8 ||
        plane->BytesPerLine != planePitch || plane->PaletteEntries != 256 || !plane->Palette ||
        plane->ColorOrder != 0 || plane->RowAlignment != alignment ||
        plane->ImageSize != planeBytes) {
      return IL_ERROR_INV_PARAMETER;
    }
  }
  const int64_t pitch = RowPitch(width, 24);
  if (pitch > INT32_MAX) return IL_ERROR_INV_PARAMETER;

  HGLOBAL block;
  uint8_t* pixels =
      AllocLocked(static_cast<uint64_t>(pitch) * static_cast<uint64_t>(height), &block);
  if (!pixels) return IL_ERROR_NO_MEMORY;

  destination->Pixels = pixels;
  destination->MemoryHandle = block;
  destination->RowAlignment = alignment;
  destination->BytesPerLine = static_cast<int32_t>(pitch);
  destination->ImageSize = static_cast<uint64_t>(pitch) * static_cast<uint64_t>(height);
  destination->Width = width;
  destination->Height = height;
  destination->BitsPerPixel = 24;
  destination->ColorOrder = 1;

  // Plane k feeds byte k through channel k of its own palette; a compact copy
  // of that channel keeps the lookups in one cache line group.
  uint8_t lut[kPlanes][256];
  for (int k = 0; k < kPlanes; ++k) {
    for (int v = 0; v < 256; ++v) lut[k][v] = planes[k]->Palette[4 * v + k];
  }
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* p0 = planes[0]->Pixels + y * planePitch;
    const uint8_t* p1 = planes[1]->Pixels + y * planePitch;
    const uint8_t* p2 = planes[2]->Pixels + y * planePitch;
    uint8_t* out = pixels + y * pitch;
    for (int32_t x = 0; x < width; ++x) {
      out[3 * x] = lut[0][p0[x]];
      out[3 * x + 1] = lut[1][p1[x]];
      out[3 * x + 2] = lut[2][p2[x]];
    }
  }
  return IL_SUCCESS;
}

int IL_MapBitmapBytes(pBITMAPHANDLE handle, const uint8_t (*tables)[256], int threads) {
  if (!handle) return IL_ERROR_INV_PARAMETER;
  if (!IsColorBitmap(handle) || handle->Width <= 0 || handle->Height <= 0 || !tables) {
    return IL_ERROR_INV_PARAMETER;
  }
  const int64_t bytes = static_cast<int64_t>(handle->Width) * 3;
  const int64_t pitch = handle->BytesPerLine;
  uint8_t* pixels = handle->Pixels;
  return IL_RunRowBands(handle->Height, IL_RowBandCount(handle->Height, threads),
                        [&](int32_t, int32_t first, int32_t end) {
                          for (int32_t y = first; y < end; ++y) {
                            uint8_t* row = pixels + y * pitch;
                            for (int64_t i = 0; i < bytes; i += 3) {
                              row[i] = tables[0][row[i]];
                              row[i + 1] = tables[1][row[i + 1]];
                              row[i + 2] = tables[2][row[i + 2]];
                            }
                          }
                          return IL_SUCCESS;
                        });
}
