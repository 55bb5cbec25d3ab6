// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "filter/PhotoPrinterDeviceQV46.h"

#include <cstddef>
#include <cstring>
#include <string>

#include "common/PhotoPrinterDevice.h"
#include "common/TmpFiles.h"

namespace {

// One media-table row; the derived fields of the record stay zero.
constexpr DeviceMediaBufferInfo Row(int32_t id, int32_t code, double widthInch, double heightInch,
                                    int32_t pageWidth, int32_t pageHeight, int32_t marginX,
                                    int32_t marginY, int32_t gap, int32_t imageWidth,
                                    int32_t imageHeight, int32_t count, bool twoInchCut,
                                    double minFirmware) {
  return DeviceMediaBufferInfo{
      id,      code, widthInch,  heightInch,  300,   pageWidth,  pageHeight,  marginX,
      marginY, gap,  imageWidth, imageHeight, count, twoInchCut, minFirmware, 0,
      0,       0,    0,          0,           0,     0,          0,           0};
}

// Bytes of a record that come from the table (mediaId .. minFirmware).
constexpr size_t kRowBytes = offsetof(DeviceMediaBufferInfo, minFirmware) + sizeof(double);

struct PageSizeRow {
  const char* pageSize;
  int32_t mediaId;
};

// Page size names in the order they are compared.
constexpr PageSizeRow kPageSizes[] = {
    {"127x89mm", 1},   {"89x127mm", 1},  {"127x127mm", 10}, {"127x178mm", 2},
    {"153x102mm", 3},  {"102x153mm", 3}, {"153x115mm", 12}, {"115x153mm", 12},
    {"153x153mm", 11}, {"153x204mm", 4}, {"153x229mm", 5},
};
constexpr int32_t kDefaultMediaId = 3;

// Portrait names of rows 1, 3 and 12: the page is turned before fitting.
constexpr const char* kRotatedPageSizes[] = {"89x127mm", "102x153mm", "115x153mm"};

// Single-image row -> its two-up row.
constexpr struct {
  int32_t single;
  int32_t twoUp;
} kTwoUpRows[] = {{1, 7}, {3, 6}, {12, 13}};

// Loaded media -> the single-image rows that print two to a panel on it.
constexpr struct {
  const char* mediaCode;
  int32_t rows[3];
} kTwoUpMedia[] = {
    {"00210", {1, 0, 0}},
    {"00310", {1, 3, 0}},
    {"00400", {1, 3, 12}},
};

bool IsValidMediaId(long id) { return (id >= 1 && id <= 7) || (id >= 10 && id <= 13); }

}  // namespace

const DeviceMediaBufferInfo gMediaInfo_QV46[] = {
    Row(1, 401, 5, 3.5, 1548, 1088, 60, 54, 0, 1548, 1088, 1, false, 1.0),
    Row(3, 402, 6, 4, 1844, 1240, 60, 60, 0, 1844, 1240, 1, true, 1.0),
    Row(2, 3, 5, 7, 1548, 2138, 60, 54, 0, 1548, 2138, 1, false, 1.0),
    Row(4, 4, 6, 8, 1844, 2436, 60, 54, 0, 1844, 2436, 1, true, 1.0),
    Row(5, 5, 6, 9, 1844, 2740, 60, 54, 0, 1844, 2740, 1, false, 1.0),
    Row(6, 12, 6, 4, 1844, 2498, 60, 60, 18, 1844, 1240, 2, true, 1.0),
    Row(7, 22, 5, 3.5, 1548, 2176, 60, 54, 0, 1548, 1088, 2, false, 1.0),
    Row(11, 27, 6, 6, 1844, 1836, 60, 54, 0, 1844, 1836, 1, false, 1.0),
    Row(10, 29, 5, 5, 1548, 1540, 60, 54, 0, 1548, 1540, 1, false, 1.0),
    Row(12, 430, 6, 4.5, 1844, 1386, 60, 54, 0, 1844, 1386, 1, false, 1.1),
    Row(13, 31, 6, 4.5, 1844, 2802, 60, 54, 30, 1844, 1386, 2, false, 1.1),
    Row(-1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, false, 0),
};

const OverCoatInfo gOverCoatInfo_QV46[] = {
    {0, 0, 0, 1.0},   {1, 1, 0, 1.0},     {2, 2, 0, 1.0},     {3, 3, 0, 1.0},     {21, 21, 0, 1.2},
    {22, 22, 0, 1.3}, {101, 101, 1, 1.2}, {121, 121, 1, 1.2}, {122, 122, 1, 1.3}, {-1, 0, 0, 0},
};

int DeviceEntry_QV46::GetHeadWidth() { return kHeadWidth; }

int DeviceEntry_QV46::SetMediaSize(int numOptions, cups_option_s* options, ppdfile_s* ppd) {
  double version = 0;
  if (_GetFirmwVersion(0, &version) != 0) return 0;

  const char* pageSize = _GetCupsValue("PageSize", numOptions, options, ppd);
  int32_t mediaId = kDefaultMediaId;
  if (pageSize != nullptr) {
    for (const PageSizeRow& row : kPageSizes) {
      if (std::strcmp(pageSize, row.pageSize) == 0) {
        mediaId = row.mediaId;
        break;
      }
    }
  }
  return SetMediaInfo(mediaInfo, mediaId, version) == 0 ? 1 : 0;
}

int DeviceEntry_QV46::SetMediaInfo(DeviceMediaBufferInfo& info, long mediaId, double firmware) {
  if (!IsValidMediaId(mediaId)) return kDeviceBadArgument;
  info.mediaId = -1;

  const DeviceMediaBufferInfo* row = gMediaInfo_QV46;
  while (row->mediaId != -1 && row->mediaId != mediaId) ++row;
  if (row->mediaId == -1) return kDeviceBadArgument;
  if (firmware < row->minFirmware) return kDeviceBadArgument;

  std::memcpy(&info, row, kRowBytes);
  return UpdateMediaInfo(info);
}

DeviceMediaBufferInfo DeviceEntry_QV46::GetMultiMediaInfo(DeviceMediaBufferInfo* info,
                                                          int /*count*/) {
  double version = 0;
  _GetFirmwVersion(0, &version);

  int32_t mediaId = info->mediaId;
  for (const auto& pair : kTwoUpRows) {
    if (pair.single == mediaId) mediaId = pair.twoUp;
  }
  DeviceMediaBufferInfo record;
  std::memset(&record, 0, sizeof record);
  SetMediaInfo(record, mediaId, version);
  return record;
}

int DeviceEntry_QV46::GetMultiLayoutNum(const LoadedMedia& media) {
  for (const auto& twoUp : kTwoUpMedia) {
    if (std::strcmp(media.mediaSize, twoUp.mediaCode) != 0) continue;
    for (int32_t row : twoUp.rows) {
      if (row != 0 && row == mediaInfo.mediaId) return 2;
    }
    return 1;
  }
  return 1;
}

int DeviceEntry_QV46::SetOvercoatFinish(unsigned long code, double firmware) {
  overcoatCode = -1;
  for (const OverCoatInfo* row = gOverCoatInfo_QV46; row->code != -1; ++row) {
    if (static_cast<unsigned long>(row->code) != code || row->minFirmware > firmware) continue;
    overcoatCode = row->code;
    overcoatValue = row->value;
    overcoatFlag = row->flag;
    overcoatMinFirmware = row->minFirmware;
    return kDeviceOk;
  }
  return kDeviceBadArgument;
}

void DeviceEntry_QV46::SetPaperRotate(int numOptions, cups_option_s* options, ppdfile_s* ppd) {
  rotate = false;
  double version = 0;
  if (_GetFirmwVersion(0, &version) != 0) return;
  const char* pageSize = _GetCupsValue("PageSize", numOptions, options, ppd);
  if (pageSize == nullptr) return;
  for (const char* name : kRotatedPageSizes) {
    if (std::strcmp(pageSize, name) == 0) rotate = true;
  }
}

int DeviceEntry_QV46::GetRemainHalf(const char* jobId) {
  char remain[kPrInfoValueSize] = {};
  _GetValuePrInfoFile((std::string(kKeyMediaRemainHalf) + "=").c_str(), jobId, remain,
                      sizeof remain);
  return ValueToInt(remain);
}

bool DeviceEntry_QV46::isSupportDecurl() { return false; }

bool DeviceEntry_QV46::isSupportSysTime() { return false; }
