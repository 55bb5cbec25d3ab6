// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Photos as phones and cameras write them (EXIF orientation, embedded ICC
// profiles), what the classic queue's filter makes of a picture, and the
// sRGB pixels of a tagged picture, for the printer application's tests.
#pragma once

#include <string>

#include "TestImages.h"

namespace apptest {

struct JpegExtras {
  int orientation = 0;     // EXIF Orientation; 0: no EXIF block
  bool bigEndian = false;  // the EXIF block's byte order
  bool ifdFarOff = false;  // IFD0 away from the header, another tag before the orientation
  std::string iccProfile;  // embedded in as many APP2 chunks as it needs
};

// Baseline, no chroma subsampling, no density.
bool WriteJpeg(const std::string& path, const e2e::Rgb& image, const JpegExtras& extras = {},
               int quality = 90);
// As libjpeg decodes it by default.
bool ReadJpeg(const std::string& path, e2e::Rgb* image);
// With an iCCP chunk unless `iccProfile` is empty.
bool WritePngWithProfile(const std::string& path, const e2e::Rgb& image,
                         const std::string& iccProfile);

enum class RgbSpace { kAdobeRgb, kProPhoto };
// A matrix-shaper profile made with lcms2; with `padding`, a copyright
// text that long makes it span several JPEG APP2 chunks.
std::string IccProfile(RgbSpace space, size_t padding = 0);
// As photo software converts it: relative colorimetric, black point
// compensation.
e2e::Rgb ToSrgb(const e2e::Rgb& image, const std::string& iccProfile);

// A PDF of `pages` 6 x 4 in pages, each drawn by the content stream
// `content` (blank when empty).
std::string PdfOfPages(int pages, const std::string& content = "");

// One flat PWG raster page of `media` in `type` ("srgb_8") at `dpi`, as a
// phone sends it.
bool WritePwgPage(const std::string& path, const char* media, const std::string& type, int dpi);
// One CUPS raster page of `image` at `xdpi` x `ydpi`.
bool WriteRaster(const std::string& path, const e2e::Rgb& image, int xdpi, int ydpi);
// rastertoqv46's stream for `raster` with the classic queue's `options`, on
// 6 x 8 in stock with 100 half panels left ("" when it failed).
std::string ClassicStream(const std::string& raster, const std::string& options);

}  // namespace apptest
