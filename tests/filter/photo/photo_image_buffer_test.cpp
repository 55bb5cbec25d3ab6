// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The photo image buffer: colour pipeline, plane storage and plane packets,
// driven through the real QV-46 device object and image library.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "filter/Common.h"
#include "filter/PhotoImageBuffer.h"
#include "filter/PhotoPrinterDeviceQV46.h"
#include "imglib/ImgLib.h"

namespace {

using Bytes = std::vector<uint8_t>;
using PixelFn = std::function<Bytes(long x, long row)>;

// A page buffer as the filter driver hands it over: bottom row first, three
// bytes per pixel, rows padded to four bytes.
void* MakePage(long width, long height, const PixelFn& pixel) {
  uint8_t* page = static_cast<uint8_t*>(GlobalAlloc(0, size_t(PageStride(width) * height)));
  memset(page, 0, size_t(PageStride(width) * height));
  for (long row = 0; row < height; ++row) {
    for (long x = 0; x < width; ++x) {
      const Bytes p = pixel(x, row);
      memcpy(page + row * PageStride(width) + 3 * x, p.data(), 3);
    }
  }
  return page;
}

PixelFn Flat(uint8_t b0, uint8_t b1, uint8_t b2) {
  return [=](long, long) { return Bytes{b0, b1, b2}; };
}

Bytes PixelAt(const BITMAPHANDLE& image, long x, long row) {
  const uint8_t* p = image.Pixels + row * image.BytesPerLine + 3 * x;
  return Bytes(p, p + 3);
}

// Releases a ColorProcess result the way the filter driver does.
struct Result {
  BITMAPHANDLE* image;
  explicit Result(BITMAPHANDLE* i) : image(i) {}
  ~Result() {
    IL_FreeBitmap(image);
    delete image;
  }
  const BITMAPHANDLE* operator->() const { return image; }
};

// Counts the library's allocations and can refuse one of them.
class CountingAllocator : public PixelAllocator {
 public:
  void* Allocate(size_t size) override {
    if (calls++ == failAt) return nullptr;
    void* block = malloc(size ? size : 1);
    live.insert(block);
    return block;
  }
  void Release(void* block) override {
    live.erase(block);
    free(block);
  }
  int failAt = -1;
  int calls = 0;
  std::set<void*> live;
};

// The real QV-46 device object, writing its stream into memory.
class PhotoBufferTest : public ::testing::Test {
 protected:
  PhotoBufferTest() {
    output_ = open_memstream(&data_, &size_);
    device_.SetOutput(output_);
    PhotoImageBuffer& b = buffer();
    b.resolution = 300;
    b.resolutionMode = 0;
    b.rotate = false;
    b.border = false;
    b.sharpness = 0;
    b.colorAdjustment = false;
  }
  ~PhotoBufferTest() override {
    fclose(output_);
    free(data_);
  }

  PhotoImageBuffer& buffer() { return device_.imageBuffer; }

  // The single-image record of a media row at a resolution along the paper.
  DeviceMediaBufferInfo Record(long mediaId, int resolution) {
    device_.resolution = resolution;
    DeviceMediaBufferInfo info;
    memset(&info, 0, sizeof info);
    EXPECT_EQ(device_.SetMediaInfo(info, mediaId, 1.53), 0);
    return info;
  }

  Result Process(long width, long height, const PixelFn& pixel) {
    return Result(buffer().ColorProcess(MakePage(width, height, pixel), width, height, 0));
  }

  Bytes Stream() {
    fflush(output_);
    return Bytes(data_, data_ + size_);
  }

  DeviceEntry_QV46 device_;
  FILE* output_;

 private:
  char* data_ = nullptr;
  size_t size_ = 0;
};

// ---------------------------------------------------------------- ColorProcess

TEST_F(PhotoBufferTest, NeutralPipelineKeepsPixelsButSaturationTruncates) {
  const Bytes pixels[][2] = {
      {{25, 3, 0}, {25, 2, 0}},        // the middle value drops by one
      {{0, 128, 255}, {0, 128, 255}},  // unchanged
      {{77, 77, 77}, {77, 77, 77}},    // grey stays grey
  };
  for (const auto& [in, out] : pixels) {
    Result r = Process(3, 2, [&](long, long) { return in; });
    ASSERT_NE(r->Pixels, nullptr);
    EXPECT_EQ(PixelAt(*r.image, 1, 1), out);
  }
}

TEST_F(PhotoBufferTest, ResultIsAnOwned24BitBitmapInBlueGreenRedOrder) {
  CountingAllocator allocator;
  {
    ScopedPixelAllocator scope(&allocator);
    Result r = Process(5, 3, Flat(1, 2, 3));
    ASSERT_NE(r->Pixels, nullptr);
    EXPECT_EQ(r->Width, 5);
    EXPECT_EQ(r->Height, 3);
    EXPECT_EQ(r->BitsPerPixel, 24);
    EXPECT_EQ(r->ColorOrder, 1);
    EXPECT_EQ(r->BytesPerLine, 16);
    EXPECT_NE(r->MemoryHandle, nullptr);
    EXPECT_EQ(allocator.live.size(), 1u);  // only the result's pixels remain
  }
  EXPECT_TRUE(allocator.live.empty());
}

TEST_F(PhotoBufferTest, RotationTurnsThePageAQuarterCounterClockwise) {
  buffer().rotate = true;
  // Grey values survive the saturation round trip exactly.
  auto value = [](long x, long row) { return uint8_t(10 * row + x); };
  Result r = Process(3, 2, [&](long x, long row) { return Bytes(3, value(x, row)); });
  ASSERT_NE(r->Pixels, nullptr);
  ASSERT_EQ(r->Width, 2);
  ASSERT_EQ(r->Height, 3);
  for (long row = 0; row < 3; ++row) {
    for (long x = 0; x < 2; ++x) {
      EXPECT_EQ(PixelAt(*r.image, x, row), Bytes(3, value(row, 2 - 1 - x))) << row << "," << x;
    }
  }
}

struct ResolutionCase {
  int mode;
  bool rotate;
  long width, height;
  int expectWidth, expectHeight;
};

void PrintTo(const ResolutionCase& c, std::ostream* os) {
  *os << "mode " << c.mode << (c.rotate ? " rotated " : " ") << c.width << "x" << c.height;
}

class ResolutionAdjustment : public PhotoBufferTest,
                             public ::testing::WithParamInterface<ResolutionCase> {};

TEST_P(ResolutionAdjustment, ResizesAsTheModeSays) {
  const ResolutionCase& c = GetParam();
  buffer().resolutionMode = c.mode;
  buffer().rotate = c.rotate;
  Result r = Process(c.width, c.height, Flat(40, 50, 60));
  ASSERT_NE(r->Pixels, nullptr);
  EXPECT_EQ(r->Width, c.expectWidth);
  EXPECT_EQ(r->Height, c.expectHeight);
}

INSTANTIATE_TEST_SUITE_P(
    All, ResolutionAdjustment,
    ::testing::Values(ResolutionCase{2, false, 36, 24, 18, 24},  // width halves
                      ResolutionCase{2, true, 24, 36, 18, 24},   // after the turn
                      ResolutionCase{1, true, 12, 37, 18, 24},   // halved, doubled
                      ResolutionCase{1, false, 12, 37, 12, 37},  // landscape: as is
                      ResolutionCase{0, false, 12, 37, 12, 37},
                      ResolutionCase{2, false, 1241, 2, 620, 2},  // truncates
                      ResolutionCase{2, false, 1, 3, 1, 3}),      // nothing to halve
    [](const ::testing::TestParamInfo<ResolutionCase>& info) {
      const ResolutionCase& c = info.param;
      return "Mode" + std::to_string(c.mode) + (c.rotate ? "Turned_" : "_") +
             std::to_string(c.width) + "x" + std::to_string(c.height);
    });

TEST_F(PhotoBufferTest, BorderFitsA6x4PageAndLeavesTheLastRowWhite) {
  buffer().Alloc(Record(3, 300));  // 1844 x 1240 dots, margins 60 and 60
  buffer().border = true;
  Result r = Process(1844, 1240, Flat(100, 100, 100));
  ASSERT_NE(r->Pixels, nullptr);
  EXPECT_EQ(r->Width, 1665);
  EXPECT_EQ(r->Height, 1120);
  // Strips of 1000 and 240 rows scale to 903 and 216: 1119 rows filled.
  EXPECT_EQ(PixelAt(*r.image, 800, 1118), Bytes(3, 100));
  for (long x : {0L, 832L, 1664L}) EXPECT_EQ(PixelAt(*r.image, x, 1119), Bytes(3, 255));
}

TEST_F(PhotoBufferTest, BorderStripThatScalesToNoRowsAddsNone) {
  buffer().Alloc(Record(3, 300));  // scale 0.9032258
  buffer().border = true;
  // 1001 rows: strips of 1000 and 1 row, scaled to 903 and 0.
  Result r = Process(20, 1001, Flat(100, 100, 100));
  ASSERT_NE(r->Pixels, nullptr);
  EXPECT_EQ(r->Width, 18);
  EXPECT_EQ(r->Height, 904);
  EXPECT_EQ(PixelAt(*r.image, 5, 902), Bytes(3, 100));
  EXPECT_EQ(PixelAt(*r.image, 5, 903), Bytes(3, 255));
}

TEST_F(PhotoBufferTest, BorderThatFitsThePageToNothingGivesARecordWithoutPixels) {
  buffer().Alloc(Record(3, 300));  // scale 0.9032258
  buffer().border = true;
  // 1 x 7 fits to 0 x 6 and 7 x 1 to 6 x 0: there is no fitted bitmap, so
  // the page's area prints white.
  const long sizes[][2] = {{1, 7}, {7, 1}};
  for (const auto& [width, height] : sizes) {
    CountingAllocator allocator;
    {
      ScopedPixelAllocator scope(&allocator);
      Result r = Process(width, height, Flat(100, 100, 100));
      EXPECT_EQ(r->Pixels, nullptr) << width << "x" << height;
      EXPECT_EQ(r->Width * r->Height, 0) << width << "x" << height;
    }
    EXPECT_TRUE(allocator.live.empty()) << width << "x" << height;
  }
}

TEST_F(PhotoBufferTest, BorderWithoutMediaDimensionsLeavesThePageAsItIs) {
  // The buffer starts with no media record: nothing to scale by.
  buffer().border = true;
  Result r = Process(30, 20, Flat(100, 100, 100));
  ASSERT_NE(r->Pixels, nullptr);
  EXPECT_EQ(r->Width, 30);
  EXPECT_EQ(r->Height, 20);
  EXPECT_EQ(PixelAt(*r.image, 29, 19), Bytes(3, 100));
}

TEST_F(PhotoBufferTest, AllocKeepsTheLatestDifferentRecord) {
  buffer().border = true;
  const DeviceMediaBufferInfo fourBySix = Record(3, 300);    // scale 0.9032258
  const DeviceMediaBufferInfo fiveBySeven = Record(2, 300);  // scale 0.9224806
  EXPECT_EQ(buffer().Alloc(fourBySix), 0);
  EXPECT_EQ(buffer().Alloc(fourBySix), 0);
  EXPECT_EQ(Process(100, 100, Flat(9, 9, 9))->Width, 90);
  EXPECT_EQ(buffer().Alloc(fiveBySeven), 0);
  EXPECT_EQ(Process(100, 100, Flat(9, 9, 9))->Width, 92);
}

// Each tone curve reaches only the byte it is meant for.
struct ToneCase {
  const char* name;
  void (*set)(PhotoImageBuffer&);
  Bytes in, out;
};

const ToneCase kToneCases[] = {
    {"GammaOnByte0", [](PhotoImageBuffer& b) { b.gamma[0] = 200; }, {64, 64, 64}, {128, 64, 64}},
    {"GammaOnByte2", [](PhotoImageBuffer& b) { b.gamma[2] = 50; }, {128, 128, 128}, {128, 128, 64}},
    {"BrightnessOnByte1",
     [](PhotoImageBuffer& b) { b.brightness[1] = 100; },
     {128, 128, 128},
     {128, 154, 128}},
    {"ContrastOnByte2",
     [](PhotoImageBuffer& b) { b.contrast[2] = 1000; },
     {32, 32, 32},
     {32, 32, 0}},
    // Saturation sees byte 2 as red: (50, 100, 200) is red 200, blue 50.
    {"SaturationGreys",
     [](PhotoImageBuffer& b) { b.saturation = -1000; },
     {50, 100, 200},
     {125, 125, 125}},
    {"SaturationDoubles",
     [](PhotoImageBuffer& b) { b.saturation = 1000; },
     {50, 100, 200},
     {0, 83, 250}},
    // A gamma of 0 is refused and leaves the plane as it was.
    {"GammaZeroRefused", [](PhotoImageBuffer& b) { b.gamma[1] = 0; }, {64, 64, 64}, {64, 64, 64}},
};

void PrintTo(const ToneCase& c, std::ostream* os) { *os << c.name; }

class ToneCurves : public PhotoBufferTest, public ::testing::WithParamInterface<ToneCase> {
 protected:
  void Neutral() {
    PhotoImageBuffer& b = buffer();
    for (int k = 0; k < 3; ++k) {
      b.gamma[k] = 100;
      b.brightness[k] = 0;
      b.contrast[k] = 0;
    }
    b.saturation = 0;
  }
};

TEST_P(ToneCurves, ApplyWithColourAdjustmentOnly) {
  const ToneCase& c = GetParam();
  Neutral();
  c.set(buffer());
  buffer().colorAdjustment = true;
  EXPECT_EQ(PixelAt(*Process(2, 2, Flat(c.in[0], c.in[1], c.in[2])).image, 1, 1), c.out);
  buffer().colorAdjustment = false;
  EXPECT_EQ(PixelAt(*Process(2, 2, Flat(c.in[0], c.in[1], c.in[2])).image, 1, 1), c.in);
}

INSTANTIATE_TEST_SUITE_P(All, ToneCurves, ::testing::ValuesIn(kToneCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Monochrome ends in the luma of what the colour pipeline made, byte 0 red:
// saturation first turns (50, 100, 200) into (0, 83, 250).
TEST_F(PhotoBufferTest, MonochromeGivesTheLumaInAllThreeBytes) {
  const struct {
    Bytes in;
    bool saturate;
    uint8_t grey;
  } cases[] = {{{255, 0, 0}, false, 76},      {{0, 255, 0}, false, 150},
               {{0, 0, 255}, false, 29},      {{50, 100, 200}, false, 96},
               {{255, 255, 255}, false, 255}, {{50, 100, 200}, true, 77}};
  for (const auto& c : cases) {
    buffer().colorAdjustment = c.saturate;
    buffer().saturation = 1000;
    buffer().monochrome = true;
    Result r = Process(2, 2, Flat(c.in[0], c.in[1], c.in[2]));
    EXPECT_EQ(PixelAt(*r.image, 1, 1), Bytes(3, c.grey)) << int(c.in[0]) << " " << c.saturate;
  }
}

TEST_F(PhotoBufferTest, SharpeningAppliesWithoutColourAdjustment) {
  buffer().sharpness = 1000;
  Result r =
      Process(3, 3, [](long x, long row) { return Bytes(3, x == 1 && row == 1 ? 100 : 90); });
  EXPECT_EQ(PixelAt(*r.image, 1, 1), Bytes(3, 180));
}

TEST_F(PhotoBufferTest, PageWithoutRowsOrColumnsGivesARecordWithoutPixels) {
  for (auto [width, height] : {std::pair{0L, 5L}, {5L, 0L}, {-3L, 5L}}) {
    Result r(buffer().ColorProcess(GlobalAlloc(0, 16), width, height, 0));
    ASSERT_NE(r.image, nullptr);
    EXPECT_EQ(r->Pixels, nullptr);
  }
  Result none(buffer().ColorProcess(nullptr, 4, 4, 0));
  ASSERT_NE(none.image, nullptr);
  EXPECT_EQ(none->Pixels, nullptr);
}

// Memory running out at any allocation of the pipeline, with every step in
// play: the result has no pixels and nothing leaks.
TEST_F(PhotoBufferTest, MemoryExhaustionAnywhereGivesARecordWithoutPixels) {
  buffer().Alloc(Record(3, 600));
  buffer().rotate = true;
  buffer().resolutionMode = 1;
  buffer().border = true;
  buffer().sharpness = 650;
  int allocations = 0;
  {
    CountingAllocator counter;
    ScopedPixelAllocator scope(&counter);
    Result r = Process(12, 40, Flat(10, 120, 200));
    ASSERT_NE(r->Pixels, nullptr);
    allocations = counter.calls;
  }
  ASSERT_GT(allocations, 5);  // page, rotation, resize, fit, strips, sharpening, ...
  for (int failAt = 1; failAt < allocations; ++failAt) {
    CountingAllocator allocator;
    allocator.failAt = failAt;
    {
      ScopedPixelAllocator scope(&allocator);
      Result r = Process(12, 40, Flat(10, 120, 200));
      ASSERT_NE(r.image, nullptr);
      EXPECT_EQ(r->Pixels, nullptr) << "allocation " << failAt << " failed";
    }
    EXPECT_TRUE(allocator.live.empty()) << "allocation " << failAt << " failed";
  }
}

// ---------------------------------------------------------------- Send

// Reads the plane blocks of a stream: each 1120 + S x H bytes.
struct PlaneBlock {
  const uint8_t* block;
  long width, height, stride;
  uint8_t At(long row, long column) const { return block[1120 + row * stride + column]; }
};

uint32_t LE4(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

std::vector<PlaneBlock> SplitPlanes(const Bytes& stream, long width, long height) {
  const long stride = (width + 3) & ~3L;
  const size_t length = 1120 + size_t(stride * height);
  std::vector<PlaneBlock> planes;
  EXPECT_EQ(stream.size() % length, 0u);
  for (size_t at = 0; at + length <= stream.size(); at += length) {
    planes.push_back({stream.data() + at, width, height, stride});
  }
  return planes;
}

// A small panel record: W x H block, bands of `band` rows.
DeviceMediaBufferInfo SmallPanel(int width, int height, int band, int count = 1, int gap = 0) {
  DeviceMediaBufferInfo panel;
  memset(&panel, 0, sizeof panel);
  panel.mediaId = 3;
  panel.headWidth = width;
  panel.outPageHeight = height;
  panel.outImageHeight = band;
  panel.outGap = gap;
  panel.outImageCount = count;
  panel.resX = panel.resY = 300;
  return panel;
}

struct HeaderCase {
  int resolution;
  uint32_t xPerMetre, yPerMetre;
  long height;
};

void PrintTo(const HeaderCase& c, std::ostream* os) { *os << c.resolution << " dpi"; }

class PlaneHeaders : public PhotoBufferTest, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(PlaneHeaders, AreGreyBmpFilesInImagePackets) {
  const HeaderCase& c = GetParam();
  DeviceMediaBufferInfo panel = Record(3, c.resolution);
  ASSERT_EQ(panel.headWidth, 1920);
  ASSERT_EQ(panel.outPageHeight, c.height);
  ASSERT_EQ(buffer().Send(&device_, &panel), 0);
  const Bytes stream = Stream();
  const size_t pixelBytes = size_t(1920) * c.height;
  ASSERT_EQ(stream.size(), 3 * (1120 + pixelBytes));
  const char* names[] = {"YPLANE", "MPLANE", "CPLANE"};
  char length[16];
  snprintf(length, sizeof length, "%08zu", 1088 + pixelBytes);
  for (int p = 0; p < 3; ++p) {
    const uint8_t* b = stream.data() + p * (1120 + pixelBytes);
    EXPECT_EQ(std::string(b, b + 32),
              std::string("\x1bPIMAGE ") + names[p] + "          " + length);
    EXPECT_EQ(std::string(b + 32, b + 34), "BM");
    const uint32_t fields[][2] = {{34, uint32_t(1088 + pixelBytes)},
                                  {38, 0},
                                  {42, 1088},
                                  {46, 40},
                                  {50, 1920},
                                  {54, uint32_t(c.height)},
                                  {62, 0},
                                  {66, uint32_t(pixelBytes)},
                                  {70, c.xPerMetre},
                                  {74, c.yPerMetre},
                                  {78, 256},
                                  {82, 256}};
    for (const auto& [offset, value] : fields)
      EXPECT_EQ(LE4(b + offset), value) << "offset " << offset;
    EXPECT_EQ(b[58] | b[59] << 8, 1);
    EXPECT_EQ(b[60] | b[61] << 8, 8);
    for (int v = 0; v < 256; ++v) {
      ASSERT_EQ(LE4(b + 86 + 4 * v), uint32_t(v * 0x010101)) << "palette " << v;
    }
    EXPECT_EQ(Bytes(b + 1110, b + 1120), Bytes(10, 0));
    // No image stored: every pixel is white.
    EXPECT_EQ(b[1120], 0xFF);
    EXPECT_EQ(b[1120 + pixelBytes - 1], 0xFF);
  }
}

INSTANTIATE_TEST_SUITE_P(All, PlaneHeaders,
                         ::testing::Values(HeaderCase{300, 11811, 11811, 1240},
                                           HeaderCase{600, 11811, 23622, 2480}),
                         [](const ::testing::TestParamInfo<HeaderCase>& info) {
                           return std::to_string(info.param.resolution) + "dpi";
                         });

TEST_F(PhotoBufferTest, SlotPlanesTakeByteZeroAsCyanAndByteTwoAsYellow) {
  Result image = Process(4, 4, Flat(10, 20, 30));
  buffer().SetImageData(0, image.image);
  DeviceMediaBufferInfo panel = SmallPanel(4, 4, 4);
  ASSERT_EQ(buffer().Send(&device_, &panel), 0);
  const Bytes stream = Stream();
  const auto planes = SplitPlanes(stream, 4, 4);
  ASSERT_EQ(planes.size(), 3u);
  EXPECT_EQ(planes[0].At(2, 2), 30);  // Y: blue
  EXPECT_EQ(planes[1].At(2, 2), 20);  // M: green
  EXPECT_EQ(planes[2].At(2, 2), 10);  // C: red
}

TEST_F(PhotoBufferTest, ImagesAreCentredAcrossTheHeadAndInTheirBands) {
  // A 1665 x 1120 image on the 1920-dot head, in a 1240-row band.
  BITMAPHANDLE image{};
  Bytes pixels(size_t(PageStride(1665)) * 1120, 0);
  ASSERT_EQ(IL_CreateBitmap(&image, sizeof image, 2, 1665, 1120, 24, 1, nullptr, 4, pixels.data(),
                            pixels.size()),
            1);
  buffer().SetImageData(0, &image);
  DeviceMediaBufferInfo panel = Record(3, 300);
  buffer().Alloc(panel);
  ASSERT_EQ(buffer().Send(&device_, &panel), 0);
  const Bytes stream = Stream();
  const auto planes = SplitPlanes(stream, 1920, 1240);
  ASSERT_EQ(planes.size(), 3u);
  const PlaneBlock& y = planes[0];
  EXPECT_EQ(y.At(60, 126), 0xFF);
  EXPECT_EQ(y.At(60, 127), 0);         // first column of the image
  EXPECT_EQ(y.At(60, 127 + 1664), 0);  // last column
  EXPECT_EQ(y.At(60, 127 + 1665), 0xFF);
  EXPECT_EQ(y.At(59, 500), 0xFF);  // (1240 - 1120) / 2 rows below it
  EXPECT_EQ(y.At(60 + 1119, 500), 0);
  EXPECT_EQ(y.At(60 + 1120, 500), 0xFF);
}

// Plane rows carry their row number, so placement can be read back.
BITMAPHANDLE RowNumbered(Bytes* pixels, int width, int height) {
  BITMAPHANDLE image{};
  pixels->assign(size_t(PageStride(width)) * height, 0);
  for (int row = 0; row < height; ++row)
    memset(pixels->data() + row * PageStride(width), row, size_t(3 * width));
  IL_CreateBitmap(&image, sizeof image, 2, uint32_t(width), height, 24, 1, nullptr, 4,
                  pixels->data(), pixels->size());
  return image;
}

TEST_F(PhotoBufferTest, SecondImageBandStartsAfterGapAndSinglePanelHeight) {
  buffer().Alloc(Record(3, 300));  // stored outPageHeight 1240
  // Bands of about 190 rows: the second image lies across rows 1344 and 1345.
  buffer().threads = 13;
  Bytes a, b;
  BITMAPHANDLE first = RowNumbered(&a, 8, 100);
  BITMAPHANDLE second = RowNumbered(&b, 8, 100);
  buffer().SetImageData(0, &first);
  buffer().SetImageData(1, &second);
  DeviceMediaBufferInfo panel = SmallPanel(8, 2498, 100, 2, 18);
  ASSERT_EQ(buffer().Send(&device_, &panel), 0);
  const Bytes stream = Stream();
  const auto planes = SplitPlanes(stream, 8, 2498);
  ASSERT_EQ(planes.size(), 3u);
  EXPECT_EQ(planes[2].At(0, 0), 0);
  EXPECT_EQ(planes[2].At(99, 0), 99);
  EXPECT_EQ(planes[2].At(100, 0), 0xFF);
  EXPECT_EQ(planes[2].At(1257, 0), 0xFF);
  EXPECT_EQ(planes[2].At(1258, 0), 0);
  EXPECT_EQ(planes[2].At(1258 + 99, 0), 99);
}

TEST_F(PhotoBufferTest, TallPlaneLosesItsTopRowsShortPlaneIsCentred) {
  Bytes a, b;
  BITMAPHANDLE tall = RowNumbered(&a, 4, 14);
  BITMAPHANDLE shortImage = RowNumbered(&b, 4, 6);
  DeviceMediaBufferInfo panel = SmallPanel(4, 10, 10);
  buffer().threads = 4;  // bands of rows 0-1, 2-4, 5-6 and 7-9: both images cross them
  buffer().SetImageData(0, &tall);
  ASSERT_EQ(buffer().Send(&device_, &panel), 0);
  buffer().SetImageData(0, &shortImage);
  ASSERT_EQ(buffer().Send(&device_, &panel), 0);
  const Bytes stream = Stream();
  const auto planes = SplitPlanes(stream, 4, 10);
  ASSERT_EQ(planes.size(), 6u);
  for (int row = 0; row < 10; ++row) EXPECT_EQ(planes[0].At(row, 1), row);  // rows 10..13 dropped
  EXPECT_EQ(planes[3].At(1, 1), 0xFF);
  EXPECT_EQ(planes[3].At(2, 1), 0);
  EXPECT_EQ(planes[3].At(7, 1), 5);
  EXPECT_EQ(planes[3].At(8, 1), 0xFF);
}

TEST_F(PhotoBufferTest, OnlyTheImagesOfThePanelAreSent) {
  Result image = Process(4, 4, Flat(0, 0, 0));
  buffer().SetImageData(1, image.image);
  DeviceMediaBufferInfo panel = SmallPanel(4, 4, 4, 1);
  ASSERT_EQ(buffer().Send(&device_, &panel), 0);
  const Bytes stream = Stream();
  for (const PlaneBlock& plane : SplitPlanes(stream, 4, 4)) {
    for (int row = 0; row < 4; ++row) EXPECT_EQ(plane.At(row, 2), 0xFF);
  }
}

TEST_F(PhotoBufferTest, EmptyImageLeavesTheSlotWhite) {
  Result empty(buffer().ColorProcess(nullptr, 0, 0, 0));
  Result black = Process(4, 4, Flat(0, 0, 0));
  buffer().SetImageData(0, black.image);
  buffer().SetImageData(0, empty.image);  // replaces the black planes
  DeviceMediaBufferInfo panel = SmallPanel(4, 4, 4);
  ASSERT_EQ(buffer().Send(&device_, &panel), 0);
  const Bytes stream = Stream();
  for (const PlaneBlock& plane : SplitPlanes(stream, 4, 4)) EXPECT_EQ(plane.At(1, 1), 0xFF);
}

TEST_F(PhotoBufferTest, StoringIntoAFilledSlotReleasesItsPlanes) {
  CountingAllocator allocator;
  {
    ScopedPixelAllocator scope(&allocator);
    Result image = Process(4, 4, Flat(1, 2, 3));
    buffer().SetImageData(0, image.image);
    buffer().SetImageData(0, image.image);  // a batch that was not sent
    EXPECT_EQ(allocator.live.size(), 1u + 3u);
    buffer().SetImageData(7, image.image);  // no such slot: ignored
    buffer().SetImageData(-1, image.image);
    EXPECT_EQ(allocator.live.size(), 1u + 3u);
    buffer().Clear();
    EXPECT_EQ(allocator.live.size(), 1u);
  }
  EXPECT_TRUE(allocator.live.empty());
}

TEST_F(PhotoBufferTest, PanelWithoutMediaSendsEmptyPlanes) {
  DeviceMediaBufferInfo none;
  memset(&none, 0, sizeof none);
  none.mediaId = -1;
  ASSERT_EQ(buffer().Send(&device_, &none), 0);
  const Bytes stream = Stream();
  ASSERT_EQ(stream.size(), 3u * 1120);
  EXPECT_EQ(std::string(stream.begin() + 24, stream.begin() + 32), "00001088");
}

TEST_F(PhotoBufferTest, SendFailsWithThreeWhenTheBlockCannotBeAllocated) {
  DeviceMediaBufferInfo panel = SmallPanel(4, 4, 4);
  CountingAllocator allocator;
  allocator.failAt = 0;
  {
    ScopedPixelAllocator scope(&allocator);
    EXPECT_EQ(buffer().Send(&device_, &panel), 3);
  }
  EXPECT_TRUE(Stream().empty());
}

TEST_F(PhotoBufferTest, SendFailsWithThreeWhenAPlaneCannotBeWritten) {
  FILE* full = fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  setvbuf(full, nullptr, _IONBF, 0);
  device_.SetOutput(full);
  DeviceMediaBufferInfo panel = SmallPanel(4, 4, 4);
  EXPECT_EQ(buffer().Send(&device_, &panel), 3);
  device_.SetOutput(output_);
  fclose(full);
}

TEST_F(PhotoBufferTest, PanelTooLargeForTheLengthFieldIsRefused) {
  DeviceMediaBufferInfo panel = SmallPanel(10000, 10000, 10000);
  EXPECT_EQ(buffer().Send(&device_, &panel), 3);
  EXPECT_TRUE(Stream().empty());
}

// ---------------------------------------------------------------- Threads

struct PageJob {
  const char* name;
  long width, height;
  int resolution, resolutionMode;
  bool rotate, border;
  int32_t sharpness;
  bool colorAdjustment, monochrome;
  uint64_t digest;  // FNV-1a of the stream, the same on every machine
};

uint64_t Fnv1a(const Bytes& bytes) {
  uint64_t hash = 0xcbf29ce484222325u;
  for (const uint8_t byte : bytes) hash = (hash ^ byte) * 0x100000001b3u;
  return hash;
}

// The plane packets of one page through the device object on `threads`
// threads, as the page loop makes and sends it.
Bytes PageStream(const PageJob& job, int threads) {
  char* data = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&data, &size);
  {
    DeviceEntry_QV46 device;
    device.SetOutput(out);
    device.resolution = job.resolution;
    device.resolutionMode = job.resolutionMode;
    EXPECT_EQ(device.SetMediaInfo(device.mediaInfo, 3, 1.53), 0);
    device.rotate = job.rotate;
    device.border = job.border;
    device.sharpness = job.sharpness;
    device.colorAdjustment = job.colorAdjustment;
    for (int k = 0; k < 3; ++k) {
      device.gamma[k] = 80 + 30 * k;
      device.brightness[k] = 40 - 40 * k;
      device.contrast[k] = 200 - 200 * k;
    }
    device.saturation = 300;
    device.monochrome = job.monochrome;
    device.threads = threads;
    // Noise with edges in it, so that every band boundary changes something.
    char* page = static_cast<char*>(MakePage(job.width, job.height, [](long x, long row) {
      const unsigned v = unsigned(x * 2654435761u ^ row * 40503u);
      return Bytes{uint8_t(v), uint8_t(v >> 8), uint8_t((x / 7 + row / 5) % 2 ? 230 : 20)};
    }));
    BITMAPHANDLE* image = device.MakeImageData(page, job.width, job.height, 0);
    EXPECT_NE(image, nullptr);
    if (image) {
      EXPECT_NE(image->Pixels, nullptr) << job.name;
      device.SetImageData(0, image);
      EXPECT_EQ(device.Send(&device.mediaInfo), 0) << job.name;
      IL_FreeBitmap(image);
      delete image;
    }
  }
  fclose(out);
  Bytes stream(data, data + size);
  free(data);
  return stream;
}

// Every thread count sends the bytes one thread sends, and those are the
// bytes every machine sends: `make cross-test` runs this on arm64 and armhf.
TEST(PageThreads, EveryThreadCountSendsTheSameBytes) {
  const PageJob jobs[] = {
      // Portrait at 300x600: read turned, resampled, fitted in strips.
      {"portrait 300x600", 240, 731, 600, 1, true, true, 650, true, false, 0x84788689ee88025cu},
      {"landscape 600x300", 467, 150, 600, 2, false, true, -500, true, false, 0x34cbf8110867fd66u},
      {"plain, no border", 101, 67, 300, 0, false, false, 1000, false, false, 0xad8897a80e2b71b3u},
      {"turned, not resampled", 200, 90, 300, 0, true, true, 300, true, true, 0x0e7e72e8e4c94ea1u},
      // Fewer rows than threads at every step.
      {"two rows", 40, 2, 300, 0, false, false, 650, true, false, 0x17bbcbfe7708eeebu},
      {"one column", 1, 9, 300, 0, false, false, 650, true, false, 0xf69962bf2bdd575au},
  };
  for (const PageJob& job : jobs) {
    const Bytes one = PageStream(job, 1);
    ASSERT_GT(one.size(), 1000u) << job.name;
    EXPECT_EQ(Fnv1a(one), job.digest) << job.name << ": 0x" << std::hex << Fnv1a(one);
    for (int threads = 2; threads <= 4; ++threads) {
      EXPECT_TRUE(PageStream(job, threads) == one) << job.name << " on " << threads << " threads";
    }
  }
}

}  // namespace
