// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printer-app/Icons.h"

void AddSystemIcons(pappl_system_t* system) {
  papplSystemAddResourceData(system, "/favicon.png", "image/png", kPrinterIcons[1].data,
                             kPrinterIcons[1].size);
  papplSystemAddResourceData(system, "/navicon.png", "image/png", kPrinterIcons[0].data,
                             kPrinterIcons[0].size);
}
