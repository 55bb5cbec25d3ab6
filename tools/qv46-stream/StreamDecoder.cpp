// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "StreamDecoder.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/PhotoPrinterDevice.h"

namespace qv46stream {
namespace {

constexpr size_t kHeaderSize = kCmdHeaderSize;
constexpr size_t kLengthOffset = kCmdLengthOffset;

// Plane packet payload: 14-byte file header, 40-byte information header,
// 1024-byte grey palette, 10 zero bytes, then the pixels.
constexpr size_t kBmpPixelOffset = 1088;
constexpr size_t kBmpInfoOffset = 14;
constexpr size_t kBmpInfoSize = 40;
constexpr size_t kBmpPaletteOffset = 54;
constexpr size_t kBmpPaddingOffset = kBmpPaletteOffset + 1024;

uint32_t ReadLE4(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t ReadLE2(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// printf into a string; the attribute lets -Wformat check every call.
__attribute__((format(printf, 1, 2))) std::string Format(const char* format, ...) {
  char text[160];
  va_list arguments;
  va_start(arguments, format);
  vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  return text;
}

// A padded name field: printable, non-blank characters, then only spaces.
// Returns false for an embedded blank or a control character.
bool ReadNameField(const uint8_t* field, size_t size, std::string* name) {
  size_t length = 0;
  while (length < size && field[length] != ' ') {
    if (field[length] < 0x21 || field[length] > 0x7E) return false;
    ++length;
  }
  for (size_t i = length; i < size; ++i) {
    if (field[i] != ' ') return false;
  }
  name->assign(reinterpret_cast<const char*>(field), length);
  return true;
}

bool IsPlaneName(const std::string& parameter) {
  return parameter == "YPLANE" || parameter == "MPLANE" || parameter == "CPLANE";
}

// Checks a plane packet's BMP file; on success fills `plane`. `base` is the
// payload's offset in the stream, for messages.
bool ReadPlaneBmp(const uint8_t* bmp, size_t size, size_t base, Plane* plane, size_t* errorOffset,
                  std::string* error) {
  auto fail = [&](size_t at, const std::string& what) {
    *errorOffset = base + at;
    *error = what;
    return false;
  };
  if (size < kBmpPixelOffset) {
    return fail(
        0, Format("plane payload of %zu bytes is shorter than the 1088-byte BMP header", size));
  }
  if (bmp[0] != 'B' || bmp[1] != 'M') return fail(0, "BMP signature is not \"BM\"");
  if (ReadLE4(bmp + 2) != size) {
    return fail(
        2, Format("BMP file size %u differs from the payload length %zu", ReadLE4(bmp + 2), size));
  }
  if (ReadLE4(bmp + 6) != 0) return fail(6, "BMP reserved field is not 0");
  if (ReadLE4(bmp + 10) != kBmpPixelOffset) {
    return fail(10, Format("BMP pixel offset is %u, expected 1088", ReadLE4(bmp + 10)));
  }
  const uint8_t* info = bmp + kBmpInfoOffset;
  if (ReadLE4(info) != kBmpInfoSize) {
    return fail(14, Format("BMP information header size is %u, expected 40", ReadLE4(info)));
  }
  const int32_t width = int32_t(ReadLE4(info + 4));
  const int32_t height = int32_t(ReadLE4(info + 8));
  if (width <= 0) return fail(18, Format("BMP width %d is not positive", width));
  if (height <= 0) {
    return fail(22, Format("BMP height %d is not positive (rows must be bottom-up)", height));
  }
  if (ReadLE2(info + 12) != 1) return fail(26, "BMP plane count is not 1");
  if (ReadLE2(info + 14) != 8)
    return fail(28, Format("BMP depth is %d bits, expected 8", ReadLE2(info + 14)));
  if (ReadLE4(info + 16) != 0) return fail(30, "BMP is compressed");
  const uint64_t stride = (uint64_t(width) + 3) & ~uint64_t(3);
  const uint64_t imageSize = stride * uint64_t(height);
  if (ReadLE4(info + 20) != imageSize) {
    return fail(34, Format("BMP image size %u differs from stride x height %" PRIu64,
                           ReadLE4(info + 20), imageSize));
  }
  if (ReadLE4(info + 32) != 256 || ReadLE4(info + 36) != 256) {
    return fail(46, "BMP colour counts are not 256");
  }
  for (size_t v = 0; v < 256; ++v) {
    const uint8_t* entry = bmp + kBmpPaletteOffset + 4 * v;
    if (entry[0] != v || entry[1] != v || entry[2] != v || entry[3] != 0) {
      return fail(kBmpPaletteOffset + 4 * v, Format("BMP palette entry %zu is not grey", v));
    }
  }
  for (size_t i = kBmpPaddingOffset; i < kBmpPixelOffset; ++i) {
    if (bmp[i] != 0) return fail(i, "BMP padding after the palette is not zero");
  }
  if (size - kBmpPixelOffset != imageSize) {
    return fail(0, Format("BMP holds %zu pixel bytes, expected %" PRIu64, size - kBmpPixelOffset,
                          imageSize));
  }
  plane->width = width;
  plane->height = height;
  plane->stride = int(stride);
  plane->xPixelsPerMetre = int32_t(ReadLE4(info + 24));
  plane->yPixelsPerMetre = int32_t(ReadLE4(info + 28));
  plane->rows = bmp + kBmpPixelOffset;
  plane->bmpFile = bmp;
  plane->bmpSize = size;
  return true;
}

}  // namespace

DecodeResult DecodeStream(const uint8_t* data, size_t size) {
  DecodeResult result;
  auto fail = [&](size_t at, const std::string& what) {
    result.ok = false;
    result.errorOffset = at;
    result.error = what;
    return result;
  };
  size_t at = 0;
  while (at < size) {
    if (size - at < kHeaderSize) {
      return fail(at, Format("truncated packet header: %zu of 32 bytes", size - at));
    }
    const uint8_t* header = data + at;
    if (!IsCmdHeader(header)) return fail(at, "packet does not start with ESC 'P'");
    Packet packet;
    packet.offset = at;
    if (!ReadNameField(header + kCmdWordOffset, kCmdWordSize, &packet.command) ||
        packet.command.empty()) {
      return fail(at + kCmdWordOffset, "malformed command word");
    }
    if (!ReadNameField(header + kCmdParameterOffset, kCmdParameterSize, &packet.parameter)) {
      return fail(at + kCmdParameterOffset, "malformed parameter word");
    }
    long lengthValue = 0;
    const int lengthField = ReadCmdLength(header, &lengthValue);
    if (lengthField < 0) {
      return fail(at + kLengthOffset, "length field is neither eight digits nor eight spaces");
    }
    if (lengthField > 0) {
      const size_t length = static_cast<size_t>(lengthValue);
      if (length == 0) return fail(at + kLengthOffset, "length field announces an empty payload");
      if (packet.parameter.empty())
        return fail(at + kLengthOffset, "payload without a parameter word");
      if (length > size - at - kHeaderSize) {
        return fail(at + kLengthOffset,
                    Format("payload of %zu bytes runs past the end of the stream (%zu left)",
                           length, size - at - kHeaderSize));
      }
      packet.hasPayload = true;
      packet.payloadLength = length;
      packet.payload = header + kHeaderSize;
    }
    if (packet.command == "IMAGE" && IsPlaneName(packet.parameter)) {
      packet.isPlane = true;
      size_t errorOffset = 0;
      std::string error;
      if (!packet.hasPayload) return fail(at, "plane packet without payload");
      if (!ReadPlaneBmp(packet.payload, packet.payloadLength, at + kHeaderSize, &packet.plane,
                        &errorOffset, &error)) {
        return fail(errorOffset, error);
      }
    }
    at += kHeaderSize + packet.payloadLength;
    result.packets.push_back(packet);
  }
  return result;
}

bool CollectPanels(const std::vector<Packet>& packets, std::vector<Panel>* panels,
                   std::string* error) {
  const Plane* pending[3] = {nullptr, nullptr, nullptr};  // Y, M, C
  for (const Packet& packet : packets) {
    if (packet.command == "IMAGE" && packet.parameter == "MULTICUT") {
      pending[0] = pending[1] = pending[2] = nullptr;
    } else if (packet.isPlane) {
      const int index = packet.parameter[0] == 'Y' ? 0 : packet.parameter[0] == 'M' ? 1 : 2;
      pending[index] = &packet.plane;
    } else if (packet.command == "CNTRL" && packet.parameter == "START") {
      if (!pending[0] || !pending[1] || !pending[2]) {
        *error = Format("offset %zu: START without all three planes", packet.offset);
        return false;
      }
      for (const Plane* plane : {pending[1], pending[2]}) {
        if (plane->width != pending[0]->width || plane->height != pending[0]->height) {
          *error = Format("offset %zu: START follows planes of different sizes", packet.offset);
          return false;
        }
      }
      panels->push_back(Panel{packet.offset, *pending[0], *pending[1], *pending[2]});
      pending[0] = pending[1] = pending[2] = nullptr;
    }
  }
  return true;
}

RgbImage ComposePreview(const Panel& panel) {
  int rowsPerPixel = 1;
  const int across = panel.y.xPixelsPerMetre;
  const int along = panel.y.yPixelsPerMetre;
  if (across > 0 && along > across && along % across == 0) rowsPerPixel = along / across;

  RgbImage image;
  image.width = panel.y.width;
  image.height = panel.y.height / rowsPerPixel;
  image.pixels.resize(size_t(image.width) * 3 * image.height);
  const Plane* sources[3] = {&panel.c, &panel.m, &panel.y};  // red, green, blue
  for (int row = 0; row < image.height; ++row) {
    // Plane row 0 is the bottom of the print; image row 0 is its top.
    const int firstPlaneRow = panel.y.height - (row + 1) * rowsPerPixel;
    uint8_t* out = &image.pixels[size_t(row) * image.width * 3];
    for (int x = 0; x < image.width; ++x) {
      for (int channel = 0; channel < 3; ++channel) {
        const Plane& plane = *sources[channel];
        unsigned sum = 0;
        for (int k = 0; k < rowsPerPixel; ++k) {
          sum += plane.rows[size_t(firstPlaneRow + k) * plane.stride + x];
        }
        out[3 * x + channel] = uint8_t((sum + rowsPerPixel / 2) / rowsPerPixel);
      }
    }
  }
  return image;
}

std::string DescribePacket(const Packet& packet) {
  char head[96];
  snprintf(head, sizeof head, "%10zu  %-6s %-16s ", packet.offset, packet.command.c_str(),
           packet.parameter.c_str());
  std::string line = head;
  line += packet.hasPayload ? Format("%8zu", packet.payloadLength) : std::string("       -");
  if (packet.isPlane) {
    line += Format("  %dx%d", packet.plane.width, packet.plane.height);
    line += Format("  %dx%d px/m", packet.plane.xPixelsPerMetre, packet.plane.yPixelsPerMetre);
  } else if (packet.hasPayload) {
    // Control payloads are a few characters; anything long is cut short.
    constexpr size_t kShownBytes = 64;
    line += "  \"";
    for (size_t i = 0; i < packet.payloadLength && i < kShownBytes; ++i) {
      const uint8_t c = packet.payload[i];
      if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
        line += char(c);
      } else {
        line += Format("\\x%02x", c);
      }
    }
    line += '"';
    if (packet.payloadLength > kShownBytes) line += "...";
  }
  return line;
}

}  // namespace qv46stream
