// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Identify-Printer: the QV-46 has no light or sound, so the request is
// displayed where the printer is watched: its message goes to the log and
// printer-state-reasons says identify-printer-requested for a minute.
#pragma once

#include <pappl/pappl.h>

constexpr pappl_identify_actions_t kIdentifyActions = PAPPL_IDENTIFY_ACTIONS_DISPLAY;

void IdentifyPrinter(pappl_printer_t* printer, pappl_identify_actions_t actions,
                     const char* message);
