// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The job information file as the filter reads it: the value lookup, and
// the job's start, which takes the two-up layout and the half-panel count
// from it.
//
// Input: the file's bytes.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "common/TmpFiles.h"
#include "filter/Common.h"
#include "filter/FilterDriver.h"
#include "filter/PhotoPrinterDeviceQV46.h"

namespace {

// The filter looks for the file in /tmp under the job's id; this process's
// id keeps the name its own. The file itself is rewritten for every input:
// the filter follows no link to it.
std::string gJobId;
std::string gPath;

FILE* gNull = nullptr;

void RemoveFile() { unlink(gPath.c_str()); }

void CheckValue(const char* key, int valueSize) {
  char value[kPrInfoValueSize + 1];
  std::memset(value, 'x', sizeof value);
  value[0] = '\0';
  _GetValuePrInfoFile(key, gJobId.c_str(), value, valueSize);
  const size_t length = strnlen(value, sizeof value);
  // Left alone, or a terminated value that fits, without quotes or line feeds.
  if (length >= static_cast<size_t>(valueSize) && length != 0) std::abort();
  if (std::strchr(value, '"') != nullptr || std::strchr(value, '\n') != nullptr) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  gJobId = "qv46fuzz" + std::to_string(getpid());
  char path[512];
  if (!PrInfoFilePath(gJobId.c_str(), path, sizeof path)) return 1;
  gPath = path;
  std::atexit(RemoveFile);
  gNull = std::fopen("/dev/null", "wb");
  return gNull ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!qv46fuzz::WriteWholeFile(gPath, std::string(reinterpret_cast<const char*>(data), size)))
    return 0;
  const std::string mediaSize = std::string(kKeyMediaSize) + "=";
  CheckValue(mediaSize.c_str(), kPrInfoValueSize);
  CheckValue((std::string(kKeyMediaRemainHalf) + "=").c_str(), kPrInfoValueSize);
  CheckValue(mediaSize.c_str(), 6);

  // The job's own reading of the file: layout and half-panel parity, for
  // page sizes that print alone and two to a panel.
  static const char* const kPageSizes[] = {"127x89mm", "153x102mm", "153x115mm", "127x178mm"};
  for (const char* pageSize : kPageSizes) {
    cups_option_t* options = nullptr;
    const int numOptions = cupsAddOption("PageSize", pageSize, 0, &options);
    DeviceEntry_QV46 device;
    device.SetOutput(gNull);
    RunJob(device, nullptr, gJobId.c_str(), numOptions, options, nullptr);
    cupsFreeOptions(numOptions, options);
  }
  return 0;
}
