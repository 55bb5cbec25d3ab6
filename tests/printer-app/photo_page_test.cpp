// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The photo page drawn straight into the pipeline's buffer against PAPPL
// 1.3.1's image filter as it writes an 8-bit sRGB page line by line: every
// byte the same, for pictures scaled up, down and by whole numbers, turned
// each way, cropped on both axes by fill, and outside the picture.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "filter/JobPipeline.h"
#include "printer-app/PhotoPage.h"

namespace {

// PAPPL 1.3.1's per-pixel loop for one copy of a 24-bit page, each line
// written as its raster callback puts it into the page buffer.
std::vector<char> FilterPage(const PhotoPlacement& at, const Photo& photo, bool smoothing) {
  const unsigned width = static_cast<unsigned>(at.pageWidth);
  const unsigned height = static_cast<unsigned>(at.pageHeight);
  std::unique_ptr<char, decltype(&std::free)> page(AllocPageBuffer(width, height), std::free);
  const unsigned char* pixels = photo.pixels.get();
  const unsigned char* pixend = pixels + 3 * photo.width * photo.height;
  std::vector<unsigned char> line(3 * width, 0xff);
  int y = 0;
  for (; y < at.ystart; ++y) PutPageLine(page.get(), width, height, y, line.data(), line.size());
  const unsigned char* pixline = pixels + at.base;
  int yerr = -at.ymod / 2;
  if (at.ystart < 0) {
    pixline = pixels + at.base - (at.ystart * at.ymod / at.ysize) * at.ydir;
    yerr = -at.ymod / 2 - (at.ystart * at.ymod) % at.ysize;
  }
  for (; y < at.yend; ++y) {
    const unsigned char* pixptr = pixline;
    int x = at.xstart;
    int xerr = -at.xmod / 2;
    if (at.xstart < 0) {
      pixptr -= (at.xstart * at.xmod / at.xsize) * at.xdir;
      x = 0;
      xerr = -at.xmod / 2 - (at.xstart * at.xmod) % at.xsize;
    }
    for (unsigned char* lineptr = line.data() + 3 * x; x < at.xend; ++x) {
      if (smoothing && yerr >= 0 && xerr >= 0) {
        const unsigned char* rt = pixptr + at.xdir;
        const unsigned char* dn = pixptr + at.ydir;
        const unsigned char* dnrt = pixptr + at.xdir + at.ydir;
        if (rt < pixels || rt >= pixend) rt = pixptr;
        if (dn < pixels || dn >= pixend) dn = pixptr;
        if (dnrt < pixels || dnrt >= pixend) dnrt = pixptr;
        for (int j = 0; j < 3; ++j) {
          const int pixel0 = ((at.xsize - xerr) * pixptr[j] + xerr * rt[j]) / at.xsize;
          const int pixel1 = ((at.xsize - xerr) * dn[j] + xerr * dnrt[j]) / at.xsize;
          *lineptr++ =
              static_cast<unsigned char>(((at.ysize - yerr) * pixel0 + yerr * pixel1) / at.ysize);
        }
      } else {
        std::memcpy(lineptr, pixptr, 3);
        lineptr += 3;
      }
      pixptr += at.xstep;
      xerr += at.xmod;
      if (xerr >= at.xsize) {
        xerr -= at.xsize;
        pixptr += at.xdir;
      }
    }
    PutPageLine(page.get(), width, height, y, line.data(), line.size());
    pixline += at.ystep;
    yerr += at.ymod;
    if (yerr >= at.ysize) {
      pixline += at.ydir;
      yerr -= at.ysize;
    }
  }
  std::fill(line.begin(), line.end(), 0xff);
  for (; y < at.pageHeight; ++y)
    PutPageLine(page.get(), width, height, y, line.data(), line.size());
  const size_t bytes = PageStride(width) * height;
  return std::vector<char>(page.get(), page.get() + bytes);
}

// Noise, so that no neighbour stands in for another unnoticed.
Photo NoisePhoto(int width, int height, int ppi) {
  Photo photo;
  photo.width = width;
  photo.height = height;
  photo.ppi = ppi;
  photo.pixels.reset(new unsigned char[size_t{3} * width * height]);
  unsigned state = 12345;
  for (size_t i = 0; i < size_t{3} * width * height; ++i) {
    state = state * 1103515245u + 12345u;
    photo.pixels[i] = static_cast<unsigned char>(state >> 16);
  }
  return photo;
}

struct PageCase {
  const char* name;
  int photoWidth, photoHeight, ppi;
  int pageWidth, pageHeight;  // pixels at 300 dpi
  pappl_scaling_t scaling;
  ipp_orient_t orientation;
  int margin;  // hundredths of a millimetre, each side
};

class Drawn : public testing::TestWithParam<PageCase> {};

TEST_P(Drawn, IsThePageOfPapplsImageFilter) {
  const PageCase& c = GetParam();
  const Photo photo = NoisePhoto(c.photoWidth, c.photoHeight, c.ppi);
  for (const bool smoothing : {true, false}) {
    pappl_pr_options_t options{};
    options.printer_resolution[0] = options.printer_resolution[1] = 300;
    options.header.cupsWidth = static_cast<unsigned>(c.pageWidth);
    options.header.cupsHeight = static_cast<unsigned>(c.pageHeight);
    options.header.cupsBitsPerPixel = 24;
    options.header.cupsBytesPerLine = 3 * options.header.cupsWidth;
    options.media.left_margin = options.media.right_margin = c.margin;
    options.media.top_margin = options.media.bottom_margin = c.margin;
    options.print_scaling = c.scaling;
    options.orientation_requested = c.orientation;
    PhotoPlacement placement;
    ASSERT_TRUE(PlacePhotoOnPage(&options, photo, &placement));
    std::unique_ptr<char, decltype(&std::free)> page(
        AllocPageBuffer(options.header.cupsWidth, options.header.cupsHeight), std::free);
    DrawPhotoPage(placement, photo, smoothing, page.get());
    const std::vector<char> expected = FilterPage(placement, photo, smoothing);
    size_t differ = 0;
    for (size_t i = 0; i < expected.size(); ++i) differ += expected[i] != page.get()[i];
    EXPECT_EQ(0u, differ) << "smoothing " << smoothing;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Pages, Drawn,
    testing::Values(PageCase{"SameSize", 300, 200, 0, 300, 200, PAPPL_SCALING_AUTO,
                             IPP_ORIENT_PORTRAIT, 0},
                    PageCase{"ShrunkByThirds", 451, 301, 0, 300, 200, PAPPL_SCALING_FIT,
                             IPP_ORIENT_PORTRAIT, 0},
                    PageCase{"ShrunkTwiceWhole", 600, 400, 0, 300, 200, PAPPL_SCALING_AUTO,
                             IPP_ORIENT_PORTRAIT, 0},
                    PageCase{"EnlargedFilledAndCropped", 97, 31, 0, 300, 200, PAPPL_SCALING_FILL,
                             IPP_ORIENT_REVERSE_PORTRAIT, 0},
                    PageCase{"TallPictureCroppedDown", 31, 97, 0, 200, 300, PAPPL_SCALING_FILL,
                             IPP_ORIENT_PORTRAIT, 0},
                    PageCase{"TurnedCounterClockwise", 233, 157, 0, 200, 300, PAPPL_SCALING_FIT,
                             IPP_ORIENT_LANDSCAPE, 0},
                    PageCase{"TurnedClockwise", 157, 233, 0, 300, 200, PAPPL_SCALING_FILL,
                             IPP_ORIENT_REVERSE_LANDSCAPE, 0},
                    PageCase{"FittedWithinMargins", 333, 222, 0, 300, 200, PAPPL_SCALING_AUTO,
                             IPP_ORIENT_PORTRAIT, 254},
                    PageCase{"UnscaledAtItsDensity", 120, 90, 150, 300, 200, PAPPL_SCALING_NONE,
                             IPP_ORIENT_PORTRAIT, 0},
                    PageCase{"OneLinePanorama", 4000, 3, 0, 300, 200, PAPPL_SCALING_FILL,
                             IPP_ORIENT_PORTRAIT, 0}),
    [](const testing::TestParamInfo<PageCase>& info) { return info.param.name; });

}  // namespace
