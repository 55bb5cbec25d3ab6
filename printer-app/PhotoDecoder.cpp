// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printer-app/PhotoDecoder.h"

#include <jpeglib.h>
// After jpeglib.h, which it needs.
#include <jerror.h>
#include <lcms2.h>
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "printer-app/DocumentLimits.h"

const char kTooManyPixels[] = "it has more than 100 megapixels";
const char kNeedsTooMuchMemory[] = "it needs more memory than one photo may take";
const char kNoMemoryForPixels[] = "there is not enough memory for its pixels";

namespace {

const char kTooManyPngPixels[] = "a PNG picture may have 64 megapixels at most";
const char kPastImageLimits[] = "it is larger than the printer takes";

bool TooManyPixels(unsigned long long width, unsigned long long height, long long limit) {
  return width * height > static_cast<unsigned long long>(limit);
}

std::unique_ptr<unsigned char[]> NewPixels(size_t width, size_t height) {
  return std::unique_ptr<unsigned char[]>(new (std::nothrow) unsigned char[width * height * 3]);
}

bool Fits(const PhotoLimits& limits, size_t width, size_t height) {
  return width >= 1 && height >= 1 && width <= static_cast<size_t>(limits.maxWidth) &&
         height <= static_cast<size_t>(limits.maxHeight) && width * height * 3 <= limits.maxBytes;
}

// The EXIF orientation (1 to 8) of a JPEG's APP1 markers; 1 when there is
// none or it cannot be read. Both byte orders, IFD0 anywhere in the block.
int ExifOrientation(jpeg_saved_marker_ptr markers) {
  constexpr unsigned kOrientationTag = 0x0112;
  constexpr unsigned kShort = 3;
  for (jpeg_saved_marker_ptr m = markers; m != nullptr; m = m->next) {
    if (m->marker != JPEG_APP0 + 1 || m->data_length < 14 ||
        std::memcmp(m->data, "Exif\0\0", 6) != 0)
      continue;
    const JOCTET* tiff = m->data + 6;
    const size_t size = m->data_length - 6;
    const bool bigEndian = tiff[0] == 'M' && tiff[1] == 'M';
    if (!bigEndian && !(tiff[0] == 'I' && tiff[1] == 'I')) return 1;
    auto u16 = [&](size_t at) -> unsigned {
      return bigEndian ? (tiff[at] << 8) | tiff[at + 1] : tiff[at] | (tiff[at + 1] << 8);
    };
    auto u32 = [&](size_t at) -> size_t {
      return bigEndian ? (size_t{u16(at)} << 16) | u16(at + 2)
                       : u16(at) | (size_t{u16(at + 2)} << 16);
    };
    const size_t ifd = u32(4);
    if (u16(2) != 42 || ifd + 2 > size) return 1;
    const unsigned count = u16(ifd);
    for (unsigned i = 0; i < count && ifd + 2 + 12 * (i + 1) <= size; ++i) {
      const size_t entry = ifd + 2 + 12 * i;
      if (u16(entry) != kOrientationTag) continue;
      const unsigned value = u16(entry + 2) == kShort ? u16(entry + 8) : 0;
      return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
    }
    return 1;
  }
  return 1;
}

// Turns the stored picture upright: upright pixel (x, y) is the stored pixel
// at first + x * dx + y * dy (in pixels), one row of this table per EXIF
// orientation 2 to 8. False when there is no memory for the turned picture.
bool TurnUpright(int orientation, Photo* photo) {
  if (orientation == 1) return true;
  const long w = photo->width;
  const long h = photo->height;
  struct Walk {
    long first, dx, dy;
  };
  const Walk walks[] = {
      {w - 1, -1, w},                 // 2: mirrored left to right
      {(h - 1) * w + w - 1, -1, -w},  // 3: turned half round
      {(h - 1) * w, 1, -w},           // 4: mirrored top to bottom
      {0, w, 1},                      // 5: mirrored along the diagonal
      {(h - 1) * w, -w, 1},           // 6: turned a quarter counter-clockwise
      {(h - 1) * w + w - 1, -w, -1},  // 7: mirrored along the other diagonal
      {w - 1, w, -1},                 // 8: turned a quarter clockwise
  };
  const Walk& walk = walks[orientation - 2];
  const bool sideways = orientation >= 5;
  const long uprightWidth = sideways ? h : w;
  const long uprightHeight = sideways ? w : h;
  std::unique_ptr<unsigned char[]> upright = NewPixels(w, h);
  if (!upright) return false;
  const unsigned char* stored = photo->pixels.get();
  // Tile by tile: the stored lines a turned tile reads stay in the cache.
  constexpr long kTile = 32;
  for (long ty = 0; ty < uprightHeight; ty += kTile) {
    const long yEnd = std::min(ty + kTile, uprightHeight);
    for (long tx = 0; tx < uprightWidth; tx += kTile) {
      const long xEnd = std::min(tx + kTile, uprightWidth);
      for (long y = ty; y < yEnd; ++y) {
        // An index, not a pointer: one step past the row's end may leave the block.
        long at = walk.first + y * walk.dy + tx * walk.dx;
        unsigned char* out = upright.get() + 3 * (y * uprightWidth + tx);
        for (long x = tx; x < xEnd; ++x, at += walk.dx, out += 3)
          std::memcpy(out, stored + 3 * at, 3);
      }
    }
  }
  photo->pixels = std::move(upright);
  photo->width = static_cast<int>(uprightWidth);
  photo->height = static_cast<int>(uprightHeight);
  return true;
}

// Converts RGB rows from an embedded profile to sRGB, as photo software
// does: relative colorimetric with black point compensation. Holds no
// transform when the profile is not an RGB profile lcms2 can read; the
// picture then prints as it is.
class SrgbConversion {
 public:
  SrgbConversion() = default;
  SrgbConversion(const unsigned char* profile, size_t size) { Load(profile, size); }
  ~SrgbConversion() {
    if (transform_ != nullptr) cmsDeleteTransform(transform_);
  }
  SrgbConversion(const SrgbConversion&) = delete;
  SrgbConversion& operator=(const SrgbConversion&) = delete;

  void Load(const unsigned char* profile, size_t size) {
    if (profile == nullptr || size == 0 || transform_ != nullptr) return;
    cmsHPROFILE embedded = cmsOpenProfileFromMem(profile, static_cast<cmsUInt32Number>(size));
    if (embedded == nullptr) return;
    if (cmsGetColorSpace(embedded) == cmsSigRgbData) {
      cmsHPROFILE srgb = cmsCreate_sRGBProfile();
      transform_ =
          cmsCreateTransform(embedded, TYPE_RGB_8, srgb, TYPE_RGB_8, INTENT_RELATIVE_COLORIMETRIC,
                             cmsFLAGS_BLACKPOINTCOMPENSATION);
      cmsCloseProfile(srgb);
    }
    cmsCloseProfile(embedded);
  }

  void Rows(unsigned char* pixels, int width, int rows) const {
    if (transform_ == nullptr) return;
    const size_t stride = size_t{3} * width;
    for (int y = 0; y < rows; ++y)
      cmsDoTransform(transform_, pixels + stride * y, pixels + stride * y,
                     static_cast<cmsUInt32Number>(width));
  }

 private:
  cmsHTRANSFORM transform_ = nullptr;
};

// Lives outside the decoding function's frame: what libjpeg's jump back
// must still find (the message, the profile it allocated).
struct JpegFault {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  JOCTET* profile;
};

[[noreturn]] void OnJpegFault(j_common_ptr info) {
  auto* fault = reinterpret_cast<JpegFault*>(info->err);
  (*info->err->format_message)(info, fault->message);
  std::longjmp(fault->jump, 1);
}

// The profile of a PNG's iCCP chunk; empty when it has none.
std::vector<unsigned char> PngProfile(const char* path) {
  std::vector<unsigned char> profile;
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return profile;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (info != nullptr && setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, file);
    png_read_info(png, info);
    png_charp name = nullptr;
    int compression = 0;
    png_bytep data = nullptr;
    png_uint_32 size = 0;
    if (png_get_iCCP(png, info, &name, &compression, &data, &size) == PNG_INFO_iCCP)
      profile.assign(data, data + size);
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
  return profile;
}

}  // namespace

const char* DecodeJpegPhoto(FILE* file, const PhotoLimits& limits, const PagePixels& page,
                            Photo* photo) {
  static thread_local JpegFault fault;
  jpeg_decompress_struct info;
  info.err = jpeg_std_error(&fault.manager);
  fault.manager.error_exit = OnJpegFault;
  fault.profile = nullptr;
  // Made before the jump point, so a jump back skips no destructor.
  SrgbConversion toSrgb;
  auto fail = [&](const char* why) {
    jpeg_destroy_decompress(&info);
    std::free(fault.profile);
    photo->pixels.reset();
    return why;
  };
  if (setjmp(fault.jump)) {
    const int code = fault.manager.msg_code;
    return fail(code == JERR_NO_BACKING_STORE || code == JERR_OUT_OF_MEMORY ? kNeedsTooMuchMemory
                                                                            : fault.message);
  }
  jpeg_create_decompress(&info);
  // Beyond this a progressive picture's coefficients fail to allocate
  // (there is no backing store), whatever its header claims.
  info.mem->max_memory_to_use = kJpegMemoryBytes;
  jpeg_stdio_src(&info, file);
  jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
  jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);
  jpeg_read_header(&info, TRUE);
  if (TooManyPixels(info.image_width, info.image_height, kMaxPhotoPixels))
    return fail(kTooManyPixels);
  const int orientation = ExifOrientation(info.marker_list);
  unsigned profileSize = 0;
  if (jpeg_read_icc_profile(&info, &fault.profile, &profileSize))
    toSrgb.Load(fault.profile, profileSize);
  info.out_color_space = JCS_RGB;

  // The smallest scale of M/8 that keeps what the page needs in both
  // directions, or the whole picture.
  const bool sideways = orientation >= 5;
  const int storedWidth = static_cast<int>(info.image_width);
  const int storedHeight = static_cast<int>(info.image_height);
  int needAcross = 0;
  int needDown = 0;
  page(sideways ? storedHeight : storedWidth, sideways ? storedWidth : storedHeight, &needAcross,
       &needDown);
  if (sideways) std::swap(needAcross, needDown);
  info.scale_denom = 8;
  for (info.scale_num = 1; info.scale_num < 8; ++info.scale_num) {
    jpeg_calc_output_dimensions(&info);
    if (info.output_width >= static_cast<JDIMENSION>(std::min(needAcross, storedWidth)) &&
        info.output_height >= static_cast<JDIMENSION>(std::min(needDown, storedHeight)))
      break;
  }
  jpeg_start_decompress(&info);
  if (!Fits(limits, info.output_width, info.output_height)) return fail(kPastImageLimits);
  photo->pixels = NewPixels(info.output_width, info.output_height);
  if (!photo->pixels) return fail(kNoMemoryForPixels);
  photo->width = static_cast<int>(info.output_width);
  photo->height = static_cast<int>(info.output_height);
  // Up to 16 lines a call (libjpeg's largest row group), each decoded
  // straight into its place.
  const size_t stride = size_t{3} * photo->width;
  JSAMPROW rows[16];
  while (info.output_scanline < info.output_height) {
    const JDIMENSION at = info.output_scanline;
    const JDIMENSION count = std::min<JDIMENSION>(16, info.output_height - at);
    for (JDIMENSION i = 0; i < count; ++i) rows[i] = photo->pixels.get() + (at + i) * stride;
    const int read = static_cast<int>(jpeg_read_scanlines(&info, rows, count));
    toSrgb.Rows(rows[0], photo->width, read);
  }
  // The density is the full-size picture's.
  const int ppi = info.density_unit == 1   ? info.X_density
                  : info.density_unit == 2 ? info.X_density * 254 / 100
                                           : 0;
  photo->ppi = ppi * static_cast<int>(info.scale_num) / 8;
  jpeg_finish_decompress(&info);
  if (!TurnUpright(orientation, photo)) return fail(kNoMemoryForPixels);
  jpeg_destroy_decompress(&info);
  std::free(fault.profile);
  return nullptr;
}

bool IsSizeFault(const char* fault) {
  for (const char* size : {kTooManyPixels, kNeedsTooMuchMemory, kTooManyPngPixels, kPastImageLimits,
                           kNoMemoryForPixels})
    if (std::strcmp(fault, size) == 0) return true;
  return false;
}

void ShrinkPhoto(Photo* photo, int factor) {
  if (factor < 2) return;
  const long width = photo->width / factor;
  const long height = photo->height / factor;
  unsigned char* pixels = photo->pixels.get();
  size_t out = 0;
  // Each pixel is written at or before the place it is read from.
  for (long y = 0; y < height; ++y) {
    const size_t row = size_t{3} * (y * factor) * photo->width;
    for (long x = 0; x < width; ++x, out += 3)
      std::memmove(pixels + out, pixels + row + size_t{3} * x * factor, 3);
  }
  photo->width = static_cast<int>(width);
  photo->height = static_cast<int>(height);
}

bool StretchPhoto(Photo* photo, PhotoAxis axis, int numerator, int denominator) {
  const long scaleX = axis == PhotoAxis::kAcross ? numerator : denominator;
  const long scaleY = axis == PhotoAxis::kDown ? numerator : denominator;
  const long width = photo->width * scaleX / denominator;
  const long height = photo->height * scaleY / denominator;
  std::unique_ptr<unsigned char[]> stretched = NewPixels(width, height);
  if (!stretched) return false;
  const unsigned char* from = photo->pixels.get();
  unsigned char* out = stretched.get();
  for (long y = 0; y < height; ++y, out += 3 * width) {
    const unsigned char* row = from + 3 * (y * denominator / scaleY) * photo->width;
    if (axis == PhotoAxis::kDown) {
      // Each line is one of the picture's, whole.
      std::memcpy(out, row, 3 * width);
      continue;
    }
    for (long x = 0; x < width; ++x)
      std::memcpy(out + 3 * x, row + 3 * (x * denominator / scaleX), 3);
  }
  photo->pixels = std::move(stretched);
  photo->width = static_cast<int>(width);
  photo->height = static_cast<int>(height);
  return true;
}

const char* DecodePngPhoto(const char* path, const PhotoLimits& limits, Photo* photo) {
  // libpng's message lives in the image record, which ends here.
  static thread_local char message[sizeof png_image{}.message];
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  auto fail = [&](const char* why) {
    std::snprintf(message, sizeof message, "%s", why);
    png_image_free(&image);
    photo->pixels.reset();
    return message;
  };
  if (!png_image_begin_read_from_file(&image, path)) return fail(image.message);
  image.format = PNG_FORMAT_RGB;
  if (TooManyPixels(image.width, image.height, kMaxPhotoPixels)) return fail(kTooManyPixels);
  if (TooManyPixels(image.width, image.height, kMaxPngPixels)) return fail(kTooManyPngPixels);
  if (!Fits(limits, image.width, image.height)) return fail(kPastImageLimits);
  photo->pixels = NewPixels(image.width, image.height);
  if (!photo->pixels) return fail(kNoMemoryForPixels);
  // Transparent parts print white.
  const png_color white{255, 255, 255};
  if (!png_image_finish_read(&image, &white, photo->pixels.get(), 0, nullptr))
    return fail(image.message);
  photo->width = static_cast<int>(image.width);
  photo->height = static_cast<int>(image.height);
  const std::vector<unsigned char> profile = PngProfile(path);
  SrgbConversion(profile.data(), profile.size())
      .Rows(photo->pixels.get(), photo->width, photo->height);
  return nullptr;
}
