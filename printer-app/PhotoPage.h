// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// A photo's page as PAPPL 1.3's image filter (papplJobFilterImage) makes an
// 8-bit sRGB page of it for one copy, drawn straight into the bottom-up page
// buffer the filter's pipeline takes: the photo jobs and the print page's
// preview both print through it, so the preview is the printed panel.
#pragma once

#include <pappl/pappl.h>

#include <cstddef>

#include "printer-app/PhotoDecoder.h"

// Where a photo lands on its page and how it is walked through.
struct PhotoPlacement {
  int pageWidth = 0;
  int pageHeight = 0;
  int xstart = 0, xend = 0, xsize = 1, xmod = 0;
  int ystart = 0, yend = 0, ysize = 1, ymod = 0;
  // In samples of the photo: its first pixel on the page's top line, the
  // steps to the next pixel across and down the page, and the whole steps.
  ptrdiff_t base = 0, xdir = 3, ydir = 3, xstep = 0, ystep = 0;
};

// Places `photo` on the page of `options`: scaled to fit, fill or not at
// all by print-scaling and the picture's density, turned by the requested
// orientation, centred. Updates the options' scaling and orientation as
// PAPPL does. False for a page or picture without area.
bool PlacePhotoOnPage(pappl_pr_options_t* options, const Photo& photo, PhotoPlacement* placement);

// Draws the placed photo into `page`, a zeroed buffer of the page's size as
// AllocPageBuffer makes it: white around the picture, smoothed when
// `smoothing`, every byte as PAPPL's filter writes it.
void DrawPhotoPage(const PhotoPlacement& placement, const Photo& photo, bool smoothing, char* page);
