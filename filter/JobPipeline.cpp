// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "filter/JobPipeline.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "filter/PhotoImageBuffer.h"
#include "imglib/ImgLib.h"

namespace {

// The largest real page (6 x 9 inch at 600 x 600 dpi) needs about 60 MB.
constexpr uint64_t kMaxPageBytes = uint64_t{256} << 20;

}  // namespace

_tagBITMAPHANDLE* DeviceSink::MakeImage(char* pageBuffer, long width, long height, int slot) {
  return device_.MakeImageData(pageBuffer, width, height, slot);
}

void DeviceSink::StoreImage(int slot, _tagBITMAPHANDLE* image) {
  device_.SetImageData(slot, image);
}

void DeviceSink::SendBatch(int count) {
  device_.SendCutterMode(numOptions_, options_, ppd_);
  device_.SendOvercoatFinish(numOptions_, options_, ppd_);
  device_.SendPrintRetry(numOptions_, options_, ppd_);
  device_.SendPrintSpeed(numOptions_, options_, ppd_);
  device_.SendDecurl(numOptions_, options_, ppd_);
  device_.SendImageData(count);
}

char* AllocPageBuffer(unsigned width, unsigned height) {
  const uint64_t stride = PageStride(width);
  if (height != 0 && stride > kMaxPageBytes / height) return nullptr;
  return static_cast<char*>(std::calloc(std::max<uint64_t>(stride * height, 1), 1));
}

void PutPageLine(char* page, unsigned width, unsigned height, unsigned line,
                 const unsigned char* pixels, uint64_t lineBytes) {
  if (line >= height) return;
  // Lines shorter than three bytes per pixel fill only the start of a row.
  const uint64_t copyBytes = std::min<uint64_t>(lineBytes, uint64_t{3} * width);
  // The buffer is bottom-up: line 0 is the last row.
  const unsigned row = height - line - 1;
  std::memcpy(page + uint64_t{row} * PageStride(width), pixels, copyBytes);
}

JobLayout StartJob(DeviceEntry& device, int numOptions, cups_option_s* options, ppdfile_s* ppd,
                   const LoadedMedia& media) {
  device.SendSysTime();
  // Resolution first, so the media record is derived at the job's resolution.
  device.SetResolution(numOptions, options, ppd);
  device.SetMediaSize(numOptions, options, ppd);
  device.SetBorder(numOptions, options, ppd);
  device.SetSharpness(numOptions, options, ppd);
  device.SetGamma(numOptions, options, ppd);
  device.SetIntensity(numOptions, options, ppd);
  device.SetContrast(numOptions, options, ppd);
  device.SetSaturation(numOptions, options, ppd);
  device.SetColorAdjustment(numOptions, options, ppd);
  device.SetColorMode(numOptions, options, ppd);
  device.SetPaperRotate(numOptions, options, ppd);
  // A signed remainder: a negative odd count is not "odd" here.
  return {device.GetMultiLayoutNum(media), media.remainHalf % 2};
}

PageBatcher::PageBatcher(PageSink& sink, JobLayout layout, CancelCheck canceled)
    // The image buffer has this many slots; a batch never holds more.
    : sink_(sink),
      layout_(std::clamp(layout.layoutCount, 1, PhotoImageBuffer::kSlotCount)),
      halfParity_(layout.halfParity),
      canceled_(std::move(canceled)) {}

bool PageBatcher::AddPage(char* pageBuffer, long width, long height, unsigned copies) {
  _tagBITMAPHANDLE* image = sink_.MakeImage(pageBuffer, width, height, stored_);
  bool going = true;
  const unsigned count = std::min(copies, kMaxCopies);
  for (unsigned copy = 0; copy < count && going; ++copy) {
    // With an odd half-panel count the job's very first image prints alone.
    const int batch = (halfParity_ == 1 && pageIndex_ == 0 && copy == 0) ? 1 : layout_;
    sink_.StoreImage(stored_, image);
    ++stored_;
    if (stored_ >= batch) {
      sink_.SendBatch(batch);
      stored_ = 0;
      going = !canceled_();
    }
  }
  IL_FreeBitmap(image);
  delete image;
  ++pageIndex_;
  return going;
}

void PageBatcher::Finish() {
  if (stored_ > 0 && !canceled_()) sink_.SendBatch(stored_);
  stored_ = 0;
}
