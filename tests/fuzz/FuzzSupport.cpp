// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "FuzzSupport.h"

#include <dirent.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qv46fuzz {

const char kPartSeparator[] = "\n%%\n";

std::vector<std::string> SplitParts(const uint8_t* data, size_t size, size_t count) {
  const std::string all(reinterpret_cast<const char*>(data), size);
  const size_t separator = std::strlen(kPartSeparator);
  std::vector<std::string> parts;
  size_t start = 0;
  while (parts.size() + 1 < count) {
    const size_t end = all.find(kPartSeparator, start);
    if (end == std::string::npos) break;
    parts.push_back(all.substr(start, end - start));
    start = end + separator;
  }
  parts.push_back(start <= all.size() ? all.substr(start) : std::string());
  parts.resize(count);
  return parts;
}

std::string JoinParts(const std::vector<std::string>& parts) {
  std::string all;
  for (size_t i = 0; i < parts.size(); ++i) all += (i ? kPartSeparator : "") + parts[i];
  return all;
}

namespace {

std::string gScratch;

void RemoveScratch() {
  if (DIR* dir = opendir(gScratch.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") unlink((gScratch + "/" + name).c_str());
    }
    closedir(dir);
  }
  rmdir(gScratch.c_str());
}

}  // namespace

const std::string& ScratchDir() {
  if (gScratch.empty()) {
    // The targets write a file or two every run: memory is far faster than
    // a disk-backed /tmp.
    const char* tmp = std::getenv("TMPDIR");
    if (tmp == nullptr || *tmp == '\0') tmp = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(tmp) + "/qv46fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    gScratch = pattern;
    std::atexit(RemoveScratch);
  }
  return gScratch;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  // The readers take only files no one else may write, whatever the umask.
  fchmod(fileno(file), 0644);
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

int MemoryFile(const uint8_t* bytes, size_t size) {
  const int fd = memfd_create("qv46fuzz", MFD_CLOEXEC);
  if (fd < 0) return -1;
  size_t done = 0;
  while (done < size) {
    const ssize_t n = write(fd, bytes + done, size - done);
    if (n <= 0) {
      close(fd);
      return -1;
    }
    done += static_cast<size_t>(n);
  }
  lseek(fd, 0, SEEK_SET);
  return fd;
}

void* FailingAllocator::Allocate(size_t size) {
  ++count_;
  if (failAt_ != 0 && (count_ == failAt_ || (sticky_ && count_ > failAt_))) return nullptr;
  void* block = std::malloc(size);
  if (block != nullptr) ++outstanding_;
  return block;
}

void FailingAllocator::Release(void* block) {
  --outstanding_;
  std::free(block);
}

}  // namespace qv46fuzz
