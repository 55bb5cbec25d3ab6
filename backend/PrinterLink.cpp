#include "PrinterLink.h"

#include "common/PacketTransfer.h"
#include "common/UsbPrinter.h"

namespace zelbackend {

int WriteChunked(PrinterChannel& channel, const uint8_t* data, size_t length,
                 const std::function<bool()>& cancelled) {
  return _WriteChunked(
      [&](const unsigned char* chunk, int size, int* done) {
        if (cancelled && cancelled()) return kLinkCancelled;
        return channel.BulkOut(chunk, size, done);
      },
      data, static_cast<int>(length));
}

int QueryText(PrinterChannel& channel, const char* command, const char* parameter,
              std::string* value) {
  return _QueryText(
      [&](const unsigned char* data, int size, int* done) {
        return channel.BulkOut(data, size, done);
      },
      [&](unsigned char* data, int size, int* done) { return channel.BulkIn(data, size, done); },
      command, parameter, value);
}

}  // namespace zelbackend
