// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// JPEG jobs of 2, 12 and 48 megapixels through qv46-printer-app into the
// simulated printer, on the default 6x4 in page: processing time from the
// document received to the job completed (from the app's log) and the peak
// memory of an app that printed only that photo, beside the filter's time
// for a 6x4 in page through RunJob in this process.
#include <benchmark/benchmark.h>
#include <cups/raster.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "AppUnderTest.h"
#include "PrintSystem.h"
#include "TestImages.h"
#include "filter/FilterDriver.h"
#include "filter/PhotoPrinterDeviceQV46.h"

namespace {

// 6 x 4 in at 300 dpi, as the app rasterises a 6x4in page.
constexpr int kWidth = 1800;
constexpr int kHeight = 1200;

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
  double writeMs = 0;   // of which writing to the printer
};

JobTimes TimesOf(const std::string& log, int job) {
  const std::string tag = "[Job " + std::to_string(job) + "] ";
  double received = -1;
  double completed = -1;
  JobTimes times;
  std::ifstream in(log);
  std::smatch m;
  for (std::string line; std::getline(in, line);) {
    if (line.find(tag + "Received") != std::string::npos) received = LogTime(line);
    if (line.find(tag + "Completed") != std::string::npos) completed = LogTime(line);
    if (line.find(tag) != std::string::npos &&
        std::regex_search(line, m, std::regex(R"(Device write metrics: .* (\d+) msecs)")))
      times.writeMs = std::stod(m[1]);
  }
  if (received >= 0 && completed >= 0) times.seconds = completed - received;
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
    *width = kWidth;
    *height = kHeight;
  }
}

void BmAppJpegJob(benchmark::State& state) {
  apptest::AppUnderTest app;
  std::string error;
  if (!app.Start(&error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  int width = 0;
  int height = 0;
  PhotoSize(state.range(0), &width, &height);
  const std::string png = app.Work() + "/photo.png";
  const std::string jpeg = app.Work() + "/photo.jpg";
  e2e::WritePng(png, e2e::SamplePhoto(width, height));
  apptest::Run({"convert", png, "-quality", "92", jpeg});
  double writeMs = 0;
  double jobMs = 0;
  for (auto _ : state) {
    const int job = app.Print(jpeg, "image/jpeg");
    if (app.WaitForJob(job).rfind("completed", 0) != 0) {
      state.SkipWithError("the job did not complete");
      return;
    }
    const JobTimes times = TimesOf(app.LogPath(), job);
    state.SetIterationTime(times.seconds);
    writeMs += times.writeMs;
    jobMs += times.seconds * 1000;
  }
  const double iterations = static_cast<double>(state.iterations());
  state.counters["usb_write_ms"] = writeMs / iterations;
  // Decoding, placing and the pipeline: the job's time but its writes.
  state.counters["processing_ms"] = (jobMs - writeMs) / iterations;
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

// The filter's page loop on the same page (read, processed, written), as
// rastertoqv46 runs it after its wait for the job information file.
// Google Benchmark's registration wants a mutable State.
// cppcheck-suppress constParameterCallback
void BmFilterWholePage(benchmark::State& state) {
  const e2e::Rgb photo = e2e::SamplePhoto(kWidth, kHeight);
  char path[] = "/tmp/qv46-bench-XXXXXX";
  const int fd = mkstemp(path);
  cups_raster_t* writer = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
  cups_page_header2_t header{};
  header.cupsWidth = kWidth;
  header.cupsHeight = kHeight;
  header.cupsBitsPerColor = 8;
  header.cupsBitsPerPixel = 24;
  header.cupsBytesPerLine = 3 * kWidth;
  header.cupsColorSpace = CUPS_CSPACE_RGB;
  header.NumCopies = 1;
  cupsRasterWriteHeader2(writer, &header);
  cupsRasterWritePixels(writer, const_cast<unsigned char*>(photo.pixels.data()),
                        static_cast<unsigned>(photo.pixels.size()));
  cupsRasterClose(writer);
  FILE* sink = std::fopen("/dev/null", "w");
  cups_option_t* options = nullptr;
  const int count = cupsParseOptions("PageSize=153x102mm Resolution=300x300dpi", 0, &options);
  for (auto _ : state) {
    lseek(fd, 0, SEEK_SET);
    cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
    DeviceEntry_QV46 device;
    device.SetOutput(sink);
    RunJob(device, raster, "qv46-bench-no-such-job", count, options, nullptr);
    cupsRasterClose(raster);
  }
  cupsFreeOptions(count, options);
  std::fclose(sink);
  close(fd);
  unlink(path);
}
BENCHMARK(BmFilterWholePage)->Unit(benchmark::kMillisecond);

}  // namespace
