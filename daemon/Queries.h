// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The printer queries: one command packet, one reply, one value each.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/TmpFiles.h"
#include "daemon/DaemonContext.h"

// GetStatus's answer when the printer could not be asked: one past every
// status a reply can give (they are 32-bit values), whatever the size of long.
constexpr int64_t kStatusFailed = int64_t{1} << 31;
constexpr long kStatusPrinting = 1;
constexpr long kStatusPowerSaving = 900;
// Longest value a variable-length reply can carry.
constexpr size_t kMaxReplyText = 4088;

int64_t GetStatus(DaemonContext& ctx, UsbHandle* handle);

// Text queries: write the value into `value` (cut to `capacity` - 1
// characters) and return its length, or -1 when the query failed.
long GetSerialNo(DaemonContext& ctx, UsbHandle* handle, char* value, size_t capacity);
long GetMediaSize(DaemonContext& ctx, UsbHandle* handle, char* value, size_t capacity);
long GetMediaClass(DaemonContext& ctx, UsbHandle* handle, char* value, size_t capacity);
long GetMediaInitial(DaemonContext& ctx, UsbHandle* handle, char* value, size_t capacity);
long GetMediaRemain(DaemonContext& ctx, UsbHandle* handle, char* value, size_t capacity);
long GetMediaRemainHalf(DaemonContext& ctx, UsbHandle* handle, char* value, size_t capacity);
long GetFirmVersion(DaemonContext& ctx, UsbHandle* handle, char* value, size_t capacity);
// With `wait` the reply is read 10 s after the command (the printer needs it
// when waking from power saving).
long GetTotalCount(DaemonContext& ctx, UsbHandle* handle, char* value, size_t capacity, bool wait);

// Message code the monitor shows for a status code.
int GetMessage(int64_t status);
