// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The page loop driven with a recording sink: page buffers, batching with
// layout count and half-panel parity, bad raster input and cancelling.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FilterTestSupport.h"
#include "filter/Common.h"
#include "filter/FilterDriver.h"
#include "imglib/ImgLib.h"

using qv46test::MakeRaster;
using qv46test::MemoryRaster;
using qv46test::PatternByte;
using qv46test::RasterPage;

namespace {

// Records what the page loop hands over. Images are records without pixels
// whose Width carries the page number.
class RecordingSink : public PageSink {
 public:
  struct Page {
    long width, height;
    std::vector<uint8_t> buffer;
  };

  _tagBITMAPHANDLE* MakeImage(char* pageBuffer, long width, long height, int) override {
    const size_t size = PageStride(static_cast<unsigned>(width)) * static_cast<size_t>(height);
    pages.push_back({width, height, std::vector<uint8_t>(pageBuffer, pageBuffer + size)});
    std::free(pageBuffer);
    if (cancelWhileProcessing) Canceled = 1;
    auto* image = new BITMAPHANDLE{};
    image->Width = static_cast<int32_t>(pages.size() - 1);
    return image;
  }

  void StoreImage(int slot, _tagBITMAPHANDLE* image) override {
    // Slots fill from 0 in order within a batch.
    EXPECT_EQ(static_cast<int>(current.size()), slot);
    current.push_back(image->Width);
  }

  void SendBatch(int count) override {
    EXPECT_EQ(static_cast<size_t>(count), current.size());
    batches.push_back(current);
    current.clear();
  }

  bool cancelWhileProcessing = false;
  std::vector<Page> pages;
  std::vector<int> current;
  std::vector<std::vector<int>> batches;  // page numbers per batch
};

class PageLoop : public testing::Test {
 protected:
  void SetUp() override { Canceled = 0; }
  void TearDown() override { Canceled = 0; }
};

std::vector<RasterPage> PagesWithCopies(const std::vector<unsigned>& copies) {
  std::vector<RasterPage> pages;
  for (unsigned n : copies) {
    RasterPage page;
    page.numCopies = n;
    pages.push_back(page);
  }
  return pages;
}

struct BatchCase {
  const char* name;
  std::vector<unsigned> copies;  // per page
  int layout;
  int parity;
  std::vector<std::vector<int>> batches;
};

class Batching : public PageLoop, public testing::WithParamInterface<BatchCase> {};

TEST_P(Batching, StoresOneImagePerCopyAndSendsFullBatches) {
  const BatchCase& c = GetParam();
  MemoryRaster raster(MakeRaster(PagesWithCopies(c.copies)));
  RecordingSink sink;
  RunPageLoop(raster.Raster(), sink, {c.layout, c.parity}, SigtermSeen);
  EXPECT_EQ(c.batches, sink.batches);
  EXPECT_EQ(c.copies.size(), sink.pages.size());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Batching,
    testing::Values(BatchCase{"NoPages", {}, 2, 0, {}},
                    BatchCase{"OneCopyWaitsForTheEnd", {1}, 2, 0, {{0}}},
                    BatchCase{"FirstCopyAloneOnOddHalves", {3}, 2, 1, {{0}, {0, 0}}},
                    BatchCase{"PagesPair", {1, 1}, 2, 0, {{0, 1}}},
                    BatchCase{"CopiesAndPagesPairFreely", {2, 2}, 2, 1, {{0}, {0, 1}, {1}}},
                    BatchCase{"OddCountEndsAlone", {1, 1, 1}, 2, 0, {{0, 1}, {2}}},
                    BatchCase{"ZeroCopiesStoreNothing", {0}, 2, 1, {}},
                    BatchCase{"ZeroCopiesOnPageOneEndTheOddRule", {0, 2}, 2, 1, {{1, 1}}},
                    BatchCase{"NegativeOddIsNotOdd", {2}, 2, -1, {{0, 0}}},
                    BatchCase{"SinglesNeverWait", {2, 1}, 1, 0, {{0}, {0}, {1}}},
                    BatchCase{"SinglesWithOddHalves", {1, 1}, 1, 1, {{0}, {1}}},
                    BatchCase{"LayoutBelowOneIsOne", {2}, 0, 0, {{0}, {0}}}),
    [](const testing::TestParamInfo<BatchCase>& info) { return info.param.name; });

// The page buffer a page of `width` x `height` must become: rows bottom-up,
// each row the line's first 3 x width bytes, then zero up to the stride.
std::vector<uint8_t> ExpectedBuffer(unsigned page, unsigned width, unsigned height,
                                    unsigned bytesPerLine, unsigned rowsRead) {
  const size_t stride = PageStride(width);
  std::vector<uint8_t> buffer(stride * height, 0);
  for (unsigned y = 0; y < rowsRead; ++y) {
    uint8_t* row = buffer.data() + (height - 1 - y) * stride;
    const unsigned bytesPerPixel = bytesPerLine / width;
    const unsigned copied = std::min(bytesPerLine, 3 * width);
    for (unsigned i = 0; i < copied; ++i) {
      row[i] = PatternByte(page, i / bytesPerPixel, y, i % bytesPerPixel);
    }
  }
  return buffer;
}

TEST_F(PageLoop, PageBuffersAreBottomUpWithZeroPadding) {
  struct Case {
    unsigned width, height;
    size_t stride;
  };
  const Case cases[] = {{1, 3, 4}, {4, 2, 12}, {5, 4, 16}, {7, 1, 24}};
  for (const Case& c : cases) {
    RasterPage page;
    page.width = c.width;
    page.height = c.height;
    MemoryRaster raster(MakeRaster({page}));
    RecordingSink sink;
    RunPageLoop(raster.Raster(), sink, {1, 0}, SigtermSeen);
    ASSERT_EQ(1u, sink.pages.size());
    EXPECT_EQ(c.stride, PageStride(c.width));
    EXPECT_EQ(c.width, sink.pages[0].width);
    EXPECT_EQ(c.height, sink.pages[0].height);
    EXPECT_EQ(ExpectedBuffer(0, c.width, c.height, 3 * c.width, c.height), sink.pages[0].buffer)
        << c.width << "x" << c.height;
  }
}

TEST_F(PageLoop, ShortLinesFillOnlyTheStartOfEachRow) {
  // 8-bit grey: one byte per pixel, a third of what an RGB row needs.
  RasterPage page;
  page.width = 6;
  page.height = 3;
  page.bitsPerPixel = 8;
  MemoryRaster raster(MakeRaster({page}));
  RecordingSink sink;
  RunPageLoop(raster.Raster(), sink, {1, 0}, SigtermSeen);
  ASSERT_EQ(1u, sink.pages.size());
  EXPECT_EQ(ExpectedBuffer(0, 6, 3, 6, 3), sink.pages[0].buffer);
}

TEST_F(PageLoop, AStreamCutShortKeepsTheRowsReadAndTheJobGoesOn) {
  std::vector<RasterPage> pages(2);
  pages[1].height = 5;
  pages[1].rowsWritten = 2;
  MemoryRaster raster(MakeRaster(pages));
  RecordingSink sink;
  RunPageLoop(raster.Raster(), sink, {2, 0}, SigtermSeen);
  ASSERT_EQ(2u, sink.pages.size());
  EXPECT_EQ(ExpectedBuffer(1, 4, 5, 12, 2), sink.pages[1].buffer);
  EXPECT_EQ((std::vector<std::vector<int>>{{0, 1}}), sink.batches);
}

// Byte offset of the raster data at which page `page`, line `line` starts.
size_t OffsetOfLine(const std::vector<RasterPage>& pages, size_t page, unsigned line) {
  std::vector<RasterPage> before(pages.begin(), pages.begin() + static_cast<long>(page) + 1);
  before.back().rowsWritten = static_cast<int>(line);
  return MakeRaster(before).size();
}

TEST_F(PageLoop, PagesTooLargeToHoldEndTheJobBeforeTheirLinesAreRead) {
  struct Case {
    const char* name;
    unsigned width, height, bitsPerPixel;
  };
  const Case cases[] = {{"30 GB of pixels", 100000, 100000, 24},
                        {"lines of 90 MB", 30000000, 2, 24},
                        {"grey lines of 20 MB, 1.2 GB as RGB", 20000000, 20, 8}};
  for (const Case& c : cases) {
    std::vector<RasterPage> pages(3);
    pages[1].width = c.width;
    pages[1].height = c.height;
    pages[1].bitsPerPixel = c.bitsPerPixel;
    pages[1].rowsWritten = 1;
    MemoryRaster raster(MakeRaster(pages));
    RecordingSink sink;
    RunPageLoop(raster.Raster(), sink, {2, 0}, SigtermSeen);
    // The first page still goes out, alone; nothing after the page is read.
    EXPECT_EQ(1u, sink.pages.size()) << c.name;
    EXPECT_EQ((std::vector<std::vector<int>>{{0}}), sink.batches) << c.name;
    EXPECT_LT(raster.Delivered(), OffsetOfLine(pages, 1, 1)) << c.name;
  }
}

TEST_F(PageLoop, CopiesBeyondCupsRangeAreClamped) {
  const std::pair<unsigned, size_t> cases[] = {{9999, 9999}, {20000, 9999}};
  for (const auto& [copies, stored] : cases) {
    MemoryRaster raster(MakeRaster(PagesWithCopies({copies})));
    RecordingSink sink;
    RunPageLoop(raster.Raster(), sink, {1, 0}, SigtermSeen);
    EXPECT_EQ(stored, sink.batches.size()) << copies;
  }
}

TEST_F(PageLoop, CancelStopsTheJobAfterTheBatchUnderWay) {
  struct Case {
    const char* name;
    std::vector<unsigned> copies;
    int layout;
    size_t cancelAfterBatches;
    std::vector<std::vector<int>> batches;
  };
  const Case cases[] = {
      {"among the copies of a page", {20, 1}, 2, 2, {{0, 0}, {0, 0}}},
      {"after a page's last batch", {2, 1}, 1, 2, {{0}, {0}}},
      {"before the end-of-job batch", {2, 1}, 2, 1, {{0, 0}}},
  };
  for (const Case& c : cases) {
    MemoryRaster raster(MakeRaster(PagesWithCopies(c.copies)));
    RecordingSink sink;
    RunPageLoop(raster.Raster(), sink, {c.layout, 0},
                [&] { return sink.batches.size() >= c.cancelAfterBatches; });
    EXPECT_EQ(c.batches, sink.batches) << c.name;
  }
}

TEST_F(PageLoop, CancelWhileReadingLinesSendsNothingMore) {
  std::vector<RasterPage> pages(2);
  for (RasterPage& page : pages) {
    page.width = 64;
    page.height = 40;
  }
  struct Case {
    const char* name;
    size_t page;
    int layout;
    size_t pagesMade;
    std::vector<std::vector<int>> batches;
  };
  const Case cases[] = {
      {"second page, singles", 1, 1, 1, {{0}}},
      {"second page, pairs: the stored image is dropped", 1, 2, 1, {}},
      {"first page", 0, 1, 0, {}},
  };
  for (const Case& c : cases) {
    Canceled = 0;
    MemoryRaster raster(MakeRaster(pages), static_cast<long>(OffsetOfLine(pages, c.page, 20)));
    RecordingSink sink;
    RunPageLoop(raster.Raster(), sink, {c.layout, 0}, SigtermSeen);
    EXPECT_EQ(c.pagesMade, sink.pages.size()) << c.name;
    EXPECT_EQ(c.batches, sink.batches) << c.name;
  }
}

TEST_F(PageLoop, CancelDuringProcessingStillSendsThatPagesBatches) {
  MemoryRaster raster(MakeRaster(PagesWithCopies({3, 1})));
  RecordingSink sink;
  sink.cancelWhileProcessing = true;
  RunPageLoop(raster.Raster(), sink, {2, 0}, SigtermSeen);
  // Copies 1 and 2 go out; copy 3 waits for a batch that never comes.
  EXPECT_EQ((std::vector<std::vector<int>>{{0, 0}}), sink.batches);
  EXPECT_EQ(1u, sink.pages.size());
}

}  // namespace
