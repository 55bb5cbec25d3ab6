// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The panel a photo prints as, before it is printed: decoded, placed and
// scaled as a photo job is, through the filter's pipeline into a job stream
// for the loaded stock, and that stream decoded and composed as qv46-stream
// shows a printed panel.
#pragma once

#include <pappl/pappl.h>

#include <functional>
#include <string>

#include "printer-app/PhotoDecoder.h"

// Writes `photo`'s page of `options` line by line, top line first, as
// PAPPL 1.3's image filter (papplJobFilterImage) writes it for one copy:
// scaled to fit, fill or not at all by print-scaling and the picture's
// density, centred, smoothed when `smoothing`. Updates the options' scaling
// and orientation as PAPPL does. False for a page without area.
using PageLineSink = std::function<void(unsigned y, const unsigned char* line)>;
bool RenderPhotoPage(pappl_pr_options_t* options, const Photo& photo, bool smoothing,
                     const PageLineSink& putLine);

// The PNG of the first panel `printer` would print for the JPEG or PNG file
// at `path` at `xResolution` x `yResolution` dpi, on its default media with
// its default settings and the stock it reported last. Null, or the fault.
const char* PreviewPanel(pappl_printer_t* printer, const std::string& path, int xResolution,
                         int yResolution, std::string* png);
