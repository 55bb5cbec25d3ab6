// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Helpers of the filter: option lookup with the queue's PPD defaults, the job
// information file, the assumed firmware version and little-endian stores.
#pragma once

#include <cups/cups.h>

#include <cstdio>

// The filter's own minimal PPD reader: only "*Default<Keyword>: <choice>"
// lines are looked at.
struct ppdfile_s {
  FILE* file;       // null when the PPD could not be opened
  char value[256];  // last default choice found
};

constexpr double kAssumedFirmwareVersion = 1.53;
constexpr int kPrInfoValueSize = 128;

// Job option, then "media" (for "PageSize" only), then the PPD default, or null.
const char* _GetCupsValue(const char* keyword, int numOptions, cups_option_s* options,
                          ppdfile_s* ppd);

ppdfile_s* wrappedPpdOpenFile(const char* path);
const char* wrappedPpdFindDefChoice(ppdfile_s* ppd, const char* keyword);
void wrappedPpdClose(ppdfile_s* ppd);

// "/tmp/Print_<jobId>.log" into `path` (`size` bytes); false when it does not fit.
bool PrInfoFilePath(const char* jobId, char* path, size_t size);

// "/tmp/Print_<jobId>.wait", the backend's waiting file, the same way.
bool BackendWaitFilePath(const char* jobId, char* path, size_t size);

// Opens a file the backend published in /tmp for reading (IsPublishedFile),
// or null: another local user may create these names for a job id not yet
// used, and such a file counts as absent. A FIFO planted at the name must not
// hold the job, nor a link lead elsewhere.
FILE* OpenTrustedTmpFile(const char* path);

// Copies the value of `key` from /tmp/Print_<jobId>.log into `value` when
// found and shorter than `valueSize`; otherwise leaves `value` alone. Returns 0.
int _GetValuePrInfoFile(const char* key, const char* jobId, char* value, int valueSize);

// Leading decimal integer of an option or file value (blanks and a sign
// allowed, no digits give 0), limited to the 32-bit range.
int ValueToInt(const char* text);

// The filter cannot ask the printer; it assumes firmware 1.53. Returns 0, or 3
// for a null `version`.
int _GetFirmwVersion(long handle, double* version);

// Bytes per row of a 24-bit bitmap: three a pixel, rows padded to four bytes.
unsigned long PageStride(unsigned long width);

void _StoreLE2(void* destination, int value);
void _StoreLE4(void* destination, int value);
