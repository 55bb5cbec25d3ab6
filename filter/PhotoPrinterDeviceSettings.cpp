// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// DeviceEntry's job settings and the control commands sent before every batch.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <ctime>

#include "filter/PhotoPrinterDevice.h"

namespace {

bool Equals(const char* value, const char* keyword) {
  return value != nullptr && std::strcmp(value, keyword) == 0;
}

// Options that set all three channels at once, or each channel on its own.
struct ChannelOptions {
  const char* all;
  const char* perChannel[3];
};

// Reads a colour option into `out` (R, G, B): the all-channel option wins;
// otherwise each channel has its own option and fallback.
template <typename Convert>
void ReadChannels(const ChannelOptions& names, int fallback, Convert convert, int numOptions,
                  cups_option_s* options, ppdfile_s* ppd, int32_t out[3]) {
  if (const char* all = _GetCupsValue(names.all, numOptions, options, ppd)) {
    const int32_t value = convert(ValueToInt(all));
    for (int k = 0; k < 3; ++k) out[k] = value;
    return;
  }
  for (int k = 0; k < 3; ++k) {
    const char* value = _GetCupsValue(names.perChannel[k], numOptions, options, ppd);
    out[k] = value ? convert(ValueToInt(value)) : fallback;
  }
}

int32_t Saturate(double value) {
  if (!(value < 2147483647.0)) return INT32_MAX;  // also catches NaN
  if (value < -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(value);
}

int32_t Scale(int n, int factor) { return Saturate(static_cast<double>(n) * factor); }

// Gamma x 100 of a level n: 100 x 2^(n / 100), truncated.
int32_t GammaOfLevel(int n) { return Saturate(100.0 * std::pow(2.0, n / 100.0)); }

constexpr int32_t kSharpnessTable[] = {-1000, -500, 0, 650, 700, 750, 800, 850, 900, 950, 1000};
constexpr int kSharpnessLowest = -2;

}  // namespace

int DeviceEntry::SetResolution(int numOptions, cups_option_s* options, ppdfile_s* ppd) {
  resolutionMode = 0;
  const char* value = _GetCupsValue("Resolution", numOptions, options, ppd);
  if (Equals(value, "300x600dpi")) {
    resolution = 600;
    resolutionMode = 1;
  } else if (Equals(value, "600x600dpi")) {
    resolution = 600;
    resolutionMode = 2;
  } else {
    resolution = 300;
  }
  return UpdateMediaInfo(mediaInfo) == 0 ? 1 : 0;
}

void DeviceEntry::SetBorder(int numOptions, cups_option_s* options, ppdfile_s* ppd) {
  border = Equals(_GetCupsValue("ZelBorder", numOptions, options, ppd), "Enable");
}

void DeviceEntry::SetSharpness(int numOptions, cups_option_s* options, ppdfile_s* ppd) {
  const int n = ValueToInt(_GetCupsValue("ZelSharpness", numOptions, options, ppd));
  const int size = static_cast<int>(sizeof kSharpnessTable / sizeof kSharpnessTable[0]);
  const bool inTable = n >= kSharpnessLowest && n < kSharpnessLowest + size;
  sharpness = inTable ? kSharpnessTable[n - kSharpnessLowest] : 0;
}

void DeviceEntry::SetGamma(int numOptions, cups_option_s* options, ppdfile_s* ppd) {
  ReadChannels({"ZelGamma", {"ZelGammaR", "ZelGammaG", "ZelGammaB"}}, 100, GammaOfLevel, numOptions,
               options, ppd, gamma);
}

void DeviceEntry::SetIntensity(int numOptions, cups_option_s* options, ppdfile_s* ppd) {
  ReadChannels(
      {"ZelBrightness", {"ZelBrightnessR", "ZelBrightnessG", "ZelBrightnessB"}}, 0,
      [](int n) { return Scale(n, 2); }, numOptions, options, ppd, brightness);
}

void DeviceEntry::SetContrast(int numOptions, cups_option_s* options, ppdfile_s* ppd) {
  ReadChannels(
      {"ZelContrast", {"ZelContrastR", "ZelContrastG", "ZelContrastB"}}, 0,
      [](int n) { return Scale(n, 10); }, numOptions, options, ppd, contrast);
}

void DeviceEntry::SetSaturation(int numOptions, cups_option_s* options, ppdfile_s* ppd) {
  const char* value = _GetCupsValue("ZelChroma", numOptions, options, ppd);
  saturation = value ? Scale(ValueToInt(value), 10) : 0;
}

void DeviceEntry::SetColorAdjustment(int numOptions, cups_option_s* options, ppdfile_s* ppd) {
  colorAdjustment = Equals(_GetCupsValue("ZelColorAdjustment", numOptions, options, ppd), "Enable");
}

void DeviceEntry::SetColorMode(int numOptions, cups_option_s* options, ppdfile_s* ppd) {
  monochrome = Equals(_GetCupsValue("print-color-mode", numOptions, options, ppd), "monochrome");
}

int DeviceEntry::SendCutterMode(int numOptions, cups_option_s* options, ppdfile_s* ppd) {
  const bool enabled = Equals(_GetCupsValue("Zel2InchCut", numOptions, options, ppd), "Enable");
  const long mode = (enabled && mediaInfo.twoInchCut) ? 120 : 0;
  char payload[32];
  const int length = std::snprintf(payload, sizeof payload, "%08ld", mode);
  return SendControl("CNTRL", "CUTTER", payload, length);
}

int DeviceEntry::SendOvercoatFinish(int numOptions, cups_option_s* options, ppdfile_s* ppd) {
  double version = 0;
  if (_GetFirmwVersion(0, &version) != 0) return 0;

  const char* finish = _GetCupsValue("ZelOvercoatFinish", numOptions, options, ppd);
  unsigned long code = 0;  // "Glossy" and anything unknown
  if (Equals(finish, "Matte")) {
    code = 1;
  } else if (Equals(finish, "FineMatte")) {
    code = 21;
  } else if (Equals(finish, "Luster")) {
    code = 22;
  }
  if (SetOvercoatFinish(code, version) != 0) return 0;

  char payload[32];
  const int length = std::snprintf(payload, sizeof payload, "%08d", overcoatValue);
  return SendControl("CNTRL", "OVERCOAT", payload, length);
}

int DeviceEntry::SendPrintRetry(int numOptions, cups_option_s* options, ppdfile_s* ppd) {
  const bool disabled = Equals(_GetCupsValue("ZelPrintRetry", numOptions, options, ppd), "Disable");
  char payload[32];
  const int length = std::snprintf(payload, sizeof payload, "%08d", disabled ? 0 : 1);
  return SendControl("CNTRL", "BUFFCNTRL", payload, length);
}

int DeviceEntry::SendPrintSpeed(int numOptions, cups_option_s* options, ppdfile_s* ppd) {
  int speed = 0;
  // Compare before the next lookup: a PPD value lives in the handle's buffer.
  if (Equals(_GetCupsValue("Resolution", numOptions, options, ppd), "300x600dpi")) {
    speed = Equals(_GetCupsValue("ZelPrintSpeed", numOptions, options, ppd), "Enable") ? 30 : 10;
  }
  char payload[32];
  const int length = std::snprintf(payload, sizeof payload, "%08d", speed);
  return SendControl("CNTRL", "PRINTSPEED", payload, length);
}

int DeviceEntry::SendDecurl(int numOptions, cups_option_s* options, ppdfile_s* ppd) {
  if (!isSupportDecurl()) return 0;
  const char* value = _GetCupsValue("ZelDecurl", numOptions, options, ppd);
  int mode = 2;
  if (Equals(value, "Enable")) {
    mode = 1;
  } else if (Equals(value, "Disable")) {
    mode = 0;
  }
  char payload[32];
  const int length = std::snprintf(payload, sizeof payload, "%02d0000000000", mode);
  return SendControl("CNTRL", "DECURL", payload, length);
}

int DeviceEntry::SendSysTime() {
  if (!isSupportSysTime()) return 0;
  const time_t now = std::time(nullptr);
  struct tm local = {};
  localtime_r(&now, &local);
  char payload[32];
  const int length =
      std::snprintf(payload, sizeof payload, "%04d%02d%02d%02d%02d%02d\r", local.tm_year + 1900,
                    local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  // The terminating NUL is part of the payload.
  return SendControl("CNTRL", "SET_SYS_TIME", payload, length + 1);
}
