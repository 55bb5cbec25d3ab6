// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "daemon/RequestFiles.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "common/TmpFiles.h"

namespace {

bool StartsWith(const char* name, const char* prefix) {
  return std::strncmp(name, prefix, std::strlen(prefix)) == 0;
}

}  // namespace

int fileCheck(const DaemonContext& ctx, thdata* record) {
  std::vector<std::string> names;
  // An unreadable directory counts as one without request files.
  if (DIR* dir = opendir(ctx.tmpDir.c_str())) {
    while (const dirent* entry = readdir(dir)) names.emplace_back(entry->d_name);
    closedir(dir);
  }
  return CheckRequestNames(ctx, record, names);
}

int CheckRequestNames(const DaemonContext& ctx, thdata* record,
                      const std::vector<std::string>& names) {
  char watchName[128];
  char countName[128];
  char pauseName[256];
  std::snprintf(watchName, sizeof watchName, "%s%s%s", kPrinterFilePrefix, record->serial,
                kWatchFileSuffix);
  std::snprintf(countName, sizeof countName, "%s%s%s", kPrinterFilePrefix, record->serial,
                kCountRequestSuffix);
  std::snprintf(pauseName, sizeof pauseName, "%s%s", kPauseMarkerPrefix, record->serial);

  bool watch = false;
  bool count = false;
  for (const std::string& entry : names) {
    const char* name = entry.c_str();
    if (StartsWith(name, watchName)) {
      watch = true;
      record->monitorWatching = true;
    }
    if (StartsWith(name, countName)) {
      count = true;
      const std::string path = ctx.tmpDir + "/" + countName;
      unlink(path.c_str());
    }
    if (StartsWith(name, pauseName)) {
      // The backend is printing: leave the printer alone.
      record->backendPrinting = true;
      if (!watch && !count) {
        record->monitorWatching = false;
        record->watchCountRead = false;
      }
      record->printEnded = false;
      return kRequestNone;
    }
  }

  int result = kRequestNone;
  if (watch) result = count ? kRequestWatchAndCount : kRequestWatch;
  if (!watch && !count) {
    record->monitorWatching = false;
    record->watchCountRead = false;
  }
  record->printEnded = false;
  if (record->backendPrinting) {
    // The marker has gone since the last check: the job is done.
    record->backendPrinting = false;
    record->printEnded = true;
  }
  return result;
}
