// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "qv46sim.h"

extern char** environ;

namespace qv46sim {
namespace {

// The current environment with each "NAME=value" of overrides replacing or
// adding its variable.
std::vector<std::string> MergedEnvironment(const std::vector<std::string>& overrides) {
  std::vector<std::string> merged;
  auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
  for (char** e = environ; *e; ++e) {
    std::string entry = *e;
    bool replaced = false;
    for (const std::string& o : overrides) replaced = replaced || nameOf(o) == nameOf(entry);
    if (!replaced) merged.push_back(entry);
  }
  // Later overrides win over earlier ones with the same name.
  for (std::size_t i = 0; i < overrides.size(); ++i) {
    bool later = false;
    for (std::size_t j = i + 1; j < overrides.size(); ++j)
      later = later || nameOf(overrides[j]) == nameOf(overrides[i]);
    if (!later) merged.push_back(overrides[i]);
  }
  return merged;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> p;
  // execv wants char*, which only a mutable string's data() gives.
  // cppcheck-suppress constVariableReference
  for (std::string& s : strings) p.push_back(s.data());
  p.push_back(nullptr);
  return p;
}

int DecodeStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

Process::Process(pid_t pid, int stdinFd) : pid_(pid), stdinFd_(stdinFd) {}

Process::Process(Process&& other) noexcept
    : pid_(other.pid_), stdinFd_(other.stdinFd_), status_(other.status_) {
  other.pid_ = -1;
  other.stdinFd_ = -1;
}

Process& Process::operator=(Process&& other) noexcept {
  if (this != &other) {
    Terminate();
    pid_ = other.pid_;
    stdinFd_ = other.stdinFd_;
    status_ = other.status_;
    other.pid_ = -1;
    other.stdinFd_ = -1;
  }
  return *this;
}

Process::~Process() { Terminate(); }

bool Process::Running() { return Wait(0) == -1 && pid_ > 0; }

int Process::Wait(int timeoutMs) {
  if (pid_ <= 0) return status_;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int status = 0;
    pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_ || (r < 0 && errno == ECHILD)) {
      status_ = r == pid_ ? DecodeStatus(status) : -1;
      pid_ = -1;
      CloseStdin();
      return status_;
    }
    if (std::chrono::steady_clock::now() >= deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

int Process::Terminate(int graceMs) {
  CloseStdin();
  if (pid_ <= 0) return status_;
  kill(pid_, SIGTERM);
  int result = Wait(graceMs);
  if (result == -1 && pid_ > 0) {
    kill(pid_, SIGKILL);
    result = Wait(graceMs);
  }
  return result;
}

bool Process::WriteStdin(const std::string& text) {
  std::size_t done = 0;
  while (stdinFd_ >= 0 && done < text.size()) {
    // A socket rather than a pipe: a child that died must not kill us with SIGPIPE.
    ssize_t n = send(stdinFd_, text.data() + done, text.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return stdinFd_ >= 0;
}

void Process::CloseStdin() {
  if (stdinFd_ >= 0) close(stdinFd_);
  stdinFd_ = -1;
}

Process SpawnProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                     const SpawnOptions& options) {
  std::vector<std::string> overrides = env;
  overrides.insert(overrides.end(), options.extraEnv.begin(), options.extraEnv.end());
  std::vector<std::string> envStrings = MergedEnvironment(overrides);
  std::vector<std::string> argStrings = argv;
  std::vector<char*> argp = Pointers(argStrings);
  std::vector<char*> envp = Pointers(envStrings);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  int pipeFds[2] = {-1, -1};
  if (options.stdinPipe) {
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pipeFds) != 0) return Process();
    posix_spawn_file_actions_adddup2(&actions, pipeFds[0], STDIN_FILENO);
  }
  const int mode = O_WRONLY | O_CREAT | O_TRUNC;
  if (!options.stdoutFile.empty())
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, options.stdoutFile.c_str(), mode,
                                     0644);
  if (!options.stderrFile.empty())
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, options.stderrFile.c_str(), mode,
                                     0644);

  pid_t pid = -1;
  int rc = posix_spawnp(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (pipeFds[0] >= 0) close(pipeFds[0]);
  if (rc != 0) {
    if (pipeFds[1] >= 0) close(pipeFds[1]);
    return Process();
  }
  return Process(pid, pipeFds[1]);
}

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace qv46sim
