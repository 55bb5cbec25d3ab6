// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The filter's device object: the job's media record and settings, the image
// buffer holding the planes of the batch under way, and every byte of the job
// stream written to standard output.
#ifndef QV46_FILTER_PHOTOPRINTERDEVICE_H
#define QV46_FILTER_PHOTOPRINTERDEVICE_H

#include <cups/cups.h>

#include <cstdio>

#include "filter/Common.h"
#include "filter/DeviceMediaBufferInfo.h"
#include "filter/PhotoImageBuffer.h"

class DeviceCmd;
struct _tagBITMAPHANDLE;

// The stock loaded in the printer as the printer reports it.
struct LoadedMedia {
  char mediaSize[kPrInfoValueSize];  // media size code such as "00310"; empty when unknown
  int remainHalf;                    // half panels left
};

class DeviceEntry {
 public:
  DeviceEntry();
  virtual ~DeviceEntry();
  DeviceEntry(const DeviceEntry&) = delete;
  DeviceEntry& operator=(const DeviceEntry&) = delete;

  // Model-specific operations.
  virtual int GetHeadWidth() = 0;
  virtual int SetMediaSize(int numOptions, cups_option_s* options, ppdfile_s* ppd) = 0;
  virtual int SetMediaInfo(DeviceMediaBufferInfo& info, long mediaId, double firmware) = 0;
  virtual DeviceMediaBufferInfo GetMultiMediaInfo(DeviceMediaBufferInfo* info, int count) = 0;
  virtual int GetMultiLayoutNum(const LoadedMedia& media) = 0;
  virtual int SetOvercoatFinish(unsigned long code, double firmware) = 0;
  virtual void SetPaperRotate(int numOptions, cups_option_s* options, ppdfile_s* ppd);
  virtual int GetRemainHalf(const char* jobId);
  virtual bool isSupportDecurl() = 0;
  virtual bool isSupportSysTime() = 0;

  // Derives headWidth .. outImageCount of `info` at `resolution`. 0, or 3 for
  // a resolution other than 300 or 600.
  int UpdateMediaInfo(DeviceMediaBufferInfo& info);
  int AllocMediaBuffer();
  int FreeMediaBuffer();

  // Page hand-over and batch output.
  _tagBITMAPHANDLE* MakeImageData(char* pageBuffer, long width, long height, int slot);
  void SetImageData(int slot, _tagBITMAPHANDLE* image);
  int Send(const DeviceMediaBufferInfo* info);
  int Clear();
  int SendMediaSize(const DeviceMediaBufferInfo* info);
  int PrintImageData(const DeviceMediaBufferInfo* info);
  int SendImageData(int count);

  // Output. SetCommand returns 1 when it wrote the block, 0 for an empty one.
  int SetCommand(const char* data, unsigned long size);
  int Write(const void* data, int size);
  int DeviceIO(const DeviceCmd* packet);
  // Where the job stream goes; standard output unless a test redirects it.
  void SetOutput(FILE* stream) { output_ = stream; }

  // Settings from job options and PPD defaults.
  int SetResolution(int numOptions, cups_option_s* options, ppdfile_s* ppd);
  void SetBorder(int numOptions, cups_option_s* options, ppdfile_s* ppd);
  void SetSharpness(int numOptions, cups_option_s* options, ppdfile_s* ppd);
  void SetGamma(int numOptions, cups_option_s* options, ppdfile_s* ppd);
  void SetIntensity(int numOptions, cups_option_s* options, ppdfile_s* ppd);
  void SetContrast(int numOptions, cups_option_s* options, ppdfile_s* ppd);
  void SetSaturation(int numOptions, cups_option_s* options, ppdfile_s* ppd);
  void SetColorAdjustment(int numOptions, cups_option_s* options, ppdfile_s* ppd);
  // IPP "print-color-mode": "monochrome" prints a neutral grey.
  void SetColorMode(int numOptions, cups_option_s* options, ppdfile_s* ppd);

  // Control commands; each returns 1 when its packet was written, else 0.
  int SendCutterMode(int numOptions, cups_option_s* options, ppdfile_s* ppd);
  int SendOvercoatFinish(int numOptions, cups_option_s* options, ppdfile_s* ppd);
  int SendPrintRetry(int numOptions, cups_option_s* options, ppdfile_s* ppd);
  int SendPrintSpeed(int numOptions, cups_option_s* options, ppdfile_s* ppd);
  int SendDecurl(int numOptions, cups_option_s* options, ppdfile_s* ppd);
  int SendSysTime();

  PhotoImageBuffer imageBuffer;
  DeviceMediaBufferInfo mediaInfo;

  // Overcoat record: a copy of the chosen overcoat row.
  int32_t overcoatCode;
  int32_t overcoatValue;
  int64_t overcoatFlag;
  double overcoatMinFirmware;

  int64_t cutterMode;
  int64_t resolution;
  int64_t resolutionMode;
  bool rotate;
  bool border;
  int32_t sharpness;
  bool colorAdjustment;
  int32_t gamma[3];
  int32_t brightness[3];
  int32_t contrast[3];
  int32_t saturation;
  bool monochrome;
  // Threads a page is worked on with: the machine's cores unless a test or
  // benchmark sets another count. The stream is the same for any count.
  int threads;

 protected:
  // Builds one command packet and writes it whole; returns 1 (also when the
  // packet could not be built, in which case nothing is written).
  int SendControl(const char* command, const char* parameter, const char* payload,
                  int payloadLength);

 private:
  FILE* output_;
};

#endif  // QV46_FILTER_PHOTOPRINTERDEVICE_H
