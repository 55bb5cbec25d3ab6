// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The image library's operations in random order on small bitmaps of random
// sizes, with one allocation (or every one from some point on) failing.
//
// Input: a byte program, read by FuzzedDataProvider: the allocation to fail,
// then operations with their arguments.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>

#include "FuzzSupport.h"
#include "imglib/ImgLib.h"

namespace {

constexpr int32_t kRecordSize = sizeof(BITMAPHANDLE);

// Field by field: the record has padding.
bool Same(const BITMAPHANDLE& a, const BITMAPHANDLE& b) {
  return a.MemoryHandle == b.MemoryHandle && a.Pixels == b.Pixels && a.Width == b.Width &&
         a.Height == b.Height && a.BitsPerPixel == b.BitsPerPixel &&
         a.BytesPerLine == b.BytesPerLine && a.PaletteEntries == b.PaletteEntries &&
         a.Palette == b.Palette && a.RowAlignment == b.RowAlignment &&
         a.ColorOrder == b.ColorOrder && a.ImageSize == b.ImageSize;
}

// A 24-bit bitmap that owns a block of the library's memory layer.
void Create(FuzzedDataProvider& in, BITMAPHANDLE* bitmap) {
  IL_FreeBitmap(bitmap);
  *bitmap = BITMAPHANDLE{};
  const uint32_t width = in.ConsumeIntegralInRange<uint32_t>(1, 24);
  const int32_t height = in.ConsumeIntegralInRange<int32_t>(1, 24);
  const uint32_t order = in.ConsumeIntegralInRange<uint32_t>(0, 2);
  const uint64_t bytes = uint64_t((width * 24 + 31) / 32 * 4) * uint64_t(height);
  auto* block = static_cast<uint8_t*>(GlobalAlloc(0, bytes));
  if (block == nullptr) return;
  const std::vector<uint8_t> fill = in.ConsumeBytes<uint8_t>(bytes);
  std::memset(block, 0x5A, bytes);
  if (!fill.empty()) std::memcpy(block, fill.data(), fill.size());
  if (IL_CreateBitmap(bitmap, kRecordSize, IL_BITMAP_KIND, width, height, 24, order, nullptr, 4,
                      block, bytes) != IL_SUCCESS) {
    GlobalFree(block);
    return;
  }
  bitmap->MemoryHandle = block;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const unsigned failAt = in.ConsumeIntegralInRange<unsigned>(0, 40);
  qv46fuzz::FailingAllocator allocator(failAt, in.ConsumeBool());
  {
    ScopedPixelAllocator scope(&allocator);
    BITMAPHANDLE color[2] = {};
    BITMAPHANDLE planes[3] = {};
    BITMAPHANDLE* planeList[3] = {&planes[0], &planes[1], &planes[2]};

    for (int step = 0; step < 16 && in.remaining_bytes() > 0; ++step) {
      BITMAPHANDLE& bitmap = color[in.ConsumeBool()];
      BITMAPHANDLE& plane = planes[in.ConsumeIntegralInRange(0, 2)];
      const int32_t amount = in.ConsumeIntegralInRange<int32_t>(-1100, 1100);
      const BITMAPHANDLE before[2] = {bitmap, plane};
      const BITMAPHANDLE planesBefore[3] = {planes[0], planes[1], planes[2]};
      int status = IL_SUCCESS;
      bool planeCall = false;
      switch (in.ConsumeIntegralInRange(0, 9)) {
        case 0:
          Create(in, &bitmap);
          continue;
        case 1:
          status = IL_SizeBitmap(&bitmap, in.ConsumeIntegralInRange(1, 40),
                                 in.ConsumeIntegralInRange(1, 40), IL_SIZE_BICUBIC);
          break;
        case 2:
          status = IL_SharpenBitmap(&bitmap, amount);
          break;
        case 3:
          status = IL_ChangeBitmapSaturation(&bitmap, amount);
          break;
        case 4: {
          for (BITMAPHANDLE& p : planes) IL_FreeBitmap(&p);
          const BITMAPHANDLE freed[3] = {planes[0], planes[1], planes[2]};
          // A failed separation leaves all three records exactly as given.
          if (IL_ColorSeparateBitmap(&bitmap, planeList, kRecordSize, 0) != IL_SUCCESS) {
            for (int k = 0; k < 3; ++k)
              if (!Same(freed[k], planes[k])) std::abort();
          }
          continue;
        }
        case 5:
          planeCall = true;
          status = IL_GammaCorrectBitmap(&plane, uint32_t(amount + 1100) / 4);
          break;
        case 6:
          planeCall = true;
          status = IL_ChangeBitmapIntensity(&plane, amount);
          break;
        case 7:
          planeCall = true;
          status = IL_ChangeBitmapContrast(&plane, amount);
          break;
        case 8:
          IL_FreeBitmap(&bitmap);
          status = IL_ColorMergeBitmap(&bitmap, planeList, kRecordSize, 0);
          if (status != IL_SUCCESS && (bitmap.Pixels != nullptr || bitmap.MemoryHandle != nullptr))
            std::abort();
          continue;
        case 9:
          status = IL_CopyBitmapData(&color[0], &color[1]);
          break;
      }
      if (status == IL_SUCCESS) continue;
      // A failed call leaves its handles as they were.
      if (!Same(before[0], bitmap) || !Same(before[1], plane)) std::abort();
      for (int k = 0; k < 3; ++k)
        if (!planeCall && !Same(planesBefore[k], planes[k])) std::abort();
    }
    for (BITMAPHANDLE& b : color) IL_FreeBitmap(&b);
    for (BITMAPHANDLE& p : planes) IL_FreeBitmap(&p);
  }
  // Every block the library took was given back.
  if (allocator.outstanding() != 0) std::abort();
  return 0;
}
