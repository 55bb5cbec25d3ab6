// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The QV-46 on USB: its identity, the interface and endpoints the command
// and reply packets use, and the timeouts. Header only: the daemon behind its
// own USB seam, common/UsbPrinter and the simulated printer share it.
#pragma once

#include <cstdint>

constexpr uint16_t kQv46VendorId = 0x5E1D;
constexpr uint16_t kQv46ProductId = 0x000A;

constexpr int kQv46Interface = 0;
constexpr unsigned char kQv46BulkOut = 0x01;  // command packets
constexpr unsigned char kQv46BulkIn = 0x82;   // reply packets
constexpr unsigned kQv46BulkTimeoutMs = 10000;

// IEEE 1284 GET_DEVICE_ID: class request, interface recipient, device to host.
constexpr uint8_t kQv46DeviceIdRequestType = 0xA1;
constexpr unsigned kQv46DeviceIdTimeoutMs = 5000;
