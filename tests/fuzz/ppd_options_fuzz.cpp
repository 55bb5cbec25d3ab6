// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The filter's settings from job options and PPD default lines, and the
// control commands they lead to, which must decode whatever the settings.
//
// Input, in parts: the PPD text, the job's option string (as CUPS passes it
// in argv[5]) and one more keyword to look up.
#include <cups/cups.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "StreamDecoder.h"
#include "filter/Common.h"
#include "filter/FilterDriver.h"
#include "filter/PhotoPrinterDeviceQV46.h"

namespace {

// No job information file has this name.
const std::string& MissingJobId() {
  static const std::string id = "qv46fuzz" + std::to_string(getpid()) + "-none";
  return id;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> parts = qv46fuzz::SplitParts(data, size, 3);
  const std::string ppdPath = qv46fuzz::ScratchDir() + "/queue.ppd";
  if (!qv46fuzz::WriteWholeFile(ppdPath, parts[0])) return 0;

  ppdfile_s* ppd = wrappedPpdOpenFile(ppdPath.c_str());
  cups_option_t* options = nullptr;
  const int numOptions = cupsParseOptions(parts[1].c_str(), 0, &options);

  if (const char* value = wrappedPpdFindDefChoice(ppd, parts[2].c_str())) {
    const size_t length = std::strlen(value);
    if (length == 0 || length > 255 || std::strpbrk(value, " \t\n") != nullptr) std::abort();
  }

  char* stream = nullptr;
  size_t streamSize = 0;
  FILE* output = open_memstream(&stream, &streamSize);
  {
    DeviceEntry_QV46 device;
    device.SetOutput(output);
    // The job's settings, and a job without pages.
    RunJob(device, nullptr, MissingJobId().c_str(), numOptions, options, ppd);
    // One batch of control commands and empty planes, on a panel made
    // small so that the planes cost little.
    device.mediaInfo.headWidth = std::min(device.mediaInfo.headWidth, 16);
    device.mediaInfo.outPageHeight = std::min(device.mediaInfo.outPageHeight, 8);
    DeviceSink(device, numOptions, options, ppd).SendBatch(1);
  }
  std::fclose(output);
  // Whatever the settings, the stream decodes.
  const qv46stream::DecodeResult decoded =
      qv46stream::DecodeStream(reinterpret_cast<const uint8_t*>(stream), streamSize);
  if (!decoded.ok) std::abort();
  std::free(stream);

  cupsFreeOptions(numOptions, options);
  wrappedPpdClose(ppd);
  return 0;
}
