// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// A browser's multipart/form-data upload read in pieces as it arrives: the
// small fields kept as text, the one file written straight to a file, the
// whole body bounded before anything is kept. PAPPL's own form reader
// keeps the body in memory and silently stops at 2 MB, less than a phone's
// photo (listed in PapplFaults.h).
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

struct FormUpload {
  std::map<std::string, std::string> fields;
  std::string fileField;  // the name of the file's field; empty when none came
  std::string fileName;   // as the browser named the file
  uint64_t fileBytes = 0;
};

enum class UploadResult { kOk, kTooLarge, kMalformed, kReadError, kWriteError };

// Reads up to `size` bytes into `buffer`: the count, 0 at the end of the
// body, negative on an error.
using BodyReader = std::function<ssize_t(char* buffer, size_t size)>;

// The boundary of a "multipart/form-data; boundary=..." content type; false
// for any other type.
bool MultipartBoundary(const char* contentType, std::string* boundary);

// Reads a whole multipart body of at most `maxBytes`, the file part's bytes
// into `fileFd`. A body that goes on past the bound ends the reading with
// kTooLarge; a second file, a field beyond the few a form has or a body
// without its closing boundary is kMalformed.
UploadResult ReadMultipart(const std::string& boundary, const BodyReader& read, uint64_t maxBytes,
                           int fileFd, FormUpload* upload);
