// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Photos as phones and cameras send them, through IPP into the simulated
// printer: the same job stream as the classic queue's filter makes of the
// upright sRGB picture, whatever the EXIF orientation or embedded profile;
// big photos within their memory; the loaded stock on the web media page.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <tuple>

#include "AppUnderTest.h"
#include "PhotoFiles.h"
#include "PrintSystem.h"
#include "TestImages.h"

using apptest::AppUnderTest;
using apptest::JpegExtras;
using apptest::RgbSpace;

namespace {

// 6 x 4 in at 300 dpi: the page of the default media, pixel for pixel.
constexpr int kLong = 1800;
constexpr int kShort = 1200;

// Flat blocks of 200 pixels, each its own colour, on JPEG's 8-pixel grid
// without chroma subsampling: every way of storing it decodes to the same
// pixels, turned.
e2e::Rgb Blocks(int width, int height) {
  e2e::Rgb image;
  image.width = width;
  image.height = height;
  image.pixels.resize(size_t{3} * width * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int block = (y / 200) * 16 + x / 200;
      const size_t at = size_t{3} * (y * width + x);
      image.pixels[at] = static_cast<uint8_t>(40 + block * 37 % 200);
      image.pixels[at + 1] = static_cast<uint8_t>(30 + block * 71 % 190);
      image.pixels[at + 2] = static_cast<uint8_t>(20 + block * 13 % 210);
    }
  }
  return image;
}

// The mean difference of two job streams' bytes (plane pixels, mostly), in
// grey levels; -1 when they differ in length.
double MeanDifference(const std::string& a, const std::string& b) {
  if (a.size() != b.size() || a.empty()) return -1;
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i)
    sum += std::abs(static_cast<uint8_t>(a[i]) - static_cast<uint8_t>(b[i]));
  return sum / static_cast<double>(a.size());
}

class Photos : public apptest::AppTest {
 protected:
  // The job stream the printer received for `document` on 4 x 6 in media.
  std::string Printed(const std::string& document, const std::string& format, int quality = 3) {
    const size_t before = app_.Captured();
    const int job = app_.Print(
        document, format,
        {"keyword media na_index-4x6_4x6in", "enum print-quality " + std::to_string(quality)});
    EXPECT_EQ("completed", app_.WaitForJob(job).substr(0, 9)) << document;
    return app_.JobStreamSince(before);
  }
};

struct ColourCase {
  const char* name;
  bool png;
  bool portrait;
  bool tagged;
  RgbSpace space;
  size_t padding;       // makes the profile span several APP2 chunks
  const char* classic;  // the classic queue's page for the picture
  int quality = 3;      // print-quality: 3 draft 300x300, 4 normal 300x600 dpi
};

// The picture as a page at 300 x 600 dpi has each row twice.
e2e::Rgb RowsTwice(const e2e::Rgb& image) {
  e2e::Rgb out = image;
  out.height = image.height * 2;
  out.pixels.clear();
  const size_t stride = size_t{3} * image.width;
  for (int y = 0; y < out.height; ++y) {
    const auto row = image.pixels.begin() + static_cast<long>(stride * (y / 2));
    out.pixels.insert(out.pixels.end(), row, row + static_cast<long>(stride));
  }
  return out;
}

class Colours : public Photos, public testing::WithParamInterface<ColourCase> {};

// Untagged pictures reach the pipeline byte for byte; tagged ones as their
// sRGB conversion. Landscape pictures print as the classic queue prints
// them on its landscape page, portrait ones as on its portrait page.
TEST_P(Colours, PrintAsTheClassicQueuePrintsTheirSrgbPixels) {
  const ColourCase& c = GetParam();
  const e2e::Rgb picture =
      e2e::SamplePhoto(c.portrait ? kShort : kLong, c.portrait ? kLong : kShort);
  const std::string profile = c.tagged ? apptest::IccProfile(c.space, c.padding) : "";
  const std::string document = Path(c.png ? "photo.png" : "photo.jpg");
  e2e::Rgb stored = picture;
  if (c.png) {
    ASSERT_TRUE(apptest::WritePngWithProfile(document, picture, profile));
  } else {
    JpegExtras extras;
    extras.iccProfile = profile;
    ASSERT_TRUE(apptest::WriteJpeg(document, picture, extras));
    ASSERT_TRUE(apptest::ReadJpeg(document, &stored));
  }
  const e2e::Rgb srgb = c.tagged ? apptest::ToSrgb(stored, profile) : stored;
  const bool tall = c.quality == 4;
  ASSERT_TRUE(
      apptest::WriteRaster(Path("srgb.ras"), tall ? RowsTwice(srgb) : srgb, 300, tall ? 600 : 300));
  const std::string classic =
      apptest::ClassicStream(Path("srgb.ras"), std::string("PageSize=") + c.classic +
                                                   (tall ? " Resolution=300x600dpi" : ""));
  ASSERT_FALSE(classic.empty());
  const std::string printed = Printed(document, c.png ? "image/png" : "image/jpeg", c.quality);
  EXPECT_EQ(0.0, MeanDifference(classic, printed));
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, Colours,
    testing::Values(
        ColourCase{"UntaggedLandscapeJpeg", false, false, false, {}, 0, "153x102mm"},
        ColourCase{"UntaggedPortraitJpeg", false, true, false, {}, 0, "102x153mm"},
        ColourCase{"AdobeRgbJpeg", false, false, true, RgbSpace::kAdobeRgb, 0, "153x102mm"},
        ColourCase{"AdobeRgbJpegInThreeChunks", false, true, true, RgbSpace::kAdobeRgb, 80000,
                   "102x153mm"},
        ColourCase{"ProPhotoPng", true, true, true, RgbSpace::kProPhoto, 0, "102x153mm"},
        // PAPPL places in square pixels: at 300 x 600 dpi it cut half of the picture off.
        ColourCase{"LandscapeJpegAt300x600", false, false, false, {}, 0, "153x102mm", 4},
        ColourCase{"PortraitPngAt300x600", true, true, false, {}, 0, "102x153mm", 4}),
    [](const testing::TestParamInfo<ColourCase>& info) { return info.param.name; });

// A landscape picture stored in each of the eight EXIF orientations (made
// by ImageMagick's own turns) prints as the upright picture; the EXIF block
// in either byte order, its first directory right after the header or
// further off behind another tag.
TEST_F(Photos, EveryExifOrientationPrintsAsTheUprightPicture) {
  const e2e::Rgb upright = Blocks(kLong, kShort);
  ASSERT_TRUE(e2e::WritePng(Path("upright.png"), upright));
  ASSERT_TRUE(apptest::WriteJpeg(Path("upright.jpg"), upright));
  const std::string expected = Printed(Path("upright.jpg"), "image/jpeg");
  ASSERT_FALSE(expected.empty());
  const struct {
    int orientation;
    const char* turn;  // ImageMagick's, from upright to stored
    bool bigEndian, ifdFarOff;
  } cases[] = {
      {1, "-flop -flop", true, true},  {2, "-flop", false, false},
      {3, "-rotate 180", true, false}, {4, "-flip", false, true},
      {5, "-transpose", true, true},   {6, "-rotate -90", false, false},
      {7, "-transverse", true, false}, {8, "-rotate 90", false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("orientation " + std::to_string(c.orientation));
    const std::string turned = Path("stored.png");
    ASSERT_EQ(0, apptest::Run({"sh", "-c",
                               std::string("convert '") + Path("upright.png") + "' " + c.turn +
                                   " '" + turned + "'"}));
    e2e::Rgb stored;
    ASSERT_TRUE(e2e::ReadPng(turned, &stored));
    JpegExtras extras;
    extras.orientation = c.orientation;
    extras.bigEndian = c.bigEndian;
    extras.ifdFarOff = c.ifdFarOff;
    ASSERT_TRUE(apptest::WriteJpeg(Path("stored.jpg"), stored, extras));
    EXPECT_TRUE(expected == Printed(Path("stored.jpg"), "image/jpeg"));
  }
}

// Decoded at a quarter of its size, a 48 MP photo prints in less memory
// than its full-size pixels alone would take (144 MB; the whole app peaked
// at 166 MB decoding them). The bound holds in the sanitizer build too, whose
// own overhead lifts the app's 63 MB peak (bench/app_bench) above 80 MB.
TEST_F(Photos, FortyEightMegapixelPhotoPrintsInLessThanItsFullSizePixels) {
  constexpr long kWidth = 8000;
  constexpr long kHeight = 6000;
  ASSERT_TRUE(apptest::WriteJpeg(Path("big.jpg"), e2e::SamplePhoto(kWidth, kHeight)));
  const std::string stream = Printed(Path("big.jpg"), "image/jpeg");
  EXPECT_NE(std::string::npos, stream.find("CNTRL START"));
  const long peak = app_.PeakKilobytes();
  EXPECT_GT(peak, 0);
  EXPECT_LT(peak, kWidth * kHeight * 3 / 1024);
}

// The loaded stock is the printer's to say: the media page shows it by the
// monitor's name and offers no choice that the next reading would undo.
TEST_F(Photos, MediaPageShowsTheLoadedStock) {
  const std::tuple<const char*, const char*, const char*> stocks[] = {
      {"INFO MEDIA 0000400", "na_6x9_6x9in", "6x9in"},
      {"INFO MEDIA 0000310", "na_index-4x6-ext_6x8in", "6x8in"},
      {"INFO MEDIA 0000210", "na_5x7_5x7in", "5x7in"},
      {"INFO MEDIA 0000301", "na_index-4x6_4x6in", "6x4in"},
  };
  for (const auto& [reply, name, shown] : stocks) {
    ASSERT_TRUE(app_.Sim("set", reply));
    EXPECT_TRUE(
        e2e::Eventually([&] { return app_.PrinterAttribute("media-ready") == name; }, 15000))
        << name;
    std::string page;
    ASSERT_EQ(0, apptest::Run({"curl", "-s", app_.WebUrl("/VALDREN-QV-46/media")}, &page));
    EXPECT_NE(std::string::npos, page.find(std::string(": ") + shown + "<br>"))
        << name << ": " << page;
    EXPECT_EQ(std::string::npos, page.find("<select")) << page;
    EXPECT_EQ(std::string::npos, page.find("selected")) << page;
  }
}

}  // namespace
