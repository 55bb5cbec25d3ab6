// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "daemon/Queries.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "common/PrinterReplies.h"
#include "daemon/Transport.h"

namespace {

long TextQuery(DaemonContext& ctx, UsbHandle* handle, const PrinterQuery& query, char* value,
               size_t capacity, bool wait) {
  if (value == nullptr || handle == nullptr || capacity == 0) return -1;
  value[0] = '\0';

  DeviceCmd cmd;
  DeviceRecv reply(query.replyLength, nullptr);
  if (cmd.MakeCmd(query.command, query.parameter, -1, nullptr) != kDeviceOk) return -1;
  if (DeviceIO_T(ctx, handle, &cmd, &reply, wait) != kDeviceOk) return -1;

  // The reply may be far longer than the caller's buffer: cut it to fit.
  char whole[kMaxReplyText + 1];
  reply.GetEffectiveDataAsString(whole);
  const size_t length = std::min(std::strlen(whole), capacity - 1);
  std::memcpy(value, whole, length);
  value[length] = '\0';
  return static_cast<long>(length);
}

struct StatusMessage {
  long status;
  int message;
};

constexpr StatusMessage kMessages[] = {
    {0, 1},      {1, 2},      {500, 3},    {900, 5},    {1000, 100},         {1010, 101},
    {1100, 102}, {1200, 103}, {1300, 104}, {1400, 105}, {1500, 106},         {1600, 107},
    {2000, 200}, {2100, 201}, {2200, 202}, {2300, 203}, {2400, 204},         {2500, 205},
    {2600, 206}, {2610, 207}, {2700, 208}, {2800, 209}, {kOfflineStatus, 6},
};
constexpr int kUnlistedMessage = 210;

}  // namespace

long GetStatus(DaemonContext& ctx, UsbHandle* handle) {
  if (handle == nullptr) return kStatusFailed;
  DeviceCmd cmd;
  DeviceRecv reply(kQueryStatus.replyLength, nullptr);
  if (cmd.MakeCmd(kQueryStatus.command, kQueryStatus.parameter, -1, nullptr) != kDeviceOk)
    return kStatusFailed;
  if (DeviceIO(ctx, handle, &cmd, &reply) != kDeviceOk) return kStatusFailed;
  char text[kQueryStatus.replyLength + 1];
  reply.GetEffectiveDataAsString(text);
  int32_t status = 0;
  return StatusFromReply(text, &status) ? status : kStatusFailed;
}

long GetSerialNo(DaemonContext& ctx, UsbHandle* handle, char* value, size_t capacity) {
  return TextQuery(ctx, handle, kQuerySerial, value, capacity, false);
}

long GetMediaSize(DaemonContext& ctx, UsbHandle* handle, char* value, size_t capacity) {
  return TextQuery(ctx, handle, kQueryMedia, value, capacity, false);
}

long GetMediaClass(DaemonContext& ctx, UsbHandle* handle, char* value, size_t capacity) {
  return TextQuery(ctx, handle, kQueryMediaClass, value, capacity, false);
}

long GetMediaInitial(DaemonContext& ctx, UsbHandle* handle, char* value, size_t capacity) {
  return TextQuery(ctx, handle, kQueryMediaInitial, value, capacity, false);
}

long GetMediaRemain(DaemonContext& ctx, UsbHandle* handle, char* value, size_t capacity) {
  return TextQuery(ctx, handle, kQueryMediaRemain, value, capacity, false);
}

long GetMediaRemainHalf(DaemonContext& ctx, UsbHandle* handle, char* value, size_t capacity) {
  return TextQuery(ctx, handle, kQueryMediaRemainHalf, value, capacity, false);
}

long GetFirmVersion(DaemonContext& ctx, UsbHandle* handle, char* value, size_t capacity) {
  return TextQuery(ctx, handle, kQueryFirmware, value, capacity, false);
}

long GetTotalCount(DaemonContext& ctx, UsbHandle* handle, char* value, size_t capacity, bool wait) {
  return TextQuery(ctx, handle, kQueryTotalCount, value, capacity, wait);
}

int GetMessage(long status) {
  for (const StatusMessage& entry : kMessages)
    if (entry.status == status) return entry.message;
  return kUnlistedMessage;
}
