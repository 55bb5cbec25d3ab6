// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "PhotoFiles.h"

#include <cups/raster.h>
#include <fcntl.h>
#include <jpeglib.h>
#include <lcms2.h>
#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <utility>
#include <vector>

#include "AppUnderTest.h"
#include "PrintSystem.h"

namespace apptest {
namespace {

void Put16(std::string* out, unsigned value, bool bigEndian) {
  const char bytes[2] = {static_cast<char>(bigEndian ? value >> 8 : value & 0xFF),
                         static_cast<char>(bigEndian ? value & 0xFF : value >> 8)};
  out->append(bytes, 2);
}

void Put32(std::string* out, unsigned value, bool bigEndian) {
  Put16(out, bigEndian ? value >> 16 : value & 0xFFFF, bigEndian);
  Put16(out, bigEndian ? value & 0xFFFF : value >> 16, bigEndian);
}

// "Exif\0\0", a TIFF header and IFD0 holding the orientation.
std::string ExifBlock(const JpegExtras& extras) {
  const bool be = extras.bigEndian;
  std::string tiff = be ? "MM" : "II";
  Put16(&tiff, 42, be);
  const unsigned ifd = extras.ifdFarOff ? 40 : 8;
  Put32(&tiff, ifd, be);
  tiff.resize(ifd, '\0');
  Put16(&tiff, extras.ifdFarOff ? 2 : 1, be);
  if (extras.ifdFarOff) {  // Make, ASCII, 4 bytes in place
    Put16(&tiff, 0x010F, be);
    Put16(&tiff, 2, be);
    Put32(&tiff, 4, be);
    tiff.append("QV4\0", 4);
  }
  Put16(&tiff, 0x0112, be);  // Orientation, SHORT, 1, left-justified
  Put16(&tiff, 3, be);
  Put32(&tiff, 1, be);
  Put16(&tiff, static_cast<unsigned>(extras.orientation), be);
  Put16(&tiff, 0, be);
  Put32(&tiff, 0, be);  // no next IFD
  return std::string("Exif\0\0", 6) + tiff;
}

cmsHPROFILE OpenProfile(const std::string& bytes) {
  return cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size()));
}

}  // namespace

bool WriteJpeg(const std::string& path, const e2e::Rgb& image, const JpegExtras& extras,
               int quality) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, file);
  info.image_width = static_cast<JDIMENSION>(image.width);
  info.image_height = static_cast<JDIMENSION>(image.height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  info.comp_info[0].h_samp_factor = 1;
  info.comp_info[0].v_samp_factor = 1;
  jpeg_start_compress(&info, TRUE);
  if (extras.orientation != 0) {
    const std::string exif = ExifBlock(extras);
    jpeg_write_marker(&info, JPEG_APP0 + 1, reinterpret_cast<const JOCTET*>(exif.data()),
                      static_cast<unsigned>(exif.size()));
  }
  if (!extras.iccProfile.empty())
    jpeg_write_icc_profile(&info, reinterpret_cast<const JOCTET*>(extras.iccProfile.data()),
                           static_cast<unsigned>(extras.iccProfile.size()));
  for (int y = 0; y < image.height; ++y) {
    JSAMPROW row = const_cast<JSAMPROW>(image.pixels.data() + size_t{3} * image.width * y);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return std::fclose(file) == 0;
}

bool ReadJpeg(const std::string& path, e2e::Rgb* image) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  jpeg_decompress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&info);
  jpeg_stdio_src(&info, file);
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  image->width = static_cast<int>(info.output_width);
  image->height = static_cast<int>(info.output_height);
  const size_t stride = size_t{3} * image->width;
  std::vector<uint8_t> pixels(stride * image->height);
  while (info.output_scanline < info.output_height) {
    JSAMPROW rows[] = {pixels.data() + stride * info.output_scanline};
    jpeg_read_scanlines(&info, rows, 1);
  }
  image->pixels = std::move(pixels);
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  std::fclose(file);
  return true;
}

bool WritePngWithProfile(const std::string& path, const e2e::Rgb& image,
                         const std::string& iccProfile) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
               static_cast<png_uint_32>(image.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!iccProfile.empty())
    png_set_iCCP(png, info, "embedded", PNG_COMPRESSION_TYPE_BASE,
                 reinterpret_cast<png_const_bytep>(iccProfile.data()),
                 static_cast<png_uint_32>(iccProfile.size()));
  png_write_info(png, info);
  for (int y = 0; y < image.height; ++y)
    png_write_row(png, image.pixels.data() + size_t{3} * image.width * y);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0;
}

std::string IccProfile(RgbSpace space, size_t padding) {
  const bool adobe = space == RgbSpace::kAdobeRgb;
  const cmsCIExyY white = adobe ? cmsCIExyY{0.3127, 0.3290, 1.0} : cmsCIExyY{0.3457, 0.3585, 1.0};
  const cmsCIExyYTRIPLE primaries =
      adobe ? cmsCIExyYTRIPLE{{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}}
            : cmsCIExyYTRIPLE{{0.7347, 0.2653, 1}, {0.1596, 0.8404, 1}, {0.0366, 0.0001, 1}};
  cmsToneCurve* curve = cmsBuildGamma(nullptr, adobe ? 563.0 / 256 : 1.8);
  cmsToneCurve* curves[3] = {curve, curve, curve};
  cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
  cmsFreeToneCurve(curve);
  if (padding > 0) {
    cmsMLU* text = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(text, "en", "US", std::string(padding, 'c').c_str());
    cmsWriteTag(profile, cmsSigCopyrightTag, text);
    cmsMLUfree(text);
  }
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(profile, nullptr, &size);
  std::string bytes(size, '\0');
  cmsSaveProfileToMem(profile, bytes.data(), &size);
  cmsCloseProfile(profile);
  return bytes;
}

e2e::Rgb ToSrgb(const e2e::Rgb& image, const std::string& iccProfile) {
  cmsHPROFILE embedded = OpenProfile(iccProfile);
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  cmsHTRANSFORM transform =
      cmsCreateTransform(embedded, TYPE_RGB_8, srgb, TYPE_RGB_8, INTENT_RELATIVE_COLORIMETRIC,
                         cmsFLAGS_BLACKPOINTCOMPENSATION);
  e2e::Rgb out = image;
  cmsDoTransform(transform, image.pixels.data(), out.pixels.data(),
                 static_cast<cmsUInt32Number>(image.width * image.height));
  cmsDeleteTransform(transform);
  cmsCloseProfile(srgb);
  cmsCloseProfile(embedded);
  return out;
}

bool WritePwgPage(const std::string& path, const char* media, const std::string& type, int dpi) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_WRITE_PWG);
  cups_page_header2_t header;
  bool ok = cupsRasterInitPWGHeader(&header, pwgMediaForPWG(media), type.c_str(), dpi, dpi,
                                    "one-sided", nullptr) &&
            cupsRasterWriteHeader2(raster, &header);
  std::vector<unsigned char> line(header.cupsBytesPerLine, 0x80);
  for (unsigned y = 0; ok && y < header.cupsHeight; ++y)
    ok = cupsRasterWritePixels(raster, line.data(), header.cupsBytesPerLine) != 0;
  cupsRasterClose(raster);
  close(fd);
  return ok;
}

bool WriteRaster(const std::string& path, const e2e::Rgb& image, int xdpi, int ydpi) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
  cups_page_header2_t header{};
  header.HWResolution[0] = static_cast<unsigned>(xdpi);
  header.HWResolution[1] = static_cast<unsigned>(ydpi);
  header.cupsWidth = static_cast<unsigned>(image.width);
  header.cupsHeight = static_cast<unsigned>(image.height);
  header.cupsBitsPerColor = 8;
  header.cupsBitsPerPixel = 24;
  header.cupsBytesPerLine = header.cupsWidth * 3;
  header.cupsColorSpace = CUPS_CSPACE_SRGB;
  header.NumCopies = 1;
  const bool ok =
      cupsRasterWriteHeader2(raster, &header) &&
      cupsRasterWritePixels(raster, const_cast<unsigned char*>(image.pixels.data()),
                            static_cast<unsigned>(image.pixels.size())) == image.pixels.size();
  cupsRasterClose(raster);
  close(fd);
  return ok;
}

std::string ClassicStream(const std::string& raster, const std::string& options) {
  // The job information file the classic backend writes from the printer's
  // answers, as the simulated printer gives them.
  const std::string jobId = "app" + std::to_string(getpid());
  const std::string info = "/tmp/Print_" + jobId + ".log";
  e2e::WriteFile(info, "#MEDIA_INFORMATION\nMEDIA_SIZE=\"00310\"\nMEDIA_REMAIN_HALF=\"0100\"\n");
  std::string filtered;
  const int status = Run({QV46_FILTER, jobId, "u", "t", "1", options, raster}, &filtered,
                         {std::string("PPD=") + QV46_PPD});
  unlink(info.c_str());
  return status == 0 ? filtered : std::string();
}

std::string PdfOfPages(int pages, const std::string& content) {
  std::vector<std::string> objects = {
      "<< /Type /Catalog /Pages 2 0 R >>", "",
      "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream"};
  std::string kids;
  for (int i = 0; i < pages; ++i) {
    kids += std::to_string(4 + i) + " 0 R ";
    objects.push_back(
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 432 288] /Contents 3 0 R /Resources << >> "
        ">>");
  }
  objects[1] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>";
  std::string pdf = "%PDF-1.4\n";
  std::vector<size_t> offsets;
  for (size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const size_t xref = pdf.size();
  pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (size_t offset : offsets) {
    char line[24];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
    pdf += line;
  }
  return pdf + "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
         " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
}

}  // namespace apptest
