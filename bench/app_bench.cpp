// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// JPEG photos of 2, 12 and 48 megapixels on the default 6x4 in page.
// BmPhotoShare: the app's own share of a photo job in this process, in CPU
// time (medians): decoding (with the photo's place settled from its header),
// drawing the placed photo into the page, and the pipeline from the job's
// settings to the stream sent, beside the filter's page of the same pixels
// and size through RunJob. BmAppJpegJob: whole jobs through
// qv46-printer-app into the simulated printer: processing time from the
// document received to the job completed (from the app's log), the rest
// beyond the share (PAPPL's start of the job, the printer's queries), and
// the peak memory of an app that printed only that photo.
#include <benchmark/benchmark.h>
#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "AppUnderTest.h"
#include "PhotoFiles.h"
#include "PrintSystem.h"
#include "TestImages.h"
#include "filter/FilterDriver.h"
#include "filter/JobPipeline.h"
#include "filter/PhotoPrinterDeviceQV46.h"
#include "printer-app/DocumentLimits.h"
#include "printer-app/Driver.h"
#include "printer-app/ImageJob.h"

namespace {

// Seconds since the epoch of a log line's "[2026-12-07T14:20:43.457Z]".
double LogTime(const std::string& line) {
  std::smatch m;
  if (!std::regex_search(line, m, std::regex(R"(\[(\d+)-(\d+)-(\d+)T(\d+):(\d+):([\d.]+)Z\])")))
    return -1;
  std::tm t{};
  t.tm_year = std::stoi(m[1]) - 1900;
  t.tm_mon = std::stoi(m[2]) - 1;
  t.tm_mday = std::stoi(m[3]);
  t.tm_hour = std::stoi(m[4]);
  t.tm_min = std::stoi(m[5]);
  return static_cast<double>(timegm(&t)) + std::stod(m[6]);
}

struct JobTimes {
  double seconds = -1;  // document received to completed
  double startMs = 0;   // of which PAPPL's start of the job, up to its options
  double writeMs = 0;   // of which writing to the printer
};

JobTimes TimesOf(const std::string& log, int job) {
  const std::string tag = "[Job " + std::to_string(job) + "] ";
  double received = -1;
  double options = -1;
  double completed = -1;
  JobTimes times;
  std::ifstream in(log);
  std::smatch m;
  for (std::string line; std::getline(in, line);) {
    if (line.find(tag + "Received") != std::string::npos) received = LogTime(line);
    if (line.find(tag + "Getting options") != std::string::npos) options = LogTime(line);
    if (line.find(tag + "Completed") != std::string::npos) completed = LogTime(line);
    if (line.find(tag) != std::string::npos &&
        std::regex_search(line, m, std::regex(R"(Device write metrics: .* (\d+) msecs)")))
      times.writeMs = std::stod(m[1]);
  }
  if (received >= 0 && completed >= 0) times.seconds = completed - received;
  if (received >= 0 && options >= 0) times.startMs = (options - received) * 1000;
  return times;
}

// The photo's size for a benchmark argument in megapixels.
void PhotoSize(int64_t megapixels, int* width, int* height) {
  if (megapixels == 48) {
    *width = 8000;
    *height = 6000;
  } else if (megapixels == 12) {
    *width = 4000;
    *height = 3000;
  } else {
    *width = 1800;
    *height = 1200;
  }
}

// The sample photo of that size as a camera stores it (ImageMagick's JPEG
// at quality 92) in `directory`; with an EXIF orientation, stored as a phone
// stores a picture it took turned (libjpeg, quality 92).
std::string WriteJpegPhoto(int64_t megapixels, const std::string& directory,
                           int64_t orientation = 0) {
  int width = 0;
  int height = 0;
  PhotoSize(megapixels, &width, &height);
  const std::string png = directory + "/photo.png";
  const std::string jpeg = directory + "/photo.jpg";
  if (orientation != 0) {
    apptest::JpegExtras extras;
    extras.orientation = static_cast<int>(orientation);
    const bool sideways = orientation >= 5;
    apptest::WriteJpeg(jpeg, e2e::SamplePhoto(sideways ? height : width, sideways ? width : height),
                       extras, 92);
    return jpeg;
  }
  e2e::WritePng(png, e2e::SamplePhoto(width, height));
  apptest::Run({"convert", png, "-quality", "92", jpeg});
  return jpeg;
}

// CPU time of the whole process, so that work the pipeline hands to other
// threads counts too.
double CpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t half = values.size() / 2;
  return values.size() % 2 != 0 ? values[half] : (values[half - 1] + values[half]) / 2;
}

// A job's options as the app hands them to the pipeline.
class JobOptions {
 public:
  explicit JobOptions(const pappl_pr_options_t& options) {
    for (const auto& [name, value] :
         FilterOptions(options.media, options.printer_resolution[0], options.printer_resolution[1],
                       0, nullptr, nullptr))
      count_ = cupsAddOption(name.c_str(), value.c_str(), count_, &options_);
  }
  ~JobOptions() { cupsFreeOptions(count_, options_); }
  JobOptions(const JobOptions&) = delete;
  JobOptions& operator=(const JobOptions&) = delete;
  int count() const { return count_; }
  cups_option_t* options() const { return options_; }

 private:
  int count_ = 0;
  cups_option_t* options_ = nullptr;
};

// The app's default page: 6x4 in stock at `yResolution` over 300 dpi.
pappl_pr_options_t DefaultPage(int yResolution) {
  pappl_media_col_t media{};
  const pwg_media_t* size = pwgMediaForPWG("na_index-4x6_4x6in");
  std::snprintf(media.size_name, sizeof media.size_name, "%s", size->pwg);
  media.size_width = size->width;
  media.size_length = size->length;
  pappl_pr_options_t options{};
  PhotoPageOptions(media, PAPPL_SCALING_AUTO, IPP_ORIENT_NONE, 300, yResolution, &options);
  return options;
}

// One photo's work in this process, each part in milliseconds.
struct Share {
  // Decoded, its place on the page settled (at 300 x 600 dpi stretched
  // down the page too).
  double decodeMs = 0;
  double placeMs = 0;            // placed: drawn into a new page
  double pipelineMs = 0;         // the job's settings, the page's image made and sent
  pappl_pr_options_t options{};  // the page the photo landed on
  std::vector<char> page;        // that page drawn (bottom-up), for the filter's run
};

// The photo job's share as PrintJpeg does it, into `sink`.
bool RunShare(const std::string& jpeg, int yResolution, FILE* sink, bool keepPage, Share* share) {
  PhotoLimits limits;
  limits.maxWidth = limits.maxHeight = 1 << 30;
  limits.maxBytes = 3 * kMaxPhotoPixels;
  const double start = CpuMs();
  pappl_pr_options_t& options = share->options;
  options = DefaultPage(yResolution);
  PlacedPhoto placed;
  if (DecodeAndPlacePhoto(jpeg.c_str(), PhotoFormat::kJpeg, limits, &options, &placed) != nullptr)
    return false;
  const double decoded = CpuMs();
  const cups_page_header2_t& header = options.header;
  char* page = AllocPageBuffer(header.cupsWidth, header.cupsHeight);
  if (page == nullptr) return false;
  DrawPhotoPage(placed.placement, placed.photo, placed.smoothing, page);
  const double drawn = CpuMs();
  if (keepPage) share->page.assign(page, page + PageStride(header.cupsWidth) * header.cupsHeight);
  const double copied = CpuMs();
  {
    const JobOptions job(options);
    DeviceEntry_QV46 device;
    device.SetOutput(sink);
    const JobLayout layout = StartJob(device, job.count(), job.options(), nullptr, LoadedMedia{});
    DeviceSink pages(device, job.count(), job.options(), nullptr);
    PageBatcher batcher(pages, layout, [] { return false; });
    batcher.AddPage(page, header.cupsWidth, header.cupsHeight, 1);
    batcher.Finish();
  }
  const double sent = CpuMs();
  share->decodeMs = decoded - start;
  share->placeMs = drawn - decoded;
  share->pipelineMs = sent - copied;
  return true;
}

// A raster file of one page (bottom-up `page`, 24-bit) at 300 x
// `yResolution` dpi, as a queue hands it to the filter; -1 when it failed.
int WriteRasterPage(const std::vector<char>& page, unsigned width, unsigned height,
                    int yResolution) {
  char path[] = "/tmp/qv46-bench-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return -1;
  unlink(path);
  cups_raster_t* writer = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
  cups_page_header2_t header{};
  header.cupsWidth = width;
  header.cupsHeight = height;
  header.HWResolution[0] = 300;
  header.HWResolution[1] = static_cast<unsigned>(yResolution);
  header.cupsBitsPerColor = 8;
  header.cupsBitsPerPixel = 24;
  header.cupsBytesPerLine = 3 * width;
  header.cupsColorSpace = CUPS_CSPACE_RGB;
  header.NumCopies = 1;
  cupsRasterWriteHeader2(writer, &header);
  const size_t stride = PageStride(width);
  for (unsigned y = 0; y < height; ++y) {
    const char* row = page.data() + (height - 1 - y) * stride;
    cupsRasterWritePixels(writer, reinterpret_cast<unsigned char*>(const_cast<char*>(row)),
                          3 * width);
  }
  cupsRasterClose(writer);
  return fd;
}

// The filter's page loop on a raster page (read, processed, written), as
// rastertoqv46 runs it after its wait for the job information file.
void RunFilterPage(int fd, const JobOptions& job, FILE* sink) {
  lseek(fd, 0, SEEK_SET);
  cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
  DeviceEntry_QV46 device;
  device.SetOutput(sink);
  RunJob(device, raster, "qv46-bench-no-such-job", job.count(), job.options(), nullptr);
  cupsRasterClose(raster);
}

// Arguments: the photo's megapixels, the page's vertical resolution, its
// EXIF orientation (0: none).
void BmPhotoShare(benchmark::State& state) {
  char directory[] = "/tmp/qv46-bench-photo-XXXXXX";
  if (mkdtemp(directory) == nullptr) {
    state.SkipWithError("no temporary directory");
    return;
  }
  const std::string jpeg = WriteJpegPhoto(state.range(0), directory, state.range(2));
  const int yResolution = static_cast<int>(state.range(1));
  FILE* sink = std::fopen("/dev/null", "w");
  Share first;
  if (!RunShare(jpeg, yResolution, sink, true, &first)) {
    state.SkipWithError("the photo was not printed");
    return;
  }
  const unsigned across = first.options.header.cupsWidth;
  const unsigned down = first.options.header.cupsHeight;
  const JobOptions job(first.options);
  const int raster = WriteRasterPage(first.page, across, down, yResolution);
  std::vector<double> decode, place, pipeline, share, filter;
  for (auto _ : state) {
    Share s;
    RunShare(jpeg, yResolution, sink, false, &s);
    const double start = CpuMs();
    RunFilterPage(raster, job, sink);
    filter.push_back(CpuMs() - start);
    decode.push_back(s.decodeMs);
    place.push_back(s.placeMs);
    pipeline.push_back(s.pipelineMs);
    share.push_back(s.decodeMs + s.placeMs + s.pipelineMs);
    state.SetIterationTime(share.back() / 1000);
  }
  close(raster);
  std::fclose(sink);
  std::remove((std::string(directory) + "/photo.png").c_str());
  std::remove(jpeg.c_str());
  rmdir(directory);
  state.counters["decode_ms"] = Median(decode);
  state.counters["place_ms"] = Median(place);
  state.counters["pipeline_ms"] = Median(pipeline);
  state.counters["share_ms"] = Median(share);
  state.counters["filter_page_ms"] = Median(filter);
  state.counters["share_per_page"] = Median(share) / Median(filter);
  state.SetLabel(std::to_string(across) + "x" + std::to_string(down) + " page");
}
BENCHMARK(BmPhotoShare)
    ->ArgNames({"MP", "ydpi", "exif"})
    ->ArgsProduct({{2, 12, 48}, {300, 600}, {0}})
    ->Args({12, 300, 6})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(7);

// CPU time of the process `pid`, all its threads, ended ones too; -1 when
// it cannot be read.
double ProcessCpuMs(pid_t pid) {
  clockid_t clock = 0;
  timespec t{};
  if (clock_getcpuclockid(pid, &clock) != 0 || clock_gettime(clock, &t) != 0) return -1;
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

void BmAppJpegJob(benchmark::State& state) {
  apptest::AppUnderTest app;
  std::string error;
  if (!app.Start(&error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  const std::string jpeg = WriteJpegPhoto(state.range(0), app.Work());
  double writeMs = 0;
  double startMs = 0;
  double jobMs = 0;
  std::vector<double> appCpu;
  for (auto _ : state) {
    const double before = ProcessCpuMs(app.AppPid());
    const int job = app.Print(jpeg, "image/jpeg");
    if (app.WaitForJob(job).rfind("completed", 0) != 0) {
      state.SkipWithError("the job did not complete");
      return;
    }
    appCpu.push_back(ProcessCpuMs(app.AppPid()) - before);
    const JobTimes times = TimesOf(app.LogPath(), job);
    state.SetIterationTime(times.seconds);
    writeMs += times.writeMs;
    startMs += times.startMs;
    jobMs += times.seconds * 1000;
  }
  std::vector<double> shares;
  FILE* sink = std::fopen("/dev/null", "w");
  for (int i = 0; i < 3; ++i) {
    Share s;
    RunShare(jpeg, 300, sink, false, &s);
    shares.push_back(s.decodeMs + s.placeMs + s.pipelineMs);
  }
  std::fclose(sink);
  const double iterations = static_cast<double>(state.iterations());
  state.counters["usb_write_ms"] = writeMs / iterations;
  // The job's time but its writes.
  state.counters["processing_ms"] = (jobMs - writeMs) / iterations;
  // Of which PAPPL's job thread started and the device opened.
  state.counters["pappl_start_ms"] = startMs / iterations;
  // The app's CPU time for a job, and what of it is not the share: PAPPL's
  // start and end of the job, the printer's queries, the packets kept for
  // a resend and written to the printer, the status polls meanwhile.
  state.counters["app_cpu_ms"] = Median(appCpu);
  state.counters["share_cpu_ms"] = Median(shares);
  state.counters["rest_cpu_ms"] = Median(appCpu) - Median(shares);
  state.counters["app_peak_MB"] = static_cast<double>(app.PeakKilobytes()) / 1024;
}
BENCHMARK(BmAppJpegJob)
    ->ArgName("MP")
    ->Arg(2)
    ->Arg(12)
    ->Arg(48)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace
