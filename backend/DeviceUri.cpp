// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "DeviceUri.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "common/TmpFiles.h"

namespace zelbackend {

std::string DeviceUri(const std::string& serial) { return kDeviceUriPrefix + serial; }

bool SerialFromUri(const std::string& uri, std::string* serial) {
  const size_t prefix = std::strlen(kDeviceUriPrefix);
  if (uri.compare(0, prefix, kDeviceUriPrefix) != 0 || uri.size() == prefix) return false;
  std::string value = uri.substr(prefix);
  bool printable = std::all_of(value.begin(), value.end(), [](unsigned char c) {
    return std::isalnum(c) || c == '-' || c == '_' || c == '.';
  });
  if (!printable) return false;
  *serial = value;
  return true;
}

std::string PauseMarkerPath(const std::string& tmpDir, const std::string& serial,
                            const std::string& jobId) {
  std::string name = kPauseMarkerPrefix + serial + kPauseMarkerJobTag + jobId;
  std::replace(name.begin(), name.end(), '/', '_');
  return tmpDir + "/" + name;
}

std::string JobInfoPath(const std::string& tmpDir, const std::string& jobId) {
  return tmpDir + "/" + kJobInfoPrefix + jobId + kJobInfoSuffix;
}

std::string BackendWaitPath(const std::string& tmpDir, const std::string& jobId) {
  return tmpDir + "/" + kJobInfoPrefix + jobId + kBackendWaitSuffix;
}

bool ValidJobId(const std::string& jobId) {
  return !jobId.empty() && jobId.size() <= 10 &&
         std::all_of(jobId.begin(), jobId.end(), [](unsigned char c) { return std::isdigit(c); });
}

}  // namespace zelbackend
