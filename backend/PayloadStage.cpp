// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "PayloadStage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace zelbackend {
namespace {

// Writes all of `data`; false with errno set when the spool cannot take it.
bool WriteAll(int fd, const uint8_t* data, size_t length) {
  while (length > 0) {
    const ssize_t n = write(fd, data, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    data += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

ssize_t ReadFully(const std::function<bool()>& cancelled, int fd, uint8_t* data, size_t length) {
  size_t done = 0;
  while (done < length) {
    if (cancelled && cancelled()) return -1;
    const ssize_t n = read(fd, data + done, length - done);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

PayloadStage::PayloadStage(std::string spoolDir) : spoolDir_(std::move(spoolDir)) {}

PayloadStage::~PayloadStage() {
  if (spool_ >= 0) close(spool_);
}

StageResult PayloadStage::Take(const uint8_t* header, int fd, size_t length,
                               const std::function<bool()>& cancelled) {
  std::memcpy(header_, header, sizeof header_);
  headerLeft_ = sizeof header_;
  source_ = -1;
  heldOffset_ = 0;
  if (length <= kHeldLimit) {
    held_.resize(length);
    const ssize_t got = ReadFully(cancelled, fd, held_.data(), length);
    if (got < 0) return StageResult::kReadFailed;
    return static_cast<size_t>(got) < length ? StageResult::kEnded : StageResult::kReady;
  }
  // A print file holds the payload already; its size says whether all of it.
  struct stat info = {};
  const off_t position = lseek(fd, 0, SEEK_CUR);
  if (position >= 0 && fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    if (info.st_size - position < static_cast<off_t>(length)) return StageResult::kEnded;
    source_ = fd;
    return StageResult::kReady;
  }
  return Spool(fd, length, cancelled);
}

StageResult PayloadStage::Spool(int fd, size_t length, const std::function<bool()>& cancelled) {
  if (spool_ < 0) {
    std::string path = spoolDir_ + "/qv46-spool-XXXXXX";
    spool_ = mkostemp(&path[0], O_CLOEXEC);
    if (spool_ < 0) return StageResult::kSpoolFailed;
    unlink(path.c_str());  // nobody else needs it; it goes when we close it
  }
  if (lseek(spool_, 0, SEEK_SET) != 0) return StageResult::kSpoolFailed;
  held_.resize(kHeldLimit);
  for (size_t left = length; left > 0;) {
    const size_t piece = std::min(left, held_.size());
    const ssize_t got = ReadFully(cancelled, fd, held_.data(), piece);
    if (got < 0) return StageResult::kReadFailed;
    if (static_cast<size_t>(got) < piece) return StageResult::kEnded;
    if (!WriteAll(spool_, held_.data(), piece)) return StageResult::kSpoolFailed;
    left -= piece;
  }
  if (lseek(spool_, 0, SEEK_SET) != 0) return StageResult::kSpoolFailed;
  source_ = spool_;
  return StageResult::kReady;
}

int PayloadStage::Read(uint8_t* data, size_t count) {
  const size_t fromHeader = std::min(headerLeft_, count);
  std::memcpy(data, header_ + sizeof header_ - headerLeft_, fromHeader);
  headerLeft_ -= fromHeader;
  data += fromHeader;
  count -= fromHeader;
  if (count == 0) return 0;
  if (source_ < 0) {
    if (held_.size() - heldOffset_ < count) return EIO;
    std::memcpy(data, held_.data() + heldOffset_, count);
    heldOffset_ += count;
    return 0;
  }
  // No cancel check: the packet has begun and goes out whole.
  const ssize_t got = ReadFully(nullptr, source_, data, count);
  if (got < 0) return errno;
  return static_cast<size_t>(got) < count ? EIO : 0;
}

}  // namespace zelbackend
