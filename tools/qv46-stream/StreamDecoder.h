// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Decoder for the command stream that rastertoqv46 writes.
//
// The stream is a sequence of command packets: ESC 'P', a 6-byte command
// word, a 16-byte parameter word, an 8-digit payload length (or eight spaces),
// then the payload. Plane packets (IMAGE YPLANE / MPLANE / CPLANE) carry an
// 8-bit greyscale BMP file. Every frame and BMP header is validated; the
// first fault ends decoding with a message that names its byte offset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qv46stream {

// One 8-bit plane from a plane packet's BMP, rows bottom row first.
struct Plane {
  int width = 0;
  int height = 0;
  int stride = 0;                    // bytes per row, a multiple of 4
  int xPixelsPerMetre = 0;           // across the head
  int yPixelsPerMetre = 0;           // along the paper
  const uint8_t* rows = nullptr;     // points into the decoded stream
  const uint8_t* bmpFile = nullptr;  // the whole BMP file (the payload)
  size_t bmpSize = 0;
};

struct Packet {
  size_t offset = 0;      // of the packet's first byte in the stream
  std::string command;    // without padding
  std::string parameter;  // without padding; may be empty
  bool hasPayload = false;
  size_t payloadLength = 0;
  const uint8_t* payload = nullptr;  // points into the decoded stream
  bool isPlane = false;              // IMAGE YPLANE / MPLANE / CPLANE
  Plane plane;                       // valid when isPlane
};

struct DecodeResult {
  std::vector<Packet> packets;  // every packet decoded before any fault
  bool ok = true;
  size_t errorOffset = 0;
  std::string error;  // empty when ok
};

// Decodes `size` bytes. Packets reference the bytes, which must outlive them.
DecodeResult DecodeStream(const uint8_t* data, size_t size);

// One printed panel: the Y, M and C planes sent before a CNTRL START.
struct Panel {
  size_t startOffset = 0;  // offset of the START packet
  Plane y, m, c;
};

// Groups the decoded packets into panels. A START must follow all three
// planes, of equal size; an IMAGE MULTICUT begins a new panel. On a fault
// returns false with `error` naming the offending packet's offset.
bool CollectPanels(const std::vector<Packet>& packets, std::vector<Panel>* panels,
                   std::string* error);

// Composes a panel into 8-bit RGB rows, top row first, the way the print
// looks: red from the C plane, green from M, blue from Y. When the panel's
// resolution along the paper is an integer multiple of the resolution across
// it, that many rows are averaged into one, so the preview has square pixels.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // width * 3 bytes per row
};
RgbImage ComposePreview(const Panel& panel);

// One listing line: offset, command, parameter, payload length, and the
// payload text (control and media-size packets) or width x height (planes).
std::string DescribePacket(const Packet& packet);

}  // namespace qv46stream
