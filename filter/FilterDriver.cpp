#include "filter/FilterDriver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "filter/Common.h"
#include "filter/PhotoPrinterDeviceQV46.h"
#include "imglib/ImgLib.h"

volatile sig_atomic_t Canceled = 0;

namespace {

constexpr int kPrInfoWaitTries = 120;

// Limits for pages from a malformed or hostile header. The largest real page
// (6 x 9 inch at 600 x 600 dpi) needs about 60 MB and lines of 16 KB.
constexpr uint64_t kMaxPageBytes = uint64_t{256} << 20;
constexpr uint64_t kMaxLineBytes = uint64_t{64} << 20;

struct FreeDeleter {
  void operator()(void* block) const { std::free(block); }
};
using Block = std::unique_ptr<char, FreeDeleter>;

enum class PageOutcome { kImage, kSkipped, kCanceled, kEndOfJob };

// Reads the lines of one page into a zeroed bottom-up page buffer. A page too
// large to hold is read and dropped (kSkipped); a line too large to hold ends
// the job. A failed read leaves the rows not read black.
PageOutcome ReadPage(cups_raster_t* raster, const cups_page_header2_t& header, char** page) {
  *page = nullptr;
  const uint64_t lineBytes = header.cupsBytesPerLine;
  if (lineBytes > kMaxLineBytes) return PageOutcome::kEndOfJob;
  Block line(static_cast<char*>(std::calloc(std::max<uint64_t>(lineBytes, 1), 1)));
  if (!line) return PageOutcome::kEndOfJob;

  const uint64_t height = header.cupsHeight;
  const uint64_t stride = PageStride(header.cupsWidth);
  const bool fits = height == 0 || stride <= kMaxPageBytes / height;
  Block buffer(fits ? static_cast<char*>(std::calloc(std::max<uint64_t>(stride * height, 1), 1))
                    : nullptr);
  // Lines shorter than three bytes per pixel fill only the start of a row.
  const uint64_t copyBytes = std::min<uint64_t>(lineBytes, uint64_t{3} * header.cupsWidth);

  for (uint64_t r = 0; r < height; ++r) {
    if (cupsRasterReadPixels(raster, reinterpret_cast<unsigned char*>(line.get()),
                             header.cupsBytesPerLine) == 0) {
      if (Canceled) return PageOutcome::kCanceled;
      break;
    }
    if (buffer) std::memcpy(buffer.get() + (height - 1 - r) * stride, line.get(), copyBytes);
    if (Canceled) return PageOutcome::kCanceled;
  }
  if (!buffer) return PageOutcome::kSkipped;
  *page = buffer.release();
  return PageOutcome::kImage;
}

}  // namespace

void CancelJob(int) { Canceled = 1; }

void SleepSeconds(unsigned seconds) { sleep(seconds); }

int WaitForPrInfoFile(const char* jobId, SleepFunction sleepFor) {
  char path[512];
  if (!PrInfoFilePath(jobId, path, sizeof path)) return 0;
  for (int attempt = 0; attempt < kPrInfoWaitTries; ++attempt) {
    struct stat info;
    const bool present = stat(path, &info) == 0;
    // The last miss returns at once; a hit still waits one second.
    if (!present && attempt == kPrInfoWaitTries - 1) break;
    sleepFor(1);
    // A cancelled job has nothing to wait for.
    if (present || Canceled) break;
  }
  return 0;
}

int PrinterStatusCheck(char* jobId, int, cups_option_s*) {
  return WaitForPrInfoFile(jobId, SleepSeconds);
}

_tagBITMAPHANDLE* DeviceSink::MakeImage(char* pageBuffer, long width, long height, int slot) {
  return device_.MakeImageData(pageBuffer, width, height, slot);
}

void DeviceSink::StoreImage(int slot, _tagBITMAPHANDLE* image) {
  device_.SetImageData(slot, image);
}

void DeviceSink::SendBatch(int count) {
  device_.SendCutterMode(numOptions_, options_, ppd_);
  device_.SendOvercoatFinish(numOptions_, options_, ppd_);
  device_.SendPrintRetry(numOptions_, options_, ppd_);
  device_.SendPrintSpeed(numOptions_, options_, ppd_);
  device_.SendDecurl(numOptions_, options_, ppd_);
  device_.SendImageData(count);
}

void RunPageLoop(cups_raster_t* raster, PageSink& sink, int layoutCount, int halfParity) {
  // The image buffer has this many slots; a batch never holds more.
  const int layout = std::clamp(layoutCount, 1, PhotoImageBuffer::kSlotCount);
  int stored = 0;
  long pageIndex = 0;
  cups_page_header2_t header;
  while (cupsRasterReadHeader2(raster, &header)) {
    if (Canceled) return;
    char* page = nullptr;
    const PageOutcome outcome = ReadPage(raster, header, &page);
    if (outcome == PageOutcome::kCanceled) return;
    if (outcome == PageOutcome::kEndOfJob) break;
    if (outcome == PageOutcome::kImage) {
      _tagBITMAPHANDLE* image = sink.MakeImage(page, header.cupsWidth, header.cupsHeight, stored);
      for (unsigned copy = 0; copy < header.NumCopies; ++copy) {
        // With an odd half-panel count the job's very first image prints alone.
        const int batch = (halfParity == 1 && pageIndex == 0 && copy == 0) ? 1 : layout;
        sink.StoreImage(stored, image);
        ++stored;
        if (stored >= batch) {
          sink.SendBatch(batch);
          stored = 0;
        }
      }
      IL_FreeBitmap(image);
      delete image;
    }
    ++pageIndex;
  }
  if (!Canceled && stored > 0) sink.SendBatch(stored);
}

void RunJob(DeviceEntry& device, cups_raster_t* raster, const char* jobId, int numOptions,
            cups_option_s* options, ppdfile_s* ppd) {
  device.SendSysTime();
  // Resolution first, so the media record is derived at the job's resolution.
  device.SetResolution(numOptions, options, ppd);
  device.SetMediaSize(numOptions, options, ppd);
  device.SetBorder(numOptions, options, ppd);
  device.SetSharpness(numOptions, options, ppd);
  device.SetGamma(numOptions, options, ppd);
  device.SetIntensity(numOptions, options, ppd);
  device.SetContrast(numOptions, options, ppd);
  device.SetSaturation(numOptions, options, ppd);
  device.SetColorAdjustment(numOptions, options, ppd);
  device.SetColorMode(numOptions, options, ppd);
  device.SetPaperRotate(numOptions, options, ppd);

  const int layout = device.GetMultiLayoutNum(jobId);
  // A signed remainder: a negative odd count is not "odd" here.
  const int parity = device.GetRemainHalf(jobId) % 2;
  DeviceSink sink(device, numOptions, options, ppd);
  RunPageLoop(raster, sink, layout, parity);
}

int RunFilter(int argc, char* argv[], SleepFunction sleepFor) {
  if (argc != 6 && argc != 7) return 1;
  int fd = STDIN_FILENO;
  if (argc == 7) {
    fd = open(argv[6], O_RDONLY);
    if (fd < 0) {
      sleepFor(1);
      return 1;
    }
  }

  cups_option_t* options = nullptr;
  const int numOptions = cupsParseOptions(argv[5], 0, &options);
  ppdfile_s* ppd = wrappedPpdOpenFile(std::getenv("PPD"));

  Canceled = 0;
  struct sigaction action {};
  action.sa_handler = CancelJob;
  sigemptyset(&action.sa_mask);
  // Restart interrupted writes: a batch under way must still go out whole.
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);

  WaitForPrInfoFile(argv[1], sleepFor);

  cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
  {
    DeviceEntry_QV46 device;
    RunJob(device, raster, argv[1], numOptions, options, ppd);
  }

  wrappedPpdClose(ppd);
  if (raster != nullptr) cupsRasterClose(raster);
  cupsFreeOptions(numOptions, options);
  if (fd != STDIN_FILENO) close(fd);
  std::fflush(stdout);
  return 0;
}
