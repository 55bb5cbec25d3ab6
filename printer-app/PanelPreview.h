// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The panel a photo prints as, before it is printed: decoded, placed and
// scaled as a photo job is, through the filter's pipeline into a job stream
// for the loaded stock, and that stream decoded and composed as qv46-stream
// shows a printed panel.
#pragma once

#include <pappl/pappl.h>

#include <string>

// The PNG of the first panel `printer` would print for the JPEG or PNG file
// at `path` at `xResolution` x `yResolution` dpi, on its default media with
// its default settings and the stock it reported last. Null, or the fault.
const char* PreviewPanel(pappl_printer_t* printer, const std::string& path, int xResolution,
                         int yResolution, std::string* png);
