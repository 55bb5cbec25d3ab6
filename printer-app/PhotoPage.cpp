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
// one, and the loops have no integer division left to keep them from being
// vectorised. A smoothed sample is the blend down the page of two blends
// across it: of the pixel and its right-hand neighbour, and of the two
// pixels below them.
// Each sample's weights across are `keep` for the pixel, `take` for its
// neighbour, summing to `across`.
template <typename Real>
void BlendAcross(size_t count, const unsigned char* __restrict pixel,
                 const unsigned char* __restrict right, const Real* __restrict keep,
                 const Real* __restrict take, Real across, Real* __restrict out) {
  for (size_t k = 0; k < count; ++k)
    out[k] =
        static_cast<Real>(static_cast<int>((keep[k] * pixel[k] + take[k] * right[k]) / across));
}

template <typename Real>
void BlendDown(size_t count, const Real* __restrict top, const Real* __restrict bottom, int yweight,
               int ysize, unsigned char* __restrict out) {
  const Real along = static_cast<Real>(ysize);
  const Real lower = static_cast<Real>(yweight);
  for (size_t k = 0; k < count; ++k)
    out[k] = static_cast<unsigned char>(
        static_cast<int>(((along - lower) * top[k] + lower * bottom[k]) / along));
}

// The blends across of one line of the picture's walk (`line`, where a page
// line starts in it) for the page's columns [first, last).
template <typename Real>
struct AcrossLine {
  explicit AcrossLine(size_t samples) : values(samples) {}
  bool Holds(ptrdiff_t at, size_t from, size_t to) const {
    return made && line == at && first <= from && last >= to;
  }
  bool made = false;
  ptrdiff_t line = 0;
  size_t first = 0, last = 0;
  std::vector<Real> values;
};

// DrawPhotoPage with `Real` as exact as the page's sums need.
template <typename Real>
void DrawLines(const PhotoPlacement& at, const Photo& photo, bool smoothing, char* page) {
  const size_t stride = PageStride(static_cast<unsigned long>(at.pageWidth));
  const size_t lineBytes = static_cast<size_t>(kDepth * at.pageWidth);
  // The buffer is bottom-up: the page's top line is its last row.
  const auto row = [&](int y) {
    return reinterpret_cast<unsigned char*>(page) +
           static_cast<size_t>(at.pageHeight - 1 - y) * stride;
  };
  const auto white = [&](int y) { std::memset(row(y), 0xff, lineBytes); };

  // The columns the picture covers, each with its pixel's offset from the
  // line's first, the step to its right-hand neighbour and the weights of
  // both (a column the filter takes as it is has none): the same on every
  // line.
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
  std::vector<ptrdiff_t> sampleOffset(samples);
  // Each sample's weights across, and the step to its right-hand neighbour.
  std::vector<Real> keep(samples), take(samples);
  std::vector<ptrdiff_t> rightStep(columns);
  // The columns the filter takes as they are, without a neighbour.
  std::vector<size_t> plain;
  for (size_t c = 0; c < columns; ++c) {
    offset[c] = pix;
    rightStep[c] = xerr >= 0 ? at.xdir : 0;
    if (xerr < 0) plain.push_back(c);
    for (ptrdiff_t j = 0; j < kDepth; ++j) {
      const size_t k = static_cast<size_t>(kDepth) * c + static_cast<size_t>(j);
      sampleOffset[k] = pix + j;
      take[k] = static_cast<Real>(std::max(0, xerr));
      keep[k] = static_cast<Real>(at.xsize) - take[k];
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

  const unsigned char* pixels = photo.pixels.get();
  const ptrdiff_t end = kDepth * photo.width * photo.height;
  // The filter takes the pixel itself for a neighbour outside the picture.
  const auto inside = [end](ptrdiff_t next, ptrdiff_t p) {
    return next < 0 || next >= end ? p : next;
  };
  // The pixels of a line and their right-hand neighbours, each with a spare
  // byte: a pixel is copied as four bytes where it can be.
  std::vector<unsigned char> left(samples + 1), right(samples + 1);
  const Real across = static_cast<Real>(at.xsize);
  // The blends across of the picture's line `line`, for columns [first,
  // last), each pixel with its right-hand neighbour.
  const auto blendAcross = [&](ptrdiff_t line, size_t first, size_t last, AcrossLine<Real>* out) {
    // The offsets only grow, or only shrink: the line's first and last
    // pixels and their neighbours bound all. Where all neighbours are in
    // the picture and leave a fourth byte in it, each pixel is copied with
    // that byte, which the next copy overwrites.
    const ptrdiff_t low = first == last ? 0 : std::min(offset[first], offset[last - 1]);
    const ptrdiff_t high = first == last ? 0 : std::max(offset[first], offset[last - 1]);
    const bool roomy = line + low + std::min<ptrdiff_t>(at.xdir, 0) >= 0 &&
                       line + high + std::max<ptrdiff_t>(at.xdir, 0) + 4 <= end;
    if (roomy) {
      for (size_t c = first; c < last; ++c) {
        const unsigned char* p = pixels + line + offset[c];
        std::memcpy(&left[kDepth * c], p, 4);
        std::memcpy(&right[kDepth * c], p + rightStep[c], 4);
      }
    } else {
      for (size_t c = first; c < last; ++c) {
        const ptrdiff_t p = line + offset[c];
        std::memcpy(&left[kDepth * c], pixels + p, kDepth);
        std::memcpy(&right[kDepth * c], pixels + inside(p + rightStep[c], p), kDepth);
      }
    }
    const size_t from = kDepth * first;
    BlendAcross<Real>(kDepth * (last - first), left.data() + from, right.data() + from,
                      keep.data() + from, take.data() + from, across, out->values.data() + from);
    out->made = true;
    out->line = line;
    out->first = first;
    out->last = last;
  };
  // One column blended as the filter blends it, each neighbour on its own.
  const auto blendColumn = [&](ptrdiff_t line, size_t c, int yweight, unsigned char* out) {
    const ptrdiff_t p = line + offset[c];
    const ptrdiff_t rt = inside(p + at.xdir, p);
    const ptrdiff_t dn = inside(p + at.ydir, p);
    const ptrdiff_t dnrt = inside(p + at.xdir + at.ydir, p);
    const size_t k = kDepth * c;
    Real top[kDepth], bottom[kDepth];
    BlendAcross<Real>(kDepth, pixels + p, pixels + rt, &keep[k], &take[k], across, top);
    BlendAcross<Real>(kDepth, pixels + dn, pixels + dnrt, &keep[k], &take[k], across, bottom);
    BlendDown<Real>(kDepth, top, bottom, yweight, at.ysize, out + kDepth * c);
  };
  AcrossLine<Real> upper(samples), lower(samples);

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
      // The columns whose neighbours below are both inside the picture, a
      // run (the offsets only grow, or only shrink): there the bottom blend
      // is the next picture line's top one.
      const ptrdiff_t next = pixline + at.ydir;
      const auto below = [&](size_t c) {
        const ptrdiff_t dn = next + offset[c];
        return dn >= 0 && dn < end && dn + at.xdir >= 0 && dn + at.xdir < end;
      };
      size_t first = 0;
      while (first < columns && !below(first)) ++first;
      size_t last = columns;
      while (last > first && !below(last - 1)) --last;
      if (!upper.Holds(pixline, 0, columns)) {
        if (lower.Holds(pixline, 0, columns))
          std::swap(upper, lower);
        else
          blendAcross(pixline, 0, columns, &upper);
      }
      if (!lower.Holds(next, first, last)) blendAcross(next, first, last, &lower);
      BlendDown<Real>(samples, upper.values.data(), lower.values.data(), yerr, at.ysize, out);
      for (size_t c = 0; c < first; ++c) blendColumn(pixline, c, yerr, out);
      for (size_t c = last; c < columns; ++c) blendColumn(pixline, c, yerr, out);
      for (size_t c : plain) std::memcpy(out + kDepth * c, from + offset[c], kDepth);
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
  // Below 2^16 pixels across and down, the blends' sums stay below 2^24.
  if (at.xsize < 65536 && at.ysize < 65536)
    DrawLines<float>(at, photo, smoothing, page);
  else
    DrawLines<double>(at, photo, smoothing, page);
}
