// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printer-app/PhotoPage.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "filter/Common.h"

namespace {

constexpr ptrdiff_t kDepth = 3;

bool IsPortrait(ipp_orient_t orientation) {
  return orientation == IPP_ORIENT_PORTRAIT || orientation == IPP_ORIENT_REVERSE_PORTRAIT;
}

// PAPPL's smoothing, with its integer divisions done in `Real`: every
// product and sum is a whole number below 2^24 (float) or 2^53 (double) and
// is divided correctly rounded, so each truncated quotient is the integer
// one, and the loop has no integer division left to keep it from being
// vectorised. Columns the filter does not smooth have weight 0 and all
// four neighbours the pixel itself, which gives the pixel back.
template <typename Real>
void Blend(size_t count, const unsigned char* __restrict pixel,
           const unsigned char* __restrict right, const unsigned char* __restrict down,
           const unsigned char* __restrict downRight, const int* __restrict weight, int xsize,
           int yweight, int ysize, unsigned char* __restrict out) {
  const Real across = static_cast<Real>(xsize);
  const Real along = static_cast<Real>(ysize);
  const Real lower = static_cast<Real>(yweight);
  for (size_t k = 0; k < count; ++k) {
    const Real w = static_cast<Real>(weight[k]);
    const Real top =
        static_cast<Real>(static_cast<int>(((across - w) * pixel[k] + w * right[k]) / across));
    const Real bottom =
        static_cast<Real>(static_cast<int>(((across - w) * down[k] + w * downRight[k]) / across));
    out[k] = static_cast<unsigned char>(
        static_cast<int>(((along - lower) * top + lower * bottom) / along));
  }
}

}  // namespace

bool PlacePhotoOnPage(pappl_pr_options_t* options, const Photo& photo, PhotoPlacement* placement) {
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

  PhotoPlacement at;
  at.pageWidth = pageWidth;
  at.pageHeight = pageHeight;
  at.base = 0;
  at.xdir = kDepth;
  at.ydir = kDepth * width;
  int imgWidth = width, imgHeight = height;
  switch (options->orientation_requested) {
    case IPP_ORIENT_REVERSE_PORTRAIT:
      at.base = kDepth * width * height - kDepth;
      at.xdir = -kDepth;
      at.ydir = -kDepth * width;
      break;
    case IPP_ORIENT_LANDSCAPE:  // a quarter counter-clockwise
      at.base = kDepth * width - kDepth;
      imgWidth = height;
      imgHeight = width;
      at.xdir = kDepth * width;
      at.ydir = -kDepth;
      break;
    case IPP_ORIENT_REVERSE_LANDSCAPE:  // a quarter clockwise
      at.base = kDepth * (height - 1) * width;
      imgWidth = height;
      imgHeight = width;
      at.xdir = -kDepth * width;
      at.ydir = kDepth;
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

  at.xsize = xsize;
  at.ysize = ysize;
  at.xstart = ileft + (iwidth - xsize) / 2;
  at.xend = std::min(at.xstart + xsize, pageWidth);
  at.ystart = itop + (iheight - ysize) / 2;
  at.yend = std::min(at.ystart + ysize, pageHeight);
  at.xmod = imgWidth % xsize;
  at.xstep = (imgWidth / xsize) * at.xdir;
  at.ymod = imgHeight % ysize;
  at.ystep = (imgHeight / ysize) * at.ydir;
  *placement = at;
  return true;
}

void DrawPhotoPage(const PhotoPlacement& at, const Photo& photo, bool smoothing, char* page) {
  const size_t stride = PageStride(static_cast<unsigned long>(at.pageWidth));
  const size_t lineBytes = static_cast<size_t>(kDepth * at.pageWidth);
  // The buffer is bottom-up: the page's top line is its last row.
  const auto row = [&](int y) {
    return reinterpret_cast<unsigned char*>(page) +
           static_cast<size_t>(at.pageHeight - 1 - y) * stride;
  };
  const auto white = [&](int y) { std::memset(row(y), 0xff, lineBytes); };

  // The columns the picture covers, each with its pixel's offset from the
  // line's first and its weight to the right-hand neighbour (negative where
  // the filter takes the pixel as it is): the same on every line.
  int x0 = std::min(at.xstart, at.pageWidth);
  ptrdiff_t pix = 0;
  int xerr = -at.xmod / 2;
  if (at.xstart < 0) {
    pix = -(at.xstart * at.xmod / at.xsize) * at.xdir;
    x0 = 0;
    xerr = -at.xmod / 2 - (at.xstart * at.xmod) % at.xsize;
  }
  const size_t columns = static_cast<size_t>(std::max(0, at.xend - x0));
  const size_t samples = static_cast<size_t>(kDepth) * columns;
  std::vector<ptrdiff_t> offset(columns);
  std::vector<int> columnWeight(columns);
  std::vector<ptrdiff_t> sampleOffset(samples);
  std::vector<int> sampleWeight(samples);
  for (size_t c = 0; c < columns; ++c) {
    offset[c] = pix;
    columnWeight[c] = xerr;
    for (ptrdiff_t j = 0; j < kDepth; ++j) {
      const size_t k = static_cast<size_t>(kDepth) * c + static_cast<size_t>(j);
      sampleOffset[k] = pix + j;
      sampleWeight[k] = std::max(0, xerr);
    }
    pix += at.xstep;
    xerr += at.xmod;
    if (xerr >= at.xsize) {
      xerr -= at.xsize;
      pix += at.xdir;
    }
  }
  // Whole-number scales give every smoothed pixel weight 0.
  const bool unweighted = at.xmod == 0;
  // A line that is a run of the picture's stored pixels.
  const bool stored = unweighted && at.xdir == kDepth && at.xstep == kDepth && columns > 0;
  // Below 2^16 pixels across and down, Blend's sums stay below 2^24.
  const bool exact = at.xsize < 65536 && at.ysize < 65536;

  const unsigned char* pixels = photo.pixels.get();
  const ptrdiff_t end = kDepth * photo.width * photo.height;
  std::vector<unsigned char> right(samples), down(samples), downRight(samples), self(samples);
  int y = 0;
  for (; y < std::min(at.ystart, at.pageHeight); ++y) white(y);
  ptrdiff_t pixline = at.base;
  int yerr = -at.ymod / 2;
  if (at.ystart < 0) {
    pixline = at.base - (at.ystart * at.ymod / at.ysize) * at.ydir;
    yerr = -at.ymod / 2 - (at.ystart * at.ymod) % at.ysize;
  }
  for (; y < at.yend; ++y) {
    unsigned char* line = row(y);
    std::memset(line, 0xff, static_cast<size_t>(kDepth * x0));
    std::memset(line + kDepth * x0 + samples, 0xff, lineBytes - kDepth * x0 - samples);
    unsigned char* out = line + kDepth * x0;
    const unsigned char* from = pixels + pixline;
    if (!smoothing || yerr < 0 || (yerr == 0 && unweighted)) {
      if (stored) {
        std::memcpy(out, from + offset[0], samples);
      } else {
        for (size_t k = 0; k < samples; ++k) out[k] = from[sampleOffset[k]];
      }
    } else {
      // The filter takes the pixel itself for a neighbour outside the picture.
      const auto inside = [end](ptrdiff_t next, ptrdiff_t p) {
        return next < 0 || next >= end ? p : next;
      };
      for (size_t c = 0; c < columns; ++c) {
        const ptrdiff_t p = pixline + offset[c];
        ptrdiff_t rt = p, dn = p, dnrt = p;
        if (columnWeight[c] >= 0) {
          rt = inside(p + at.xdir, p);
          dn = inside(p + at.ydir, p);
          dnrt = inside(p + at.xdir + at.ydir, p);
        }
        for (ptrdiff_t j = 0; j < kDepth; ++j) {
          const size_t k = static_cast<size_t>(kDepth) * c + static_cast<size_t>(j);
          self[k] = pixels[p + j];
          right[k] = pixels[rt + j];
          down[k] = pixels[dn + j];
          downRight[k] = pixels[dnrt + j];
        }
      }
      (exact ? Blend<float> : Blend<double>)(samples, self.data(), right.data(), down.data(),
                                             downRight.data(), sampleWeight.data(), at.xsize, yerr,
                                             at.ysize, out);
    }
    pixline += at.ystep;
    yerr += at.ymod;
    if (yerr >= at.ysize) {
      pixline += at.ydir;
      yerr -= at.ysize;
    }
  }
  for (; y < at.pageHeight; ++y) white(y);
}
