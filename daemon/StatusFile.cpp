// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "daemon/StatusFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include "common/PhotoPrinterIF.h"
#include "common/PrinterReplies.h"
#include "common/ReplaceFile.h"
#include "common/TmpFiles.h"
#include "daemon/Queries.h"

namespace {

constexpr int kStatusAttempts = 5;
constexpr int kRequestCountBit = 2;  // the TC_UTIL request file was present

void AppendFormat(std::string& text, const char* format, ...) {
  char line[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  text += line;
}

// Printer text goes in without control characters or quotes, which would
// break the file's lines or cut the value.
void AppendValue(std::string& text, const char* key, const char* value) {
  std::string plain = value;
  plain.resize(static_cast<size_t>(StripToPlainText(&plain[0])));
  text += key;
  text += "=\"";
  text += plain;
  text += "\"\n";
}

// Only our own new file is labelled, before it takes the name.
void Store(DaemonContext& ctx, const char* path, const std::string& text) {
  int fd = -1;
  const auto label = [&ctx](const std::string& temporary) {
    if (ctx.bSELinuxEnabled && existFile(temporary.c_str()))
      ctx.commands.Run({"chcon", "-t", "cupsd_tmp_t", temporary});
  };
  // Every user's monitor reads it; only we may change what it shows.
  if (ReplaceFile(path, text, 0644, label, &fd) == 0) close(fd);
}

// A reading that carries no count is no reading: writing 0 for it would
// tell the user the printer never printed.
bool TakeReading(DaemonContext& ctx, UsbHandle* handle, bool wait, int32_t* number) {
  char value[kValueSize] = {};
  if (GetTotalCount(ctx, handle, value, sizeof value, wait) < 0) return false;
  return TotalCountFromReply(value, number);
}

// Decides whether this poll reads the total count, and reads it.
bool ReadTotalCount(DaemonContext& ctx, UsbHandle* handle, thdata* record, long status,
                    bool printingJustEnded, int32_t* number) {
  if (record->lastRequest & kRequestCountBit) {
    int32_t first = 0;
    if (TakeReading(ctx, handle, status == kStatusPowerSaving, &first)) {
      // Right after a job the first answer can still be the old count.
      if (printingJustEnded && TakeReading(ctx, handle, false, number)) return true;
      *number = first;
      return true;
    }
  }
  if (record->printEnded || printingJustEnded) {
    if (TakeReading(ctx, handle, false, number)) {
      if (!printingJustEnded) record->printEnded = false;
      return true;
    }
  }
  if (record->monitorWatching && !record->watchCountRead) {
    // A sleeping printer is not woken just because the monitor opened.
    if (status == kStatusPowerSaving) {
      record->watchCountRead = true;
      return false;
    }
    if (TakeReading(ctx, handle, false, number)) {
      record->watchCountRead = true;
      return true;
    }
  }
  return false;
}

// The file keeps the part of a reply that `valueOf` finds in it.
void AppendQuery(std::string& text, const char* key, std::string (*valueOf)(const std::string&),
                 long (*query)(DaemonContext&, UsbHandle*, char*, size_t), DaemonContext& ctx,
                 UsbHandle* handle) {
  char value[kValueSize] = {};
  query(ctx, handle, value, sizeof value);
  AppendValue(text, key, valueOf ? valueOf(value).c_str() : value);
}

}  // namespace

bool StatusFilePath(const DaemonContext& ctx, const char* serial, char* path) {
  const int n = std::snprintf(path, kPathSize, "%s/%s%s%s", ctx.tmpDir.c_str(), kPrinterFilePrefix,
                              serial, kStatusFileSuffix);
  return n > 0 && static_cast<size_t>(n) < kPathSize;
}

void WriteFile(DaemonContext& ctx, UsbHandle* handle, thdata* record) {
  char path[kPathSize];
  if (record == nullptr || !StatusFilePath(ctx, record->serial, path)) return;

  std::string text = "#PRINTER_INFORMATION\n";
  AppendValue(text, "MODEL", record->model);

  int64_t reply = kStatusFailed;
  for (int attempt = 0; attempt < kStatusAttempts && reply == kStatusFailed; ++attempt)
    reply = GetStatus(ctx, handle);
  const long status = reply == kStatusFailed ? kOfflineStatus : static_cast<long>(reply);
  const bool printingJustEnded = ctx.prevStatus == kStatusPrinting && status != kStatusPrinting;
  ctx.prevStatus = status;

  AppendFormat(text, "%s=\"%05ld\"\n", kKeyPrinterStatus, status);
  AppendFormat(text, "%s=\"%05d\"\n", kKeyPrinterMessage, GetMessage(status));
  AppendQuery(text, kKeyPrinterVersion, nullptr, GetFirmVersion, ctx, handle);
  AppendValue(text, kKeyPrinterSerialNo, status == kOfflineStatus ? "" : record->serial);
  text += "\n#MEDIA_INFORMATION\n";
  AppendQuery(text, kKeyMediaSize, MediaSizeFromReply, GetMediaSize, ctx, handle);
  AppendQuery(text, kKeyMediaInitial, QuantityTextFromReply, GetMediaInitial, ctx, handle);
  AppendQuery(text, kKeyMediaRemain, QuantityTextFromReply, GetMediaRemain, ctx, handle);
  AppendQuery(text, kKeyMediaRemainHalf, QuantityTextFromReply, GetMediaRemainHalf, ctx, handle);
  text += "\n#COUNTER_INFORMATION\n";

  int32_t reading = 0;
  // Readings taken while nobody asked for one are not kept.
  const bool fresh = ReadTotalCount(ctx, handle, record, status, printingJustEnded, &reading) &&
                     record->lastRequest != 0;
  if (fresh) record->lastTotalCount = reading;
  // A fresh reading is written as read; a kept one only once it is a count.
  if (fresh || record->lastTotalCount >= 0)
    AppendFormat(text, "%s=\"%d\"\n", kKeyTotalCount, record->lastTotalCount);
  else
    AppendValue(text, kKeyTotalCount, "");
  text += "\n";

  Store(ctx, path, text);
}

void WriteFile(DaemonContext& ctx, const char* serial) {
  char path[kPathSize];
  if (serial == nullptr || !StatusFilePath(ctx, serial, path)) return;
  std::string text = "#PRINTER_INFORMATION\n";
  AppendValue(text, "MODEL", "");
  AppendFormat(text, "%s=\"%05d\"\n", kKeyPrinterStatus, static_cast<int>(kOfflineStatus));
  AppendFormat(text, "%s=\"%05d\"\n", kKeyPrinterMessage, GetMessage(kOfflineStatus));
  AppendValue(text, kKeyPrinterVersion, "");
  AppendValue(text, kKeyPrinterSerialNo, "");
  text += "\n#MEDIA_INFORMATION\n";
  for (const char* key : {kKeyMediaSize, kKeyMediaInitial, kKeyMediaRemain, kKeyMediaRemainHalf})
    AppendValue(text, key, "");
  text += "\n#COUNTER_INFORMATION\n";
  AppendValue(text, kKeyTotalCount, "");
  text += "\n";
  Store(ctx, path, text);
}

bool isSELinuxEnabled(CommandRunner& commands) {
  std::string line;
  if (commands.RunCapture({"getenforce"}, &line, 31) < 0) return false;
  return line.compare(0, 9, "Enforcing") == 0;
}

bool existFile(const char* path) {
  struct stat st;
  return path != nullptr && lstat(path, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1;
}
