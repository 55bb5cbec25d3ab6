// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printer-app/CommandSocket.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// A directory this user owns, not a link to one.
bool IsOwnFolder(const std::string& path, struct stat* info) {
  return lstat(path.c_str(), info) == 0 && S_ISDIR(info->st_mode) && info->st_uid == getuid();
}

// A directory this user owns and nobody else may enter; made when missing.
// An existing one of this user's with a wider mode is narrowed, since only
// its owner can have made it so; anything else is refused.
bool MakePrivateFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat info {};
  return IsOwnFolder(path, &info) && ((info.st_mode & 077) == 0 || chmod(path.c_str(), 0700) == 0);
}

// $XDG_RUNTIME_DIR as the session made it: taken only when already private.
bool IsPrivateRuntimeFolder(const char* path) {
  struct stat info {};
  return path != nullptr && *path == '/' && IsOwnFolder(path, &info) && (info.st_mode & 077) == 0;
}

}  // namespace

bool UsePrivateSocketFolder(const std::string& name) {
  const bool root = getuid() == 0;
  std::string folder;
  if (root) {
    const char* given = std::getenv("SNAP_COMMON");
    folder = given != nullptr && *given != '\0' ? given : "/run/" + name;
  } else {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    folder = IsPrivateRuntimeFolder(runtime) ? runtime
                                             : "/tmp/" + name + std::to_string(getuid()) + ".run";
  }
  if (!MakePrivateFolder(folder)) {
    std::fprintf(stderr,
                 "%s: %s is not a folder of this user's that only this user may enter; its "
                 "command socket is not put there.\n",
                 name.c_str(), folder.c_str());
    return false;
  }
  return setenv(root ? "SNAP_COMMON" : "TMPDIR", folder.c_str(), 1) == 0;
}
