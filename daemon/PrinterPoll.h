// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// One poll of a printer: learn its serial and model, register its queue and
// rewrite its status file. The device is open, interface 0 claimed and the
// USB lock held.
#pragma once

#include <string>

#include "daemon/DaemonContext.h"
#include "daemon/PrinterRecord.h"

void getPrinterInfo(DaemonContext& ctx, thdata* record);

// MANUFACTURER and MODEL values of an IEEE 1284 device ID.
void ParseDeviceId(const char* deviceId, std::string* manufacturer, std::string* model);
