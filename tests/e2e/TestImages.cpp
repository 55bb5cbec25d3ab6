// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "TestImages.h"

#include <png.h>

#include <cmath>
#include <cstdio>
#include <sstream>

namespace e2e {

Rgb TwoColourPicture(int width, int height) {
  Rgb image;
  image.width = width;
  image.height = height;
  image.pixels.resize(size_t(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &image.pixels[(size_t(y) * width + x) * 3];
      bool left = x < width / 2;
      p[0] = left ? 220 : 20;
      p[1] = 20;
      p[2] = left ? 20 : 220;
    }
  }
  return image;
}

Rgb SamplePhoto(int width, int height) {
  Rgb image;
  image.width = width;
  image.height = height;
  image.pixels.resize(size_t(width) * height * 3);
  const double sunX = width * 0.72, sunY = height * 0.3, sunR = height * 0.12;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &image.pixels[(size_t(y) * width + x) * 3];
      const double t = double(y) / height;
      // Sky from deep blue to pale orange at the horizon.
      double r = 40 + 200 * t, g = 80 + 110 * t, b = 200 - 80 * t;
      const double dx = x - sunX, dy = y - sunY;
      if (dx * dx + dy * dy < sunR * sunR) r = 255, g = 220, b = 60;
      const double hill = height * (0.62 + 0.08 * std::sin(x * 6.2832 / width * 1.5));
      if (y > hill) {
        const double shade = 1.0 - 0.5 * (y - hill) / (height - hill);
        r = 40 * shade, g = 150 * shade, b = 50 * shade;
      }
      p[0] = static_cast<uint8_t>(r);
      p[1] = static_cast<uint8_t>(g);
      p[2] = static_cast<uint8_t>(b);
    }
  }
  return image;
}

bool WritePng(const std::string& path, const Rgb& image) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(image.width);
  png.height = static_cast<png_uint_32>(image.height);
  png.format = PNG_FORMAT_RGB;
  return png_image_write_to_file(&png, path.c_str(), 0, image.pixels.data(), 0, nullptr) != 0;
}

bool ReadPng(const std::string& path, Rgb* image) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str())) return false;
  png.format = PNG_FORMAT_RGB;
  image->width = static_cast<int>(png.width);
  image->height = static_cast<int>(png.height);
  image->pixels.resize(PNG_IMAGE_SIZE(png));
  return png_image_finish_read(&png, nullptr, image->pixels.data(), 0, nullptr) != 0;
}

std::string TwoColourPdf(double widthPt, double heightPt) {
  char content[256];
  std::snprintf(content, sizeof content,
                "0.86 0.08 0.08 rg 0 0 %.2f %.2f re f\n0.08 0.08 0.86 rg %.2f 0 %.2f %.2f re f\n",
                widthPt / 2, heightPt, widthPt / 2, widthPt / 2, heightPt);
  char page[160];
  std::snprintf(
      page, sizeof page,
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %.2f %.2f] /Contents 4 0 R /Resources << >> >>",
      widthPt, heightPt);
  const std::string objects[] = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      page,
      "<< /Length " + std::to_string(std::string(content).size()) + " >>\nstream\n" + content +
          "endstream",
  };
  std::ostringstream pdf;
  pdf << "%PDF-1.4\n";
  std::vector<long> offsets;
  for (size_t i = 0; i < 4; ++i) {
    offsets.push_back(static_cast<long>(pdf.tellp()));
    pdf << i + 1 << " 0 obj\n" << objects[i] << "\nendobj\n";
  }
  const long xref = static_cast<long>(pdf.tellp());
  pdf << "xref\n0 5\n0000000000 65535 f \n";
  for (long offset : offsets) {
    char line[24];
    std::snprintf(line, sizeof line, "%010ld 00000 n \n", offset);
    pdf << line;
  }
  pdf << "trailer\n<< /Size 5 /Root 1 0 R >>\nstartxref\n" << xref << "\n%%EOF\n";
  return pdf.str();
}

ColourShares ShareOfColours(const Rgb& image) {
  size_t red = 0, blue = 0, total = size_t(image.width) * image.height;
  for (size_t i = 0; i < total; ++i) {
    const uint8_t* p = &image.pixels[i * 3];
    if (p[0] > 140 && p[2] < 110 && p[1] < 110) ++red;
    if (p[2] > 140 && p[0] < 110 && p[1] < 110) ++blue;
  }
  ColourShares s;
  if (total) {
    s.red = double(red) / total;
    s.blue = double(blue) / total;
  }
  return s;
}

}  // namespace e2e
