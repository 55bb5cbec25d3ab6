// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "daemon/RequestFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "common/TmpFiles.h"

namespace {

bool StartsWith(const char* name, const char* prefix) {
  return std::strncmp(name, prefix, std::strlen(prefix)) == 0;
}

// The backend's marker for a job on this very printer: the serial, ".job"
// and the job id, nothing more, so serial "12" never pauses "123".
bool IsPauseMarker(const std::string& name, const std::string& pauseName) {
  const std::string marker = pauseName + kPauseMarkerJobTag;
  return name.size() > marker.size() && name.compare(0, marker.size(), marker) == 0 &&
         name.find_first_not_of("0123456789", marker.size()) == std::string::npos;
}

// The backend runs as root: a marker anyone else made would let any local
// user keep the daemon off any printer.
bool FromTheBackend(DIR* dir, const char* name) {
  struct stat info;
  return fstatat(dirfd(dir), name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
         IsPublishedFile(info, geteuid());
}

}  // namespace

int fileCheck(const DaemonContext& ctx, thdata* record) {
  std::vector<std::string> names;
  // An unreadable directory counts as one without request files.
  if (DIR* dir = opendir(ctx.tmpDir.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      // Only the names are looked at, except the owner of a pause marker.
      if (!StartsWith(entry->d_name, kPauseMarkerPrefix) || FromTheBackend(dir, entry->d_name))
        names.emplace_back(entry->d_name);
    }
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
      // unlink never follows a link, and the name is ours to form.
      const std::string path = ctx.tmpDir + "/" + countName;
      unlink(path.c_str());
    }
    if (IsPauseMarker(entry, pauseName)) {
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
