// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The bytes that identify a simulated QV-46 on USB: sysfs record, device and
// configuration descriptors, string descriptors and the IEEE 1284 device ID.
#pragma once

#include <cstdint>
#include <string>

#include "common/Qv46Usb.h"

namespace qv46sim {

enum StringIndex : uint8_t { kManufacturerIndex = 1, kProductIndex = 2, kSerialIndex = 3 };

// Device descriptor followed by the configuration (one printer-class
// interface with bulk OUT 0x01 and bulk IN 0x82), as sysfs "descriptors" holds them.
std::string DeviceDescriptors();

// String descriptor 0 (US English only).
std::string LanguageDescriptor();
// A string descriptor holding text as UTF-16LE, cut to the 126 characters a
// descriptor can carry.
std::string StringDescriptor(const std::string& text);

// Answer to the class request GET_DEVICE_ID: two length bytes, big-endian
// and counting themselves, then the text.
std::string DeviceIdAnswer(const std::string& text);
std::string DefaultDeviceId();

struct UsbAddress {
  int bus;
  int device;
};

// umockdev's textual device record for a printer at this address.
std::string SysfsRecord(const UsbAddress& address);
std::string SysfsPath(const UsbAddress& address);
std::string DevNode(const UsbAddress& address);

}  // namespace qv46sim
