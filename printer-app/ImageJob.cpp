// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printer-app/ImageJob.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "printer-app/Driver.h"
#include "printer-app/RasterJob.h"

const char kNoRoomForPhoto[] = "the page has no room for the photo";

namespace {

PhotoLimits LimitsOf(pappl_job_t* job) {
  return PhotoLimitsOf(papplPrinterGetSystem(papplJobGetPrinter(job)));
}

bool Refuse(pappl_job_t* job, PhotoFormat format, const char* fault) {
  const char* name = format == PhotoFormat::kPng ? "PNG" : "JPEG";
  if (std::strcmp(fault, kNoRoomForPhoto) == 0) {
    papplJobSetMessage(job, "The page has no room for the photo.");
    return false;
  }
  if (IsSizeFault(fault)) {
    papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR, PAPPL_JREASON_NONE);
    papplJobSetMessage(job, "The %s photo is too large to print: %s.", name, fault);
    return false;
  }
  papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, PAPPL_JREASON_NONE);
  papplJobSetMessage(job, "The %s document is damaged: %s", name, fault);
  return false;
}

bool Turned(const pappl_pr_options_t& options) {
  return options.orientation_requested == IPP_ORIENT_LANDSCAPE ||
         options.orientation_requested == IPP_ORIENT_REVERSE_LANDSCAPE;
}

// The same stock as a landscape page, which the filter prints unturned.
void UseLandscapePage(pappl_pr_options_t* options) {
  pappl_media_col_t& media = options->media;
  std::swap(media.size_width, media.size_length);
  cups_page_header2_t& header = options->header;
  header.cupsWidth =
      static_cast<unsigned>(media.size_width * options->printer_resolution[0] / 2540);
  header.cupsHeight =
      static_cast<unsigned>(media.size_length * options->printer_resolution[1] / 2540);
  header.cupsBytesPerLine = (header.cupsWidth * header.cupsBitsPerPixel + 7) / 8;
  std::swap(header.PageSize[0], header.PageSize[1]);
  std::swap(header.cupsPageSize[0], header.cupsPageSize[1]);
  std::swap(header.ImagingBoundingBox[2], header.ImagingBoundingBox[3]);
  std::swap(header.cupsImagingBBox[2], header.cupsImagingBBox[3]);
}

// Places an upright picture of `width` x `height` on the job's page as the
// classic queue prints it: on a size the classic queue also has as a
// landscape page, a landscape picture goes on that page unturned (turned a
// quarter onto the portrait page, which the filter turns a quarter again, it
// would print upside down); otherwise a picture whose orientation differs
// from the page's is turned a quarter counter-clockwise, as CUPS's image
// filter turns it. An orientation the job asks for is kept. The page's
// orientation is its size's: at 300 x 600 dpi a 6 x 4 in page is 1800 x 2400
// pixels. Says how many pixels of the picture the page needs across and
// down, counted at the horizontal resolution (see StretchForPage).
void PlacePhoto(pappl_pr_options_t* options, int width, int height, int* needAcross,
                int* needDown) {
  const pappl_media_col_t& media = options->media;
  if (options->orientation_requested == IPP_ORIENT_NONE) {
    if (width > height && media.size_width < media.size_length &&
        HasLandscapeForm(media.size_width, media.size_length))
      UseLandscapePage(options);
    const bool turned = width > height ? media.size_width < media.size_length
                                       : height > width && media.size_width > media.size_length;
    options->orientation_requested = turned ? IPP_ORIENT_LANDSCAPE : IPP_ORIENT_PORTRAIT;
  }
  const cups_page_header2_t& page = options->header;
  const int across = static_cast<int>(page.cupsWidth);
  const int down = static_cast<int>(page.cupsHeight) * options->printer_resolution[0] /
                   options->printer_resolution[1];
  *needAcross = Turned(*options) ? down : across;
  *needDown = Turned(*options) ? across : down;
}

// PAPPL's image filter fits and fills in pixels, as if they were square: at
// 300 x 600 dpi it would stretch a picture across to twice its width and cut
// half of it off. The picture is stretched along the page's vertical by the
// resolutions' ratio instead, and fills or fits the page (its own density,
// which PAPPL would apply to the stretched pixels, is dropped).
bool StretchForPage(const pappl_pr_options_t& options, int needAcross, int needDown, Photo* photo) {
  const int xres = options.printer_resolution[0];
  const int yres = options.printer_resolution[1];
  if (xres == yres) return true;
  // A picture several times the page's size is first cut to what the page
  // needs, so the stretched copy stays small.
  if (needAcross > 0 && needDown > 0)
    ShrinkPhoto(photo, std::min(photo->width / needAcross, photo->height / needDown));
  photo->ppi = 0;
  return StretchPhoto(photo, Turned(options) ? PhotoAxis::kAcross : PhotoAxis::kDown, yres, xres);
}

// Prints the placed photo as PAPPL 1.3.1's image filter does (one page per
// copy, through the raster callbacks), but each page is drawn straight into
// the pipeline's page buffer. A cancel stops before the next copy is drawn.
bool PrintPlaced(pappl_job_t* job, pappl_device_t* device, pappl_pr_options_t* options,
                 const PlacedPhoto& placed) {
  papplJobSetImpressions(job, 1);
  if (!StartRasterJob(job, options, device)) return false;
  bool ok = true;
  for (int copy = 0; ok && copy < options->copies && !papplJobIsCanceled(job); ++copy) {
    ok = StartRasterPage(job, options, device, 1);
    if (ok) {
      DrawPhotoPage(placed.placement, placed.photo, placed.smoothing, RasterPageBuffer(job));
      ok = EndRasterPage(job, options, device, 1);
    }
    if (ok) papplJobSetImpressionsCompleted(job, 1);
  }
  return EndRasterJob(job, options, device) && ok;
}

bool PrintPhotoJob(pappl_job_t* job, pappl_device_t* device, PhotoFormat format) {
  pappl_pr_options_t* options = papplJobCreatePrintOptions(job, 1, true);
  PlacedPhoto placed;
  const char* fault =
      DecodeAndPlacePhoto(papplJobGetFilename(job), format, LimitsOf(job), options, &placed);
  const bool ok =
      fault == nullptr ? PrintPlaced(job, device, options, placed) : Refuse(job, format, fault);
  papplJobDeletePrintOptions(options);
  return ok;
}

}  // namespace

PhotoLimits PhotoLimitsOf(pappl_system_t* system) {
  PhotoLimits limits;
  limits.maxBytes = papplSystemGetMaxImageSize(system, &limits.maxWidth, &limits.maxHeight);
  return limits;
}

PhotoFormat PhotoFormatOf(const char* path) {
  unsigned char magic[4] = {};
  FILE* file = std::fopen(path, "rb");
  const bool png = file != nullptr && std::fread(magic, 1, sizeof magic, file) == sizeof magic &&
                   std::memcmp(magic, "\x89PNG", sizeof magic) == 0;
  if (file != nullptr) std::fclose(file);
  return png ? PhotoFormat::kPng : PhotoFormat::kJpeg;
}

void PhotoPageOptions(const pappl_media_col_t& media, pappl_scaling_t scaling,
                      ipp_orient_t orientation, int xResolution, int yResolution,
                      pappl_pr_options_t* options) {
  options->media = media;
  options->print_scaling = scaling;
  options->orientation_requested = orientation;
  options->copies = 1;
  options->printer_resolution[0] = xResolution;
  options->printer_resolution[1] = yResolution;
  cupsRasterInitPWGHeader(&options->header, pwgMediaForPWG(media.size_name), "srgb_8", xResolution,
                          yResolution, "one-sided", "normal");
}

const char* DecodeAndPlacePhoto(const char* path, PhotoFormat format, const PhotoLimits& limits,
                                pappl_pr_options_t* options, PlacedPhoto* placed) {
  Photo& photo = placed->photo;
  int needAcross = 0;
  int needDown = 0;
  const char* fault = nullptr;
  if (format == PhotoFormat::kPng) {
    fault = DecodePngPhoto(path, limits, &photo);
    if (fault == nullptr) PlacePhoto(options, photo.width, photo.height, &needAcross, &needDown);
  } else {
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return "it cannot be read";
    // Placed from its header, so it is decoded no larger than the page needs.
    fault = DecodeJpegPhoto(
        file, limits,
        [options, &needAcross, &needDown](int width, int height, int* across, int* down) {
          PlacePhoto(options, width, height, across, down);
          needAcross = *across;
          needDown = *down;
        },
        &photo);
    std::fclose(file);
  }
  if (fault != nullptr) return fault;
  if (!StretchForPage(*options, needAcross, needDown, &photo)) return kNoMemoryForPixels;
  if (!PlacePhotoOnPage(options, photo, &placed->placement)) return kNoRoomForPhoto;
  placed->smoothing = format == PhotoFormat::kJpeg;
  return nullptr;
}

bool PrintJpeg(pappl_job_t* job, pappl_device_t* device, void*) {
  return PrintPhotoJob(job, device, PhotoFormat::kJpeg);
}

bool PrintPng(pappl_job_t* job, pappl_device_t* device, void*) {
  return PrintPhotoJob(job, device, PhotoFormat::kPng);
}
