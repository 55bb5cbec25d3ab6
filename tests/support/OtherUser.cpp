// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "OtherUser.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

namespace qv46test {

bool NobodyIds(uid_t* uid, gid_t* gid) {
  passwd entry{};
  passwd* found = nullptr;
  char buffer[1024];
  if (getpwnam_r("nobody", &entry, buffer, sizeof buffer, &found) != 0 || found == nullptr)
    return false;
  *uid = entry.pw_uid;
  *gid = entry.pw_gid;
  return true;
}

namespace {

// Forks a child that becomes nobody and runs `action`, which returns its exit status.
pid_t ForkAsNobody(const std::function<int()>& action) {
  uid_t uid = 0;
  gid_t gid = 0;
  if (!NobodyIds(&uid, &gid)) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    const bool dropped = setgroups(0, nullptr) == 0 && setgid(gid) == 0 && setuid(uid) == 0;
    _exit(dropped ? action() : 126);
  }
  return pid;
}

}  // namespace

bool AsNobody(const std::function<bool()>& action) {
  const pid_t pid = ForkAsNobody([&] { return action() ? 0 : 1; });
  int status = 0;
  return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

pid_t StartAsNobody(const std::vector<std::string>& argv) {
  return ForkAsNobody([&] {
    // execv wants char*, which only a copy's data() gives.
    std::vector<std::string> copy = argv;
    std::vector<char*> args(copy.size() + 1, nullptr);
    std::transform(copy.begin(), copy.end(), args.begin(),
                   [](std::string& arg) { return &arg[0]; });
    execv(args[0], args.data());
    return 127;
  });
}

bool WriteNewFile(const std::string& path, const std::string& text, mode_t mode) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const bool done = fchmod(fd, mode) == 0 &&
                    write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  return done;
}

}  // namespace qv46test
