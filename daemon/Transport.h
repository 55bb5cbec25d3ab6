// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Command and reply transfers with the printer on interface 0. The caller has
// opened the device, claimed the interface and holds the USB lock.
#pragma once

#include "common/PhotoPrinterDevice.h"
#include "daemon/DaemonContext.h"

constexpr unsigned kReplyWaitMs = 10000;

// IEEE 1284 device ID as a string in `buffer`: 0, or -1 with an empty string.
int get_device_id(DaemonContext& ctx, UsbHandle* handle, char* buffer, unsigned long size);

// Sends `length` bytes in chunks; 0, 3 for bad arguments, or the USB error.
int deviceWrite(DaemonContext& ctx, UsbHandle* handle, const void* bytes, int length);
int deviceWrite(DaemonContext& ctx, UsbHandle* handle, const DeviceCmd* command);

// Reads one reply packet (8-digit length, then data); 0, 3 for a bad header,
// or the USB error. `received` counts the header and the data bytes.
int deviceRead(DaemonContext& ctx, UsbHandle* handle, void* buffer, int capacity, int* received);
int deviceRead(DaemonContext& ctx, UsbHandle* handle, DeviceRecv* reply);

// One command, one checked reply; DeviceIO_T can pause 10 s in between.
int DeviceIO(DaemonContext& ctx, UsbHandle* handle, const DeviceCmd* command, DeviceRecv* reply);
int DeviceIO_T(DaemonContext& ctx, UsbHandle* handle, const DeviceCmd* command, DeviceRecv* reply,
               bool wait);

// Single bulk transfers with the 10 s timeout.
int USB_Write(DaemonContext& ctx, UsbHandle* handle, const void* bytes, int length,
              int* transferred);
int USB_Read(DaemonContext& ctx, UsbHandle* handle, void* buffer, int length, int* transferred);
