// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// How much of the machine one document may take: checked before the memory
// or time is spent, so that no job lifts the app's peak memory above 300 MB
// and a hostile file cannot stall the queue. A 48-megapixel photo from a
// phone or camera stays well inside each bound.
#pragma once

#include <cstddef>

// A photo (JPEG or PNG) of more pixels is refused from its header.
constexpr long long kMaxPhotoPixels = 100'000'000;
// libjpeg's working memory (a progressive JPEG keeps all its coefficients:
// two bytes a sample, 144 MB for 48 megapixels at 4:2:0).
constexpr long kJpegMemoryBytes = 192L * 1024 * 1024;
// A PNG is decoded whole: 64 megapixels are 192 MB of RGB.
constexpr long long kMaxPngPixels = 64'000'000;
// Ghostscript renders at most this many pages of a PDF, in this many
// seconds, into at most this much raster.
constexpr int kMaxPdfPages = 50;
constexpr int kPdfSeconds = 120;
constexpr long long kMaxPdfRasterBytes = 2LL * 1024 * 1024 * 1024;
