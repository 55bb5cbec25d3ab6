// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// JPEG and PNG photos as phones and cameras store them, decoded for the
// page: turned upright by the EXIF orientation, converted from an embedded
// ICC profile to sRGB, and a JPEG decoded at the smallest of libjpeg's
// scales that still covers the page. A picture without a profile keeps its
// bytes.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <memory>

struct Photo {
  std::unique_ptr<unsigned char[]> pixels;  // RGB, top row first
  int width = 0;
  int height = 0;
  int ppi = 0;  // 0 when the file does not say
};

struct PhotoLimits {
  int maxWidth = 0;
  int maxHeight = 0;
  size_t maxBytes = 0;
};

// Given the upright picture's size, decides its place on the page and says
// how many pixels across and down the page needs of it.
using PagePixels = std::function<void(int width, int height, int* needWidth, int* needHeight)>;

// The fault of a picture refused for its size, read from its header before
// any pixel is decoded.
extern const char kTooManyPixels[];
// The fault of a JPEG whose decoding would need more than libjpeg may take.
extern const char kNeedsTooMuchMemory[];
// The fault of a picture whose pixels find no memory.
extern const char kNoMemoryForPixels[];
// Whether a fault is one of these or another refusal for the picture's size
// or the memory its pixels need: such a photo is too large, not damaged.
bool IsSizeFault(const char* fault);

// Each returns null, or the fault for the job's message.
const char* DecodeJpegPhoto(FILE* file, const PhotoLimits& limits, const PagePixels& page,
                            Photo* photo);
const char* DecodePngPhoto(const char* path, const PhotoLimits& limits, Photo* photo);

// Keeps every `factor`-th pixel across and down, in place: a picture far
// larger than the page costs no more memory when it is stretched.
void ShrinkPhoto(Photo* photo, int factor);

enum class PhotoAxis { kAcross, kDown };
// Stretches the picture along `axis` by `numerator` / `denominator`, each
// new pixel the nearest old one; false when there is no memory for it.
bool StretchPhoto(Photo* photo, PhotoAxis axis, int numerator, int denominator);
