// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ImgTestSupport.h"

namespace {

struct PlaneSet {
  Bitmap p[3];
  BITMAPHANDLE* list[3] = {p[0].Get(), p[1].Get(), p[2].Get()};
};

TEST(Planes, SeparationLayout) {
  CountingAllocator allocator;
  ScopedPixelAllocator scope(&allocator);
  Bitmap image;
  MakeColor(image, 5, 3, IL_ORDER_BGR, RandomPixels(1));
  PlaneSet planes;
  planes.p[1]->Width = 777;  // overwritten; untouched fields stay as given
  ASSERT_EQ(IL_ColorSeparateBitmap(image.Get(), planes.list, kRecord, 0), IL_SUCCESS);
  ASSERT_EQ(allocator.sizes, (std::vector<size_t>{48, 1048, 1048, 1048}));
  for (int k = 0; k < 3; ++k) {
    const BITMAPHANDLE& plane = planes.p[k].h;
    EXPECT_EQ(plane.Width, 5);
    EXPECT_EQ(plane.Height, 3);
    EXPECT_EQ(plane.BitsPerPixel, 8);
    EXPECT_EQ(plane.BytesPerLine, 8);
    EXPECT_EQ(plane.ImageSize, 24u);
    EXPECT_EQ(plane.PaletteEntries, 256);
    EXPECT_EQ(plane.ColorOrder, 0);
    EXPECT_EQ(plane.RowAlignment, 4);
    EXPECT_EQ(plane.MemoryHandle, static_cast<void*>(plane.Pixels));
    EXPECT_EQ(plane.Palette, plane.Pixels + 24);
    for (int v = 0; v < 256; ++v)
      for (int b = 0; b < 3; ++b) ASSERT_EQ(plane.Palette[4 * v + b], v);
  }
}

TEST(Planes, ByteMappingForBothColourOrders) {
  struct Case {
    uint32_t order;
    int planeValues[3];
  };
  const Case cases[] = {{IL_ORDER_RGB, {30, 20, 10}}, {IL_ORDER_BGR, {10, 20, 30}}};
  for (const Case& c : cases) {
    Bitmap image;
    MakeColor(image, 1, 1, c.order, [](int, int, int b) { return 10 * (b + 1); });
    PlaneSet planes;
    ASSERT_EQ(IL_ColorSeparateBitmap(image.Get(), planes.list, kRecord, 0), IL_SUCCESS);
    for (int k = 0; k < 3; ++k)
      EXPECT_EQ(planes.p[k]->Pixels[0], c.planeValues[k]) << "order " << c.order;
    Bitmap merged;
    ASSERT_EQ(IL_ColorMergeBitmap(merged.Get(), planes.list, kRecord, 0), IL_SUCCESS);
    EXPECT_EQ(merged->ColorOrder, 1);
    EXPECT_EQ(merged->BitsPerPixel, 24);
    EXPECT_EQ(PixelBytes(merged.h), (std::vector<uint8_t>(c.planeValues, c.planeValues + 3)));
  }
}

TEST(Planes, SeparateThenMergeFreshPlanesCopiesThePixels) {
  const int sizes[][2] = {{1, 1}, {5, 3}, {7, 4}, {64, 9}, {3, 17}};
  unsigned seed = 60;
  // s is already a row of a const table.
  // cppcheck-suppress constVariableReference
  for (const auto& s : sizes)
    for (uint32_t order : {IL_ORDER_RGB, IL_ORDER_BGR}) {
      Bitmap image;
      MakeColor(image, s[0], s[1], order, RandomPixels(seed++));
      PlaneSet planes;
      ASSERT_EQ(IL_ColorSeparateBitmap(image.Get(), planes.list, kRecord, 0), IL_SUCCESS);
      Bitmap merged;
      ASSERT_EQ(IL_ColorMergeBitmap(merged.Get(), planes.list, kRecord, 0), IL_SUCCESS);
      EXPECT_EQ(merged->Width, s[0]);
      EXPECT_EQ(merged->Height, s[1]);
      EXPECT_EQ(merged->BytesPerLine, image->BytesPerLine);
      EXPECT_EQ(merged->ImageSize, image->ImageSize);
      std::vector<uint8_t> expected = PixelBytes(image.h);
      if (order == IL_ORDER_RGB)
        for (size_t i = 0; i < expected.size(); i += 3) std::swap(expected[i], expected[i + 2]);
      EXPECT_EQ(PixelBytes(merged.h), expected) << s[0] << "x" << s[1] << " order " << order;
    }
}

TEST(Planes, MergePassesEachPlaneThroughItsPalette) {
  Bitmap image;
  MakeColor(image, 4, 2, IL_ORDER_BGR, [](int x, int y, int b) { return 40 * x + 7 * y + b; });
  PlaneSet planes;
  ASSERT_EQ(IL_ColorSeparateBitmap(image.Get(), planes.list, kRecord, 0), IL_SUCCESS);
  ASSERT_EQ(IL_ChangeBitmapIntensity(planes.list[1], 100), IL_SUCCESS);  // +26 in green only
  // Only channel k of plane k's palette counts: spoil the others.
  for (int v = 0; v < 256; ++v) planes.p[0]->Palette[4 * v + 1] = planes.p[2]->Palette[4 * v] = 0;
  Bitmap merged;
  ASSERT_EQ(IL_ColorMergeBitmap(merged.Get(), planes.list, kRecord, 0), IL_SUCCESS);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(merged.At(x, y, 0), image.At(x, y, 0));
      EXPECT_EQ(merged.At(x, y, 1), image.At(x, y, 1) + 26);
      EXPECT_EQ(merged.At(x, y, 2), image.At(x, y, 2));
    }
}

TEST(Planes, SeparationRefusesInOrderAndTouchesNothing) {
  Bitmap image, plane8, noPixels, badOrder;
  MakeColor(image, 2, 2, IL_ORDER_BGR, Flat(1));
  MakeColor(plane8, 2, 2, IL_ORDER_BGR, Flat(1));
  plane8->BitsPerPixel = 8;
  MakeColor(badOrder, 2, 2, IL_ORDER_BGR, Flat(1));
  badOrder->ColorOrder = 2;
  PlaneSet planes;
  BITMAPHANDLE* withNull[3] = {planes.list[0], planes.list[1], nullptr};
  struct Case {
    const char* name;
    BITMAPHANDLE* source;
    BITMAPHANDLE** list;
    int32_t record;
    uint32_t flags;
    int status;
  };
  const Case cases[] = {
      {"null source", nullptr, planes.list, kRecord + 4, 0, -13},
      {"record size", image.Get(), nullptr, kRecord + 4, 0, -789},
      {"no pixels", noPixels.Get(), planes.list, kRecord, 0, -13},
      {"8-bit", plane8.Get(), planes.list, kRecord, 0, -13},
      {"order 2", badOrder.Get(), planes.list, kRecord, 0, -13},
      {"no plane list", image.Get(), nullptr, kRecord, 0, -13},
      {"null third plane", image.Get(), withNull, kRecord, 0, -13},
      {"flags 1", image.Get(), planes.list, kRecord, 1, -13},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IL_ColorSeparateBitmap(c.source, c.list, c.record, c.flags), c.status) << c.name;
    for (int k = 0; k < 3; ++k) EXPECT_EQ(planes.p[k]->Pixels, nullptr) << c.name;
  }
}

TEST(Planes, OutOfMemoryLeavesTheRecordsAsGiven) {
  struct Case {
    const char* name;
    int failAllocation, failLock;
  };
  const Case cases[] = {
      {"first plane", 1, 0}, {"third plane", 3, 0}, {"second lock", 0, 2}, {"third lock", 0, 3}};
  Bitmap image;
  MakeColor(image, 6, 5, IL_ORDER_RGB, RandomPixels(2));
  for (const Case& c : cases) {
    CountingAllocator allocator;
    allocator.failAllocation = c.failAllocation;
    allocator.failLock = c.failLock;
    PlaneSet planes;
    BITMAPHANDLE before[3];
    for (int k = 0; k < 3; ++k) {
      // Empty records whose other fields hold values a separation would change.
      std::memset(&planes.p[k].h, 0x3C + k, sizeof(BITMAPHANDLE));
      planes.p[k]->MemoryHandle = nullptr;
      planes.p[k]->Pixels = planes.p[k]->Palette = nullptr;
      before[k] = planes.p[k].h;
    }
    {
      ScopedPixelAllocator scope(&allocator);
      EXPECT_EQ(IL_ColorSeparateBitmap(image.Get(), planes.list, kRecord, 0), IL_ERROR_NO_MEMORY)
          << c.name;
    }
    EXPECT_TRUE(allocator.live.empty()) << c.name;
    for (int k = 0; k < 3; ++k)
      EXPECT_EQ(std::memcmp(&before[k], &planes.p[k].h, sizeof(BITMAPHANDLE)), 0)
          << c.name << " plane " << k;
  }
}

TEST(Planes, MergeRefusesInOrderAndLeavesTheDestination) {
  Bitmap image;
  MakeColor(image, 4, 3, IL_ORDER_BGR, RandomPixels(3));
  PlaneSet planes;
  ASSERT_EQ(IL_ColorSeparateBitmap(image.Get(), planes.list, kRecord, 0), IL_SUCCESS);
  Bitmap narrow;
  MakeColor(narrow, 3, 3, IL_ORDER_BGR, Flat(0));
  PlaneSet narrowPlanes;
  ASSERT_EQ(IL_ColorSeparateBitmap(narrow.Get(), narrowPlanes.list, kRecord, 0), IL_SUCCESS);

  using Tweak = void (*)(BITMAPHANDLE&);
  struct Case {
    const char* name;
    int plane;
    Tweak tweak;
    int status;
  };
  const Case cases[] = {
      {"plane without pixels", 1, [](BITMAPHANDLE& p) { p.Pixels = nullptr; }, -2},
      {"plane ColorOrder 1", 2, [](BITMAPHANDLE& p) { p.ColorOrder = 1; }, -13},
      {"plane of 24 bits", 0, [](BITMAPHANDLE& p) { p.BitsPerPixel = 24; }, -13},
      {"plane taller", 1, [](BITMAPHANDLE& p) { p.Height = 4; }, -13},
      {"plane pitch", 2, [](BITMAPHANDLE& p) { p.BytesPerLine = 8; }, -13},
      {"plane palette entries", 1, [](BITMAPHANDLE& p) { p.PaletteEntries = 255; }, -13},
      {"plane palette missing", 0, [](BITMAPHANDLE& p) { p.Palette = nullptr; }, -13},
      {"plane alignment", 2, [](BITMAPHANDLE& p) { p.RowAlignment = 8; }, -13},
      {"plane image size", 1, [](BITMAPHANDLE& p) { p.ImageSize = 13; }, -13},
  };
  for (const Case& c : cases) {
    const BITMAPHANDLE saved = planes.p[c.plane].h;
    c.tweak(planes.p[c.plane].h);
    BITMAPHANDLE destination;
    std::memset(&destination, 0x3C, sizeof destination);
    const BITMAPHANDLE before = destination;
    EXPECT_EQ(IL_ColorMergeBitmap(&destination, planes.list, kRecord, 0), c.status) << c.name;
    EXPECT_EQ(std::memcmp(&before, &destination, sizeof before), 0) << c.name;
    planes.p[c.plane].h = saved;
  }

  BITMAPHANDLE* mixed[3] = {planes.list[0], planes.list[1], narrowPlanes.list[2]};
  BITMAPHANDLE* withNull[3] = {planes.list[0], planes.list[1], nullptr};
  Bitmap destination;
  EXPECT_EQ(IL_ColorMergeBitmap(destination.Get(), mixed, kRecord, 0), -13)
      << "third plane narrower";
  EXPECT_EQ(IL_ColorMergeBitmap(destination.Get(), withNull, kRecord, 0), -2);
  EXPECT_EQ(IL_ColorMergeBitmap(destination.Get(), withNull, kRecord, 1), -2)
      << "planes before flags";
  EXPECT_EQ(IL_ColorMergeBitmap(destination.Get(), planes.list, kRecord, 1), -13);
  EXPECT_EQ(IL_ColorMergeBitmap(destination.Get(), nullptr, kRecord, 0), -13);
  EXPECT_EQ(IL_ColorMergeBitmap(destination.Get(), nullptr, kRecord - 1, 0), -789);
  EXPECT_EQ(IL_ColorMergeBitmap(nullptr, planes.list, kRecord - 1, 0), -13);
  EXPECT_EQ(destination->Pixels, nullptr);
}

TEST(Planes, MergeOutOfMemoryLeavesTheDestination) {
  Bitmap image;
  MakeColor(image, 4, 3, IL_ORDER_BGR, RandomPixels(3));
  PlaneSet planes;
  ASSERT_EQ(IL_ColorSeparateBitmap(image.Get(), planes.list, kRecord, 0), IL_SUCCESS);
  for (int lock : {0, 1}) {
    CountingAllocator allocator;
    allocator.failAllocation = lock ? 0 : 1;
    allocator.failLock = lock;
    BITMAPHANDLE destination;
    std::memset(&destination, 0x3C, sizeof destination);
    const BITMAPHANDLE before = destination;
    {
      ScopedPixelAllocator scope(&allocator);
      EXPECT_EQ(IL_ColorMergeBitmap(&destination, planes.list, kRecord, 0), IL_ERROR_NO_MEMORY);
    }
    EXPECT_TRUE(allocator.live.empty());
    EXPECT_EQ(std::memcmp(&before, &destination, sizeof before), 0);
  }
}

}  // namespace
