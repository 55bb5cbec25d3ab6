// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The photo page drawn straight into the pipeline's buffer against PAPPL
// 1.3.1's image filter as it writes an 8-bit sRGB page line by line: every
// byte the same, for pictures scaled up, down and by whole numbers, turned
// each way, cropped on both axes by fill, and outside the picture. And the
// one function that decodes and places a photo file for the jobs and the
// print page's preview: the page it picks, the size it decodes at.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "PhotoFiles.h"
#include "TestImages.h"
#include "filter/JobPipeline.h"
#include "printer-app/ImageJob.h"
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

// The case's page, as a job at 300 dpi gets it.
pappl_pr_options_t PageOptions(const PageCase& c) {
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
  return options;
}

class Drawn : public testing::TestWithParam<PageCase> {};

TEST_P(Drawn, IsThePageOfPapplsImageFilter) {
  const PageCase& c = GetParam();
  const Photo photo = NoisePhoto(c.photoWidth, c.photoHeight, c.ppi);
  for (const bool smoothing : {true, false}) {
    pappl_pr_options_t options = PageOptions(c);
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
                             IPP_ORIENT_PORTRAIT, 0},
                    // A camera's 4:3 on a 3:2 page, a tenth smaller: most page
                    // lines start on the picture line below the last one's.
                    PageCase{"CameraPictureFilled", 400, 300, 0, 360, 240, PAPPL_SCALING_FILL,
                             IPP_ORIENT_PORTRAIT, 0},
                    PageCase{"CameraPictureTurnedAndFilled", 300, 400, 0, 360, 240,
                             PAPPL_SCALING_FILL, IPP_ORIENT_LANDSCAPE, 0}),
    [](const testing::TestParamInfo<PageCase>& info) { return info.param.name; });

struct FileCase {
  const char* name;
  bool png;
  int storedWidth, storedHeight;
  int exifOrientation;  // 0: none
  const char* media;
  int yResolution;
  int pageWidth, pageHeight;    // the page it lands on
  int photoWidth, photoHeight;  // as decoded and stretched
  bool turned;                  // a quarter onto the page
};

// A job's page on the PWG media `name` at 300 x `yResolution` dpi, with the
// app's default scaling and no orientation asked for.
pappl_pr_options_t JobPage(const char* name, int yResolution) {
  pappl_media_col_t media{};
  const pwg_media_t* size = pwgMediaForPWG(name);
  std::snprintf(media.size_name, sizeof media.size_name, "%s", name);
  media.size_width = size->width;
  media.size_length = size->length;
  pappl_pr_options_t options{};
  PhotoPageOptions(media, PAPPL_SCALING_AUTO, IPP_ORIENT_NONE, 300, yResolution, &options);
  return options;
}

class PlacedFile : public testing::TestWithParam<FileCase> {
 protected:
  void SetUp() override { ASSERT_NE(nullptr, mkdtemp(directory_)); }
  void TearDown() override {
    std::remove(path_.c_str());
    rmdir(directory_);
  }
  char directory_[32] = "/tmp/qv46-photo-page-XXXXXX";
  std::string path_;
};

TEST_P(PlacedFile, LandsOnTheClassicQueuesPageDecodedNoLargerThanItNeeds) {
  const FileCase& c = GetParam();
  const e2e::Rgb picture = e2e::SamplePhoto(c.storedWidth, c.storedHeight);
  path_ = std::string(directory_) + (c.png ? "/photo.png" : "/photo.jpg");
  apptest::JpegExtras extras;
  extras.orientation = c.exifOrientation;
  ASSERT_TRUE(c.png ? e2e::WritePng(path_, picture) : apptest::WriteJpeg(path_, picture, extras));
  ASSERT_EQ(c.png ? PhotoFormat::kPng : PhotoFormat::kJpeg, PhotoFormatOf(path_.c_str()));
  pappl_pr_options_t options = JobPage(c.media, c.yResolution);
  const PhotoLimits limits{20000, 20000, size_t{1} << 30};
  PlacedPhoto placed;
  ASSERT_EQ(nullptr, DecodeAndPlacePhoto(path_.c_str(), PhotoFormatOf(path_.c_str()), limits,
                                         &options, &placed));
  EXPECT_EQ(c.pageWidth, static_cast<int>(options.header.cupsWidth));
  EXPECT_EQ(c.pageHeight, static_cast<int>(options.header.cupsHeight));
  EXPECT_EQ(c.photoWidth, placed.photo.width);
  EXPECT_EQ(c.photoHeight, placed.photo.height);
  EXPECT_EQ(!c.png, placed.smoothing);
  // Turned, the walk across the page goes down the picture's columns.
  EXPECT_EQ(c.turned, placed.placement.xdir != 3);
}

INSTANTIATE_TEST_SUITE_P(
    Files, PlacedFile,
    testing::Values(FileCase{"LandscapeJpegOnTheLandscapeForm", false, 1800, 1200, 0,
                             "na_index-4x6_4x6in", 300, 1800, 1200, 1800, 1200, false},
                    FileCase{"PortraitPngOnThePortraitPage", true, 1200, 1800, 0,
                             "na_index-4x6_4x6in", 300, 1200, 1800, 1200, 1800, false},
                    // 3/8 would be 1500 x 1125, short of the page.
                    FileCase{"TwelveMegapixelsDecodedAtHalfSize", false, 4000, 3000, 0,
                             "na_index-4x6_4x6in", 300, 1800, 1200, 2000, 1500, false},
                    FileCase{"StoredQuarterTurnedPrintsUpright", false, 1200, 1800, 6,
                             "na_index-4x6_4x6in", 300, 1800, 1200, 1800, 1200, false},
                    FileCase{"StretchedDownAt300x600", false, 1800, 1200, 0, "na_index-4x6_4x6in",
                             600, 1800, 2400, 1800, 2400, false},
                    // 5 x 7 in has no landscape page: the picture is turned onto it.
                    FileCase{"TurnedOntoAPortraitOnlyStock", true, 700, 500, 0, "na_5x7_5x7in", 300,
                             1500, 2100, 700, 500, true},
                    // Turned, the page's vertical runs across the picture.
                    FileCase{"TurnedAndStretchedAcrossAt300x600", true, 700, 500, 0, "na_5x7_5x7in",
                             600, 1500, 4200, 1400, 500, true}),
    [](const testing::TestParamInfo<FileCase>& info) { return info.param.name; });

// A file that is no picture of its kind is refused as damaged, a picture
// past the printer's image limits as too large; no pixels are kept.
TEST(RefusedFile, SaysWhyAndKeepsNoPixels) {
  char directory[] = "/tmp/qv46-photo-page-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(directory));
  const std::string path = std::string(directory) + "/photo";
  const e2e::Rgb picture = e2e::SamplePhoto(200, 100);
  const struct {
    PhotoFormat format;
    std::string damaged;  // the file's bytes; empty: the picture, whole
    bool tooLarge;
  } cases[] = {
      {PhotoFormat::kJpeg, std::string("\xff\xd8\xff\xe0", 4) + std::string(300, 'x'), false},
      {PhotoFormat::kPng, std::string("\x89PNG\r\n\x1a\n", 8) + std::string(300, 'x'), false},
      {PhotoFormat::kJpeg, "", true},
      {PhotoFormat::kPng, "", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE((c.format == PhotoFormat::kPng ? "PNG, " : "JPEG, ") +
                 std::string(c.tooLarge ? "too large" : "damaged"));
    if (!c.damaged.empty()) {
      FILE* file = std::fopen(path.c_str(), "wb");
      ASSERT_NE(nullptr, file);
      std::fwrite(c.damaged.data(), 1, c.damaged.size(), file);
      std::fclose(file);
    } else {
      ASSERT_TRUE(c.format == PhotoFormat::kPng ? e2e::WritePng(path, picture)
                                                : apptest::WriteJpeg(path, picture));
    }
    EXPECT_EQ(c.format, PhotoFormatOf(path.c_str()));
    pappl_pr_options_t options = JobPage("na_index-4x6_4x6in", 300);
    PlacedPhoto placed;
    // At most 100 pixels across.
    const char* fault = DecodeAndPlacePhoto(path.c_str(), c.format, PhotoLimits{100, 100, 30000},
                                            &options, &placed);
    ASSERT_NE(nullptr, fault);
    EXPECT_EQ(c.tooLarge, IsSizeFault(fault)) << fault;
    EXPECT_EQ(nullptr, placed.photo.pixels.get());
  }
  std::remove(path.c_str());
  rmdir(directory);
}

}  // namespace
