// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// qv46-demo-raster: writes a colourful test photo as a CUPS raster stream
// (8-bit RGB), the way CUPS hands a job to rastertoqv46.
//
//   qv46-demo-raster OUT.ras WIDTHxHEIGHT XDPIxYDPI PAGES COPIES
//
// WIDTHxHEIGHT is the page size in points (1/72 inch). Every page shows a
// hue sweep, a row of colour bars at the top, a round disc, an arrow that
// points to the top and the page number, so orientation, colours, aspect and
// placement can be judged by eye on the decoded print.
#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Rgb {
  double r, g, b;
};

Rgb Hue(double h) {  // h in [0, 1)
  const double k[3] = {5, 3, 1};
  double c[3];
  for (int i = 0; i < 3; ++i) {
    const double t = std::fmod(k[i] + h * 6, 6);
    c[i] = 1 - std::max(0.0, std::min({t, 4 - t, 1.0}));
  }
  return {c[0], c[1], c[2]};
}

// 5 x 7 glyphs for the few characters drawn; each row is five bits, MSB left.
struct Glyph {
  char c;
  uint8_t rows[7];
};
const Glyph kFont[] = {
    {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
};

// Whether the point (u, v), in cells of a text box starting at its top left,
// is inked for `text` (one cell per glyph pixel, one blank column between).
bool TextInk(const char* text, double u, double v) {
  if (u < 0 || v < 0 || v >= 7) return false;
  const int column = int(u);
  const int index = column / 6, x = column % 6;
  if (index >= int(strlen(text)) || x == 5) return false;
  for (const Glyph& g : kFont) {
    if (g.c == text[index]) return (g.rows[int(v)] >> (4 - x)) & 1;
  }
  return false;
}

// Colour of the point (x, y) in inches from the top left of a page of
// w x h inches.
Rgb PagePixel(double x, double y, double w, double h, int page) {
  const double m = std::min(w, h);
  // Thin dark frame at the page edge.
  if (x < 0.04 * m || y < 0.04 * m || x > w - 0.04 * m || y > h - 0.04 * m)
    return {0.15, 0.15, 0.15};
  // Colour bars across the top: red, green, blue, cyan, magenta, yellow, white, black.
  static const Rgb kBars[8] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 1, 1},
                               {1, 0, 1}, {1, 1, 0}, {1, 1, 1}, {0, 0, 0}};
  if (y < 0.18 * h) return kBars[std::min(7, int(8 * x / w))];
  // "TOP" under the bars, at the left; the page number at the right.
  const double cell = 0.02 * m;
  if (TextInk("TOP", (x - 0.08 * m) / cell, (y - 0.2 * h) / cell)) return {0, 0, 0};
  char number[16];
  snprintf(number, sizeof number, "P%d", page);
  if (TextInk(number, (x - (w - 0.08 * m - 12 * cell)) / cell, (y - 0.2 * h) / cell))
    return {0, 0, 0};
  // White arrow pointing to the top, on a round disc in the middle.
  const double cx = w / 2, cy = 0.6 * h, radius = 0.28 * std::min(w, 0.8 * h);
  const double dx = x - cx, dy = y - cy;
  const double head = radius * 0.45;
  const bool inHead =
      dy > -radius * 0.8 && dy < -radius * 0.8 + head && std::fabs(dx) < (dy + radius * 0.8) * 0.9;
  const bool inShaft =
      std::fabs(dx) < radius * 0.12 && dy >= -radius * 0.8 + head && dy < radius * 0.75;
  if (inHead || inShaft) return {1, 1, 1};
  if (dx * dx + dy * dy < radius * radius) return {0.1, 0.1, 0.35};
  // Background: hue across, light at the top to deeper at the bottom.
  const Rgb hue = Hue(x / w);
  const double shade = 0.55 + 0.4 * (1 - y / h);
  return {hue.r * shade + (1 - shade) * 0.2, hue.g * shade + (1 - shade) * 0.2,
          hue.b * shade + (1 - shade) * 0.2};
}

uint8_t Byte(double v) { return uint8_t(std::lround(std::clamp(v, 0.0, 1.0) * 255)); }

}  // namespace

int main(int argc, char** argv) {
  unsigned widthPt = 0, heightPt = 0, xdpi = 0, ydpi = 0;
  int pages = 0, copies = 0;
  if (argc != 6 || sscanf(argv[2], "%ux%u", &widthPt, &heightPt) != 2 ||
      sscanf(argv[3], "%ux%u", &xdpi, &ydpi) != 2 || (pages = atoi(argv[4])) < 1 ||
      (copies = atoi(argv[5])) < 1 || !widthPt || !heightPt || !xdpi || !ydpi) {
    fprintf(stderr,
            "usage: qv46-demo-raster OUT.ras WIDTHxHEIGHT(points) XDPIxYDPI PAGES COPIES\n");
    return 2;
  }
  const int fd = open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  cups_raster_t* raster = fd < 0 ? nullptr : cupsRasterOpen(fd, CUPS_RASTER_WRITE);
  if (!raster) {
    perror(argv[1]);
    return 1;
  }

  cups_page_header2_t header;
  memset(&header, 0, sizeof header);
  header.HWResolution[0] = xdpi;
  header.HWResolution[1] = ydpi;
  header.PageSize[0] = widthPt;
  header.PageSize[1] = heightPt;
  header.ImagingBoundingBox[2] = widthPt;
  header.ImagingBoundingBox[3] = heightPt;
  header.NumCopies = unsigned(copies);
  header.cupsWidth = widthPt * xdpi / 72;
  header.cupsHeight = heightPt * ydpi / 72;
  header.cupsBitsPerColor = 8;
  header.cupsBitsPerPixel = 24;
  header.cupsBytesPerLine = header.cupsWidth * 3;
  header.cupsColorOrder = CUPS_ORDER_CHUNKED;
  header.cupsColorSpace = CUPS_CSPACE_RGB;
  header.cupsNumColors = 3;

  const double w = widthPt / 72.0, h = heightPt / 72.0;
  std::vector<unsigned char> line(header.cupsBytesPerLine);
  bool ok = true;
  for (int page = 1; page <= pages && ok; ++page) {
    ok = cupsRasterWriteHeader2(raster, &header);
    for (unsigned y = 0; y < header.cupsHeight && ok; ++y) {
      for (unsigned x = 0; x < header.cupsWidth; ++x) {
        const Rgb c = PagePixel((x + 0.5) / xdpi, (y + 0.5) / ydpi, w, h, page);
        line[3 * x] = Byte(c.r);
        line[3 * x + 1] = Byte(c.g);
        line[3 * x + 2] = Byte(c.b);
      }
      ok = cupsRasterWritePixels(raster, line.data(), header.cupsBytesPerLine) ==
           header.cupsBytesPerLine;
    }
  }
  cupsRasterClose(raster);
  if (close(fd) != 0 || !ok) {
    fprintf(stderr, "qv46-demo-raster: %s could not be written\n", argv[1]);
    return 1;
  }
  return 0;
}
