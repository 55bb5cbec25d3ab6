#include "DeviceUri.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace zelbackend {

const char kUriPrefix[] = "valdren-zelbackend://VALDREN/QV-46?serial=";

std::string DeviceUri(const std::string& serial) { return kUriPrefix + serial; }

bool SerialFromUri(const std::string& uri, std::string* serial) {
  const size_t prefix = std::strlen(kUriPrefix);
  if (uri.compare(0, prefix, kUriPrefix) != 0 || uri.size() == prefix) return false;
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
  std::string name = "Pause_" + DeviceUri(serial) + ".job" + jobId;
  std::replace(name.begin(), name.end(), '/', '_');
  return tmpDir + "/" + name;
}

std::string JobInfoPath(const std::string& tmpDir, const std::string& jobId) {
  return tmpDir + "/Print_" + jobId + ".log";
}

bool ValidJobId(const std::string& jobId) {
  return !jobId.empty() && jobId.size() <= 10 &&
         std::all_of(jobId.begin(), jobId.end(), [](unsigned char c) { return std::isdigit(c); });
}

}  // namespace zelbackend
