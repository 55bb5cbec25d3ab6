// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Writes 8-bit RGB images as PNG files with libpng.
#pragma once

#include <cstdio>
#include <string>

#include "StreamDecoder.h"

namespace qv46stream {

// Returns false with `error` set when the file cannot be written.
bool WritePng(const std::string& path, const RgbImage& image, std::string* error);
// The same into an open stream; false when it could not be written.
bool WritePng(FILE* file, const RgbImage& image);

}  // namespace qv46stream
