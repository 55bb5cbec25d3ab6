// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Bitmap library behind the filter's colour pipeline: 24-bit bitmaps and
// 8-bit planes with a palette, resampling, tone curves, saturation,
// sharpening, and splitting into and joining of colour planes.
//
// Operations take the handle first and return a status: 1 for success, a
// negative code otherwise. A failed call leaves its handles as they were.
#pragma once

#include <cstdint>
#include <functional>

#include "imglib/ImgLib_Platform.h"

// The caller owns the record; the library only fills it in.
typedef struct _tagBITMAPHANDLE {
  HGLOBAL MemoryHandle;  // block owning the pixels (and a plane's palette); null: caller's pixels
  uint8_t* Pixels;       // first byte of row 0; null: no pixels
  int32_t Width;
  int32_t Height;
  int32_t BitsPerPixel;    // 24 or 8
  int32_t BytesPerLine;    // ((Width * BitsPerPixel + 31) / 32) * 4
  int32_t PaletteEntries;  // 256 for 8-bit, 0 for 24-bit
  uint8_t* Palette;        // 8-bit: 256 entries of 4 bytes, byte k = value in channel k
  int32_t RowAlignment;    // always 4
  int32_t ColorOrder;      // 24-bit: 0 = R,G,B bytes, 1 = B,G,R bytes; 8-bit: 0
  uint64_t ImageSize;      // BytesPerLine * Height
} BITMAPHANDLE, *pBITMAPHANDLE;

// Threads. The pixel loops that take a thread count split the rows into
// bands worked on side by side; every row is computed as it is alone, so the
// bytes never depend on the count.
//
// The machine's cores (1 when unknown), the count a page is worked on with.
int IL_DefaultThreadCount();
// Bands for `rows` rows on `threads` threads: at least 1, at most one a row.
int32_t IL_RowBandCount(int32_t rows, int threads);
// Rows [first, end) of band `band` of `bands`.
void IL_RowBand(int32_t rows, int32_t bands, int32_t band, int32_t* first, int32_t* end);
// Runs body(band, first, end) for every band, band 0 on the calling thread,
// the others at the same time on threads that block every signal, and
// returns once all are done: IL_SUCCESS, or the first failure a band
// returned.
using RowBandFn = std::function<int(int32_t band, int32_t first, int32_t end)>;
int IL_RunRowBands(int32_t rows, int32_t bands, const RowBandFn& body);

// Status codes.
constexpr int IL_SUCCESS = 1;
constexpr int IL_ERROR_NO_MEMORY = -1;
constexpr int IL_ERROR_NO_BITMAP = -2;
constexpr int IL_ERROR_INV_PARAMETER = -13;
constexpr int IL_ERROR_INV_BITSPERPIXEL = -27;
constexpr int IL_ERROR_INV_STRUCT_SIZE = -789;
constexpr int IL_ERROR_BPP_NOT_SUPPORTED = -804;
constexpr int IL_ERROR_BITMAP_NULL = -814;

// Argument values.
constexpr int32_t IL_BITMAP_KIND = 2;  // the only kind IL_CreateBitmap accepts
constexpr uint32_t IL_ORDER_RGB = 0;
constexpr uint32_t IL_ORDER_BGR = 1;
constexpr uint32_t IL_ORDER_GRAY = 2;   // 8-bit bitmaps; for 24-bit it means B,G,R
constexpr int32_t IL_SIZE_BICUBIC = 4;  // the only IL_SizeBitmap method

// Bitmap handles.
int IL_CreateBitmap(pBITMAPHANDLE handle, int32_t recordSize, int32_t kind, uint32_t width,
                    int32_t height, uint32_t bitsPerPixel, uint32_t order, uint8_t* palette,
                    int32_t rowAlignment, uint8_t* pixels, uint64_t pixelBytes);
void IL_FreeBitmap(pBITMAPHANDLE handle);
int IL_CopyBitmapData(pBITMAPHANDLE destination, pBITMAPHANDLE source);

// Resampling: separable cubic convolution, in place; method must be 4.
int IL_SizeBitmap(pBITMAPHANDLE handle, int32_t newWidth, int32_t newHeight, int32_t method,
                  int threads = 1);
// A 24-bit picture read where it lies: pixel (x, y) is the three bytes at
// origin + y * rowStep + x * pixelStep. A page stored one way can so be read
// as if turned, without turning it first.
struct IL_PixelView {
  const uint8_t* origin;
  int64_t pixelStep;
  int64_t rowStep;
  int32_t width;
  int32_t height;
};
// The first `rows` rows that IL_SizeBitmap would make of the picture, written
// into `out` (rows `outPitch` bytes apart, padding left alone).
int IL_ResampleView(const IL_PixelView& source, int32_t newWidth, int32_t newHeight, int32_t rows,
                    uint8_t* out, int64_t outPitch, int threads);

// Tone curves on an 8-bit plane's palette.
int IL_GammaCorrectBitmap(pBITMAPHANDLE handle, uint32_t gamma);         // gamma x 100, not 0
int IL_ChangeBitmapIntensity(pBITMAPHANDLE handle, int32_t brightness);  // -1000 .. 1000
int IL_ChangeBitmapContrast(pBITMAPHANDLE handle, int32_t contrast);     // -1000 .. 1000
// Maps bytes 0..2 of each palette entry through a 256-byte table; no checks.
void ConvertLUT8(pBITMAPHANDLE handle, const uint8_t* table);

// Saturation of a 24-bit bitmap, -1000 .. 1000.
int IL_ChangeBitmapSaturation(pBITMAPHANDLE handle, int32_t amount, int threads = 1);
// Hue in degrees (-1 for grey), chroma and lightness on the 0..255 scale.
void RGBtoHSL(int r, int g, int b, double* hue, double* chroma, double* lightness);
void HSLtoRGB(double hue, double chroma, double lightness, uint8_t* r, uint8_t* g, uint8_t* b);

// 3x3 sharpening (positive) or softening (negative) of a 24-bit bitmap, -1000 .. 1000.
// With `tables`, byte k of every pixel first goes through tables[k], as
// IL_MapBitmapBytes maps it, in the same pass.
int IL_SharpenBitmap(pBITMAPHANDLE handle, int32_t strength, int threads = 1,
                     const uint8_t (*tables)[256] = nullptr);

// Colour planes: planes[0] is blue, [1] green, [2] red; flags must be 0.
int IL_ColorSeparateBitmap(pBITMAPHANDLE source, pBITMAPHANDLE* planes, int32_t recordSize,
                           uint32_t flags, int threads = 1);
int IL_ColorMergeBitmap(pBITMAPHANDLE destination, pBITMAPHANDLE* planes, int32_t recordSize,
                        uint32_t flags);
// Byte k of every pixel of a 24-bit bitmap through tables[k], in place: what
// separating it, passing plane k's palette through tables[k] and merging
// gives a bitmap in blue, green, red order, without the planes.
int IL_MapBitmapBytes(pBITMAPHANDLE handle, const uint8_t (*tables)[256], int threads = 1);
