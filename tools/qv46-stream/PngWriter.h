// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Writes 8-bit RGB images as PNG files with libpng.
#pragma once

#include <string>

#include "StreamDecoder.h"

namespace qv46stream {

// Returns false with `error` set when the file cannot be written.
bool WritePng(const std::string& path, const RgbImage& image, std::string* error);

}  // namespace qv46stream
