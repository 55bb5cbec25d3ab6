// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "filter/FilterDriver.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "common/TmpFiles.h"
#include "filter/Common.h"
#include "filter/PhotoPrinterDeviceQV46.h"

volatile sig_atomic_t Canceled = 0;

namespace {

// The job information file is looked for this often, 120 s long when no
// backend says it waits; a job should not lose most of a second to it.
constexpr unsigned kPrInfoPollMs = 100;
constexpr int kPrInfoWaitTries = 120 * 1000 / kPrInfoPollMs;

// A line longer than this comes from a malformed or hostile header; real
// lines hold at most 16 KB.
constexpr uint64_t kMaxLineBytes = uint64_t{64} << 20;

struct FreeDeleter {
  void operator()(void* block) const { std::free(block); }
};
using Block = std::unique_ptr<char, FreeDeleter>;

enum class PageOutcome { kImage, kCanceled, kEndOfJob };

// Reads the lines of one page into a zeroed bottom-up page buffer. A page or
// line too large to hold ends the job before a line is read. A failed read
// leaves the rows not read black.
PageOutcome ReadPage(cups_raster_t* raster, const cups_page_header2_t& header,
                     const CancelCheck& canceled, char** page) {
  *page = nullptr;
  const uint64_t lineBytes = header.cupsBytesPerLine;
  if (lineBytes > kMaxLineBytes) return PageOutcome::kEndOfJob;
  Block line(static_cast<char*>(std::calloc(std::max<uint64_t>(lineBytes, 1), 1)));
  Block buffer(AllocPageBuffer(header.cupsWidth, header.cupsHeight));
  if (!line || !buffer) return PageOutcome::kEndOfJob;

  auto* pixels = reinterpret_cast<unsigned char*>(line.get());
  for (unsigned r = 0; r < header.cupsHeight; ++r) {
    if (cupsRasterReadPixels(raster, pixels, header.cupsBytesPerLine) == 0) {
      if (canceled()) return PageOutcome::kCanceled;
      break;
    }
    PutPageLine(buffer.get(), header.cupsWidth, header.cupsHeight, r, pixels, lineBytes);
    if (canceled()) return PageOutcome::kCanceled;
  }
  *page = buffer.release();
  return PageOutcome::kImage;
}

// The backend of job `jobId` still waits for its printer: its waiting file
// names a process that is there.
bool BackendWaiting(const char* jobId) {
  char path[512];
  if (!BackendWaitFilePath(jobId, path, sizeof path)) return false;
  FILE* file = OpenTrustedTmpFile(path);
  if (file == nullptr) return false;
  char text[24] = {};
  const bool got = std::fgets(text, sizeof text, file) != nullptr;
  std::fclose(file);
  if (!got) return false;
  char* end = nullptr;
  const long pid = std::strtol(text, &end, 10);
  if (pid <= 0 || *end != '\n') return false;
  // The backend runs as root: EPERM still says it is there.
  return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

}  // namespace

void CancelJob(int) { Canceled = 1; }

void SleepMilliseconds(unsigned milliseconds) {
  timespec delay{static_cast<time_t>(milliseconds / 1000),
                 static_cast<long>(milliseconds % 1000) * 1000000L};
  nanosleep(&delay, nullptr);  // SIGTERM ends it early
}

int WaitForPrInfoFile(const char* jobId, SleepFunction sleepFor) {
  char path[512];
  if (!PrInfoFilePath(jobId, path, sizeof path)) return 0;
  bool backendWasWaiting = false;
  for (int misses = 0;;) {
    // Asked first: the backend publishes the job information before it
    // stops saying that it waits.
    const bool backendWaiting = BackendWaiting(jobId);
    // The backend publishes the file whole (by renaming), so it can be
    // read as soon as it is there; one planted by another user is not it.
    if (FILE* file = OpenTrustedTmpFile(path)) {
      std::fclose(file);
      break;
    }
    if (!backendWaiting) {
      // Gone without job information: the backend gave up on its printer.
      if (backendWasWaiting) break;
      // The last miss returns at once.
      if (++misses == kPrInfoWaitTries) break;
    }
    backendWasWaiting = backendWasWaiting || backendWaiting;
    sleepFor(kPrInfoPollMs);
    // A cancelled job has nothing to wait for.
    if (Canceled) break;
  }
  return 0;
}

int PrinterStatusCheck(const char* jobId, int, cups_option_s*) {
  return WaitForPrInfoFile(jobId, SleepMilliseconds);
}

bool SigtermSeen() { return Canceled != 0; }

LoadedMedia ReadLoadedMedia(DeviceEntry& device, const char* jobId) {
  LoadedMedia media{};
  _GetValuePrInfoFile((std::string(kKeyMediaSize) + "=").c_str(), jobId, media.mediaSize,
                      sizeof media.mediaSize);
  media.remainHalf = device.GetRemainHalf(jobId);
  return media;
}

void RunPageLoop(cups_raster_t* raster, PageSink& sink, JobLayout layout,
                 const CancelCheck& canceled) {
  PageBatcher batcher(sink, layout, canceled);
  cups_page_header2_t header;
  while (cupsRasterReadHeader2(raster, &header)) {
    if (canceled()) return;
    char* page = nullptr;
    const PageOutcome outcome = ReadPage(raster, header, canceled, &page);
    if (outcome == PageOutcome::kCanceled) return;
    if (outcome == PageOutcome::kEndOfJob) break;
    if (!batcher.AddPage(page, header.cupsWidth, header.cupsHeight, header.NumCopies)) return;
  }
  batcher.Finish();
}

void RunJob(DeviceEntry& device, cups_raster_t* raster, const char* jobId, int numOptions,
            cups_option_s* options, ppdfile_s* ppd) {
  const LoadedMedia media = ReadLoadedMedia(device, jobId);
  const JobLayout layout = StartJob(device, numOptions, options, ppd, media);
  DeviceSink sink(device, numOptions, options, ppd);
  RunPageLoop(raster, sink, layout, SigtermSeen);
}

int RunFilter(int argc, char* argv[], SleepFunction sleepFor) {
  if (argc != 6 && argc != 7) return 1;
  int fd = STDIN_FILENO;
  if (argc == 7) {
    fd = open(argv[6], O_RDONLY);
    if (fd < 0) {
      sleepFor(1000);
      return 1;
    }
  }

  cups_option_t* options = nullptr;
  const int numOptions = cupsParseOptions(argv[5], 0, &options);
  ppdfile_s* ppd = wrappedPpdOpenFile(std::getenv("PPD"));

  Canceled = 0;
  struct sigaction action = {};
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
