// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "daemon/Transport.h"

#include "common/PacketTransfer.h"
#include "common/Qv46Usb.h"

namespace {

int Refused(char* buffer) {
  buffer[0] = '\0';
  return -1;
}

}  // namespace

int get_device_id(DaemonContext& ctx, UsbHandle* handle, char* buffer, unsigned long size) {
  if (buffer == nullptr || size == 0) return -1;
  const uint16_t requestLength = static_cast<uint16_t>(size);
  const int got = ctx.usb.ControlIn(handle, kQv46DeviceIdRequestType, 0, 0, 0,
                                    reinterpret_cast<unsigned char*>(buffer), requestLength,
                                    kQv46DeviceIdTimeoutMs);
  if (got < 0) return Refused(buffer);
  return DeviceIdFromReply(buffer, size);
}

int USB_Write(DaemonContext& ctx, UsbHandle* handle, const void* bytes, int length,
              int* transferred) {
  return ctx.usb.BulkOut(handle, kQv46BulkOut, static_cast<const unsigned char*>(bytes), length,
                         transferred, kQv46BulkTimeoutMs);
}

int USB_Read(DaemonContext& ctx, UsbHandle* handle, void* buffer, int length, int* transferred) {
  return ctx.usb.BulkIn(handle, kQv46BulkIn, static_cast<unsigned char*>(buffer), length,
                        transferred, kQv46BulkTimeoutMs);
}

int deviceWrite(DaemonContext& ctx, UsbHandle* handle, const void* bytes, int length) {
  if (handle == nullptr || bytes == nullptr || length <= 0) return kDeviceBadArgument;
  return WriteInChunks([&](const unsigned char* data, int size,
                           int* done) { return USB_Write(ctx, handle, data, size, done); },
                       static_cast<const unsigned char*>(bytes), length);
}

int deviceWrite(DaemonContext& ctx, UsbHandle* handle, const DeviceCmd* command) {
  if (command == nullptr) return kDeviceBadArgument;
  return deviceWrite(ctx, handle, command->buffer(), command->length());
}

int deviceRead(DaemonContext& ctx, UsbHandle* handle, void* buffer, int capacity, int* received) {
  if (received != nullptr) *received = 0;
  if (handle == nullptr || buffer == nullptr || received == nullptr) return kDeviceBadArgument;
  return ReadReplyPacket([&](unsigned char* data, int size,
                             int* done) { return USB_Read(ctx, handle, data, size, done); },
                         static_cast<char*>(buffer), capacity, received);
}

int deviceRead(DaemonContext& ctx, UsbHandle* handle, DeviceRecv* reply) {
  if (reply == nullptr) return kDeviceBadArgument;
  reply->Free();
  const int allocated = reply->Alloc();
  if (allocated != kDeviceOk) return allocated;
  int received = 0;
  return deviceRead(ctx, handle, reply->buffer(), reply->GetBufferLength(), &received);
}

int DeviceIO_T(DaemonContext& ctx, UsbHandle* handle, const DeviceCmd* command, DeviceRecv* reply,
               bool wait) {
  if (handle == nullptr || reply == nullptr) return kDeviceBadArgument;
  int result = deviceWrite(ctx, handle, command);
  if (result != kDeviceOk) return result;
  if (wait) ctx.sleeper.SleepMs(kReplyWaitMs);
  result = deviceRead(ctx, handle, reply);
  if (result != kDeviceOk) return result;
  return reply->CheckData();
}

int DeviceIO(DaemonContext& ctx, UsbHandle* handle, const DeviceCmd* command, DeviceRecv* reply) {
  return DeviceIO_T(ctx, handle, command, reply, false);
}
