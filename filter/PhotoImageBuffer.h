// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Photo image buffer: the filter's colour pipeline and the plane data it sends.
//
// ColorProcess turns one bottom-up RGB page into a processed 24-bit bitmap;
// SetImageData stores such a bitmap in one of three slots as Y, M and C
// planes; Send writes the stored planes of one panel as three IMAGE packets,
// each carrying an 8-bit greyscale BMP file.
#ifndef QV46_FILTER_PHOTOIMAGEBUFFER_H
#define QV46_FILTER_PHOTOIMAGEBUFFER_H

#include <cstdint>

#include "filter/DeviceMediaBufferInfo.h"
#include "imglib/ImgLib.h"

class DeviceEntry;

class PhotoImageBuffer {
 public:
  static constexpr int kSlotCount = 3;
  static constexpr int kPlaneCount = 3;  // Y, M, C

  PhotoImageBuffer();
  virtual ~PhotoImageBuffer();
  PhotoImageBuffer(const PhotoImageBuffer&) = delete;
  PhotoImageBuffer& operator=(const PhotoImageBuffer&) = delete;

  // Stores the job's single-image media record when it differs from the one
  // held; allocates nothing. Returns 0.
  int Alloc(const DeviceMediaBufferInfo& record);
  // Releases the planes of all slots. Both return 0.
  int Clear();
  int Free();

  // Colour pipeline of one page. Takes ownership of `pixels` (height rows,
  // bottom row first, red/green/blue bytes, rows padded to 4 bytes). Returns
  // a new heap record of the processed 24-bit image (ColorOrder 1) that owns
  // its pixels, or a record without pixels when the page could not be
  // processed. The caller releases it with IL_FreeBitmap and deletes it.
  // `slot` is not used.
  _tagBITMAPHANDLE* ColorProcess(void* pixels, long width, long height, int slot);

  // Separates `image` into the Y, M and C planes of `slot` (0 to 2).
  void SetImageData(int slot, _tagBITMAPHANDLE* image);

  // Writes the three plane packets of one panel through device->SetCommand.
  // Returns 0 when all three were written, 3 otherwise.
  int Send(DeviceEntry* device, const DeviceMediaBufferInfo* panel);

  // Job settings, copied in by the owner before every ColorProcess.
  int64_t resolution = 300;
  int64_t resolutionMode = 0;
  bool rotate = false;
  bool border = true;
  int32_t sharpness = 0;
  bool colorAdjustment = false;
  int32_t gamma[3] = {0, 0, 0};       // x 100, for bytes 0, 1, 2 (R, G, B)
  int32_t brightness[3] = {0, 0, 0};  // same order
  int32_t contrast[3] = {0, 0, 0};    // same order
  int32_t saturation = 0;
  bool monochrome = false;  // the processed image ends as a neutral grey
  // Threads the pixel loops may use; the bytes are the same for any count.
  int threads = 1;

 private:
  // Scales `source` into the border margins of the media record, in strips.
  // False when the page fits to nothing or memory is short.
  bool FitInsideBorder(BITMAPHANDLE* source) const;

  DeviceMediaBufferInfo mediaInfo_;
  BITMAPHANDLE planes_[kSlotCount][kPlaneCount];  // plane 0 Y, 1 M, 2 C
};

#endif  // QV46_FILTER_PHOTOIMAGEBUFFER_H
