// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Splits the bytes a printer receives on bulk OUT back into command packets.
// Transfers cut the stream anywhere, so the parser keeps its place between
// feed() calls.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "qv46sim.h"

namespace qv46sim {

class PacketStream {
 public:
  using Sink = std::function<void(const ReceivedCommand&)>;

  // Calls sink once for every packet completed by these bytes. Bytes that
  // cannot start a packet (anything but ESC 'P') are skipped.
  void Feed(const unsigned char* data, std::size_t length, const Sink& sink);
  // True while a packet is only partly received.
  bool InPacket() const { return inPayload_ || !header_.empty(); }
  // Drops the packet partly received.
  void Reset() {
    header_.clear();
    inPayload_ = false;
    payloadLeft_ = 0;
  }

 private:
  void ParseHeader();

  std::string header_;
  ReceivedCommand current_;
  std::size_t payloadLeft_ = 0;
  bool inPayload_ = false;
};

}  // namespace qv46sim
