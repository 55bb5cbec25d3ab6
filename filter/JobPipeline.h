// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The page processing shared by every program that prints on a QV-46: job
// settings, page buffers, and a push-style batcher that turns pages into
// stored images and sends them in batches.
#pragma once

#include <cups/cups.h>

#include <cstdint>
#include <functional>

#include "filter/Common.h"
#include "filter/PhotoPrinterDevice.h"

struct _tagBITMAPHANDLE;

// Asked at each point where a job may stop; true once the job is cancelled.
using CancelCheck = std::function<bool()>;

// CUPS's range of copies; more is refused, not obeyed.
constexpr unsigned kMaxCopies = 9999;

// What the page batcher needs from the device object.
class PageSink {
 public:
  virtual ~PageSink() = default;
  // Takes ownership of `pageBuffer`; returns a heap bitmap record or null.
  virtual _tagBITMAPHANDLE* MakeImage(char* pageBuffer, long width, long height, int slot) = 0;
  virtual void StoreImage(int slot, _tagBITMAPHANDLE* image) = 0;
  // Control commands and the stored images of one print.
  virtual void SendBatch(int count) = 0;
};

// Forwards the batcher to a device object; a batch is the control commands
// followed by the stored images.
class DeviceSink : public PageSink {
 public:
  DeviceSink(DeviceEntry& device, int numOptions, cups_option_s* options, ppdfile_s* ppd)
      : device_(device), numOptions_(numOptions), options_(options), ppd_(ppd) {}
  _tagBITMAPHANDLE* MakeImage(char* pageBuffer, long width, long height, int slot) override;
  void StoreImage(int slot, _tagBITMAPHANDLE* image) override;
  void SendBatch(int count) override;

 private:
  DeviceEntry& device_;
  int numOptions_;
  cups_option_s* options_;
  ppdfile_s* ppd_;
};

// A zeroed bottom-up 24-bit page buffer (free with std::free), or null when
// the page is too large to keep or memory is short.
char* AllocPageBuffer(unsigned width, unsigned height);

// Copies raster line `line` (top row 0) of `lineBytes` bytes into its row of
// `page`; only the first three bytes per pixel are taken.
void PutPageLine(char* page, unsigned width, unsigned height, unsigned line,
                 const unsigned char* pixels, uint64_t lineBytes);

// Images per panel and the half-panel parity of one job.
struct JobLayout {
  int layoutCount;
  int halfParity;
};

// Applies the job's settings to `device` in their fixed order and returns
// the layout for the loaded media.
JobLayout StartJob(DeviceEntry& device, int numOptions, cups_option_s* options, ppdfile_s* ppd,
                   const LoadedMedia& media);

// Stores one image per copy of each page pushed in and sends them in batches
// of `layoutCount` images, the job's first image alone when `halfParity` is
// 1. A cancel stops the job after the batch being sent.
class PageBatcher {
 public:
  PageBatcher(PageSink& sink, JobLayout layout, CancelCheck canceled);
  PageBatcher(const PageBatcher&) = delete;
  PageBatcher& operator=(const PageBatcher&) = delete;

  // Makes the image of one page (taking ownership of `pageBuffer`) and
  // stores its copies, at most kMaxCopies. False once the job is cancelled.
  bool AddPage(char* pageBuffer, long width, long height, unsigned copies);
  // Sends the images stored and not yet sent, unless the job is cancelled.
  void Finish();

 private:
  PageSink& sink_;
  int layout_;
  int halfParity_;
  CancelCheck canceled_;
  int stored_ = 0;
  long pageIndex_ = 0;
};
