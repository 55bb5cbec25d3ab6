// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printer-app/PanelPreview.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

bool IsPortrait(ipp_orient_t orientation) {
  return orientation == IPP_ORIENT_PORTRAIT || orientation == IPP_ORIENT_REVERSE_PORTRAIT;
}

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

// The page a job for `printer` at this resolution gets, before the photo is
// placed on it, as papplJobCreatePrintOptions makes it.
void DefaultPage(pappl_printer_t* printer, int xResolution, int yResolution,
                 pappl_pr_options_t* options) {
  auto driver = std::make_unique<pappl_pr_driver_data_t>();
  papplPrinterGetDriverData(printer, driver.get());
  options->media = driver->media_default;
  options->print_scaling = driver->scaling_default;
  options->orientation_requested = driver->orient_default;
  options->copies = 1;
  options->printer_resolution[0] = xResolution;
  options->printer_resolution[1] = yResolution;
  cupsRasterInitPWGHeader(&options->header, pwgMediaForPWG(options->media.size_name), "srgb_8",
                          xResolution, yResolution, "one-sided", "normal");
}

}  // namespace

// A port of PAPPL 1.3.1's papplJobFilterImage for 8-bit sRGB pages, which
// prints every photo job: the preview must match it pixel for pixel.
bool RenderPhotoPage(pappl_pr_options_t* options, const Photo& photo, bool smoothing,
                     const PageLineSink& putLine) {
  const cups_page_header2_t& header = options->header;
  const int pageWidth = static_cast<int>(header.cupsWidth);
  const int pageHeight = static_cast<int>(header.cupsHeight);
  const int xres = options->printer_resolution[0];
  const int yres = options->printer_resolution[1];
  const pappl_media_col_t& media = options->media;
  const int width = photo.width;
  const int height = photo.height;
  int ppi = photo.ppi;
  int ileft = 0, itop = 0, iwidth = pageWidth, iheight = pageHeight;
  if (options->print_scaling != PAPPL_SCALING_FILL) {
    ileft = media.left_margin * xres / 2540;
    itop = media.top_margin * yres / 2540;
    iwidth = pageWidth - (media.left_margin + media.right_margin) * xres / 2540;
    iheight = pageHeight - (media.bottom_margin + media.top_margin) * yres / 2540;
  }
  if (iwidth <= 0 || iheight <= 0 || width <= 0 || height <= 0) return false;
  if (options->orientation_requested == IPP_ORIENT_NONE)
    options->orientation_requested =
        width > height && pageWidth < pageHeight ? IPP_ORIENT_LANDSCAPE : IPP_ORIENT_PORTRAIT;
  const bool portrait = IsPortrait(options->orientation_requested);
  if (options->print_scaling == PAPPL_SCALING_AUTO ||
      options->print_scaling == PAPPL_SCALING_AUTO_FIT) {
    int xsize = iwidth + 1, ysize = iheight + 1;
    if (ppi > 0) {
      xsize = (portrait ? width : height) * xres / ppi;
      ysize = (portrait ? height : width) * yres / ppi;
    }
    const bool noMargins = media.bottom_margin == 0 && media.left_margin == 0 &&
                           media.right_margin == 0 && media.top_margin == 0;
    if (xsize > iwidth || ysize > iheight)
      options->print_scaling = options->print_scaling == PAPPL_SCALING_AUTO && noMargins
                                   ? PAPPL_SCALING_FILL
                                   : PAPPL_SCALING_FIT;
    else
      options->print_scaling = PAPPL_SCALING_NONE;
  } else if (options->print_scaling == PAPPL_SCALING_NONE && ppi <= 0) {
    ppi = 200;
  }

  // Where the walk through the picture starts and which way it goes, per
  // orientation, in samples.
  const ptrdiff_t depth = 3;
  ptrdiff_t base = 0, xdir = depth, ydir = depth * width;
  int imgWidth = width, imgHeight = height;
  switch (options->orientation_requested) {
    case IPP_ORIENT_REVERSE_PORTRAIT:
      base = depth * width * height - depth;
      xdir = -depth;
      ydir = -depth * width;
      break;
    case IPP_ORIENT_LANDSCAPE:  // a quarter counter-clockwise
      base = depth * width - depth;
      imgWidth = height;
      imgHeight = width;
      xdir = depth * width;
      ydir = -depth;
      break;
    case IPP_ORIENT_REVERSE_LANDSCAPE:  // a quarter clockwise
      base = depth * (height - 1) * width;
      imgWidth = height;
      imgHeight = width;
      xdir = -depth * width;
      ydir = depth;
      break;
    default:
      break;
  }
  int xsize, ysize;
  if (options->print_scaling == PAPPL_SCALING_NONE) {
    xsize = imgWidth * xres / ppi;
    ysize = imgHeight * yres / ppi;
  } else {
    xsize = iwidth;
    ysize = xsize * imgHeight / imgWidth;
    if ((ysize > iheight && options->print_scaling == PAPPL_SCALING_FIT) ||
        (ysize < iheight && options->print_scaling == PAPPL_SCALING_FILL)) {
      ysize = iheight;
      xsize = ysize * imgWidth / imgHeight;
    }
  }
  options->orientation_requested = IPP_ORIENT_PORTRAIT;
  if (xsize <= 0 || ysize <= 0) return false;

  const int xstart = ileft + (iwidth - xsize) / 2;
  const int xend = std::min(xstart + xsize, pageWidth);
  const int ystart = itop + (iheight - ysize) / 2;
  const int yend = std::min(ystart + ysize, pageHeight);
  const int xmod = imgWidth % xsize;
  const ptrdiff_t xstep = (imgWidth / xsize) * xdir;
  const int ymod = imgHeight % ysize;
  const ptrdiff_t ystep = (imgHeight / ysize) * ydir;

  const unsigned char* pixels = photo.pixels.get();
  const ptrdiff_t end = depth * width * height;
  std::vector<unsigned char> line(header.cupsBytesPerLine, 0xff);
  int y = 0;
  for (; y < ystart; ++y) putLine(static_cast<unsigned>(y), line.data());
  ptrdiff_t pixline = base;
  int yerr = -ymod / 2;
  if (ystart < 0) {
    pixline = base - (ystart * ymod / ysize) * ydir;
    yerr = -ymod / 2 - (ystart * ymod) % ysize;
  }
  for (; y < yend; ++y) {
    ptrdiff_t pix = pixline;
    int x = xstart;
    int xerr = -xmod / 2;
    if (xstart < 0) {
      pix -= (xstart * xmod / xsize) * xdir;
      x = 0;
      xerr = -xmod / 2 - (xstart * xmod) % xsize;
    }
    for (unsigned char* out = line.data() + x * depth; x < xend; ++x) {
      if (smoothing && yerr >= 0 && xerr >= 0) {
        const auto inside = [&](ptrdiff_t at) { return at < 0 || at >= end ? pix : at; };
        const ptrdiff_t rt = inside(pix + xdir), dn = inside(pix + ydir),
                        dnrt = inside(pix + xdir + ydir);
        for (int j = 0; j < depth; ++j) {
          const int pixel0 = ((xsize - xerr) * pixels[pix + j] + xerr * pixels[rt + j]) / xsize;
          const int pixel1 = ((xsize - xerr) * pixels[dn + j] + xerr * pixels[dnrt + j]) / xsize;
          *out++ = static_cast<unsigned char>(((ysize - yerr) * pixel0 + yerr * pixel1) / ysize);
        }
      } else {
        std::memcpy(out, pixels + pix, depth);
        out += depth;
      }
      pix += xstep;
      xerr += xmod;
      if (xerr >= xsize) {
        xerr -= xsize;
        pix += xdir;
      }
    }
    putLine(static_cast<unsigned>(y), line.data());
    pixline += ystep;
    yerr += ymod;
    if (yerr >= ysize) {
      pixline += ydir;
      yerr -= ysize;
    }
  }
  std::fill(line.begin(), line.end(), 0xff);
  for (; y < pageHeight; ++y) putLine(static_cast<unsigned>(y), line.data());
  return true;
}

const char* PreviewPanel(pappl_printer_t* printer, const std::string& path, int xResolution,
                         int yResolution, std::string* png) {
  pappl_pr_options_t options{};
  DefaultPage(printer, xResolution, yResolution, &options);
  const PhotoLimits limits = PhotoLimitsOf(papplPrinterGetSystem(printer));
  Photo photo;
  const char* fault = nullptr;
  // As the job's document format is told apart by its first bytes.
  bool isPng = false;
  int needAcross = 0, needDown = 0;
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    unsigned char magic[4] = {};
    isPng = std::fread(magic, 1, 4, file) == 4 && std::memcmp(magic, "\x89PNG", 4) == 0;
    std::rewind(file);
    if (!isPng) {
      fault = DecodeJpegPhoto(
          file, limits,
          [&options, &needAcross, &needDown](int width, int height, int* across, int* down) {
            PlacePhoto(&options, width, height, across, down);
            needAcross = *across;
            needDown = *down;
          },
          &photo);
    }
    std::fclose(file);
  } else {
    return "the photo cannot be read";
  }
  if (isPng) {
    fault = DecodePngPhoto(path.c_str(), limits, &photo);
    if (fault == nullptr) PlacePhoto(&options, photo.width, photo.height, &needAcross, &needDown);
  }
  if (fault != nullptr) return fault;
  if (!StretchForPage(options, needAcross, needDown, &photo))
    return "not enough memory for the image";

  const cups_page_header2_t& header = options.header;
  char* page = AllocPageBuffer(header.cupsWidth, header.cupsHeight);
  if (page == nullptr) return "the page is too large";
  // JPEG photos are smoothed, PNG pictures are not, as their jobs print them.
  if (!RenderPhotoPage(&options, photo, !isPng, [&](unsigned y, const unsigned char* line) {
        PutPageLine(page, header.cupsWidth, header.cupsHeight, y, line, header.cupsBytesPerLine);
      })) {
    std::free(page);
    return "the page has no room for the photo";
  }

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
