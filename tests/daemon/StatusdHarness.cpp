// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "StatusdHarness.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace qv46test {

namespace {

// Waits for "READY=1" on a datagram socket bound at `path`.
class NotifySocket {
 public:
  explicit NotifySocket(const std::string& path) : path_(path) {
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    unlink(path.c_str());
    if (fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      close(fd_);
      fd_ = -1;
    }
  }
  ~NotifySocket() {
    if (fd_ >= 0) close(fd_);
    unlink(path_.c_str());
  }
  bool WaitReady(int timeoutMs) {
    pollfd p{fd_, POLLIN, 0};
    while (fd_ >= 0 && poll(&p, 1, timeoutMs) == 1) {
      char message[256] = {};
      const ssize_t n = recv(fd_, message, sizeof message - 1, 0);
      if (n > 0 && std::strstr(message, "READY=1") != nullptr) return true;
    }
    return false;
  }

 private:
  std::string path_;
  int fd_ = -1;
};

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    if (end == std::string::npos) break;
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace

StatusdHarness::StatusdHarness(qv46sim::Testbed& bed) : bed_(bed) {}

StatusdHarness::~StatusdHarness() {
  daemon_.Terminate();
  for (const std::string& serial : serials_)
    for (const std::string& path :
         {StatusPath(serial), WatchPath(serial), CountPath(serial), PausePath(serial)})
      unlink(path.c_str());
  for (const std::string& path : extraFiles_) unlink(path.c_str());
}

bool StatusdHarness::Start(const std::vector<std::string>& extraEnv) {
  const std::string socketPath = "/tmp/qv46n-" + std::to_string(getpid()) + ".sock";
  NotifySocket notify(socketPath);
  qv46sim::SpawnOptions options;
  options.extraEnv = extraEnv;
  options.extraEnv.push_back("NOTIFY_SOCKET=" + socketPath);
  options.extraEnv.push_back("QV46_STATUSD_PACE=" + std::to_string(kPace));
  daemon_ = bed_.Spawn({QV46_STATUSD}, options);
  return daemon_.Started() && notify.WaitReady(15000);
}

void StatusdHarness::LetCyclesPass(int cycles) {
  std::this_thread::sleep_for(std::chrono::milliseconds(cycles * kTestCycleMs + 200));
}

std::string StatusdHarness::NewSerial(const std::string& tag) {
  serials_.push_back("T" + std::to_string(getpid()) + tag + std::to_string(++counter_));
  return serials_.back();
}

std::vector<std::string> StatusdHarness::StatusLines(const std::string& serial) {
  const std::vector<std::string> lines = SplitLines(ReadFile(StatusPath(serial)));
  return lines.size() == 16 ? lines : std::vector<std::string>{};
}

bool StatusdHarness::IsOffline(const std::string& serial) {
  const auto lines = StatusLines(serial);
  return !lines.empty() && lines[1] == "MODEL=\"\"" && lines[2] == "PRINTER_STATUS=\"99999\"" &&
         lines[3] == "PRINTER_MESSAGE=\"00006\"";
}

bool StatusdHarness::IsOnline(const std::string& serial) {
  const auto lines = StatusLines(serial);
  return !lines.empty() && lines[1] != "MODEL=\"\"" && lines[2] != "PRINTER_STATUS=\"99999\"";
}

}  // namespace qv46test
