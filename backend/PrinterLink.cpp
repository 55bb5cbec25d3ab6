// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "PrinterLink.h"

#include "common/UsbPrinter.h"

namespace zelbackend {

int WriteChunked(PrinterChannel& channel, const ChunkSource& source, size_t length) {
  return WriteInChunksFrom([&](const unsigned char* chunk, int size,
                               int* done) { return channel.BulkOut(chunk, size, done); },
                           source, static_cast<int>(length));
}

int QueryText(PrinterChannel& channel, const PrinterQuery& query, std::string* value) {
  return QueryPrinterText(
      [&](const unsigned char* data, int size, int* done) {
        return channel.BulkOut(data, size, done);
      },
      [&](unsigned char* data, int size, int* done) { return channel.BulkIn(data, size, done); },
      query, value);
}

}  // namespace zelbackend
