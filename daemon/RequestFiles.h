// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// What the files in the shared directory ask of a printer's thread: the
// monitor's watch file and count request, and the backend's pause marker.
#pragma once

#include <string>
#include <vector>

#include "daemon/DaemonContext.h"
#include "daemon/PrinterRecord.h"

constexpr int kRequestNone = 0;
constexpr int kRequestWatch = 1;
constexpr int kRequestWatchAndCount = 3;

// Looks for the request files of the record's serial, deletes a count
// request, and updates the record's watch and printing flags. Returns 0, 1 or 3.
int fileCheck(const DaemonContext& ctx, thdata* record);

// The same on directory entry names in the order the directory lists them.
int CheckRequestNames(const DaemonContext& ctx, thdata* record,
                      const std::vector<std::string>& names);
