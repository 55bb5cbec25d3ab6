// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// JPEG and PNG documents, decoded here (upright, in sRGB, no larger than the
// page needs) so that a damaged file aborts its job with a message naming
// the fault (PAPPL 1.3.1's own PNG reader loops for ever on one), placed as
// the classic queue places them and drawn as PAPPL's image filter draws
// them into the pages of the raster pipeline (PhotoPage.h).
#pragma once

#include <pappl/pappl.h>

#include "printer-app/PhotoDecoder.h"

bool PrintJpeg(pappl_job_t* job, pappl_device_t* device, void* data);
bool PrintPng(pappl_job_t* job, pappl_device_t* device, void* data);

// What PAPPL would place at most.
PhotoLimits PhotoLimitsOf(pappl_system_t* system);
// Where an upright picture of `width` x `height` goes on the page of
// `options` (turned or on the landscape form of the stock, as the classic
// queue prints it), and how many of its pixels the page needs across and
// down, counted at the horizontal resolution.
void PlacePhoto(pappl_pr_options_t* options, int width, int height, int* needAcross, int* needDown);
// Stretches a placed picture for a page whose resolutions differ, first
// shrinking one several times the `needAcross` x `needDown` pixels the page
// needs (0 x 0: as it is); false when there is no memory for it.
bool StretchForPage(const pappl_pr_options_t& options, int needAcross, int needDown, Photo* photo);
