// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "common/ReplaceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

int ReplaceFile(const std::string& path, const std::string& content, unsigned mode,
                const std::function<void(const std::string& temporary)>& prepare, int* fd) {
  std::string temporary = path + ".XXXXXX";
  const int file = mkostemp(&temporary[0], O_CLOEXEC);  // O_EXCL, mode 0600
  if (file < 0) return errno;
  int error = 0;
  size_t done = 0;
  while (error == 0 && done < content.size()) {
    const ssize_t n = write(file, content.data() + done, content.size() - done);
    if (n > 0)
      done += static_cast<size_t>(n);
    else if (n == 0)
      error = EIO;
    else if (errno != EINTR)
      error = errno;
  }
  if (error == 0 && fchmod(file, static_cast<mode_t>(mode)) != 0) error = errno;
  if (error == 0 && prepare) prepare(temporary);
  if (error == 0 && std::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    unlink(temporary.c_str());
    close(file);
    return error;
  }
  *fd = file;
  return 0;
}
