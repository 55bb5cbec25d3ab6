#include "PrinterLink.h"

#include <vector>

#include "common/PacketTransfer.h"
#include "common/PhotoPrinterDevice.h"

namespace zelbackend {

int WriteChunked(PrinterChannel& channel, const uint8_t* data, size_t length) {
  return WriteInChunks([&](const unsigned char* chunk, int size,
                           int* done) { return channel.BulkOut(chunk, size, done); },
                       data, static_cast<int>(length));
}

namespace {

// Reads one reply packet: eight digits giving the length, then the text.
int ReadReply(PrinterChannel& channel, DeviceRecv* reply) {
  if (reply->Alloc() != kDeviceOk) return kDeviceNoMemory;
  int received = 0;
  const int rc = ReadReplyPacket(
      [&](unsigned char* data, int size, int* done) { return channel.BulkIn(data, size, done); },
      reply->buffer(), reply->GetBufferLength(), &received);
  if (rc != kDeviceOk) return rc;
  return reply->CheckData();
}

}  // namespace

int QueryText(PrinterChannel& channel, const char* command, const char* parameter,
              std::string* value) {
  value->clear();
  DeviceCmd cmd;
  int rc = cmd.MakeCmd(command, parameter, 0, nullptr);
  if (rc != kDeviceOk) return rc;
  rc = WriteChunked(channel, cmd.buffer(), static_cast<size_t>(cmd.length()));
  if (rc != 0) return rc;
  DeviceRecv reply(DeviceRecv::kVariableLength, nullptr);
  rc = ReadReply(channel, &reply);
  if (rc != kDeviceOk) return rc;
  std::vector<char> text(static_cast<size_t>(reply.GetBufferLength()) + 1, '\0');
  reply.GetEffectiveDataAsString(text.data());
  value->assign(text.data());
  return 0;
}

}  // namespace zelbackend
