// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The job's media record, shared by the device object and the image buffer.
#ifndef QV46_FILTER_DEVICEMEDIABUFFERINFO_H
#define QV46_FILTER_DEVICEMEDIABUFFERINFO_H

#include <cstdint>

// One media-table row (mediaId .. minFirmware) plus the values derived from it
// at the job's resolution (headWidth .. outImageCount).
struct DeviceMediaBufferInfo {
  int32_t mediaId;  // -1: no media chosen
  int32_t multiCutCode;
  double widthInch;
  double heightInch;
  int32_t baseDpi;
  int32_t pageWidthDots;
  int32_t pageHeightDots;
  int32_t marginXDots;
  int32_t marginYDots;
  int32_t gapDots;
  int32_t imageWidthDots;
  int32_t imageHeightDots;
  int32_t imageCount;
  bool twoInchCut;
  double minFirmware;

  int32_t headWidth;
  int64_t resX;
  int64_t resY;
  int32_t outPageWidth;
  int32_t outPageHeight;
  int32_t outImageWidth;
  int32_t outImageHeight;
  int32_t outGap;
  int32_t outImageCount;
};

#endif  // QV46_FILTER_DEVICEMEDIABUFFERINFO_H
