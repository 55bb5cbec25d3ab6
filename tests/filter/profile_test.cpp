// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The QV-46 profile: page size to media row, derived records, two-up layouts,
// images per panel, half panels and the overcoat table.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "FilterTestSupport.h"
#include "filter/FilterDriver.h"
#include "filter/PhotoPrinterDeviceQV46.h"

using qv46test::JobInfoFile;
using qv46test::Options;

namespace {

DeviceMediaBufferInfo ZeroRecord() {
  DeviceMediaBufferInfo record;
  std::memset(&record, 0, sizeof record);
  return record;
}

bool SameBytes(const DeviceMediaBufferInfo& a, const DeviceMediaBufferInfo& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// A readable CTest name for a case's text: letters and digits stay, other
// runs of characters become one "_", a control character its hex code, and a
// final line feed nothing.
std::string CaseName(const char* text) {
  if (text == nullptr || *text == '\0') return "None";
  std::string name;
  bool gap = false;
  for (const char* p = text; *p != '\0'; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    std::string token;
    if (std::isalnum(c)) {
      token = std::string(1, char(c));
    } else if (c < 0x20 && !(c == '\n' && p[1] == '\0')) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "x%02X", c);
      token = hex;
      gap = true;
    } else {
      gap = true;
      continue;
    }
    if (gap && !name.empty()) name += '_';
    gap = c < 0x20;
    name += token;
  }
  return name;
}

struct PageSizeCase {
  const char* options;
  int32_t mediaId;
  int32_t multiCutCode;
  bool rotate;
};

class PageSize : public testing::TestWithParam<PageSizeCase> {};

TEST_P(PageSize, ChoosesTheMediaRowAndRotation) {
  const PageSizeCase& c = GetParam();
  DeviceEntry_QV46 device;
  Options options(c.options);
  EXPECT_EQ(1, device.SetMediaSize(options.Count(), options.List(), nullptr));
  device.SetPaperRotate(options.Count(), options.List(), nullptr);
  EXPECT_EQ(c.mediaId, device.mediaInfo.mediaId);
  EXPECT_EQ(c.multiCutCode, device.mediaInfo.multiCutCode);
  EXPECT_EQ(c.rotate, device.rotate);
}

INSTANTIATE_TEST_SUITE_P(Names, PageSize,
                         testing::Values(PageSizeCase{"PageSize=127x89mm", 1, 401, false},
                                         PageSizeCase{"PageSize=89x127mm", 1, 401, true},
                                         PageSizeCase{"PageSize=127x127mm", 10, 29, false},
                                         PageSizeCase{"PageSize=127x178mm", 2, 3, false},
                                         PageSizeCase{"PageSize=153x102mm", 3, 402, false},
                                         PageSizeCase{"PageSize=102x153mm", 3, 402, true},
                                         PageSizeCase{"PageSize=153x115mm", 12, 430, false},
                                         PageSizeCase{"PageSize=115x153mm", 12, 430, true},
                                         PageSizeCase{"PageSize=153x153mm", 11, 27, false},
                                         PageSizeCase{"PageSize=153x204mm", 4, 4, false},
                                         PageSizeCase{"PageSize=153x229mm", 5, 5, false},
                                         PageSizeCase{"media=153x204mm", 4, 4, false},
                                         PageSizeCase{"media=89x127mm", 1, 401, true},
                                         PageSizeCase{"PageSize=A4", 3, 402, false},
                                         PageSizeCase{"PageSize=89X127mm", 3, 402, false},
                                         PageSizeCase{"", 3, 402, false}),
                         [](const testing::TestParamInfo<PageSizeCase>& info) {
                           return CaseName(info.param.options);
                         });

TEST(MediaRecord, IsDerivedAtTheJobResolution) {
  struct Case {
    const char* options;
    int64_t resY;
    int32_t outPageWidth, outPageHeight, outImageHeight, outGap, outImageCount;
    bool twoUp;
  };
  const Case cases[] = {
      {"PageSize=153x102mm", 300, 1844, 1240, 1240, 0, 1, false},
      {"PageSize=153x102mm Resolution=300x600dpi", 600, 1844, 2480, 2480, 0, 1, false},
      {"PageSize=153x102mm Resolution=300x600dpi", 600, 1844, 4996, 2480, 36, 2, true},
      {"PageSize=153x102mm Resolution=600x600dpi", 600, 1844, 2480, 2480, 0, 1, false},
      {"PageSize=153x115mm", 300, 1844, 2802, 1386, 30, 2, true},
      {"PageSize=127x89mm", 300, 1548, 2176, 1088, 0, 2, true},
  };
  for (const Case& c : cases) {
    DeviceEntry_QV46 device;
    Options options(c.options);
    device.SetResolution(options.Count(), options.List(), nullptr);
    device.SetMediaSize(options.Count(), options.List(), nullptr);
    const DeviceMediaBufferInfo record =
        c.twoUp ? device.GetMultiMediaInfo(&device.mediaInfo, 2) : device.mediaInfo;
    EXPECT_EQ(1920, record.headWidth) << c.options;
    EXPECT_EQ(300, record.resX) << c.options;
    EXPECT_EQ(c.resY, record.resY) << c.options;
    EXPECT_EQ(c.outPageWidth, record.outPageWidth) << c.options;
    EXPECT_EQ(c.outPageHeight, record.outPageHeight) << c.options;
    EXPECT_EQ(c.outPageWidth, record.outImageWidth) << c.options;
    EXPECT_EQ(c.outImageHeight, record.outImageHeight) << c.options;
    EXPECT_EQ(c.outGap, record.outGap) << c.options;
    EXPECT_EQ(c.outImageCount, record.outImageCount) << c.options;
  }
}

TEST(MediaTable, TwoUpRowsStackTwoImagesOfTheirSingleRow) {
  DeviceEntry_QV46 device;
  for (int32_t single : {1, 3, 12}) {
    DeviceMediaBufferInfo one = ZeroRecord();
    ASSERT_EQ(0, device.SetMediaInfo(one, single, 1.53));
    const DeviceMediaBufferInfo two = device.GetMultiMediaInfo(&one, 2);
    EXPECT_EQ(2, two.imageCount) << single;
    EXPECT_EQ(one.pageWidthDots, two.pageWidthDots) << single;
    EXPECT_EQ(one.imageHeightDots, two.imageHeightDots) << single;
    EXPECT_EQ(2 * one.imageHeightDots + two.gapDots, two.pageHeightDots) << single;
    EXPECT_EQ(one.twoInchCut, two.twoInchCut) << single;
    EXPECT_DOUBLE_EQ(one.widthInch, two.widthInch) << single;
  }
  const std::pair<int32_t, int32_t> multiCut[] = {{1, 22}, {3, 12}, {12, 31}, {2, 3}, {4, 4}};
  for (const auto& [single, code] : multiCut) {
    DeviceMediaBufferInfo one = ZeroRecord();
    ASSERT_EQ(0, device.SetMediaInfo(one, single, 1.53));
    EXPECT_EQ(code, device.GetMultiMediaInfo(&one, 2).multiCutCode) << single;
  }
  // A row without a two-up form stays itself, one image per panel.
  DeviceMediaBufferInfo fiveBySeven = ZeroRecord();
  ASSERT_EQ(0, device.SetMediaInfo(fiveBySeven, 2, 1.53));
  EXPECT_EQ(1, device.GetMultiMediaInfo(&fiveBySeven, 2).outImageCount);
}

TEST(MediaTable, RefusesUnknownRowsAndTooOldFirmware) {
  DeviceEntry_QV46 device;
  for (long id : {0L, 8L, 9L, 14L, -1L}) {
    DeviceMediaBufferInfo record = ZeroRecord();
    record.mediaId = 77;
    const DeviceMediaBufferInfo before = record;
    EXPECT_EQ(3, device.SetMediaInfo(record, id, 1.53)) << id;
    EXPECT_TRUE(SameBytes(before, record)) << id;
  }
  DeviceMediaBufferInfo record = ZeroRecord();
  EXPECT_EQ(3, device.SetMediaInfo(record, 12, 1.05));
  EXPECT_EQ(-1, record.mediaId);
  EXPECT_EQ(0, device.SetMediaInfo(record, 12, 1.1));
  EXPECT_EQ(12, record.mediaId);
}

TEST(MediaRecord, WithoutMediaHasNoDimensionsAndIsNotDerived) {
  DeviceEntry_QV46 device;
  DeviceMediaBufferInfo expected = ZeroRecord();
  expected.mediaId = -1;
  EXPECT_TRUE(SameBytes(expected, device.mediaInfo));
  EXPECT_EQ(0, device.UpdateMediaInfo(device.mediaInfo));
  EXPECT_TRUE(SameBytes(expected, device.mediaInfo));

  Options options("PageSize=153x102mm");
  device.SetMediaSize(options.Count(), options.List(), nullptr);
  const DeviceMediaBufferInfo chosen = device.mediaInfo;
  device.resolution = 1200;
  EXPECT_EQ(3, device.UpdateMediaInfo(device.mediaInfo));
  EXPECT_TRUE(SameBytes(chosen, device.mediaInfo));
}

struct LayoutCase {
  const char* jobInfo;  // null: no file
  const char* pageSize;
  int expected;
};

class LayoutCount : public testing::TestWithParam<LayoutCase> {};

TEST_P(LayoutCount, PairsImagesOnlyWhereTheLoadedMediaAllows) {
  const LayoutCase& c = GetParam();
  JobInfoFile file;
  if (c.jobInfo != nullptr) file.Write(c.jobInfo);
  DeviceEntry_QV46 device;
  Options options(std::string("PageSize=") + c.pageSize);
  device.SetMediaSize(options.Count(), options.List(), nullptr);
  EXPECT_EQ(c.expected, device.GetMultiLayoutNum(ReadLoadedMedia(device, file.JobId().c_str())));
}

INSTANTIATE_TEST_SUITE_P(LoadedMedia, LayoutCount,
                         testing::Values(LayoutCase{"MEDIA_SIZE=\"00310\"\n", "153x102mm", 2},
                                         LayoutCase{"MEDIA_SIZE=\"00310\"\n", "127x89mm", 2},
                                         LayoutCase{"MEDIA_SIZE=\"00310\"\n", "153x115mm", 1},
                                         LayoutCase{"MEDIA_SIZE=\"00400\"\n", "153x115mm", 2},
                                         LayoutCase{"MEDIA_SIZE=\"00400\"\n", "102x153mm", 2},
                                         LayoutCase{"MEDIA_SIZE=\"00400\"\n", "153x204mm", 1},
                                         LayoutCase{"MEDIA_SIZE=\"00210\"\n", "153x102mm", 1},
                                         LayoutCase{"MEDIA_SIZE=\"00210\"\n", "89x127mm", 2},
                                         LayoutCase{"MEDIA_SIZE=\"00301\"\n", "153x102mm", 1},
                                         LayoutCase{"MEDIA_SIZE=\"0031\"\n", "153x102mm", 1},
                                         LayoutCase{"MEDIA_SIZE=\"003100\"\n", "153x102mm", 1},
                                         LayoutCase{"MEDIA_SIZE=\"00310\"\r\n", "153x102mm", 1},
                                         LayoutCase{"MEDIA_SIZE=\"\"\n", "153x102mm", 1},
                                         LayoutCase{"MEDIA_REMAIN_HALF=\"4\"\n", "153x102mm", 1},
                                         LayoutCase{nullptr, "153x102mm", 1}),
                         [](const testing::TestParamInfo<LayoutCase>& info) {
                           return CaseName(info.param.jobInfo) + "_" +
                                  CaseName(info.param.pageSize);
                         });

TEST(RemainingHalfPanels, ReadsTheLeadingNumber) {
  const std::pair<const char*, int> cases[] = {
      {"MEDIA_REMAIN_HALF=\"3\"\n", 3},        {"MEDIA_REMAIN_HALF=\"-1\"\n", -1},
      {"MEDIA_REMAIN_HALF=\"12 left\"\n", 12}, {"MEDIA_REMAIN_HALF=\"abc\"\n", 0},
      {"MEDIA_SIZE=\"00310\"\n", 0},           {nullptr, 0},
  };
  for (const auto& [contents, expected] : cases) {
    JobInfoFile file;
    if (contents != nullptr) file.Write(contents);
    DeviceEntry_QV46 device;
    EXPECT_EQ(expected, device.GetRemainHalf(file.JobId().c_str()))
        << (contents ? contents : "no file");
  }
}

TEST(Overcoat, ChoosesTheFirstUsableRow) {
  struct Case {
    unsigned long code;
    double firmware;
    int result;
    int32_t overcoatCode, value;
    int64_t flag;
  };
  const Case cases[] = {
      {22, 1.53, 0, 22, 22, 0}, {22, 1.25, 3, -1, 7, 9},     {21, 1.2, 0, 21, 21, 0},
      {1, 1.0, 0, 1, 1, 0},     {101, 1.53, 0, 101, 101, 1}, {4, 1.53, 3, -1, 7, 9},
  };
  for (const Case& c : cases) {
    DeviceEntry_QV46 device;
    // A refused code keeps the earlier value and flag.
    device.overcoatValue = 7;
    device.overcoatFlag = 9;
    EXPECT_EQ(c.result, device.SetOvercoatFinish(c.code, c.firmware)) << c.code;
    EXPECT_EQ(c.overcoatCode, device.overcoatCode) << c.code;
    EXPECT_EQ(c.value, device.overcoatValue) << c.code;
    EXPECT_EQ(c.flag, device.overcoatFlag) << c.code;
  }
}

TEST(Profile, AnswersTheCapabilityQuestions) {
  DeviceEntry_QV46 device;
  EXPECT_EQ(1920, device.GetHeadWidth());
  EXPECT_FALSE(device.isSupportDecurl());
  EXPECT_FALSE(device.isSupportSysTime());
}

}  // namespace
