// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The command-stream decoder of qv46-stream: packet framing, plane BMPs,
// panels and their previews.
//
// Input: a command stream as the filter writes it.
#include <cstdlib>
#include <string>
#include <vector>

#include "StreamDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const qv46stream::DecodeResult result = qv46stream::DecodeStream(data, size);
  if (!result.ok && result.error.empty()) std::abort();
  for (const qv46stream::Packet& packet : result.packets) {
    if (packet.offset >= size || packet.payloadLength > size - packet.offset) std::abort();
    qv46stream::DescribePacket(packet);
  }
  std::vector<qv46stream::Panel> panels;
  std::string error;
  if (!qv46stream::CollectPanels(result.packets, &panels, &error)) return 0;
  for (const qv46stream::Panel& panel : panels) {
    const qv46stream::RgbImage preview = qv46stream::ComposePreview(panel);
    if (preview.pixels.size() != size_t(preview.width) * preview.height * 3) std::abort();
  }
  return 0;
}
