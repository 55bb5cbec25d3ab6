// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printer-app/PanelPreview.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "PngWriter.h"
#include "StreamDecoder.h"
#include "filter/JobPipeline.h"
#include "filter/PhotoPrinterDeviceQV46.h"
#include "printer-app/Driver.h"
#include "printer-app/ImageJob.h"
#include "printer-app/PrinterStatus.h"

namespace {

// A stream in memory, closed before its bytes are read.
class MemoryStream {
 public:
  MemoryStream() : file_(open_memstream(&data_, &size_)) {}
  ~MemoryStream() {
    Close();
    std::free(data_);
  }
  MemoryStream(const MemoryStream&) = delete;
  MemoryStream& operator=(const MemoryStream&) = delete;

  FILE* file() const { return file_; }
  // False when a write failed.
  bool Close() {
    const bool ok = file_ != nullptr && !std::ferror(file_) && std::fclose(file_) == 0;
    file_ = nullptr;
    return ok;
  }
  std::string Bytes() const { return data_ != nullptr ? std::string(data_, size_) : std::string(); }

 private:
  char* data_ = nullptr;
  size_t size_ = 0;
  FILE* file_;
};

struct CupsOptions {
  ~CupsOptions() { cupsFreeOptions(count, options); }
  int count = 0;
  cups_option_t* options = nullptr;
};

}  // namespace

const char* PreviewPanel(pappl_printer_t* printer, const std::string& path, int xResolution,
                         int yResolution, std::string* png) {
  // The page a job for `printer` at this resolution gets with its defaults.
  // Too large for a client thread's stack.
  auto driver = std::make_unique<pappl_pr_driver_data_t>();
  papplPrinterGetDriverData(printer, driver.get());
  pappl_pr_options_t options{};
  PhotoPageOptions(driver->media_default, driver->scaling_default, driver->orient_default,
                   xResolution, yResolution, &options);
  PlacedPhoto placed;
  const char* fault =
      DecodeAndPlacePhoto(path.c_str(), PhotoFormatOf(path.c_str()),
                          PhotoLimitsOf(papplPrinterGetSystem(printer)), &options, &placed);
  if (fault != nullptr) return fault;
  const cups_page_header2_t& header = options.header;
  char* page = AllocPageBuffer(header.cupsWidth, header.cupsHeight);
  if (page == nullptr) return "the page is too large";
  DrawPhotoPage(placed.placement, placed.photo, placed.smoothing, page);

  CupsOptions jobOptions;
  ipp_t* driverAttrs = papplPrinterGetDriverAttributes(printer);
  for (const auto& [name, value] :
       FilterOptions(options.media, xResolution, yResolution, 0, nullptr, driverAttrs))
    jobOptions.count =
        cupsAddOption(name.c_str(), value.c_str(), jobOptions.count, &jobOptions.options);
  ippDelete(driverAttrs);
  LoadedMedia loaded{};
  std::snprintf(loaded.mediaSize, sizeof loaded.mediaSize, "%s",
                LastReading(printer).mediaCode.c_str());
  MemoryStream stream;
  {
    DeviceEntry_QV46 device;
    device.SetOutput(stream.file());
    const JobLayout layout =
        StartJob(device, jobOptions.count, jobOptions.options, nullptr, loaded);
    DeviceSink sink(device, jobOptions.count, jobOptions.options, nullptr);
    PageBatcher batcher(sink, layout, [] { return false; });
    batcher.AddPage(page, header.cupsWidth, header.cupsHeight, 1);
    batcher.Finish();
  }
  if (!stream.Close()) return "not enough memory for the preview";

  const std::string bytes = stream.Bytes();
  const qv46stream::DecodeResult decoded =
      qv46stream::DecodeStream(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  std::vector<qv46stream::Panel> panels;
  std::string error;
  if (!decoded.ok || !qv46stream::CollectPanels(decoded.packets, &panels, &error) || panels.empty())
    return "the job stream has no panel";
  MemoryStream out;
  if (!qv46stream::WritePng(out.file(), qv46stream::ComposePreview(panels[0])) || !out.Close())
    return "not enough memory for the preview";
  *png = out.Bytes();
  return nullptr;
}
