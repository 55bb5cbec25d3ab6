// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Job settings and the control packets built from them.
#include <gtest/gtest.h>

#include <climits>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "FilterTestSupport.h"
#include "filter/PhotoPrinterDeviceQV46.h"

using qv46test::CapturedStream;
using qv46test::Describe;
using qv46test::Options;
using qv46test::ParsePackets;
using qv46test::TempPath;

namespace {

// A QV-46 device whose job stream goes to memory.
struct Device {
  Device() { device.SetOutput(stream.File()); }
  std::vector<std::string> Packets() { return Describe(ParsePackets(stream.Bytes())); }
  CapturedStream stream;
  DeviceEntry_QV46 device;
};

// A model that has the two commands the QV-46 lacks, to check their format.
class DeviceWithClockAndDecurl : public DeviceEntry_QV46 {
 public:
  bool isSupportDecurl() override { return true; }
  bool isSupportSysTime() override { return true; }
};

class Ppd {
 public:
  explicit Ppd(const std::string& text) : file_("qv46filtertest-ppd") {
    std::ofstream(file_.Path()) << text;
    handle_ = wrappedPpdOpenFile(file_.Path().c_str());
  }
  ~Ppd() { wrappedPpdClose(handle_); }
  ppdfile_s* Get() const { return handle_; }

 private:
  TempPath file_;
  ppdfile_s* handle_;
};

TEST(Sharpness, PicksTheLevelFromTheTableOrZero) {
  const std::pair<const char*, int> cases[] = {
      {"", 0},
      {"ZelSharpness=8", 1000},
      {"ZelSharpness=9", 0},
      {"ZelSharpness=-2", -1000},
      {"ZelSharpness=-3", 0},
      {"ZelSharpness=abc", 0},
      {"ZelSharpness=1", 650},
      {"ZelSharpness=-1", -500},
      {"ZelSharpness=4", 800},
      {"ZelSharpness=2147483647", 0},
  };
  for (const auto& [text, expected] : cases) {
    Device d;
    Options options(text);
    d.device.SetSharpness(options.Count(), options.List(), nullptr);
    EXPECT_EQ(expected, d.device.sharpness) << text;
  }
}

struct ChannelCase {
  const char* options;
  const char* ppd;
  int expected[3];
};

void ExpectChannels(const ChannelCase& c,
                    void (DeviceEntry::*setter)(int, cups_option_s*, ppdfile_s*),
                    int32_t (DeviceEntry::*field)[3]) {
  Device d;
  Options options(c.options);
  Ppd ppd(c.ppd);
  (d.device.*setter)(options.Count(), options.List(), ppd.Get());
  const int32_t* values = d.device.*field;
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(c.expected[k], values[k]) << c.options << " channel " << k;
  }
}

TEST(ColourSettings, AllChannelOptionWinsOverPerChannelOptions) {
  const ChannelCase gammaCases[] = {
      {"", "", {100, 100, 100}},
      {"ZelGamma=0", "", {100, 100, 100}},
      {"ZelGamma=100", "", {200, 200, 200}},
      {"ZelGamma=-100", "", {50, 50, 50}},
      {"ZelGamma=50", "", {141, 141, 141}},
      {"ZelGamma=-50", "", {70, 70, 70}},
      {"ZelGammaG=100", "", {100, 200, 100}},
      {"ZelGamma=50 ZelGammaR=100", "", {141, 141, 141}},
      {"ZelGammaR=-100", "*DefaultZelGammaB: 100\n", {50, 100, 200}},
      {"", "*DefaultZelGamma: -100\n", {50, 50, 50}},
      {"ZelGamma=abc", "", {100, 100, 100}},
      {"ZelGamma=99999", "", {INT32_MAX, INT32_MAX, INT32_MAX}},
      {"ZelGamma=-99999", "", {0, 0, 0}},
  };
  for (const ChannelCase& c : gammaCases) {
    ExpectChannels(c, &DeviceEntry::SetGamma, &DeviceEntry::gamma);
  }
  const ChannelCase brightnessCases[] = {
      {"", "", {0, 0, 0}},
      {"ZelBrightness=0 ZelBrightnessR=10", "", {0, 0, 0}},
      {"ZelBrightnessR=10 ZelBrightnessB=-250", "", {20, 0, -500}},
      {"ZelBrightness=7", "", {14, 14, 14}},
      {"ZelBrightness=2000000000", "", {INT32_MAX, INT32_MAX, INT32_MAX}},
      {"", "*DefaultZelBrightnessG: 5\n", {0, 10, 0}},
  };
  for (const ChannelCase& c : brightnessCases) {
    ExpectChannels(c, &DeviceEntry::SetIntensity, &DeviceEntry::brightness);
  }
  const ChannelCase contrastCases[] = {
      {"", "", {0, 0, 0}},
      {"ZelContrast=-7", "", {-70, -70, -70}},
      {"ZelContrastG=3", "", {0, 30, 0}},
      {"ZelContrast=1 ZelContrastG=3", "", {10, 10, 10}},
      {"ZelContrast=-2000000000", "", {INT32_MIN, INT32_MIN, INT32_MIN}},
  };
  for (const ChannelCase& c : contrastCases) {
    ExpectChannels(c, &DeviceEntry::SetContrast, &DeviceEntry::contrast);
  }
}

TEST(Settings, SwitchesResolutionSaturationAndColourMode) {
  struct Case {
    const char* options;
    const char* ppd;
    bool border;
    bool colorAdjustment;
    int64_t resolution;
    int64_t resolutionMode;
    int saturation;
    bool monochrome = false;
  };
  const Case cases[] = {
      {"", "", false, false, 300, 0, 0},
      {"print-color-mode=monochrome", "", false, false, 300, 0, 0, true},
      {"print-color-mode=color", "", false, false, 300, 0, 0, false},
      {"print-color-mode=Monochrome", "", false, false, 300, 0, 0, false},
      {"ZelBorder=Enable ZelColorAdjustment=Enable", "", true, true, 300, 0, 0},
      {"ZelBorder=enable ZelColorAdjustment=On", "", false, false, 300, 0, 0},
      {"", "*DefaultZelBorder: Enable\n*DefaultZelColorAdjustment: Enable\n", true, true, 300, 0,
       0},
      {"", "*DefaultZelBorder:Enable\n", false, false, 300, 0, 0},
      {"Resolution=300x600dpi ZelChroma=5", "", false, false, 600, 1, 50},
      {"Resolution=600x600dpi ZelChroma=-100", "", false, false, 600, 2, -1000},
      {"Resolution=300x300dpi", "*DefaultResolution: 600x600dpi\n", false, false, 300, 0, 0},
      {"", "*DefaultResolution: 300x600dpi\n", false, false, 600, 1, 0},
      {"Resolution=300X600DPI", "", false, false, 300, 0, 0},
  };
  for (const Case& c : cases) {
    Device d;
    Options options(c.options);
    Ppd ppd(c.ppd);
    EXPECT_EQ(1, d.device.SetResolution(options.Count(), options.List(), ppd.Get()));
    d.device.SetBorder(options.Count(), options.List(), ppd.Get());
    d.device.SetColorAdjustment(options.Count(), options.List(), ppd.Get());
    d.device.SetSaturation(options.Count(), options.List(), ppd.Get());
    d.device.SetColorMode(options.Count(), options.List(), ppd.Get());
    EXPECT_EQ(c.border, d.device.border) << c.options;
    EXPECT_EQ(c.colorAdjustment, d.device.colorAdjustment) << c.options;
    EXPECT_EQ(c.resolution, d.device.resolution) << c.options;
    EXPECT_EQ(c.resolutionMode, d.device.resolutionMode) << c.options;
    EXPECT_EQ(c.saturation, d.device.saturation) << c.options;
    EXPECT_EQ(c.monochrome, d.device.monochrome) << c.options;
  }
}

TEST(Settings, ResolutionAfterTheMediaRederivesTheRecord) {
  Device d;
  Options media("PageSize=153x102mm");
  ASSERT_EQ(1, d.device.SetMediaSize(media.Count(), media.List(), nullptr));
  EXPECT_EQ(1240, d.device.mediaInfo.outPageHeight);
  Options fine("Resolution=300x600dpi");
  EXPECT_EQ(1, d.device.SetResolution(fine.Count(), fine.List(), nullptr));
  EXPECT_EQ(2480, d.device.mediaInfo.outPageHeight);
  EXPECT_EQ(600, d.device.mediaInfo.resY);
}

using SendOperation = int (DeviceEntry::*)(int, cups_option_s*, ppdfile_s*);

struct ControlCase {
  const char* name;
  const char* options;
  const char* ppd;
  SendOperation send;
  int result;
  std::vector<std::string> packets;
};

class ControlPackets : public testing::TestWithParam<ControlCase> {};

TEST_P(ControlPackets, CarryTheOptionValue) {
  const ControlCase& c = GetParam();
  Device d;
  Options options(c.options);
  Ppd ppd(c.ppd);
  // The cutter looks at the job's media record, as the filter sets it first.
  d.device.SetResolution(options.Count(), options.List(), ppd.Get());
  d.device.SetMediaSize(options.Count(), options.List(), ppd.Get());
  EXPECT_EQ(c.result, (d.device.*c.send)(options.Count(), options.List(), ppd.Get()));
  EXPECT_EQ(c.packets, d.Packets());
}

std::vector<std::string> One(const std::string& packet) { return {packet}; }

INSTANTIATE_TEST_SUITE_P(
    Options, ControlPackets,
    testing::Values(
        ControlCase{"CutterOnRow3", "Zel2InchCut=Enable PageSize=153x102mm", "",
                    &DeviceEntry::SendCutterMode, 1, One("CNTRL/CUTTER=00000120")},
        ControlCase{"CutterOnRow4", "Zel2InchCut=Enable PageSize=153x204mm", "",
                    &DeviceEntry::SendCutterMode, 1, One("CNTRL/CUTTER=00000120")},
        ControlCase{"CutterNotOnRow1", "Zel2InchCut=Enable PageSize=127x89mm", "",
                    &DeviceEntry::SendCutterMode, 1, One("CNTRL/CUTTER=00000000")},
        ControlCase{"CutterNotOnRow5", "Zel2InchCut=Enable PageSize=153x229mm", "",
                    &DeviceEntry::SendCutterMode, 1, One("CNTRL/CUTTER=00000000")},
        ControlCase{"CutterFromPpdOnDefaultMedia", "", "*DefaultZel2InchCut: Enable\n",
                    &DeviceEntry::SendCutterMode, 1, One("CNTRL/CUTTER=00000120")},
        ControlCase{"CutterCaseSensitive", "Zel2InchCut=enable", "", &DeviceEntry::SendCutterMode,
                    1, One("CNTRL/CUTTER=00000000")},
        ControlCase{"OvercoatDefault", "", "", &DeviceEntry::SendOvercoatFinish, 1,
                    One("CNTRL/OVERCOAT=00000000")},
        ControlCase{"OvercoatMatte", "ZelOvercoatFinish=Matte", "",
                    &DeviceEntry::SendOvercoatFinish, 1, One("CNTRL/OVERCOAT=00000001")},
        ControlCase{"OvercoatFineMatte", "ZelOvercoatFinish=FineMatte", "",
                    &DeviceEntry::SendOvercoatFinish, 1, One("CNTRL/OVERCOAT=00000021")},
        ControlCase{"OvercoatLusterFromPpd", "", "*DefaultZelOvercoatFinish: Luster\n",
                    &DeviceEntry::SendOvercoatFinish, 1, One("CNTRL/OVERCOAT=00000022")},
        ControlCase{"OvercoatLowerCaseIsGlossy", "ZelOvercoatFinish=matte", "",
                    &DeviceEntry::SendOvercoatFinish, 1, One("CNTRL/OVERCOAT=00000000")},
        ControlCase{"RetryDefault", "", "", &DeviceEntry::SendPrintRetry, 1,
                    One("CNTRL/BUFFCNTRL=00000001")},
        ControlCase{"RetryDisabled", "ZelPrintRetry=Disable", "", &DeviceEntry::SendPrintRetry, 1,
                    One("CNTRL/BUFFCNTRL=00000000")},
        ControlCase{"RetryDisabledByPpd", "", "*DefaultZelPrintRetry: Disable\n",
                    &DeviceEntry::SendPrintRetry, 1, One("CNTRL/BUFFCNTRL=00000000")},
        ControlCase{"RetryLowerCase", "ZelPrintRetry=disable", "", &DeviceEntry::SendPrintRetry, 1,
                    One("CNTRL/BUFFCNTRL=00000001")},
        ControlCase{"SpeedDefault", "", "", &DeviceEntry::SendPrintSpeed, 1,
                    One("CNTRL/PRINTSPEED=00000000")},
        ControlCase{"SpeedFineResolution", "Resolution=300x600dpi", "",
                    &DeviceEntry::SendPrintSpeed, 1, One("CNTRL/PRINTSPEED=00000010")},
        ControlCase{"SpeedFast", "Resolution=300x600dpi ZelPrintSpeed=Enable", "",
                    &DeviceEntry::SendPrintSpeed, 1, One("CNTRL/PRINTSPEED=00000030")},
        ControlCase{"SpeedOnlyAt300x600", "Resolution=600x600dpi ZelPrintSpeed=Enable", "",
                    &DeviceEntry::SendPrintSpeed, 1, One("CNTRL/PRINTSPEED=00000000")},
        // Both values come from the PPD, whose lookups share one buffer.
        ControlCase{"SpeedBothFromPpd", "",
                    "*DefaultResolution: 300x600dpi\n*DefaultZelPrintSpeed: Enable\n",
                    &DeviceEntry::SendPrintSpeed, 1, One("CNTRL/PRINTSPEED=00000030")},
        ControlCase{"NoDecurlOnTheQv46", "ZelDecurl=Enable", "", &DeviceEntry::SendDecurl, 0, {}}),
    [](const testing::TestParamInfo<ControlCase>& info) { return info.param.name; });

TEST(ControlPackets, CutterPacketIsFramedByteForByte) {
  Device d;
  Options options("Zel2InchCut=Enable");
  d.device.SetMediaSize(options.Count(), options.List(), nullptr);
  d.device.SendCutterMode(options.Count(), options.List(), nullptr);
  const std::string expected =
      std::string("\x1bP") + "CNTRL " + "CUTTER          " + "00000008" + "00000120";
  const std::vector<uint8_t> bytes = d.stream.Bytes();
  EXPECT_EQ(expected, std::string(bytes.begin(), bytes.end()));
}

TEST(ControlPackets, DecurlAndClockFormatsForModelsThatHaveThem) {
  const std::pair<const char*, const char*> decurl[] = {
      {"ZelDecurl=Enable", "010000000000"},
      {"ZelDecurl=Disable", "000000000000"},
      {"ZelDecurl=Auto", "020000000000"},
      {"", "020000000000"},
  };
  for (const auto& [text, payload] : decurl) {
    CapturedStream stream;
    DeviceWithClockAndDecurl device;
    device.SetOutput(stream.File());
    Options options(text);
    EXPECT_EQ(1, device.SendDecurl(options.Count(), options.List(), nullptr));
    EXPECT_EQ(One(std::string("CNTRL/DECURL=") + payload), Describe(ParsePackets(stream.Bytes())));
  }

  CapturedStream stream;
  DeviceWithClockAndDecurl device;
  device.SetOutput(stream.File());
  const time_t before = time(nullptr);
  EXPECT_EQ(1, device.SendSysTime());
  const time_t after = time(nullptr);
  const std::vector<qv46test::Packet> packets = ParsePackets(stream.Bytes());
  ASSERT_EQ(1u, packets.size());
  EXPECT_EQ("SET_SYS_TIME", packets[0].parameter);
  const std::vector<uint8_t>& payload = packets[0].payload;
  ASSERT_EQ(16u, payload.size());
  EXPECT_EQ('\r', payload[14]);
  EXPECT_EQ('\0', payload[15]);
  struct tm stamp = {};
  const std::string digits(payload.begin(), payload.begin() + 14);
  ASSERT_EQ(std::string::npos, digits.find_first_not_of("0123456789")) << digits;
  stamp.tm_year = std::stoi(digits.substr(0, 4)) - 1900;
  stamp.tm_mon = std::stoi(digits.substr(4, 2)) - 1;
  stamp.tm_mday = std::stoi(digits.substr(6, 2));
  stamp.tm_hour = std::stoi(digits.substr(8, 2));
  stamp.tm_min = std::stoi(digits.substr(10, 2));
  stamp.tm_sec = std::stoi(digits.substr(12, 2));
  stamp.tm_isdst = -1;
  const time_t sent = mktime(&stamp);
  EXPECT_GE(sent, before);
  EXPECT_LE(sent, after);
}

TEST(ControlPackets, TheQv46SendsNoClock) {
  Device d;
  EXPECT_EQ(0, d.device.SendSysTime());
  EXPECT_TRUE(d.stream.Bytes().empty());
}

}  // namespace
