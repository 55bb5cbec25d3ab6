#include "TmpFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace zelbackend {

int TmpFile::Create(const std::string& path, const std::string& content) {
  Remove();
  std::vector<char> temp(path.begin(), path.end());
  const char suffix[] = ".XXXXXX";
  temp.insert(temp.end(), suffix, suffix + sizeof(suffix));  // with the NUL
  int fd = mkostemp(temp.data(), O_CLOEXEC);                 // O_EXCL, mode 0600
  if (fd < 0) return errno;

  int error = 0;
  size_t done = 0;
  while (error == 0 && done < content.size()) {
    ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n > 0)
      done += static_cast<size_t>(n);
    else if (n < 0 && errno != EINTR)
      error = errno;
  }
  // Readable by the filter, which runs as another user.
  if (error == 0 && fchmod(fd, 0644) != 0) error = errno;
  if (error == 0 && rename(temp.data(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    unlink(temp.data());
    close(fd);
    return error;
  }
  path_ = path;
  fd_ = fd;
  return 0;
}

void TmpFile::Remove() {
  if (path_.empty()) return;
  struct stat ours {
  }, now{};
  // Someone may have replaced it meanwhile; that file is not ours to delete.
  if (fstat(fd_, &ours) == 0 && lstat(path_.c_str(), &now) == 0 && now.st_dev == ours.st_dev &&
      now.st_ino == ours.st_ino)
    unlink(path_.c_str());
  close(fd_);
  fd_ = -1;
  path_.clear();
}

}  // namespace zelbackend
