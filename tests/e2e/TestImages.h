// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Small input documents for print jobs, and a reader for the previews the
// stream decoder writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace e2e {

struct Rgb {
  int width = 0, height = 0;
  std::vector<uint8_t> pixels;  // 3 bytes per pixel, rows top-down
};

// Left half red, right half blue.
Rgb TwoColourPicture(int width, int height);
// Something photo-like for the demo: a sky, a sun, hills.
Rgb SamplePhoto(int width, int height);

bool WritePng(const std::string& path, const Rgb& image);
bool ReadPng(const std::string& path, Rgb* image);

// A one-page PDF of the given size in points: left half red, right half blue.
std::string TwoColourPdf(double widthPt, double heightPt);

// Share of pixels that are clearly red, and clearly blue.
struct ColourShares {
  double red = 0, blue = 0;
};
ColourShares ShareOfColours(const Rgb& image);

}  // namespace e2e
