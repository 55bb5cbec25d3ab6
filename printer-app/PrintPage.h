// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// "Print a photo": a page of each printer where anyone who may print
// chooses a JPEG or PNG photo, sees the panel it prints as, chooses copies
// and the look, and prints it as a job like any IPP job, then follows it on
// a page that refreshes itself.
#pragma once

#include <pappl/pappl.h>

#include <cstdint>
#include <string>

// The largest upload taken, the whole form; a phone's photo is a few MB.
constexpr uint64_t kMaxPhotoUploadBytes = uint64_t{50} << 20;

// Adds the page, its preview and job views, and a link on the printer's
// page. Uploads wait in `spoolDirectory` until they are printed.
void AddPrintPage(pappl_printer_t* printer, const std::string& spoolDirectory);
