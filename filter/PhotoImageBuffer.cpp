// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "filter/PhotoImageBuffer.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "common/PhotoPrinterDevice.h"
#include "filter/Common.h"
#include "filter/PhotoPrinterDevice.h"

namespace {

constexpr int32_t kHandleSize = sizeof(BITMAPHANDLE);
constexpr long kStripRows = 1000;

// Plane block: packet header, then a BMP file whose pixels start 1088 bytes
// into it (file header, information header, grey palette, padding).
constexpr size_t kPacketHeaderSize = kCmdHeaderSize;
constexpr size_t kBmpPixelOffset = 1088;
const char* const kPlaneNames[PhotoImageBuffer::kPlaneCount] = {"YPLANE", "MPLANE", "CPLANE"};

// Pages larger than this cannot be described by a bitmap handle.
constexpr long kMaxDimension = INT32_MAX / 32;

// A handle record that releases whatever pixels it owns when it goes away.
struct OwnedBitmap {
  BITMAPHANDLE h{};
  OwnedBitmap() = default;
  OwnedBitmap(const OwnedBitmap&) = delete;
  OwnedBitmap& operator=(const OwnedBitmap&) = delete;
  ~OwnedBitmap() { IL_FreeBitmap(&h); }
};

// Wraps a heap block as a 24-bit bitmap with ColorOrder 1 that owns it. On
// failure the block is freed and false returned.
bool AdoptBlock(OwnedBitmap* bitmap, uint8_t* block, long width, long height) {
  if (!block) return false;
  const int status =
      IL_CreateBitmap(&bitmap->h, kHandleSize, IL_BITMAP_KIND, uint32_t(width), int32_t(height), 24,
                      IL_ORDER_BGR, nullptr, 4, block, uint64_t(PageStride(width)) * height);
  if (status != IL_SUCCESS) {
    GlobalFree(block);
    return false;
  }
  bitmap->h.MemoryHandle = bitmap->h.Pixels;
  return true;
}

// A neutral grey of each pixel's luma (byte 0 is the raster's red): the same
// value in all three bytes, so the three planes print alike.
// The record stays as it is, but its pixels change: the pointer says so.
// cppcheck-suppress constParameterPointer
void ToNeutralGrey(BITMAPHANDLE* image) {
  for (int32_t y = 0; y < image->Height; ++y) {
    uint8_t* pixel = image->Pixels + int64_t(y) * image->BytesPerLine;
    for (int32_t x = 0; x < image->Width; ++x, pixel += 3) {
      const uint8_t grey = uint8_t((299 * pixel[0] + 587 * pixel[1] + 114 * pixel[2] + 500) / 1000);
      pixel[0] = pixel[1] = pixel[2] = grey;
    }
  }
}

uint8_t* AllocBlock(uint64_t size) { return static_cast<uint8_t*>(GlobalAlloc(0, size_t(size))); }

// Quarter turn counter-clockwise of a bottom-up page: output (row r, column c)
// is input (row height - 1 - c, column r). Frees `pixels`; null when out of
// memory.
uint8_t* RotatePage(uint8_t* pixels, long width, long height, int threads) {
  const long inPitch = long(PageStride(width));
  const long outPitch = long(PageStride(height));
  uint8_t* rotated = AllocBlock(uint64_t(outPitch) * width);
  if (rotated) {
    // Tiles keep both the rows read and the rows written in cache; bands of
    // whole tiles of output rows go to the threads.
    constexpr long kTile = 64;
    const int32_t tileRows = int32_t((width + kTile - 1) / kTile);
    IL_RunRowBands(
        tileRows, IL_RowBandCount(tileRows, threads),
        [&](int32_t, int32_t firstTile, int32_t endTile) {
          for (long r0 = firstTile * kTile; r0 < std::min(width, endTile * kTile); r0 += kTile) {
            const long r1 = std::min(width, r0 + kTile);
            for (long c0 = 0; c0 < height; c0 += kTile) {
              const long c1 = std::min(height, c0 + kTile);
              for (long r = r0; r < r1; ++r) {
                uint8_t* out = rotated + r * outPitch;
                for (long c = c0; c < c1; ++c) {
                  const uint8_t* in = pixels + (height - 1 - c) * inPitch + r * 3;
                  out[3 * c] = in[0];
                  out[3 * c + 1] = in[1];
                  out[3 * c + 2] = in[2];
                }
              }
            }
            for (long r = r0; r < r1; ++r) {
              memset(rotated + r * outPitch + 3 * height, 0, size_t(outPitch - 3 * height));
            }
          }
          return IL_SUCCESS;
        });
  }
  GlobalFree(pixels);
  return rotated;
}

// The job's tone curves as one table per pixel byte: each curve passes the
// palette of a one-row plane, as it would the palette of a whole plane. False
// when out of memory.
bool ToneTables(const int32_t gamma[3], const int32_t brightness[3], const int32_t contrast[3],
                uint8_t tables[3][256]) {
  for (int k = 0; k < 3; ++k) {
    uint8_t row[256];
    uint8_t palette[256 * 4] = {};
    for (int v = 0; v < 256; ++v) {
      row[v] = uint8_t(v);
      palette[4 * v] = palette[4 * v + 1] = palette[4 * v + 2] = uint8_t(v);
    }
    BITMAPHANDLE plane{};
    if (IL_CreateBitmap(&plane, kHandleSize, IL_BITMAP_KIND, 256, 1, 8, IL_ORDER_GRAY, palette, 4,
                        row, sizeof row) != IL_SUCCESS) {
      return false;
    }
    IL_GammaCorrectBitmap(&plane, uint32_t(gamma[k]));
    IL_ChangeBitmapIntensity(&plane, brightness[k]);
    IL_ChangeBitmapContrast(&plane, contrast[k]);
    for (int v = 0; v < 256; ++v) tables[k][v] = palette[4 * v + k];
  }
  return true;
}

// Makes `source` the page (width x height, freed here), turned a quarter if
// `turn`, resampled to newWidth x newHeight. False when memory is short.
bool ResamplePage(OwnedBitmap* source, uint8_t* page, long width, long height, bool turn,
                  long newWidth, long newHeight, int threads) {
  const long pitch = long(PageStride(width));
  // Turned a quarter counter-clockwise: pixel (x, y) is page pixel (y,
  // height - 1 - x), as RotatePage lays it out.
  const IL_PixelView view =
      turn ? IL_PixelView{page + (height - 1) * pitch, -pitch, 3, int32_t(height), int32_t(width)}
           : IL_PixelView{page, 3, pitch, int32_t(width), int32_t(height)};
  const long newPitch = long(PageStride(newWidth));
  uint8_t* block = AllocBlock(uint64_t(newPitch) * newHeight);
  const bool done =
      block && IL_ResampleView(view, int32_t(newWidth), int32_t(newHeight), int32_t(newHeight),
                               block, newPitch, threads) == IL_SUCCESS;
  GlobalFree(page);
  if (!done) {
    GlobalFree(block);
    return false;
  }
  return AdoptBlock(source, block, newWidth, newHeight);
}

}  // namespace

PhotoImageBuffer::PhotoImageBuffer() {
  memset(&mediaInfo_, 0, sizeof mediaInfo_);
  mediaInfo_.mediaId = -1;
  memset(planes_, 0, sizeof planes_);
}

PhotoImageBuffer::~PhotoImageBuffer() { Clear(); }

int PhotoImageBuffer::Alloc(const DeviceMediaBufferInfo& record) {
  if (memcmp(&record, &mediaInfo_, sizeof record) != 0) mediaInfo_ = record;
  return 0;
}

int PhotoImageBuffer::Clear() {
  for (auto& slot : planes_) {
    for (BITMAPHANDLE& plane : slot) IL_FreeBitmap(&plane);
  }
  return 0;
}

int PhotoImageBuffer::Free() { return Clear(); }

// Any step that runs out of memory ends the pipeline with the empty record, so
// the page's area of the print stays white and the job goes on. Refusals of a
// setting (a gamma of 0, a value out of range) leave the image as it was.
_tagBITMAPHANDLE* PhotoImageBuffer::ColorProcess(void* pixels, long width, long height,
                                                 int /*slot*/) {
  // cppcheck 2.17 loses track of both in this long function: page is freed,
  // rotated and resized below, and result is what the function returns.
  // cppcheck-suppress [constVariablePointer, unreadVariable]
  uint8_t* page = static_cast<uint8_t*>(pixels);
  // cppcheck-suppress unusedAllocatedMemory
  BITMAPHANDLE* result = new (std::nothrow) BITMAPHANDLE{};
  if (!result || !page || width <= 0 || height <= 0 || width > kMaxDimension ||
      height > kMaxDimension) {
    GlobalFree(page);
    return result;
  }

  // Portrait pages are turned before anything else. Back to 300 dpi across
  // the head; a turned 300x600 page also doubles along the paper.
  const long turnedWidth = rotate ? height : width;
  const long turnedHeight = rotate ? width : height;
  long newWidth = 0, newHeight = 0;
  if (resolutionMode == 2) {
    newWidth = turnedWidth / 2;
    newHeight = turnedHeight;
  } else if (resolutionMode == 1 && rotate) {
    newWidth = turnedWidth / 2;
    newHeight = turnedHeight * 2;
  }
  // The source bitmap owns the page, or what became of it, from here on.
  OwnedBitmap source;
  if (newWidth > 0 && newHeight > 0) {
    // One pass reads the page as turned and resamples it.
    if (!ResamplePage(&source, page, width, height, rotate, newWidth, newHeight, threads)) {
      return result;
    }
  } else {
    // A page too narrow to halve is turned, and left at its size.
    if (rotate) page = RotatePage(page, width, height, threads);
    if (!AdoptBlock(&source, page, turnedWidth, turnedHeight)) return result;
  }

  // Fit inside the border margins. A record without page dimensions (no
  // media chosen) gives no scale, and the page is left as it is.
  if (border && mediaInfo_.pageWidthDots > 0 && mediaInfo_.pageHeightDots > 0) {
    if (!FitInsideBorder(&source.h)) return result;
  }

  // The tone curves, identity unless the job's own colour adjustment
  // applies, map each byte of every pixel; the sharpening pass reads the
  // pixels through them. Sharpening and saturation always run; 0 still
  // makes the round trip.
  uint8_t tables[3][256];
  const int32_t identityGamma[3] = {100, 100, 100}, none[3] = {0, 0, 0};
  if (!ToneTables(colorAdjustment ? gamma : identityGamma, colorAdjustment ? brightness : none,
                  colorAdjustment ? contrast : none, tables)) {
    return result;
  }
  bool identity = true;
  for (int v = 0; v < 256; ++v) {
    identity = identity && tables[0][v] == v && tables[1][v] == v && tables[2][v] == v;
  }
  const int sharpened =
      IL_SharpenBitmap(&source.h, sharpness, threads, identity ? nullptr : tables);
  if (sharpened == IL_ERROR_NO_MEMORY) return result;
  // A strength out of range is refused; the curves still apply.
  if (sharpened != IL_SUCCESS && !identity) IL_MapBitmapBytes(&source.h, tables, threads);
  IL_ChangeBitmapSaturation(&source.h, colorAdjustment ? saturation : 0, threads);
  if (monochrome) ToNeutralGrey(&source.h);

  // The caller's record takes the pixels over.
  *result = source.h;
  source.h = BITMAPHANDLE{};
  return result;
}

bool PhotoImageBuffer::FitInsideBorder(BITMAPHANDLE* source) const {
  const float ratioX = float(double(mediaInfo_.pageWidthDots - 2 * mediaInfo_.marginXDots) /
                             double(mediaInfo_.pageWidthDots));
  const float ratioY = float(double(mediaInfo_.pageHeightDots - 2 * mediaInfo_.marginYDots) /
                             double(mediaInfo_.pageHeightDots));
  const float scale = ratioY < ratioX ? ratioY : ratioX;
  const long srcWidth = source->Width;
  const long srcHeight = source->Height;
  const long srcPitch = source->BytesPerLine;
  const long fitWidth = long(float(srcWidth) * scale);
  const long fitHeight = long(float(srcHeight) * scale);
  // A page the scale shrinks to no width or no height has no fitted
  // bitmap: every later step finds no pixels, and its area prints white.
  if (fitWidth <= 0 || fitHeight <= 0) return false;
  const long fitPitch = long(PageStride(fitWidth));
  OwnedBitmap fitted;
  if (!AdoptBlock(&fitted, AllocBlock(uint64_t(fitPitch) * fitHeight), fitWidth, fitHeight)) {
    return false;
  }

  // Strips of source rows, each scaled on its own straight into its rows of
  // the fitted bitmap; rows the strips leave are white.
  long filled = 0;
  for (long t = 0; t < srcHeight && filled < fitHeight; t += kStripRows) {
    const long n = std::min(kStripRows, srcHeight - t);
    const long stripHeight = long(float(n) * scale);
    if (stripHeight <= 0) continue;  // adds no rows
    const IL_PixelView strip{source->Pixels + t * srcPitch, 3, srcPitch, int32_t(srcWidth),
                             int32_t(n)};
    const long rows = std::min(stripHeight, fitHeight - filled);
    if (IL_ResampleView(strip, int32_t(fitWidth), int32_t(stripHeight), int32_t(rows),
                        fitted.h.Pixels + filled * fitPitch, fitPitch, threads) != IL_SUCCESS) {
      return false;
    }
    filled += rows;
  }
  memset(fitted.h.Pixels + filled * fitPitch, 0xFF, size_t(fitPitch) * (fitHeight - filled));
  std::swap(*source, fitted.h);  // the old source is released with `fitted`
  return true;
}

void PhotoImageBuffer::SetImageData(int slot, _tagBITMAPHANDLE* image) {
  if (slot < 0 || slot >= kSlotCount) return;
  // Planes left over from a batch that failed to send are released here
  // rather than leaked.
  for (BITMAPHANDLE& plane : planes_[slot]) {
    IL_FreeBitmap(&plane);
    plane = BITMAPHANDLE{};
  }
  // Byte 0 (the raster's red) goes to the C plane, byte 2 (blue) to Y.
  BITMAPHANDLE* planeList[3] = {&planes_[slot][2], &planes_[slot][1], &planes_[slot][0]};
  IL_ColorSeparateBitmap(image, planeList, kHandleSize, 0, threads);
}

int PhotoImageBuffer::Send(DeviceEntry* device, const DeviceMediaBufferInfo* panel) {
  if (!device || !panel || panel->headWidth < 0 || panel->outPageHeight < 0)
    return kDeviceBadArgument;
  const long width = panel->headWidth;
  const long height = panel->outPageHeight;
  const long stride = (((width * 8 + 7) / 8) + 3) & ~3L;
  const uint64_t pixelBytes = uint64_t(stride) * uint64_t(height);
  if (kBmpPixelOffset + pixelBytes > uint64_t(kCmdMaxPayload)) return kDeviceBadArgument;
  const uint32_t payloadLength = uint32_t(kBmpPixelOffset + pixelBytes);
  const size_t blockLength = kPacketHeaderSize + payloadLength;

  std::unique_ptr<uint8_t, void (*)(HGLOBAL)> owner(AllocBlock(blockLength), GlobalFree);
  uint8_t* block = owner.get();
  if (!block) return kDeviceBadArgument;

  // BMP file and information headers, grey palette, padding.
  uint8_t* bmp = block + kPacketHeaderSize;
  memset(bmp, 0, kBmpPixelOffset);
  _StoreLE2(bmp + 0, 0x4D42);  // "BM"
  _StoreLE4(bmp + 2, int(payloadLength));
  _StoreLE4(bmp + 10, int(kBmpPixelOffset));
  _StoreLE4(bmp + 14, 40);
  _StoreLE4(bmp + 18, int(width));
  _StoreLE4(bmp + 22, int(height));
  _StoreLE2(bmp + 26, 1);
  _StoreLE2(bmp + 28, 8);
  _StoreLE4(bmp + 34, int(pixelBytes));
  _StoreLE4(bmp + 38, int(double(panel->resX) * 1000 / 25.4));
  _StoreLE4(bmp + 42, int(double(panel->resY) * 1000 / 25.4));
  _StoreLE4(bmp + 46, 256);
  _StoreLE4(bmp + 50, 256);
  for (int v = 0; v < 256; ++v) {
    uint8_t* entry = bmp + 54 + 4 * v;
    entry[0] = entry[1] = entry[2] = uint8_t(v);
  }

  // White everywhere no image lands; filled once for all three planes, as
  // every plane puts its images in the same places. The rows are shared out
  // in bands, each band filling and copying its own rows.
  uint8_t* pixels = bmp + kBmpPixelOffset;
  const int32_t bands = IL_RowBandCount(int32_t(height), threads);
  IL_RunRowBands(int32_t(height), bands, [&](int32_t, int32_t first, int32_t end) {
    memset(pixels + first * stride, 0xFF, size_t(stride) * size_t(end - first));
    return IL_SUCCESS;
  });

  const int images = std::clamp(panel->outImageCount, 0, kSlotCount);
  const long band = panel->outImageHeight;
  for (int p = 0; p < kPlaneCount; ++p) {
    if (WriteCmdHeader(block, "IMAGE", kPlaneNames[p], long(payloadLength)) != 0)
      return kDeviceBadArgument;
    IL_RunRowBands(int32_t(height), bands, [&](int32_t, int32_t first, int32_t end) {
      for (int i = 0; i < images; ++i) {
        const BITMAPHANDLE& plane = planes_[i][p];
        if (!plane.Pixels) continue;
        // Centred across the head and within the image's band; band i starts
        // i x (gap + single panel height) rows above the bottom of the print.
        const long rows = std::min<long>(band, plane.Height);
        const long columns = std::min<long>(width, plane.Width);
        const long top = i * long(panel->outGap + mediaInfo_.outPageHeight) + (band - rows) / 2;
        const long left = (width - columns) / 2;
        for (long row = std::max<long>(top, first); row < std::min<long>(top + rows, end); ++row) {
          memcpy(pixels + row * stride + left, plane.Pixels + (row - top) * plane.BytesPerLine,
                 size_t(columns));
        }
      }
      return IL_SUCCESS;
    });
    if (device->SetCommand(reinterpret_cast<char*>(block), blockLength) == 0)
      return kDeviceBadArgument;
  }
  return kDeviceOk;
}
