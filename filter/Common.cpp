// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "filter/Common.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/PhotoPrinterDevice.h"
#include "common/TmpFiles.h"

namespace {

constexpr int kLineSize = 256;  // each read takes at most 255 characters

// Removes every occurrence of `c` from `text`.
void EraseChar(char* text, char c) {
  char* out = text;
  for (const char* in = text; *in != '\0'; ++in) {
    if (*in != c) *out++ = *in;
  }
  *out = '\0';
}

}  // namespace

const char* _GetCupsValue(const char* keyword, int numOptions, cups_option_s* options,
                          ppdfile_s* ppd) {
  if (keyword == nullptr) return nullptr;
  const char* value = cupsGetOption(keyword, numOptions, options);
  if (value == nullptr && std::strcmp(keyword, "PageSize") == 0) {
    value = cupsGetOption("media", numOptions, options);
  }
  if (value == nullptr) value = wrappedPpdFindDefChoice(ppd, keyword);
  return value;
}

ppdfile_s* wrappedPpdOpenFile(const char* path) {
  if (path == nullptr) return nullptr;
  auto* ppd = static_cast<ppdfile_s*>(std::calloc(1, sizeof(ppdfile_s)));
  if (ppd == nullptr) return nullptr;
  ppd->file = std::fopen(path, "r");
  return ppd;
}

const char* wrappedPpdFindDefChoice(ppdfile_s* ppd, const char* keyword) {
  if (ppd == nullptr || keyword == nullptr || ppd->file == nullptr) return nullptr;
  std::rewind(ppd->file);

  char prefix[kLineSize];
  const int prefixLength = std::snprintf(prefix, sizeof prefix, "*Default%s: ", keyword);
  // A keyword this long cannot start a line we would read whole.
  if (prefixLength < 0 || prefixLength >= kLineSize) return nullptr;

  char line[kLineSize];
  bool atLineStart = true;
  while (std::fgets(line, sizeof line, ppd->file) != nullptr) {
    const bool startsLine = atLineStart;
    atLineStart = std::strchr(line, '\n') != nullptr;
    if (!startsLine || std::strncmp(line, prefix, static_cast<size_t>(prefixLength)) != 0) {
      continue;
    }
    // The choice is the first blank-delimited word after the prefix.
    if (std::sscanf(line + prefixLength, "%255s", ppd->value) != 1) return nullptr;
    return ppd->value;
  }
  return nullptr;
}

void wrappedPpdClose(ppdfile_s* ppd) {
  if (ppd == nullptr) return;
  if (ppd->file != nullptr) std::fclose(ppd->file);
  std::free(ppd);
}

namespace {

bool JobFilePath(const char* jobId, const char* suffix, char* path, size_t size) {
  const int length = std::snprintf(path, size, "%s/%s%s%s", kTmpDir, kJobInfoPrefix, jobId, suffix);
  return length >= 0 && static_cast<size_t>(length) < size;
}

}  // namespace

bool PrInfoFilePath(const char* jobId, char* path, size_t size) {
  return JobFilePath(jobId, kJobInfoSuffix, path, size);
}

bool BackendWaitFilePath(const char* jobId, char* path, size_t size) {
  return JobFilePath(jobId, kBackendWaitSuffix, path, size);
}

FILE* OpenTrustedTmpFile(const char* path) {
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat info;
  FILE* file = nullptr;
  // Checked on what was opened: the name may change hands meanwhile.
  if (fstat(fd, &info) == 0 && IsPublishedFile(info, geteuid())) file = fdopen(fd, "r");
  if (file == nullptr) close(fd);
  return file;
}

unsigned long PageStride(unsigned long width) { return ((width * 24 + 31) / 32) * 4; }

int _GetValuePrInfoFile(const char* key, const char* jobId, char* value, int valueSize) {
  if (key == nullptr || jobId == nullptr || *key == '\0') return 0;
  char path[512];
  if (!PrInfoFilePath(jobId, path, sizeof path)) return 0;

  FILE* file = OpenTrustedTmpFile(path);
  if (file == nullptr) return 0;

  char line[kLineSize];
  while (std::fgets(line, sizeof line, file) != nullptr) {
    const char* found = std::strstr(line, key);
    if (found == nullptr) continue;
    // The value is what follows the key, without its quotes and line feed.
    // A carriage return stays: the file's lines must end in a line feed alone.
    char text[kLineSize];
    std::snprintf(text, sizeof text, "%s", found + std::strlen(key));
    EraseChar(text, '"');
    EraseChar(text, '\n');
    const size_t length = std::strlen(text);
    if (value != nullptr && valueSize > 0 && length < static_cast<size_t>(valueSize)) {
      std::memcpy(value, text, length + 1);
    }
    break;
  }
  std::fclose(file);
  return 0;
}

int ValueToInt(const char* text) {
  if (text == nullptr) return 0;
  const long long number = std::strtoll(text, nullptr, 10);
  if (number > INT32_MAX) return INT32_MAX;
  if (number < INT32_MIN) return INT32_MIN;
  return static_cast<int>(number);
}

int _GetFirmwVersion(long /*handle*/, double* version) {
  if (version == nullptr) return kDeviceBadArgument;
  *version = kAssumedFirmwareVersion;
  return kDeviceOk;
}

void _StoreLE2(void* destination, int value) {
  auto* bytes = static_cast<unsigned char*>(destination);
  const auto bits = static_cast<uint32_t>(value);
  bytes[0] = static_cast<unsigned char>(bits & 0xFF);
  bytes[1] = static_cast<unsigned char>((bits >> 8) & 0xFF);
}

void _StoreLE4(void* destination, int value) {
  auto* bytes = static_cast<unsigned char*>(destination);
  const auto bits = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>((bits >> (8 * i)) & 0xFF);
}
