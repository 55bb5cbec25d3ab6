#include "imglib/BrvImgLib_LinuxDef.h"

#include <cstdlib>
#include <cstring>

namespace {

class HeapAllocator : public BrvAllocator {
 public:
  void *Allocate(size_t size) override { return std::malloc(size); }
  void Release(void *block) override { std::free(block); }
};

HeapAllocator gHeapAllocator;
BrvAllocator *gAllocator = &gHeapAllocator;

}  // namespace

HGLOBAL GlobalAlloc(unsigned int /*flags*/, size_t size) { return gAllocator->Allocate(size); }

void *GlobalLock(HGLOBAL handle) { return handle ? gAllocator->Lock(handle) : nullptr; }

void GlobalUnlock(HGLOBAL /*handle*/) {}

void GlobalFree(HGLOBAL handle) {
  if (handle) gAllocator->Release(handle);
}

void CopyMemory(void *destination, const void *source, size_t length) {
  if (length) std::memcpy(destination, source, length);
}

void ZeroMemory(void *destination, size_t length) {
  if (length) std::memset(destination, 0, length);
}

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return -1;
  int64_t quotient = static_cast<int64_t>(a) * b / c;
  if (quotient < INT32_MIN || quotient > INT32_MAX) return -1;
  return static_cast<int32_t>(quotient);
}

ScopedBrvAllocator::ScopedBrvAllocator(BrvAllocator *allocator) : previous_(gAllocator) {
  gAllocator = allocator ? allocator : &gHeapAllocator;
}

ScopedBrvAllocator::~ScopedBrvAllocator() { gAllocator = previous_; }
