// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "imglib/ImgLib_Platform.h"

#include <malloc.h>
#include <sys/mman.h>

#include <cstdlib>
#include <cstring>

namespace {

// Page-sized pixel blocks are touched once each, right after allocation, so
// faulting them in 4 KiB at a time costs more than the work on them. Such
// blocks are aligned on a huge page and the kernel is asked to back them with
// huge pages; they still come from, and go back to, the ordinary heap.
constexpr size_t kHugePage = size_t{2} << 20;

class HeapAllocator : public PixelAllocator {
 public:
  void* Allocate(size_t size) override {
    if (size < kHugePage) return std::malloc(size);
    void* block = nullptr;
    if (posix_memalign(&block, kHugePage, size) != 0) return nullptr;
    madvise(block, size / kHugePage * kHugePage, MADV_HUGEPAGE);  // a hint; failure is harmless
    return block;
  }
  void Release(void* block) override { std::free(block); }
};

HeapAllocator gHeapAllocator;
PixelAllocator* gAllocator = &gHeapAllocator;

}  // namespace

HGLOBAL GlobalAlloc(unsigned int /*flags*/, size_t size) { return gAllocator->Allocate(size); }

void* GlobalLock(HGLOBAL handle) { return handle ? gAllocator->Lock(handle) : nullptr; }

void GlobalUnlock(HGLOBAL /*handle*/) {}

void GlobalFree(HGLOBAL handle) {
  if (handle) gAllocator->Release(handle);
}

void IL_KeepFreedPagesInHeap() {
  // The largest threshold the C library takes (32 MiB, 16 MiB on 32-bit
  // machines): every page block of the printer's stocks comes from the heap.
  mallopt(M_MMAP_THRESHOLD, int(sizeof(long) * (4 << 20)));
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
}

void CopyMemory(void* destination, const void* source, size_t length) {
  if (length) std::memcpy(destination, source, length);
}

void ZeroMemory(void* destination, size_t length) {
  if (length) std::memset(destination, 0, length);
}

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return -1;
  int64_t quotient = static_cast<int64_t>(a) * b / c;
  if (quotient < INT32_MIN || quotient > INT32_MAX) return -1;
  return static_cast<int32_t>(quotient);
}

ScopedPixelAllocator::ScopedPixelAllocator(PixelAllocator* allocator) : previous_(gAllocator) {
  gAllocator = allocator ? allocator : &gHeapAllocator;
}

ScopedPixelAllocator::~ScopedPixelAllocator() { gAllocator = previous_; }
