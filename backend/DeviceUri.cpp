// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "DeviceUri.h"

#include <algorithm>
#include <cctype>

#include "common/TmpFiles.h"

namespace zelbackend {

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
