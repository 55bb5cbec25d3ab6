// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// JPEG and PNG documents, decoded here (upright, in sRGB, no larger than the
// page needs) so that a damaged file aborts its job with a message naming
// the fault (PAPPL 1.3.1's own PNG reader loops for ever on one), placed as
// the classic queue places them and drawn as PAPPL's image filter draws
// them into the pages of the raster pipeline (PhotoPage.h). The print page's
// preview decodes and places through the same function as the jobs.
#pragma once

#include <pappl/pappl.h>

#include "printer-app/PhotoDecoder.h"
#include "printer-app/PhotoPage.h"

bool PrintJpeg(pappl_job_t* job, pappl_device_t* device, void* data);
bool PrintPng(pappl_job_t* job, pappl_device_t* device, void* data);

// What PAPPL would place at most.
PhotoLimits PhotoLimitsOf(pappl_system_t* system);

enum class PhotoFormat { kJpeg, kPng };
// The format a photo file's first bytes say: PNG by its signature, else JPEG.
PhotoFormat PhotoFormatOf(const char* path);

// The page options a job gets on `media` at `xResolution` x `yResolution`
// with this print-scaling and orientation, one copy, as
// papplJobCreatePrintOptions makes them before the photo is placed.
void PhotoPageOptions(const pappl_media_col_t& media, pappl_scaling_t scaling,
                      ipp_orient_t orientation, int xResolution, int yResolution,
                      pappl_pr_options_t* options);

// A photo decoded and placed on its page, ready to be drawn.
struct PlacedPhoto {
  Photo photo;
  PhotoPlacement placement;
  // JPEG photos are smoothed, PNG pictures are not, as PAPPL draws them.
  bool smoothing = false;
};

// The fault of a photo that leaves the page no room.
extern const char kNoRoomForPhoto[];

// Decodes the photo at `path` and places it on the page of `options` as its
// job prints it: the page turned to the landscape form of its stock where
// the classic queue prints it so, the picture stretched for a page whose
// resolutions differ, orientation and scaling settled in `options`. Null,
// or the fault for the job's message (a size fault, kNoRoomForPhoto, or
// what the file's damage is).
const char* DecodeAndPlacePhoto(const char* path, PhotoFormat format, const PhotoLimits& limits,
                                pappl_pr_options_t* options, PlacedPhoto* placed);
