// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "filter/PhotoPrinterDevice.h"

#include <cstdlib>
#include <cstring>

#include "common/PhotoPrinterDevice.h"
#include "imglib/ImgLib.h"

DeviceEntry::DeviceEntry()
    : overcoatCode(-1),
      overcoatValue(0),
      overcoatFlag(0),
      overcoatMinFirmware(0),
      cutterMode(0),
      resolution(300),
      resolutionMode(0),
      rotate(false),
      border(false),
      sharpness(0),
      colorAdjustment(false),
      gamma{0, 0, 0},
      brightness{0, 0, 0},
      contrast{0, 0, 0},
      saturation(0),
      monochrome(false),
      threads(IL_DefaultThreadCount()),
      output_(stdout) {
  // Zero every byte, padding included, so records compare byte for byte.
  std::memset(&mediaInfo, 0, sizeof mediaInfo);
  mediaInfo.mediaId = -1;
}

DeviceEntry::~DeviceEntry() { FreeMediaBuffer(); }

void DeviceEntry::SetPaperRotate(int, cups_option_s*, ppdfile_s*) { rotate = false; }

int DeviceEntry::GetRemainHalf(const char*) { return 0; }

int DeviceEntry::UpdateMediaInfo(DeviceMediaBufferInfo& info) {
  if (resolution != 300 && resolution != 600) return kDeviceBadArgument;
  if (info.mediaId == -1) return kDeviceOk;
  // A row always has baseDpi 300; guard the divisions anyway.
  if (info.baseDpi <= 0) return kDeviceBadArgument;

  const int64_t base = info.baseDpi;
  info.resX = 300;
  info.resY = resolution;
  info.outPageWidth = static_cast<int32_t>(info.pageWidthDots * info.resX / base);
  info.outPageHeight = static_cast<int32_t>(info.pageHeightDots * info.resY / base);
  info.headWidth = GetHeadWidth();
  info.outImageWidth = static_cast<int32_t>(info.imageWidthDots * info.resX / base);
  info.outImageHeight = static_cast<int32_t>(info.imageHeightDots * info.resY / base);
  info.outGap = static_cast<int32_t>(info.gapDots * info.resY / base);
  info.outImageCount = info.imageCount;
  return kDeviceOk;
}

int DeviceEntry::AllocMediaBuffer() { return imageBuffer.Alloc(mediaInfo); }

int DeviceEntry::FreeMediaBuffer() { return imageBuffer.Free(); }

_tagBITMAPHANDLE* DeviceEntry::MakeImageData(char* pageBuffer, long width, long height, int slot) {
  if (AllocMediaBuffer() != 0) {
    std::free(pageBuffer);  // the page is ours to release until ColorProcess takes it
    return nullptr;
  }
  imageBuffer.resolution = resolution;
  imageBuffer.resolutionMode = resolutionMode;
  imageBuffer.rotate = rotate;
  imageBuffer.border = border;
  imageBuffer.sharpness = sharpness;
  imageBuffer.colorAdjustment = colorAdjustment;
  for (int k = 0; k < 3; ++k) {
    imageBuffer.gamma[k] = gamma[k];
    imageBuffer.brightness[k] = brightness[k];
    imageBuffer.contrast[k] = contrast[k];
  }
  imageBuffer.saturation = saturation;
  imageBuffer.monochrome = monochrome;
  imageBuffer.threads = threads;
  return imageBuffer.ColorProcess(pageBuffer, width, height, slot);
}

void DeviceEntry::SetImageData(int slot, _tagBITMAPHANDLE* image) {
  imageBuffer.SetImageData(slot, image);
}

int DeviceEntry::Send(const DeviceMediaBufferInfo* info) { return imageBuffer.Send(this, info); }

int DeviceEntry::Clear() { return imageBuffer.Clear(); }

int DeviceEntry::SetCommand(const char* data, unsigned long size) {
  if (data == nullptr || size == 0) return 0;
  // A short write means the stream to the printer is broken: report it.
  return std::fwrite(data, 1, size, output_) == size ? 1 : 0;
}

int DeviceEntry::Write(const void* data, int size) {
  if (data != nullptr && size > 0) std::fwrite(data, 1, static_cast<size_t>(size), output_);
  return 0;
}

int DeviceEntry::DeviceIO(const DeviceCmd* packet) {
  if (packet != nullptr) Write(packet->buffer(), packet->length());
  return 0;
}

int DeviceEntry::SendControl(const char* command, const char* parameter, const char* payload,
                             int payloadLength) {
  DeviceCmd packet;
  if (packet.MakeCmd(command, parameter, payloadLength, payload) == kDeviceOk) {
    DeviceIO(&packet);
  }
  return 1;
}

int DeviceEntry::SendMediaSize(const DeviceMediaBufferInfo* info) {
  char payload[16];
  const int length = std::snprintf(payload, sizeof payload, "%08d", info->multiCutCode);
  return SendControl("IMAGE", "MULTICUT", payload, length);
}

int DeviceEntry::PrintImageData(const DeviceMediaBufferInfo* info) {
  SendMediaSize(info);
  if (Send(info) != 0) return 0;
  SendControl("CNTRL", "START", nullptr, -1);
  return 1;
}

int DeviceEntry::SendImageData(int count) {
  DeviceMediaBufferInfo panel = count <= 1 ? mediaInfo : GetMultiMediaInfo(&mediaInfo, count);
  if (PrintImageData(&panel) == 0) return 0;
  Clear();
  return 1;
}
