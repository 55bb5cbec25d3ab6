// The filter's settings from job options and PPD default lines, and the
// control commands they lead to.
//
// Input, in parts: the PPD text, the job's option string (as CUPS passes it
// in argv[5]) and one more keyword to look up.
#include <cups/cups.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "common/PhotoPrinterDevice.h"
#include "filter/Common.h"
#include "filter/PhotoPrinterDeviceQV46.h"

namespace {

// Whatever the settings, the control commands are whole packets.
void CheckPackets(const char* stream, size_t size) {
  size_t at = 0;
  while (at < size) {
    long length = 0;
    if (size - at < kCmdHeaderSize || !IsCmdHeader(reinterpret_cast<const uint8_t*>(stream + at)) ||
        ReadCmdLength(reinterpret_cast<const uint8_t*>(stream + at), &length) < 0 ||
        size - at - kCmdHeaderSize < static_cast<size_t>(length))
      std::abort();
    at += kCmdHeaderSize + static_cast<size_t>(length);
  }
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
    device.SendSysTime();
    device.SetResolution(numOptions, options, ppd);
    device.SetMediaSize(numOptions, options, ppd);
    device.SetBorder(numOptions, options, ppd);
    device.SetSharpness(numOptions, options, ppd);
    device.SetGamma(numOptions, options, ppd);
    device.SetIntensity(numOptions, options, ppd);
    device.SetContrast(numOptions, options, ppd);
    device.SetSaturation(numOptions, options, ppd);
    device.SetColorAdjustment(numOptions, options, ppd);
    device.SetPaperRotate(numOptions, options, ppd);
    device.SendCutterMode(numOptions, options, ppd);
    device.SendOvercoatFinish(numOptions, options, ppd);
    device.SendPrintRetry(numOptions, options, ppd);
    device.SendPrintSpeed(numOptions, options, ppd);
    device.SendDecurl(numOptions, options, ppd);
    device.SendMediaSize(&device.mediaInfo);
  }
  std::fclose(output);
  CheckPackets(stream, streamSize);
  std::free(stream);

  cupsFreeOptions(numOptions, options);
  wrappedPpdClose(ppd);
  return 0;
}
