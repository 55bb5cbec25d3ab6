// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The printer's icons, the status monitor's art at 48, 128 and 256 pixels,
// and the monitor's state pictures (PNG files compiled in by
// embed-icons.cmake).
#pragma once

#include <pappl/pappl.h>

#include <cstddef>

struct PrinterIcon {
  const unsigned char* data;
  size_t size;
};

extern const PrinterIcon kPrinterIcons[3];

struct StatePicture {
  const char* name;  // the monitor's file name without extension: "PrtStsPaperEnd"
  PrinterIcon png;
};

extern const StatePicture kStatePictures[12];

// The web pages' own icons (browser tab and navigation bar) from the same
// art; added before the system runs, they take the place of PAPPL's.
void AddSystemIcons(pappl_system_t* system);
