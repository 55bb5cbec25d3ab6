// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "daemon/SpawnCommandRunner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

extern char** environ;

namespace {

// Starts argv with standard input and error on /dev/null and standard output
// on `outputFd` (/dev/null when -1). Returns the child's pid or -1.
pid_t Spawn(const std::vector<std::string>& argv, int outputFd) {
  if (argv.empty()) return -1;
  std::vector<char*> args;
  for (const std::string& word : argv) args.push_back(const_cast<char*>(word.c_str()));
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (outputFd >= 0)
    posix_spawn_file_actions_adddup2(&actions, outputFd, 1);
  else
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return spawned == 0 ? pid : -1;
}

int Wait(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int SpawnCommandRunner::Run(const std::vector<std::string>& argv) {
  const pid_t pid = Spawn(argv, -1);
  return pid < 0 ? -1 : Wait(pid);
}

int SpawnCommandRunner::RunCapture(const std::vector<std::string>& argv, std::string* firstLine,
                                   size_t limit) {
  firstLine->clear();
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return -1;
  const pid_t pid = Spawn(argv, fds[1]);
  // Only the child may keep the write end, or the read below never ends.
  close(fds[1]);

  std::string output;
  char chunk[256];
  while (pid >= 0) {
    const ssize_t n = read(fds[0], chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    output.append(chunk, static_cast<size_t>(n));
  }
  close(fds[0]);
  if (pid < 0) return -1;
  firstLine->assign(output.substr(0, std::min(output.find('\n'), limit)));
  return Wait(pid);
}
