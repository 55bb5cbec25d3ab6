// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Talking to an opened printer: chunked writes and INFO queries, framed
// with the command and reply packets of common/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "PrinterBus.h"
#include "common/PacketTransfer.h"
#include "common/PrinterReplies.h"

namespace zelbackend {

// Sends one write of `length` bytes, taken from `source` as they go, as
// chunked transfers, as the status daemon sends them. It is never cut short
// on purpose: half a command would make the printer take the next bytes as
// the rest of it. Returns 0, the libusb code of the failed transfer, or the
// source's code.
int WriteChunked(PrinterChannel& channel, const ChunkSource& source, size_t length);

// One query (kQuerySerial, ...): the reply's text up to its carriage return,
// without control characters and double quotes (ready for files and CUPS
// messages). Returns 0, a negative libusb code, or 3 for a malformed reply.
int QueryText(PrinterChannel& channel, const PrinterQuery& query, std::string* value);

}  // namespace zelbackend
