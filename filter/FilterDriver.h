// The filter's job loop: command line, job information wait, settings, and the
// page loop that stores one image per copy and sends them in batches.
#pragma once

#include <cups/cups.h>
#include <cups/raster.h>

#include <csignal>

#include "filter/PhotoPrinterDevice.h"

struct _tagBITMAPHANDLE;

// Set by the SIGTERM handler, polled by the page loop.
extern volatile sig_atomic_t Canceled;

void CancelJob(int signal);

// Waits up to 120 s for the job information file; always returns 0.
int PrinterStatusCheck(char* jobId, int numOptions, cups_option_s* options);

// Sleeps that long; the filter's only pauses go through one of these.
using SleepFunction = void (*)(unsigned seconds);
void SleepSeconds(unsigned seconds);

// PrinterStatusCheck with an injectable sleep.
int WaitForPrInfoFile(const char* jobId, SleepFunction sleepFor);

// What the page loop needs from the device object.
class PageSink {
 public:
  virtual ~PageSink() = default;
  // Takes ownership of `pageBuffer`; returns a heap bitmap record or null.
  virtual _tagBITMAPHANDLE* MakeImage(char* pageBuffer, long width, long height, int slot) = 0;
  virtual void StoreImage(int slot, _tagBITMAPHANDLE* image) = 0;
  // Control commands and the stored images of one print.
  virtual void SendBatch(int count) = 0;
};

// Reads every page of `raster` and stores and sends its copies: batches of
// `layoutCount` images, the first image alone when `halfParity` is 1.
void RunPageLoop(cups_raster_t* raster, PageSink& sink, int layoutCount, int halfParity);

// Forwards the page loop to a device object; a batch is the control
// commands followed by the stored images.
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

// Applies the job's settings to `device`, then runs the page loop with the
// layout count and half-panel parity read for `jobId`.
void RunJob(DeviceEntry& device, cups_raster_t* raster, const char* jobId, int numOptions,
            cups_option_s* options, ppdfile_s* ppd);

// The whole filter; returns the exit status.
int RunFilter(int argc, char* argv[], SleepFunction sleepFor);
