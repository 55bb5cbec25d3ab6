// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Bitmap handles: wrapping caller pixels, releasing, copying.
#include <algorithm>
#include <cstdint>

#include "imglib/ImgLib.h"
#include "imglib/ImgLib_Internal.h"

uint8_t* AllocLocked(uint64_t size, HGLOBAL* memoryHandle) {
  *memoryHandle = nullptr;
  if (size > SIZE_MAX) return nullptr;
  HGLOBAL block = GlobalAlloc(0, static_cast<size_t>(size));
  if (!block) return nullptr;
  auto* pixels = static_cast<uint8_t*>(GlobalLock(block));
  if (!pixels) {
    GlobalFree(block);
    return nullptr;
  }
  *memoryHandle = block;
  return pixels;
}

void FreeLocked(HGLOBAL memoryHandle) {
  GlobalUnlock(memoryHandle);
  GlobalFree(memoryHandle);
}

int IL_CreateBitmap(pBITMAPHANDLE handle, int32_t recordSize, int32_t kind, uint32_t width,
                    int32_t height, uint32_t bitsPerPixel, uint32_t order, uint8_t* palette,
                    int32_t rowAlignment, uint8_t* pixels, uint64_t pixelBytes) {
  if (!handle) return IL_ERROR_INV_PARAMETER;
  if (recordSize != static_cast<int32_t>(sizeof(BITMAPHANDLE))) return IL_ERROR_INV_STRUCT_SIZE;
  // A negative height is as meaningless as 0 here: rows always run upward in memory.
  if (kind != IL_BITMAP_KIND || width == 0 || height <= 0) return IL_ERROR_INV_PARAMETER;

  int32_t colorOrder = 0;
  int32_t paletteEntries = 0;
  switch (bitsPerPixel) {
    case 8:
      if (order != IL_ORDER_GRAY || !palette) return IL_ERROR_INV_PARAMETER;
      paletteEntries = 256;
      break;
    case 24:
      if (palette) return IL_ERROR_INV_BITSPERPIXEL;
      if (order == IL_ORDER_RGB || order == IL_ORDER_BGR) {
        colorOrder = static_cast<int32_t>(order);
      } else if (order == IL_ORDER_GRAY) {
        colorOrder = IL_ORDER_BGR;
      } else {
        return IL_ERROR_INV_PARAMETER;
      }
      break;
    case 1:
    case 16:
    case 32:
      return IL_ERROR_INV_PARAMETER;
    case 48:
    case 64:
      return IL_ERROR_BPP_NOT_SUPPORTED;
    default:
      return IL_ERROR_INV_BITSPERPIXEL;
  }

  if (rowAlignment != 4 || !pixels) return IL_ERROR_INV_PARAMETER;

  // The pitch is 32-bit arithmetic: a width whose bit count does not fit is
  // refused rather than wrapped into a small, wrong pitch.
  const uint64_t rowBits = static_cast<uint64_t>(width) * bitsPerPixel + 31;
  if (width > INT32_MAX || rowBits > UINT32_MAX) return IL_ERROR_INV_PARAMETER;
  const int64_t pitch = RowPitch(width, bitsPerPixel);
  if (pitch > INT32_MAX) return IL_ERROR_INV_PARAMETER;
  if (pixelBytes != static_cast<uint64_t>(pitch) * static_cast<uint64_t>(height)) {
    return IL_ERROR_INV_PARAMETER;
  }

  handle->Width = static_cast<int32_t>(width);
  handle->Height = height;
  handle->BitsPerPixel = static_cast<int32_t>(bitsPerPixel);
  handle->BytesPerLine = static_cast<int32_t>(pitch);
  handle->Pixels = pixels;
  handle->MemoryHandle = nullptr;
  handle->PaletteEntries = paletteEntries;
  handle->Palette = palette;
  handle->ImageSize = pixelBytes;
  handle->ColorOrder = colorOrder;
  handle->RowAlignment = 4;
  return IL_SUCCESS;
}

void IL_FreeBitmap(pBITMAPHANDLE handle) {
  if (!handle) return;
  if (handle->MemoryHandle) {
    if (handle->Pixels) GlobalUnlock(handle->MemoryHandle);
    GlobalFree(handle->MemoryHandle);
    handle->MemoryHandle = nullptr;
  }
  handle->Pixels = nullptr;
  handle->Palette = nullptr;
}

int IL_CopyBitmapData(pBITMAPHANDLE destination, pBITMAPHANDLE source) {
  if (!destination || !source) return IL_ERROR_NO_BITMAP;
  if (!destination->Pixels || !source->Pixels || destination->BitsPerPixel != 24 ||
      source->BitsPerPixel != 24 || destination->Width <= 0 || destination->Height <= 0 ||
      source->Width <= 0 || source->Height <= 0) {
    return IL_ERROR_INV_PARAMETER;
  }

  if (source->PaletteEntries > 0 && destination->PaletteEntries > 0 && source->Palette &&
      destination->Palette) {
    // Never write past the destination's own palette.
    const int entries = std::min(source->PaletteEntries, destination->PaletteEntries);
    CopyMemory(destination->Palette, source->Palette, static_cast<size_t>(entries) * 4);
  }

  if (source->Width == destination->Width && source->Height == destination->Height) {
    CopyMemory(destination->Pixels, source->Pixels,
               static_cast<size_t>(std::min(source->ImageSize, destination->ImageSize)));
    return IL_SUCCESS;
  }

  // Rows line up on the last rows of both bitmaps.
  const int32_t rows = std::min(source->Height, destination->Height);
  const size_t rowBytes =
      static_cast<size_t>(RowPitch(std::min(source->Width, destination->Width), 24));
  const uint8_t* from =
      source->Pixels + static_cast<int64_t>(source->Height - rows) * source->BytesPerLine;
  uint8_t* to = destination->Pixels +
                static_cast<int64_t>(destination->Height - rows) * destination->BytesPerLine;
  for (int32_t y = 0; y < rows; ++y) {
    CopyMemory(to, from, rowBytes);
    from += source->BytesPerLine;
    to += destination->BytesPerLine;
  }
  return IL_SUCCESS;
}
