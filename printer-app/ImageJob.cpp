// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printer-app/ImageJob.h"

#include <jpeglib.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

namespace {

// Refuses `width` x `height` x `depth` when PAPPL would not place it.
bool FitsInMemory(pappl_job_t* job, size_t width, size_t height, size_t depth) {
  int maxWidth = 0;
  int maxHeight = 0;
  const size_t maxBytes = papplSystemGetMaxImageSize(papplPrinterGetSystem(papplJobGetPrinter(job)),
                                                     &maxWidth, &maxHeight);
  return width >= 1 && height >= 1 && width <= static_cast<size_t>(maxWidth) &&
         height <= static_cast<size_t>(maxHeight) && width * height * depth <= maxBytes;
}

bool Refuse(pappl_job_t* job, const char* format, const char* fault) {
  papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, PAPPL_JREASON_NONE);
  papplJobSetMessage(job, "The %s document is damaged: %s", format, fault);
  return false;
}

bool PrintPixels(pappl_job_t* job, pappl_device_t* device, const unsigned char* pixels, int width,
                 int height, int ppi, bool smoothing) {
  pappl_pr_options_t* options = papplJobCreatePrintOptions(job, 1, true);
  const bool ok =
      papplJobFilterImage(job, device, options, pixels, width, height, 3, ppi, smoothing);
  papplJobDeletePrintOptions(options);
  return ok;
}

struct JpegFault {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void OnJpegFault(j_common_ptr info) {
  auto* fault = reinterpret_cast<JpegFault*>(info->err);
  (*info->err->format_message)(info, fault->message);
  std::longjmp(fault->jump, 1);
}

// Decodes into `*pixels` (malloc'd, RGB); the fault's text, or null.
const char* DecodeJpeg(pappl_job_t* job, FILE* file, unsigned char** pixels, int* width,
                       int* height, int* ppi) {
  static thread_local JpegFault fault;
  jpeg_decompress_struct info;
  info.err = jpeg_std_error(&fault.manager);
  fault.manager.error_exit = OnJpegFault;
  if (setjmp(fault.jump)) {
    jpeg_destroy_decompress(&info);
    return fault.message;
  }
  jpeg_create_decompress(&info);
  jpeg_stdio_src(&info, file);
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  if (!FitsInMemory(job, info.output_width, info.output_height, 3)) {
    jpeg_destroy_decompress(&info);
    return "the image is too large to print";
  }
  const size_t stride = size_t{info.output_width} * 3;
  *pixels = static_cast<unsigned char*>(std::malloc(stride * info.output_height));
  if (*pixels == nullptr) {
    jpeg_destroy_decompress(&info);
    return "not enough memory for the image";
  }
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = *pixels + info.output_scanline * stride;
    jpeg_read_scanlines(&info, &row, 1);
  }
  *width = static_cast<int>(info.output_width);
  *height = static_cast<int>(info.output_height);
  *ppi = info.density_unit == 1   ? info.X_density
         : info.density_unit == 2 ? info.X_density * 254 / 100
                                  : 0;
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return nullptr;
}

}  // namespace

bool PrintJpeg(pappl_job_t* job, pappl_device_t* device, void*) {
  FILE* file = std::fopen(papplJobGetFilename(job), "rb");
  if (file == nullptr) return Refuse(job, "JPEG", "it cannot be read");
  unsigned char* pixels = nullptr;
  int width = 0;
  int height = 0;
  int ppi = 0;
  const char* fault = DecodeJpeg(job, file, &pixels, &width, &height, &ppi);
  std::fclose(file);
  const bool ok = fault == nullptr ? PrintPixels(job, device, pixels, width, height, ppi, true)
                                   : Refuse(job, "JPEG", fault);
  std::free(pixels);
  return ok;
}

bool PrintPng(pappl_job_t* job, pappl_device_t* device, void*) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, papplJobGetFilename(job)))
    return Refuse(job, "PNG", image.message);
  image.format = PNG_FORMAT_RGB;
  if (!FitsInMemory(job, image.width, image.height, 3)) {
    png_image_free(&image);
    return Refuse(job, "PNG", "the image is too large to print");
  }
  unsigned char* pixels = static_cast<unsigned char*>(std::malloc(PNG_IMAGE_SIZE(image)));
  // Transparent parts print white.
  const png_color white{255, 255, 255};
  if (pixels == nullptr || !png_image_finish_read(&image, &white, pixels, 0, nullptr)) {
    std::free(pixels);
    const bool ok = Refuse(job, "PNG", pixels == nullptr ? "not enough memory" : image.message);
    png_image_free(&image);
    return ok;
  }
  const bool ok = PrintPixels(job, device, pixels, static_cast<int>(image.width),
                              static_cast<int>(image.height), 0, false);
  std::free(pixels);
  return ok;
}
