// Talking to an opened printer: chunked writes and INFO queries, framed
// with the command and reply packets of common/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "PrinterBus.h"

namespace zelbackend {

// Sends one write as chunked transfers, as the status daemon sends them.
// Stops early, returning kLinkCancelled, when `cancelled` says so between
// transfers. Returns 0 or the libusb code of the failed transfer.
constexpr int kLinkCancelled = 1;
int WriteChunked(PrinterChannel& channel, const uint8_t* data, size_t length,
                 const std::function<bool()>& cancelled);

// One query with a text answer ("INFO", "SERIAL_NUMBER"): the reply's text
// up to its carriage return. Returns 0, a negative libusb code, or 3 for a
// malformed reply.
int QueryText(PrinterChannel& channel, const char* command, const char* parameter,
              std::string* value);

}  // namespace zelbackend
