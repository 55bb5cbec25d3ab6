// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// A file the backend owns in the world-writable /tmp: the pause marker for
// the status daemon and the job information file for the filter.
#pragma once

#include <string>

namespace zelbackend {

class TmpFile {
 public:
  TmpFile() = default;
  ~TmpFile() { Remove(); }
  TmpFile(const TmpFile&) = delete;
  TmpFile& operator=(const TmpFile&) = delete;

  // Publishes `path` with `content`, mode 0644, always as a new file:
  // the text goes to an exclusively created temporary in the same folder,
  // which is then renamed over the name. A stale file or a planted
  // symlink of that name is replaced, never followed or truncated, and
  // readers never see a half-written file. Returns 0 or an errno value.
  int Create(const std::string& path, const std::string& content);

  // Removes the file if it is still the one create() made. Idempotent.
  // The file stays open until then, so its inode cannot be reused by
  // another file that takes the name meanwhile.
  void Remove();

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace zelbackend
