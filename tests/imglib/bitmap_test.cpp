// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "ImgTestSupport.h"

namespace {

struct CreateCase {
  const char* name;
  bool nullHandle;
  int32_t recordSize;
  int32_t kind;
  uint32_t width;
  int32_t height;
  uint32_t bits;
  uint32_t order;
  bool palette;
  int32_t alignment;
  bool pixels;
  int64_t bytesDelta;  // added to pitch x height
  int status;
};

constexpr int32_t kRecord = sizeof(BITMAPHANDLE);

const CreateCase kCreateCases[] = {
    {"24-bit RGB", false, kRecord, 2, 5, 3, 24, 0, false, 4, true, 0, IL_SUCCESS},
    {"24-bit BGR", false, kRecord, 2, 5, 3, 24, 1, false, 4, true, 0, IL_SUCCESS},
    {"24-bit order 2 means BGR", false, kRecord, 2, 5, 3, 24, 2, false, 4, true, 0, IL_SUCCESS},
    {"8-bit", false, kRecord, 2, 5, 3, 8, 2, true, 4, true, 0, IL_SUCCESS},
    {"null handle", true, kRecord, 2, 5, 3, 24, 0, false, 4, true, 0, -13},
    {"null handle before record size", true, kRecord + 1, 2, 5, 3, 24, 0, false, 4, true, 0, -13},
    {"record size", false, kRecord - 8, 2, 5, 3, 24, 0, false, 4, true, 0, -789},
    {"record size before kind", false, kRecord + 8, 3, 5, 3, 24, 0, false, 4, true, 0, -789},
    {"kind 1", false, kRecord, 1, 5, 3, 24, 0, false, 4, true, 0, -13},
    {"width 0", false, kRecord, 2, 0, 3, 24, 0, false, 4, true, 0, -13},
    {"height 0", false, kRecord, 2, 5, 0, 24, 0, false, 4, true, 0, -13},
    {"negative height", false, kRecord, 2, 5, -3, 24, 0, false, 4, true, 0, -13},
    {"8-bit order 0", false, kRecord, 2, 5, 3, 8, 0, true, 4, true, 0, -13},
    {"8-bit without palette", false, kRecord, 2, 5, 3, 8, 2, false, 4, true, 0, -13},
    {"24-bit with palette", false, kRecord, 2, 5, 3, 24, 0, true, 4, true, 0, -27},
    {"24-bit order 3", false, kRecord, 2, 5, 3, 24, 3, false, 4, true, 0, -13},
    {"depth 1", false, kRecord, 2, 5, 3, 1, 0, false, 4, true, 0, -13},
    {"depth 16", false, kRecord, 2, 5, 3, 16, 0, false, 4, true, 0, -13},
    {"depth 32", false, kRecord, 2, 5, 3, 32, 0, false, 4, true, 0, -13},
    {"depth 48", false, kRecord, 2, 5, 3, 48, 0, false, 4, true, 0, -804},
    {"depth 64 before pixels", false, kRecord, 2, 5, 3, 64, 0, false, 4, false, 0, -804},
    {"depth 0", false, kRecord, 2, 5, 3, 0, 0, false, 4, true, 0, -27},
    {"depth 12", false, kRecord, 2, 5, 3, 12, 0, false, 4, true, 0, -27},
    {"alignment 8", false, kRecord, 2, 5, 3, 24, 0, false, 8, true, 0, -13},
    {"no pixels", false, kRecord, 2, 5, 3, 24, 0, false, 4, false, 0, -13},
    {"one byte short", false, kRecord, 2, 5, 3, 24, 0, false, 4, true, -1, -13},
    {"one byte over", false, kRecord, 2, 5, 3, 24, 0, false, 4, true, 1, -13},
    // 0x0AAAAAAB x 24 bits wraps 32 bits to a 24-bit row: refused, not wrapped.
    {"row bits wrap 32 bits", false, kRecord, 2, 0x0AAAAAABu, 1, 24, 0, false, 4, true, 0, -13},
    {"width beyond 31 bits", false, kRecord, 2, 0x80000000u, 1, 8, 2, true, 4, true, 0, -13},
};

TEST(CreateBitmap, ChecksInOrderAndFillsTheHandle) {
  std::vector<uint8_t> pixels(64), palette(1024);
  for (const CreateCase& c : kCreateCases) {
    SCOPED_TRACE(c.name);
    BITMAPHANDLE h;
    std::memset(&h, 0x5C, sizeof h);
    const BITMAPHANDLE before = h;
    const uint64_t pitch = ((static_cast<uint64_t>(c.width) * c.bits + 31) / 32) * 4;
    const uint64_t bytes =
        pitch * static_cast<uint64_t>(c.height > 0 ? c.height : 0) + c.bytesDelta;
    const int status =
        IL_CreateBitmap(c.nullHandle ? nullptr : &h, c.recordSize, c.kind, c.width, c.height,
                        c.bits, c.order, c.palette ? palette.data() : nullptr, c.alignment,
                        c.pixels ? pixels.data() : nullptr, bytes);
    EXPECT_EQ(status, c.status);
    if (status != IL_SUCCESS) {
      EXPECT_EQ(std::memcmp(&before, &h, sizeof h), 0) << "a refused call changed the handle";
      continue;
    }
    EXPECT_EQ(h.Width, static_cast<int32_t>(c.width));
    EXPECT_EQ(h.Height, c.height);
    EXPECT_EQ(h.BitsPerPixel, static_cast<int32_t>(c.bits));
    EXPECT_EQ(h.BytesPerLine, static_cast<int32_t>(pitch));
    EXPECT_EQ(h.Pixels, pixels.data());
    EXPECT_EQ(h.MemoryHandle, nullptr);
    EXPECT_EQ(h.ImageSize, bytes);
    EXPECT_EQ(h.RowAlignment, 4);
    EXPECT_EQ(h.PaletteEntries, c.bits == 8 ? 256 : 0);
    EXPECT_EQ(h.Palette, c.bits == 8 ? palette.data() : nullptr);
    EXPECT_EQ(h.ColorOrder, c.bits == 8 ? 0 : (c.order == 0 ? 0 : 1));
  }
}

TEST(CreateBitmap, RowsStartOnFourByteBoundaries) {
  struct Case {
    uint32_t width, bits;
    int32_t pitch;
  };
  const Case cases[] = {{5, 24, 16}, {5, 8, 8},        {1, 24, 4},     {4, 24, 12},
                        {4, 8, 4},   {1844, 24, 5532}, {1665, 8, 1668}};
  std::vector<uint8_t> pixels(6000), palette(1024);
  for (const Case& c : cases) {
    BITMAPHANDLE h{};
    ASSERT_EQ(IL_CreateBitmap(&h, kRecord, 2, c.width, 1, c.bits, c.bits == 8 ? 2 : 0,
                              c.bits == 8 ? palette.data() : nullptr, 4, pixels.data(), c.pitch),
              IL_SUCCESS)
        << c.width << " pixels of " << c.bits << " bits";
    EXPECT_EQ(h.BytesPerLine, c.pitch);
  }
}

TEST(FreeBitmap, ReleasesOnlyWhatTheHandleOwns) {
  CountingAllocator allocator;
  ScopedPixelAllocator scope(&allocator);

  std::vector<uint8_t> caller(16, 7);
  BITMAPHANDLE wrapped{};
  ASSERT_EQ(IL_CreateBitmap(&wrapped, kRecord, 2, 5, 1, 24, 0, nullptr, 4, caller.data(), 16),
            IL_SUCCESS);
  IL_FreeBitmap(&wrapped);
  EXPECT_EQ(wrapped.Pixels, nullptr);
  EXPECT_EQ(wrapped.Width, 5) << "a freed handle keeps its dimensions";
  EXPECT_EQ(wrapped.Height, 1);
  EXPECT_EQ(caller, std::vector<uint8_t>(16, 7));

  Bitmap owned;
  MakeColor(owned, 3, 2, IL_ORDER_BGR, Flat(1));
  ASSERT_EQ(allocator.live.size(), 1u);
  IL_FreeBitmap(owned.Get());
  EXPECT_TRUE(allocator.live.empty());
  EXPECT_EQ(owned->MemoryHandle, nullptr);
  EXPECT_EQ(owned->Pixels, nullptr);
  EXPECT_EQ(owned->Palette, nullptr);
  IL_FreeBitmap(owned.Get());  // a second call has nothing left to release
  IL_FreeBitmap(nullptr);
  EXPECT_TRUE(allocator.live.empty());
}

TEST(CopyBitmapData, AlignsRowsOnTheLastRowsOfBoth) {
  struct Case {
    int sw, sh, dw, dh;
  };
  const Case cases[] = {{3, 10, 5, 12}, {5, 12, 3, 10}, {4, 7, 4, 9}, {6, 9, 6, 7}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.sw << "x" << c.sh << " into " << c.dw << "x" << c.dh);
    Bitmap source, destination;
    MakeColor(source, c.sw, c.sh, IL_ORDER_BGR,
              [](int x, int y, int b) { return 10 * y + 3 * x + b + 1; });
    MakeColor(destination, c.dw, c.dh, IL_ORDER_BGR, Flat(0xEE));
    ASSERT_EQ(IL_CopyBitmapData(destination.Get(), source.Get()), IL_SUCCESS);
    const int rows = std::min(c.sh, c.dh);
    const int copied = ((std::min(c.sw, c.dw) * 24 + 31) / 32) * 4;
    for (int y = 0; y < c.dh; ++y) {
      const int from = y - (c.dh - rows) + (c.sh - rows);  // source row landing on y
      for (int i = 0; i < destination->BytesPerLine; ++i) {
        const uint8_t got = destination->Pixels[y * destination->BytesPerLine + i];
        uint8_t want = i < c.dw * 3 ? 0xEE : 0xA5;
        if (y >= c.dh - rows && i < copied) want = source->Pixels[from * source->BytesPerLine + i];
        ASSERT_EQ(got, want) << "row " << y << " byte " << i;
      }
    }
  }
}

TEST(CopyBitmapData, EqualSizesCopyTheWholeBlockAndThePalette) {
  Bitmap source, destination;
  MakeColor(source, 5, 3, IL_ORDER_BGR, RandomPixels(11));
  MakeColor(destination, 5, 3, IL_ORDER_BGR, Flat(0));
  for (int i = 0; i < 48; ++i) source->Pixels[i] = static_cast<uint8_t>(i);  // padding too
  uint8_t sourcePalette[8] = {1, 2, 3, 4, 5, 6, 7, 8}, destinationPalette[12] = {};
  source->Palette = sourcePalette;
  source->PaletteEntries = 2;
  destination->Palette = destinationPalette;
  destination->PaletteEntries = 3;
  ASSERT_EQ(IL_CopyBitmapData(destination.Get(), source.Get()), IL_SUCCESS);
  EXPECT_EQ(std::memcmp(destination->Pixels, source->Pixels, 48), 0);
  EXPECT_EQ(std::memcmp(destinationPalette, sourcePalette, 8), 0);
  EXPECT_EQ(destinationPalette[8], 0);

  // A source with more entries than the destination holds fills only those.
  std::vector<uint8_t> full(1024, 0x77), small(8 + 4, 0);
  source->Palette = full.data();
  source->PaletteEntries = 256;
  destination->Palette = small.data();
  destination->PaletteEntries = 2;
  ASSERT_EQ(IL_CopyBitmapData(destination.Get(), source.Get()), IL_SUCCESS);
  EXPECT_EQ(small,
            (std::vector<uint8_t>{0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0, 0, 0, 0}));
  source->Palette = destination->Palette = nullptr;
}

TEST(CopyBitmapData, RefusesMissingOrWrongBitmaps) {
  Bitmap good, other, noPixels, plane;
  MakeColor(good, 2, 2, IL_ORDER_BGR, Flat(1));
  MakeColor(other, 2, 2, IL_ORDER_BGR, Flat(2));
  MakeColor(plane, 2, 2, IL_ORDER_BGR, Flat(3));
  plane->BitsPerPixel = 8;
  EXPECT_EQ(IL_CopyBitmapData(nullptr, good.Get()), IL_ERROR_NO_BITMAP);
  EXPECT_EQ(IL_CopyBitmapData(good.Get(), nullptr), IL_ERROR_NO_BITMAP);
  EXPECT_EQ(IL_CopyBitmapData(good.Get(), noPixels.Get()), IL_ERROR_INV_PARAMETER);
  EXPECT_EQ(IL_CopyBitmapData(noPixels.Get(), good.Get()), IL_ERROR_INV_PARAMETER);
  EXPECT_EQ(IL_CopyBitmapData(good.Get(), plane.Get()), IL_ERROR_INV_PARAMETER);
  EXPECT_EQ(IL_CopyBitmapData(plane.Get(), good.Get()), IL_ERROR_INV_PARAMETER);
  EXPECT_EQ(PixelBytes(good.h), std::vector<uint8_t>(12, 1));
  EXPECT_EQ(IL_CopyBitmapData(other.Get(), good.Get()), IL_SUCCESS);
  EXPECT_EQ(PixelBytes(other.h), std::vector<uint8_t>(12, 1));
}

TEST(MemoryLayer, MulDivTruncatesTowardZeroAndNeverTraps) {
  struct Case {
    int32_t a, b, c, result;
  };
  const Case cases[] = {
      {7, 3, 2, 10},          {-7, 3, 2, -10},
      {7, -3, -2, 10},        {1, 1, 3, 0},
      {-1, 1, 3, 0},          {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX},  // 64-bit product
      {300, 1000, 254, 1181}, {5, 1, 0, -1},
      {INT32_MIN, -1, 1, -1},  // no quotient in 32 bits
  };
  for (const Case& c : cases)
    EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.result) << c.a << "*" << c.b << "/" << c.c;
}

TEST(MemoryLayer, BlocksAreTheirOwnHandles) {
  HGLOBAL block = GlobalAlloc(0, 32);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GlobalLock(block), block);
  uint8_t source[32];
  for (int i = 0; i < 32; ++i) source[i] = static_cast<uint8_t>(i + 1);
  CopyMemory(block, source, 32);
  EXPECT_EQ(std::memcmp(block, source, 32), 0);
  ZeroMemory(block, 16);
  EXPECT_EQ(static_cast<uint8_t*>(block)[15], 0);
  EXPECT_EQ(static_cast<uint8_t*>(block)[16], 17);
  GlobalUnlock(block);
  GlobalFree(block);
  GlobalFree(nullptr);

  // Page-sized blocks take the huge-page path; they behave the same.
  const size_t big = (size_t{3} << 20) + 5;
  auto* page = static_cast<uint8_t*>(GlobalAlloc(0, big));
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(GlobalLock(page), page);
  ZeroMemory(page, big);
  page[big - 1] = 9;
  EXPECT_EQ(page[0] + page[big / 2] + page[big - 1], 9);
  GlobalFree(page);
}

}  // namespace
