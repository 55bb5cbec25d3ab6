// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The QV-46 model profile: media and overcoat tables, page size to media row,
// two-up layouts and the capability answers.
#pragma once

#include "filter/PhotoPrinterDevice.h"

// Rows in the layout of DeviceMediaBufferInfo (the derived fields stay zero),
// ended by a row whose mediaId is -1.
extern const DeviceMediaBufferInfo gMediaInfo_QV46[];

struct OverCoatInfo {
  int32_t code;  // -1 ends the table
  int32_t value;
  int64_t flag;
  double minFirmware;
};
extern const OverCoatInfo gOverCoatInfo_QV46[];

class DeviceEntry_QV46 : public DeviceEntry {
 public:
  static constexpr int kHeadWidth = 1920;

  ~DeviceEntry_QV46() override = default;

  int GetHeadWidth() override;
  int SetMediaSize(int numOptions, cups_option_s* options, ppdfile_s* ppd) override;
  int SetMediaInfo(DeviceMediaBufferInfo& info, long mediaId, double firmware) override;
  DeviceMediaBufferInfo GetMultiMediaInfo(DeviceMediaBufferInfo* info, int count) override;
  int GetMultiLayoutNum(const LoadedMedia& media) override;
  int SetOvercoatFinish(unsigned long code, double firmware) override;
  void SetPaperRotate(int numOptions, cups_option_s* options, ppdfile_s* ppd) override;
  int GetRemainHalf(const char* jobId) override;
  bool isSupportDecurl() override;
  bool isSupportSysTime() override;
};
