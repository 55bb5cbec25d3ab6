// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Option lookup with PPD defaults, the job information file reader and the
// small helpers beside them.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <fstream>
#include <optional>

#include "FilterTestSupport.h"
#include "filter/Common.h"
#include "filter/FilterDriver.h"

using qv46test::JobInfoFile;
using qv46test::Options;
using qv46test::TempPath;

namespace {

// A PPD file with the given text, opened through the filter's reader.
class PpdFile {
 public:
  explicit PpdFile(const std::string& text) : file_("qv46filtertest-ppd") {
    std::ofstream(file_.Path(), std::ios::binary) << text;
    handle_ = wrappedPpdOpenFile(file_.Path().c_str());
  }
  ~PpdFile() { wrappedPpdClose(handle_); }
  ppdfile_s* Handle() const { return handle_; }

 private:
  TempPath file_;
  ppdfile_s* handle_;
};

struct LookupCase {
  const char* name;
  const char* options;
  const char* ppd;  // null: no PPD handle at all
  const char* keyword;
  const char* expected;  // null: not found
};

class CupsValueLookup : public testing::TestWithParam<LookupCase> {};

TEST_P(CupsValueLookup, FindsTheFirstSourceThatHasTheOption) {
  const LookupCase& c = GetParam();
  Options options(c.options);
  std::optional<PpdFile> ppd;
  if (c.ppd != nullptr) ppd.emplace(c.ppd);
  const char* value =
      _GetCupsValue(c.keyword, options.Count(), options.List(), ppd ? ppd->Handle() : nullptr);
  if (c.expected == nullptr) {
    EXPECT_EQ(nullptr, value) << value;
  } else {
    ASSERT_NE(nullptr, value);
    EXPECT_STREQ(c.expected, value);
  }
}

const char kPpd[] =
    "*PPD-Adobe: \"4.3\"\n"
    "*OpenUI *ZelBorder/Border: PickOne\n"
    "*DefaultZelBorder: Enable\n"
    "*ZelBorder Enable/On: \"\"\n"
    "*DefaultPageSize: 127x89mm\n"
    "*DefaultZelSharpness: 3 trailing words\n"
    "*DefaultZelGamma:50\n"
    "  *DefaultZelChroma: 4\n"
    "*DefaultZelOvercoatFinish: Matte\n"
    "*DefaultZelOvercoatFinish: Luster\n"
    "*DefaultZelDecurlX: Enable\n";

INSTANTIATE_TEST_SUITE_P(
    Chains, CupsValueLookup,
    testing::Values(
        LookupCase{"JobOptionBeatsPpd", "ZelBorder=Disable", kPpd, "ZelBorder", "Disable"},
        LookupCase{"PpdDefaultWhenNoOption", "", kPpd, "ZelBorder", "Enable"},
        LookupCase{"NowhereIsNull", "", kPpd, "ZelPrintRetry", nullptr},
        LookupCase{"NoPpdIsNull", "", nullptr, "ZelBorder", nullptr},
        LookupCase{"MediaStandsInForPageSize", "media=153x204mm", kPpd, "PageSize", "153x204mm"},
        LookupCase{"PageSizeBeatsMedia", "PageSize=89x127mm media=153x204mm", kPpd, "PageSize",
                   "89x127mm"},
        LookupCase{"PpdPageSizeWithoutOptions", "", kPpd, "PageSize", "127x89mm"},
        LookupCase{"MediaOnlyForPageSize", "media=Enable", nullptr, "ZelBorder", nullptr},
        LookupCase{"FirstWordOfTheChoice", "", kPpd, "ZelSharpness", "3"},
        LookupCase{"NoBlankAfterColonIsNotADefault", "", kPpd, "ZelGamma", nullptr},
        LookupCase{"IndentedLineIsNotADefault", "", kPpd, "ZelChroma", nullptr},
        LookupCase{"FirstDefaultLineWins", "", kPpd, "ZelOvercoatFinish", "Matte"},
        LookupCase{"LongerKeywordDoesNotMatch", "", kPpd, "ZelDecurl", nullptr}),
    [](const testing::TestParamInfo<LookupCase>& info) { return info.param.name; });

TEST(PpdReader, MissingFileGivesAHandleThatFindsNothing) {
  ppdfile_s* ppd = wrappedPpdOpenFile("/nonexistent/qv46/VALDREN_QV-46.ppd");
  ASSERT_NE(nullptr, ppd);
  EXPECT_EQ(nullptr, ppd->file);
  EXPECT_EQ(nullptr, wrappedPpdFindDefChoice(ppd, "ZelBorder"));
  wrappedPpdClose(ppd);
  EXPECT_EQ(nullptr, wrappedPpdOpenFile(nullptr));
  wrappedPpdClose(nullptr);
}

TEST(PpdReader, OnlyLineStartsCountAndLongChoicesAreBounded) {
  // The continuation of an over-long line is not the start of a line.
  const std::string hidden = std::string(300, 'x') + "*DefaultZelBorder: Enable\n";
  const std::string longChoice = "*DefaultZelDecurl: " + std::string(400, 'y') + "\n";
  PpdFile ppd(hidden + longChoice + "*DefaultZelBorder: Disable\n");
  const char* border = wrappedPpdFindDefChoice(ppd.Handle(), "ZelBorder");
  ASSERT_NE(nullptr, border);
  EXPECT_STREQ("Disable", border);
  const char* decurl = wrappedPpdFindDefChoice(ppd.Handle(), "ZelDecurl");
  ASSERT_NE(nullptr, decurl);
  EXPECT_LT(std::strlen(decurl), sizeof ppd.Handle()->value);
  EXPECT_EQ('y', decurl[0]);
  // Asking again rewinds the file.
  EXPECT_STREQ("Disable", wrappedPpdFindDefChoice(ppd.Handle(), "ZelBorder"));
}

struct InfoCase {
  const char* name;
  const char* contents;  // null: no file
  const char* key;
  const char* expected;
};

class JobInformation : public testing::TestWithParam<InfoCase> {};

TEST_P(JobInformation, ReadsTheValueOfTheFirstLineWithTheKey) {
  const InfoCase& c = GetParam();
  JobInfoFile file;
  if (c.contents != nullptr) file.Write(c.contents);
  char value[kPrInfoValueSize] = {};
  EXPECT_EQ(0, _GetValuePrInfoFile(c.key, file.JobId().c_str(), value, sizeof value));
  EXPECT_STREQ(c.expected, value);
}

const std::string kValue127(127, '7');
const std::string kLine127 = "MEDIA_SIZE=\"" + kValue127 + "\"\n";
const std::string kLine128 = "MEDIA_SIZE=\"" + std::string(128, '8') + "\"\n";

INSTANTIATE_TEST_SUITE_P(
    Lines, JobInformation,
    testing::Values(
        InfoCase{"QuotedValue", "MEDIA_SIZE=\"00310\"\n", "MEDIA_SIZE=", "00310"},
        InfoCase{"CarriageReturnStays", "MEDIA_SIZE=\"00310\"\r\n", "MEDIA_SIZE=", "00310\r"},
        InfoCase{"TextBeforeTheKey", "  [media] MEDIA_SIZE=\"00310\"\n", "MEDIA_SIZE=", "00310"},
        InfoCase{"UnquotedWithoutLineFeed", "MEDIA_SIZE=00400", "MEDIA_SIZE=", "00400"},
        InfoCase{"HalfCount", "MEDIA_SIZE=\"00310\"\nMEDIA_REMAIN_HALF=\"3\"\n",
                 "MEDIA_REMAIN_HALF=", "3"},
        InfoCase{"StatusFileFormat",
                 "PRINTER_STATUS=\"00000\"\nMEDIA_SIZE=\"00400\"\nMEDIA_REMAIN=\"17\"\n"
                 "MEDIA_REMAIN_HALF=\"35\"\n",
                 "MEDIA_REMAIN_HALF=", "35"},
        InfoCase{"OnlyTheFirstLineCounts", "MEDIA_SIZE=\"00210\"\nMEDIA_SIZE=\"00310\"\n",
                 "MEDIA_SIZE=", "00210"},
        InfoCase{"MissingKey", "MEDIA_REMAIN=\"4\"\n", "MEDIA_SIZE=", ""},
        InfoCase{"NoFile", nullptr, "MEDIA_SIZE=", ""},
        InfoCase{"Value127Fits", kLine127.c_str(), "MEDIA_SIZE=", kValue127.c_str()},
        InfoCase{"Value128IsNotCopied", kLine128.c_str(), "MEDIA_SIZE=", ""}),
    [](const testing::TestParamInfo<InfoCase>& info) { return info.param.name; });

TEST(JobInformation, LeavesTheBufferAloneWhenNothingIsFound) {
  JobInfoFile file("MEDIA_REMAIN=\"4\"\n");
  char value[8] = "keep";
  _GetValuePrInfoFile("MEDIA_SIZE=", file.JobId().c_str(), value, sizeof value);
  EXPECT_STREQ("keep", value);
  // A value that does not fit this buffer is not copied either.
  file.Write("MEDIA_SIZE=\"00310000\"\n");
  _GetValuePrInfoFile("MEDIA_SIZE=", file.JobId().c_str(), value, sizeof value);
  EXPECT_STREQ("keep", value);
}

TEST(LittleEndianStores, WriteExactlyTheirBytes) {
  struct Case {
    int width;
    int value;
    std::vector<uint8_t> bytes;
  };
  const Case cases[] = {
      {4, 1088, {0x40, 0x04, 0x00, 0x00}},       {2, 19778, {0x42, 0x4D}},
      {4, -2, {0xFE, 0xFF, 0xFF, 0xFF}},         {2, 0x12345, {0x45, 0x23}},
      {4, 0x01020304, {0x04, 0x03, 0x02, 0x01}},
  };
  for (const Case& c : cases) {
    uint8_t buffer[8];
    std::memset(buffer, 0xAA, sizeof buffer);
    // Unaligned on purpose.
    if (c.width == 2) _StoreLE2(buffer + 1, c.value);
    if (c.width == 4) _StoreLE4(buffer + 1, c.value);
    EXPECT_EQ(c.bytes, std::vector<uint8_t>(buffer + 1, buffer + 1 + c.width)) << c.value;
    EXPECT_EQ(0xAA, buffer[0]);
    EXPECT_EQ(0xAA, buffer[1 + c.width]);
  }
}

TEST(NumericValues, ReadTheLeadingDecimalWithinThe32BitRange) {
  const std::pair<const char*, int> cases[] = {
      {"42", 42},
      {"  -7x", -7},
      {"+5", 5},
      {"abc", 0},
      {"", 0},
      {"3.9", 3},
      {"99999999999", INT_MAX},
      {"-99999999999", INT_MIN},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(expected, ValueToInt(text)) << text;
  EXPECT_EQ(0, ValueToInt(nullptr));
}

TEST(FirmwareVersion, IsAssumedAndRefusesANullTarget) {
  double version = 0;
  EXPECT_EQ(0, _GetFirmwVersion(12345, &version));
  EXPECT_DOUBLE_EQ(1.53, version);
  EXPECT_EQ(3, _GetFirmwVersion(0, nullptr));
}

// The wait for the job information file, with a sleep that only counts.
// The backend's waiting file, beside it, names a live or a dead process.
struct SleepLog {
  static int calls;
  static const JobInfoFile* createOnCall;
  static std::string waitFile;
  static int createAt;
  static int removeWaitAt;
  static int cancelAt;
  static void Sleep(unsigned milliseconds) {
    EXPECT_EQ(100u, milliseconds);
    ++calls;
    if (createOnCall != nullptr && calls == createAt) createOnCall->Write("MEDIA_SIZE=\"00310\"\n");
    if (calls == removeWaitAt) unlink(waitFile.c_str());
    if (calls == cancelAt) Canceled = 1;
  }
};
int SleepLog::calls = 0;
const JobInfoFile* SleepLog::createOnCall = nullptr;
std::string SleepLog::waitFile;
int SleepLog::createAt = 0;
int SleepLog::removeWaitAt = 0;
int SleepLog::cancelAt = 0;

// A process id that no process has any more.
pid_t EndedProcess() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  return child;
}

// The file is looked for ten times a second.
TEST(JobInformationWait, WaitsWhileTheBackendWaitsOtherwise120Seconds) {
  enum Backend { kNone, kWaiting, kEnded };
  struct Case {
    const char* name;
    bool presentAtStart;
    Backend backend;
    int createAt;      // after this many sleeps; 0: never
    int removeWaitAt;  // 0: never
    int cancelAt;      // 0: never
    int expectedSleeps;
  };
  const Case cases[] = {
      {"present", true, kNone, 0, 0, 0, 0},
      {"absent", false, kNone, 0, 0, 0, 1199},
      {"appears after five seconds", false, kNone, 50, 0, 0, 50},
      {"cancelled while waiting", false, kNone, 0, 0, 3, 3},
      // A printer plugged in after the 120 s.
      {"backend waits 150 seconds", false, kWaiting, 1500, 1500, 0, 1500},
      {"backend gives up", false, kWaiting, 0, 400, 0, 400},
      {"cancelled while the backend waits", false, kWaiting, 0, 0, 2000, 2000},
      {"waiting file of an ended backend", false, kEnded, 0, 0, 0, 1199},
  };
  for (const Case& c : cases) {
    JobInfoFile file;
    SleepLog::waitFile = file.Path().substr(0, file.Path().size() - 4) + ".wait";
    if (c.presentAtStart) file.Write("MEDIA_SIZE=\"00310\"\n");
    if (c.backend != kNone)
      std::ofstream(SleepLog::waitFile)
          << (c.backend == kWaiting ? getpid() : EndedProcess()) << "\n";
    SleepLog::calls = 0;
    SleepLog::createOnCall = c.createAt ? &file : nullptr;
    SleepLog::createAt = c.createAt;
    SleepLog::removeWaitAt = c.removeWaitAt;
    SleepLog::cancelAt = c.cancelAt;
    Canceled = 0;
    EXPECT_EQ(0, WaitForPrInfoFile(file.JobId().c_str(), SleepLog::Sleep));
    EXPECT_EQ(c.expectedSleeps, SleepLog::calls) << c.name;
    unlink(SleepLog::waitFile.c_str());
  }
  SleepLog::createOnCall = nullptr;
  SleepLog::removeWaitAt = 0;
  SleepLog::cancelAt = 0;
  Canceled = 0;
}

}  // namespace
