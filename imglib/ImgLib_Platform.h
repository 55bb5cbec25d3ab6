// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Memory layer of the image library, named after a desktop platform's
// global-memory calls. A block's address is its handle, so locking yields the
// block itself and a caller may hand a heap buffer to a bitmap by setting its
// MemoryHandle to the buffer's address.
#pragma once

#include <cstddef>
#include <cstdint>

typedef void* HGLOBAL;

// Allocates `size` uninitialised bytes from the heap; null on failure.
// `flags` is ignored (the library always passes 0).
HGLOBAL GlobalAlloc(unsigned int flags, size_t size);
// Returns `handle` itself (null only when an installed allocator says so).
void* GlobalLock(HGLOBAL handle);
// Nothing to do: blocks never move.
void GlobalUnlock(HGLOBAL handle);
// Returns the block to the heap; a null handle is ignored.
void GlobalFree(HGLOBAL handle);
// Copies `length` bytes between areas that do not overlap.
void CopyMemory(void* destination, const void* source, size_t length);
void ZeroMemory(void* destination, size_t length);
// a * b / c with a 64-bit product, truncated toward zero. A zero divisor or a
// quotient outside 32 bits gives -1 instead of trapping.
int32_t MulDiv(int32_t a, int32_t b, int32_t c);

// For a process that runs pages one after the other and then ends (the
// filter): the blocks a page frees stay in the heap for the next page
// instead of going back to the kernel, which would fault them in and zero
// them again, a tenth of a page's work and most of it on the calling
// thread. A long-running process keeps the default, which gives memory back.
void IL_KeepFreedPagesInHeap();

// Seam for tests: an installed allocator serves GlobalAlloc, GlobalLock and
// GlobalFree, so a test can make any allocation or lock fail and count what
// was released. Install it through ScopedPixelAllocator only.
class PixelAllocator {
 public:
  virtual ~PixelAllocator() = default;
  virtual void* Allocate(size_t size) = 0;
  virtual void* Lock(void* block) { return block; }
  virtual void Release(void* block) = 0;
};

// Installs an allocator for its lifetime and restores the previous one.
class ScopedPixelAllocator {
 public:
  explicit ScopedPixelAllocator(PixelAllocator* allocator);
  ~ScopedPixelAllocator();
  ScopedPixelAllocator(const ScopedPixelAllocator&) = delete;
  ScopedPixelAllocator& operator=(const ScopedPixelAllocator&) = delete;

 private:
  PixelAllocator* previous_;
};
