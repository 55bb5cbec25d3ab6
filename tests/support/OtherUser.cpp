// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "OtherUser.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qv46test {

namespace {

// Forks a child that becomes nobody and runs `action`, which returns its exit status.
pid_t ForkAsNobody(const std::function<int()>& action) {
  const passwd* nobody = getpwnam("nobody");
  if (nobody == nullptr) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    const bool dropped =
        setgroups(0, nullptr) == 0 && setgid(nobody->pw_gid) == 0 && setuid(nobody->pw_uid) == 0;
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
    std::vector<char*> args;
    // execv wants char*, which only a copy's data() gives.
    std::vector<std::string> copy = argv;
    for (std::string& arg : copy) args.push_back(&arg[0]);
    args.push_back(nullptr);
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
