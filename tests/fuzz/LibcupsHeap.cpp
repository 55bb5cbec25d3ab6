// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "LibcupsHeap.h"

#include <cups/raster.h>
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sanitizer/allocator_interface.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace qv46fuzz {
namespace {

using MallocFn = void* (*)(size_t);
using CallocFn = void* (*)(size_t, size_t);
using ReallocFn = void* (*)(void*, size_t);
using FreeFn = void (*)(void*);

// The allocator everyone else uses (ASan's), found by name as any library
// would find it.
struct Usual {
  MallocFn malloc = reinterpret_cast<MallocFn>(dlsym(RTLD_DEFAULT, "malloc"));
  CallocFn calloc = reinterpret_cast<CallocFn>(dlsym(RTLD_DEFAULT, "calloc"));
  ReallocFn realloc = reinterpret_cast<ReallocFn>(dlsym(RTLD_DEFAULT, "realloc"));
  FreeFn free = reinterpret_cast<FreeFn>(dlsym(RTLD_DEFAULT, "free"));
};

const Usual& TheUsual() {
  static const Usual usual;
  return usual;
}

// Blocks served from mmap, with their lengths.
struct Mapped {
  std::mutex mutex;
  std::unordered_map<void*, size_t> blocks;
  size_t served = 0;
};

Mapped& TheMapped() {
  static Mapped mapped;
  return mapped;
}

void* MapBlock(size_t size) {
  const int flags = MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE;
  // An anonymous mapping takes -1 for its file; cppcheck's rule wants a file.
  // cppcheck-suppress invalidFunctionArg
  void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, flags, -1, 0);
  if (block == MAP_FAILED) return nullptr;
  Mapped& mapped = TheMapped();
  std::lock_guard<std::mutex> lock(mapped.mutex);
  mapped.blocks[block] = size;
  ++mapped.served;
  return block;
}

// The length of a block served from mmap; 0 for any other.
size_t MappedLength(void* block) {
  Mapped& mapped = TheMapped();
  std::lock_guard<std::mutex> lock(mapped.mutex);
  const auto found = mapped.blocks.find(block);
  return found == mapped.blocks.end() ? 0 : found->second;
}

void CupsFree(void* block) {
  const size_t length = MappedLength(block);
  if (length == 0) {
    TheUsual().free(block);
    return;
  }
  {
    Mapped& mapped = TheMapped();
    std::lock_guard<std::mutex> lock(mapped.mutex);
    mapped.blocks.erase(block);
  }
  munmap(block, length);
}

void* CupsMalloc(size_t size) {
  return size >= kHugeBlock ? MapBlock(size) : TheUsual().malloc(size);
}

void* CupsCalloc(size_t count, size_t size) {
  size_t total = 0;
  if (__builtin_mul_overflow(count, size, &total) || total < kHugeBlock)
    return TheUsual().calloc(count, size);
  return MapBlock(total);  // fresh anonymous pages are zero
}

void* CupsRealloc(void* block, size_t size) {
  const size_t length = block != nullptr ? MappedLength(block) : 0;
  if (length == 0 && size < kHugeBlock) return TheUsual().realloc(block, size);
  if (size == 0) {
    CupsFree(block);
    return nullptr;
  }
  void* moved = CupsMalloc(size);
  if (moved == nullptr) return nullptr;
  if (block != nullptr) {
    const size_t have = length != 0 ? length : __sanitizer_get_allocated_size(block);
    std::memcpy(moved, block, std::min(have, size));
    CupsFree(block);
  }
  return moved;
}

// The ELF records of this process's word size.
#if UINTPTR_MAX > 0xFFFFFFFFu
using Addr = Elf64_Addr;
using Dyn = Elf64_Dyn;
using Phdr = Elf64_Phdr;
using Rel = Elf64_Rel;
using Rela = Elf64_Rela;
using Sym = Elf64_Sym;
size_t SymbolOf(uint64_t info) { return ELF64_R_SYM(info); }
#else
using Addr = Elf32_Addr;
using Dyn = Elf32_Dyn;
using Phdr = Elf32_Phdr;
using Rel = Elf32_Rel;
using Rela = Elf32_Rela;
using Sym = Elf32_Sym;
size_t SymbolOf(uint32_t info) { return ELF32_R_SYM(info); }
#endif

struct Patcher {
  const dl_phdr_info* object = nullptr;
  const Sym* symbols = nullptr;
  const char* names = nullptr;
  uintptr_t relroStart = 0, relroEnd = 0;
  int patched = 0;

  uintptr_t Address(Addr pointer) const {
    // The loader has usually relocated these already.
    return pointer < object->dlpi_addr ? object->dlpi_addr + pointer : pointer;
  }

  void Write(uintptr_t slot, void* function) {
    const uintptr_t page = slot & ~(static_cast<uintptr_t>(getpagesize()) - 1);
    const bool relro = slot >= relroStart && slot < relroEnd;
    void* start = reinterpret_cast<void*>(page);
    if (relro && mprotect(start, getpagesize(), PROT_READ | PROT_WRITE) != 0) return;
    std::memcpy(reinterpret_cast<void*>(slot), &function, sizeof function);
    if (relro) mprotect(start, getpagesize(), PROT_READ);
    ++patched;
  }

  template <typename Relocation>
  void Table(Addr table, size_t bytes) {
    const auto* relocations = reinterpret_cast<const Relocation*>(Address(table));
    for (size_t i = 0; i < bytes / sizeof(Relocation); ++i) {
      const char* name = names + symbols[SymbolOf(relocations[i].r_info)].st_name;
      void* function = nullptr;
      if (std::strcmp(name, "malloc") == 0)
        function = reinterpret_cast<void*>(&CupsMalloc);
      else if (std::strcmp(name, "calloc") == 0)
        function = reinterpret_cast<void*>(&CupsCalloc);
      else if (std::strcmp(name, "realloc") == 0)
        function = reinterpret_cast<void*>(&CupsRealloc);
      else if (std::strcmp(name, "free") == 0)
        function = reinterpret_cast<void*>(&CupsFree);
      if (function != nullptr) Write(object->dlpi_addr + relocations[i].r_offset, function);
    }
  }

  // Rewrites the object's import slots of the four functions, the ones of
  // calls (jump slots) and of taken addresses alike.
  void Patch(const dl_phdr_info* info) {
    object = info;
    const Dyn* dynamic = nullptr;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
      const Phdr& header = info->dlpi_phdr[i];
      if (header.p_type == PT_DYNAMIC)
        dynamic = reinterpret_cast<const Dyn*>(info->dlpi_addr + header.p_vaddr);
      if (header.p_type == PT_GNU_RELRO) {
        relroStart = info->dlpi_addr + header.p_vaddr;
        relroEnd = relroStart + header.p_memsz;
      }
    }
    if (dynamic == nullptr) return;
    Addr rela = 0, rel = 0, jumps = 0;
    size_t relaBytes = 0, relBytes = 0, jumpBytes = 0;
    uint64_t jumpKind = DT_RELA;
    for (const Dyn* d = dynamic; d->d_tag != DT_NULL; ++d) {
      switch (d->d_tag) {
        case DT_SYMTAB:
          symbols = reinterpret_cast<const Sym*>(Address(d->d_un.d_ptr));
          break;
        case DT_STRTAB:
          names = reinterpret_cast<const char*>(Address(d->d_un.d_ptr));
          break;
        case DT_RELA:
          rela = d->d_un.d_ptr;
          break;
        case DT_RELASZ:
          relaBytes = d->d_un.d_val;
          break;
        case DT_REL:
          rel = d->d_un.d_ptr;
          break;
        case DT_RELSZ:
          relBytes = d->d_un.d_val;
          break;
        case DT_JMPREL:
          jumps = d->d_un.d_ptr;
          break;
        case DT_PLTRELSZ:
          jumpBytes = d->d_un.d_val;
          break;
        case DT_PLTREL:
          jumpKind = d->d_un.d_val;
          break;
        default:
          break;
      }
    }
    if (symbols == nullptr || names == nullptr) return;
    if (rela != 0) Table<Rela>(rela, relaBytes);
    if (rel != 0) Table<Rel>(rel, relBytes);
    if (jumps != 0 && jumpKind == DT_RELA) Table<Rela>(jumps, jumpBytes);
    if (jumps != 0 && jumpKind == DT_REL) Table<Rel>(jumps, jumpBytes);
  }
};

int PatchLibcups(dl_phdr_info* info, size_t, void* data) {
  if (info->dlpi_name == nullptr || std::strstr(info->dlpi_name, "/libcups.so") == nullptr)
    return 0;
  static_cast<Patcher*>(data)->Patch(info);
  return 1;
}

// Whether libcups's line buffer for a page header with a huge line now
// comes from mmap: a compressed stream written to /dev/null allocates one.
bool HugeLineServedFromMmap() {
  const int fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_WRITE_COMPRESSED);
  bool served = false;
  if (raster != nullptr) {
    cups_page_header2_t header = {};
    header.cupsWidth = 1u << 24;
    header.cupsHeight = 1;
    header.cupsBitsPerColor = 8;
    header.cupsBitsPerPixel = 24;
    header.cupsBytesPerLine = 3u << 24;
    header.cupsColorSpace = CUPS_CSPACE_RGB;
    header.cupsColorOrder = CUPS_ORDER_CHUNKED;
    const size_t before = TheMapped().served;
    cupsRasterWriteHeader2(raster, &header);
    served = TheMapped().served > before;
    cupsRasterClose(raster);
  }
  close(fd);
  return served;
}

}  // namespace

bool ServeLibcupsHugeBlocksFromMmap() {
  TheUsual();  // resolved before any slot points here
  Patcher patcher;
  dl_iterate_phdr(PatchLibcups, &patcher);
  return patcher.patched > 0 && HugeLineServedFromMmap();
}

}  // namespace qv46fuzz
