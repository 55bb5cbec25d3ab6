// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printer-app/ImageJob.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "printer-app/Driver.h"
#include "printer-app/PhotoPage.h"
#include "printer-app/RasterJob.h"

namespace {

PhotoLimits LimitsOf(pappl_job_t* job) {
  return PhotoLimitsOf(papplPrinterGetSystem(papplJobGetPrinter(job)));
}

bool Refuse(pappl_job_t* job, const char* format, const char* fault) {
  if (std::strcmp(fault, kTooManyPixels) == 0 || std::strcmp(fault, kNeedsTooMuchMemory) == 0) {
    papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR, PAPPL_JREASON_NONE);
    papplJobSetMessage(job, "The %s photo is too large to print: %s.", format, fault);
    return false;
  }
  papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, PAPPL_JREASON_NONE);
  papplJobSetMessage(job, "The %s document is damaged: %s", format, fault);
  return false;
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

// Prints the photo as PAPPL 1.3.1's image filter does (one page per copy,
// through the raster callbacks), but each page is drawn straight into the
// pipeline's page buffer. A cancel stops before the next copy is drawn.
bool PrintPhoto(pappl_job_t* job, pappl_device_t* device, pappl_pr_options_t* options,
                const Photo& photo, bool smoothing) {
  papplJobSetImpressions(job, 1);
  PhotoPlacement placement;
  if (!PlacePhotoOnPage(options, photo, &placement)) {
    papplJobSetMessage(job, "The page has no room for the photo.");
    return false;
  }
  if (!StartRasterJob(job, options, device)) return false;
  bool ok = true;
  for (int copy = 0; ok && copy < options->copies && !papplJobIsCanceled(job); ++copy) {
    ok = StartRasterPage(job, options, device, 1);
    if (ok) {
      DrawPhotoPage(placement, photo, smoothing, RasterPageBuffer(job));
      ok = EndRasterPage(job, options, device, 1);
    }
    if (ok) papplJobSetImpressionsCompleted(job, 1);
  }
  return EndRasterJob(job, options, device) && ok;
}

}  // namespace

PhotoLimits PhotoLimitsOf(pappl_system_t* system) {
  PhotoLimits limits;
  limits.maxBytes = papplSystemGetMaxImageSize(system, &limits.maxWidth, &limits.maxHeight);
  return limits;
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
  const bool turned = options->orientation_requested == IPP_ORIENT_LANDSCAPE ||
                      options->orientation_requested == IPP_ORIENT_REVERSE_LANDSCAPE;
  *needAcross = turned ? down : across;
  *needDown = turned ? across : down;
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
  const bool turned = options.orientation_requested == IPP_ORIENT_LANDSCAPE ||
                      options.orientation_requested == IPP_ORIENT_REVERSE_LANDSCAPE;
  photo->ppi = 0;
  return StretchPhoto(photo, turned ? PhotoAxis::kAcross : PhotoAxis::kDown, yres, xres);
}

bool PrintJpeg(pappl_job_t* job, pappl_device_t* device, void*) {
  FILE* file = std::fopen(papplJobGetFilename(job), "rb");
  if (file == nullptr) return Refuse(job, "JPEG", "it cannot be read");
  pappl_pr_options_t* options = papplJobCreatePrintOptions(job, 1, true);
  Photo photo;
  int needAcross = 0;
  int needDown = 0;
  const char* fault = DecodeJpegPhoto(
      file, LimitsOf(job),
      [options, &needAcross, &needDown](int width, int height, int* across, int* down) {
        PlacePhoto(options, width, height, across, down);
        needAcross = *across;
        needDown = *down;
      },
      &photo);
  std::fclose(file);
  if (fault == nullptr && !StretchForPage(*options, needAcross, needDown, &photo))
    fault = "not enough memory for the image";
  const bool ok =
      fault == nullptr ? PrintPhoto(job, device, options, photo, true) : Refuse(job, "JPEG", fault);
  papplJobDeletePrintOptions(options);
  return ok;
}

bool PrintPng(pappl_job_t* job, pappl_device_t* device, void*) {
  Photo photo;
  const char* fault = DecodePngPhoto(papplJobGetFilename(job), LimitsOf(job), &photo);
  if (fault != nullptr) return Refuse(job, "PNG", fault);
  pappl_pr_options_t* options = papplJobCreatePrintOptions(job, 1, true);
  int needAcross = 0;
  int needDown = 0;
  PlacePhoto(options, photo.width, photo.height, &needAcross, &needDown);
  const bool ok = StretchForPage(*options, needAcross, needDown, &photo)
                      ? PrintPhoto(job, device, options, photo, false)
                      : Refuse(job, "PNG", "not enough memory for the image");
  papplJobDeletePrintOptions(options);
  return ok;
}
