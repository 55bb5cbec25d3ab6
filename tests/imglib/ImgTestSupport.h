// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Helpers for the image library tests: bitmaps that own their pixels through
// the library's memory layer, and an allocator that refuses on request.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <vector>

#include "imglib/ImgLib.h"

constexpr int32_t kRecord = sizeof(BITMAPHANDLE);

// Counts what the library allocates, locks and releases, and refuses the
// n-th allocation or lock (1-based; 0 refuses none).
class CountingAllocator : public PixelAllocator {
 public:
  int failAllocation = 0;
  int failLock = 0;
  int allocations = 0;
  int locks = 0;
  std::vector<size_t> sizes;
  std::set<void*> live;

  ~CountingAllocator() override {
    for (void* block : live) std::free(block);
  }
  void* Allocate(size_t size) override {
    if (++allocations == failAllocation) return nullptr;
    void* block = std::malloc(size ? size : 1);
    sizes.push_back(size);
    live.insert(block);
    return block;
  }
  void* Lock(void* block) override { return ++locks == failLock ? nullptr : block; }
  void Release(void* block) override {
    live.erase(block);
    std::free(block);
  }
};

// A bitmap record that releases what it owns.
struct Bitmap {
  BITMAPHANDLE h{};
  Bitmap() = default;
  Bitmap(const Bitmap&) = delete;
  Bitmap& operator=(const Bitmap&) = delete;
  ~Bitmap() { IL_FreeBitmap(&h); }
  BITMAPHANDLE* operator->() { return &h; }
  BITMAPHANDLE* Get() { return &h; }
  uint8_t& At(int x, int y, int b) { return h.Pixels[y * h.BytesPerLine + x * 3 + b]; }
};

using PixelFn = std::function<uint8_t(int x, int y, int b)>;

// A 24-bit bitmap owning a heap block, made the way the filter makes one:
// wrap a buffer, then hand the buffer over to the handle.
inline void MakeColor(Bitmap& bitmap, int width, int height, uint32_t order, const PixelFn& pixel) {
  const int pitch = ((width * 24 + 31) / 32) * 4;
  auto* buffer = static_cast<uint8_t*>(GlobalAlloc(0, static_cast<size_t>(pitch) * height));
  for (int i = 0; i < pitch * height; ++i) buffer[i] = 0xA5;  // padding has a known value
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int b = 0; b < 3; ++b) buffer[y * pitch + 3 * x + b] = pixel(x, y, b);
  IL_CreateBitmap(bitmap.Get(), kRecord, IL_BITMAP_KIND, width, height, 24, order, nullptr, 4,
                  buffer, static_cast<uint64_t>(pitch) * height);
  bitmap->MemoryHandle = buffer;
}

inline PixelFn RandomPixels(unsigned seed) {
  auto engine = std::make_shared<std::mt19937>(seed);
  return [engine](int, int, int) { return static_cast<uint8_t>((*engine)() & 0xFF); };
}

inline PixelFn Flat(uint8_t value) {
  return [value](int, int, int) { return value; };
}

// The meaningful bytes of a 24-bit bitmap, row after row, without padding.
inline std::vector<uint8_t> PixelBytes(const BITMAPHANDLE& h) {
  std::vector<uint8_t> bytes;
  for (int y = 0; y < h.Height; ++y)
    bytes.insert(bytes.end(), h.Pixels + y * h.BytesPerLine,
                 h.Pixels + y * h.BytesPerLine + h.Width * 3);
  return bytes;
}

// Rows of one byte value per pixel: an image whose byte `channel` runs
// through `values` along the row, the other bytes 0.
inline PixelFn RowOf(const std::vector<int>& values, int channel) {
  return [values, channel](int x, int, int b) {
    return static_cast<uint8_t>(b == channel ? values[x] : 0);
  };
}
inline PixelFn ColumnOf(const std::vector<int>& values, int channel) {
  return [values, channel](int, int y, int b) {
    return static_cast<uint8_t>(b == channel ? values[y] : 0);
  };
}
