// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Helpers shared by the library's source files (and its tests); not part of
// the public interface.
#pragma once

#include <cstdint>

#include "imglib/ImgLib.h"

// Marks a hot loop to be built for plain x86-64 and for AVX2, the loader
// picking one at start-up. The same operations in the same order either way,
// so the bytes are the same; AVX2 just takes four doubles at a time.
// IMGLIB_NO_AVX2_CLONES keeps the plain build only, so that tests on an AVX2
// machine can run it too.
// IMGLIB_AVX512_CLONES adds an AVX-512 build, eight doubles at a time, for
// loops bound by arithmetic (saturation's selects and divisions); loops bound
// by loads ran slower with it.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(IMGLIB_NO_AVX2_CLONES)
#define IMGLIB_AVX2_CLONES __attribute__((target_clones("avx2", "default")))
#define IMGLIB_AVX512_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define IMGLIB_AVX2_CLONES
#define IMGLIB_AVX512_CLONES
#endif
// A loop body shared by several such functions: inlined into each build, so
// that every build vectorises it for its own instruction set.
#define IMGLIB_LOOP_BODY inline __attribute__((always_inline))

// Row pitch in bytes: rows start on 4-byte boundaries. 64-bit, so that absurd
// widths show up as too large instead of wrapping.
inline int64_t RowPitch(int64_t width, int64_t bitsPerPixel) {
  return ((width * bitsPerPixel + 31) / 32) * 4;
}

// A 24-bit bitmap with pixels and a known byte order.
inline bool IsColorBitmap(const BITMAPHANDLE* handle) {
  return handle->Pixels && handle->BitsPerPixel == 24 &&
         (handle->ColorOrder == 0 || handle->ColorOrder == 1);
}

// Allocates and locks a block; on failure releases what it got and returns
// null. The block is both the memory handle and the locked address.
uint8_t* AllocLocked(uint64_t size, HGLOBAL* memoryHandle);
// Unlocks and frees a block from AllocLocked.
void FreeLocked(HGLOBAL memoryHandle);

// Weight of the cubic convolution kernel (parameter -1) at distance a >= 0.
double CubicWeight(double a);

// Kernel factor k of the sharpening table for a strength in -1000 .. 1000.
double SharpenFactor(int32_t strength);
