// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "TmpFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include "common/ReplaceFile.h"

namespace zelbackend {

int TmpFile::Create(const std::string& path, const std::string& content) {
  Remove();
  // Readable by the filter, which runs as another user.
  const int error = ReplaceFile(path, content, 0644, nullptr, &fd_);
  if (error == 0) path_ = path;
  return error;
}

void TmpFile::Remove() {
  if (path_.empty()) return;
  struct stat ours = {};
  struct stat now = {};
  // Someone may have replaced it meanwhile; that file is not ours to delete.
  if (fstat(fd_, &ours) == 0 && lstat(path_.c_str(), &now) == 0 && now.st_dev == ours.st_dev &&
      now.st_ino == ours.st_ino)
    unlink(path_.c_str());
  close(fd_);
  fd_ = -1;
  path_.clear();
}

}  // namespace zelbackend
