// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Raster pages through the filter's job loop into the real device object.
// Whatever the pages, settings and failed allocations, the job stream must
// decode: whole packets, valid plane BMPs, and three planes before a START.
//
// Input: a CUPS raster stream followed by three control bytes: the job's
// settings, the job information file and an allocation to fail.
#include <cups/raster.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "LibcupsHeap.h"
#include "StreamDecoder.h"
#include "filter/Common.h"
#include "filter/FilterDriver.h"
#include "filter/PhotoPrinterDeviceQV46.h"

namespace {

// Every copy is a batch of full-size planes and every page runs the colour
// pipeline, so large copy counts and large pages cost seconds or minutes an
// input (and the filter still obeys any copy count and reads any page to its
// end). Such inputs are set aside: the runs must stay fast.
constexpr unsigned kMaxCopies = 4;
constexpr unsigned kMaxImages = 8;
constexpr uint64_t kMaxPagePixels = 1 << 16;
constexpr uint64_t kMaxPageBytes = 1 << 20;

bool WithinLimits(int fd) {
  cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
  if (raster == nullptr) return true;
  bool within = true;
  unsigned images = 0;
  cups_page_header2_t header;
  std::string line;
  while (cupsRasterReadHeader2(raster, &header)) {
    images += header.NumCopies;
    within = header.NumCopies <= kMaxCopies && images <= kMaxImages &&
             uint64_t{header.cupsWidth} * header.cupsHeight <= kMaxPagePixels &&
             header.cupsBytesPerLine <= kMaxPageBytes &&
             uint64_t{header.cupsBytesPerLine} * header.cupsHeight <= kMaxPageBytes;
    if (!within) break;
    line.resize(header.cupsBytesPerLine + 1);
    for (unsigned r = 0; r < header.cupsHeight; ++r) {
      if (cupsRasterReadPixels(raster, reinterpret_cast<unsigned char*>(line.data()),
                               header.cupsBytesPerLine) == 0)
        break;
    }
  }
  cupsRasterClose(raster);
  return within;
}

const char* const kPageSizes[] = {"127x89mm",  "89x127mm",  "127x127mm", "127x178mm",
                                  "153x102mm", "102x153mm", "153x115mm", "115x153mm",
                                  "153x153mm", "153x204mm", "153x229mm", "A4"};
const char* const kResolutions[] = {"300x300dpi", "300x600dpi", "600x600dpi", "1200dpi"};

// Job information files of this process: none, a two-up medium with an odd
// half-panel count, the same with an even count, and an unknown medium.
std::string gJobIds[4];

std::string JobInfoPath(const std::string& jobId) {
  char path[512];
  return PrInfoFilePath(jobId.c_str(), path, sizeof path) ? path : "";
}

void RemoveJobInfo() {
  for (const std::string& id : gJobIds) unlink(JobInfoPath(id).c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Without this a mutated line length costs seconds an input in ASan's
  // shadow of libcups's line buffer.
  if (!qv46fuzz::ServeLibcupsHugeBlocksFromMmap()) std::abort();
  const char* const contents[] = {
      nullptr,
      "#MEDIA_INFORMATION\nMEDIA_SIZE=\"00400\"\nMEDIA_REMAIN_HALF=\"00037\"\n",
      "#MEDIA_INFORMATION\nMEDIA_SIZE=\"00310\"\nMEDIA_REMAIN_HALF=\"00036\"\n",
      "MEDIA_SIZE=\"0\nMEDIA_REMAIN_HALF=\"-7\"\n",
  };
  for (int i = 0; i < 4; ++i) {
    gJobIds[i] = "qv46fuzz" + std::to_string(getpid()) + "-" + std::to_string(i);
    if (contents[i] != nullptr) qv46fuzz::WriteWholeFile(JobInfoPath(gJobIds[i]), contents[i]);
  }
  std::atexit(RemoveJobInfo);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return -1;
  const uint8_t settings = data[size - 3];
  const uint8_t job = data[size - 2];
  const uint8_t failAt = data[size - 1];
  const int fd = qv46fuzz::MemoryFile(data, size - 3);
  if (fd < 0) return 0;
  if (!WithinLimits(fd)) {
    close(fd);
    return -1;
  }
  lseek(fd, 0, SEEK_SET);

  cups_option_t* options = nullptr;
  int numOptions = 0;
  numOptions = cupsAddOption("PageSize", kPageSizes[(settings & 0x0F) % 12], numOptions, &options);
  numOptions = cupsAddOption("Resolution", kResolutions[(settings >> 4) & 3], numOptions, &options);
  numOptions =
      cupsAddOption("ZelBorder", settings & 0x40 ? "Enable" : "Disable", numOptions, &options);
  if (settings & 0x80) {
    numOptions = cupsAddOption("ZelColorAdjustment", "Enable", numOptions, &options);
    numOptions =
        cupsAddOption("ZelSharpness", std::to_string(job % 13 - 2).c_str(), numOptions, &options);
    numOptions =
        cupsAddOption("ZelGamma", std::to_string(int(job) - 128).c_str(), numOptions, &options);
    numOptions = cupsAddOption("ZelChroma", std::to_string(int(failAt) * 8 - 1000).c_str(),
                               numOptions, &options);
  }

  // One buffer for all runs: its capacity is kept from one run to the next.
  static std::string stream;
  stream.clear();
  static const cookie_io_functions_t kAppend = {
      nullptr,
      [](void* cookie, const char* bytes, size_t size) -> ssize_t {
        static_cast<std::string*>(cookie)->append(bytes, size);
        return static_cast<ssize_t>(size);
      },
      nullptr, nullptr};
  FILE* output = fopencookie(&stream, "w", kAppend);
  {
    // Failing allocations run the out-of-memory paths of the colour
    // pipeline and the plane store.
    qv46fuzz::FailingAllocator allocator(failAt & 0x7F, failAt & 0x80);
    ScopedPixelAllocator scope(failAt ? &allocator : nullptr);
    cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
    DeviceEntry_QV46 device;
    device.SetOutput(output);
    Canceled = 0;
    RunJob(device, raster, gJobIds[job & 3].c_str(), numOptions, options, nullptr);
    if (raster != nullptr) cupsRasterClose(raster);
  }
  std::fclose(output);
  const qv46stream::DecodeResult decoded =
      qv46stream::DecodeStream(reinterpret_cast<const uint8_t*>(stream.data()), stream.size());
  std::vector<qv46stream::Panel> panels;
  std::string error;
  if (!decoded.ok || !qv46stream::CollectPanels(decoded.packets, &panels, &error)) std::abort();

  cupsFreeOptions(numOptions, options);
  close(fd);
  return 0;
}
