// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The printer's icons, the status monitor's art at 48, 128 and 256 pixels
// (PNG files compiled in by embed-icons.cmake).
#pragma once

#include <cstddef>

struct PrinterIcon {
  const unsigned char* data;
  size_t size;
};

extern const PrinterIcon kPrinterIcons[3];
