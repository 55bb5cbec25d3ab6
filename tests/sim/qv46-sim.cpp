// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// qv46-sim: simulated QV-46 printers for tests that run the programs under
// test in other processes (a private cupsd and its backend, the daemon).
//
//   qv46-sim --serial S [--serial S2 ...] [--status V] [--media V] [--remain V]
//            [--remain-half V] [--count V] [--fver V] [--reply "KEY=V"]
//            [--delay MS] [--silent] [--product TEXT] [--device-id TEXT]
//            [--capture FILE] [--env-file FILE]
//
// A "{serial}" in the capture file's name gives each printer a file of its own
// (a "/" in the serial becomes "_" there).
// Values are the reply texts as the printer sends them (e.g. --media MS00310);
// KEY is a query key such as "INFO MEDIA". On start it prints the
// environment a client needs, one NAME=value per line, then "ready"; with
// --env-file it also writes those lines to that file (complete once it
// exists). Then it reads commands on stdin, one per line, answering each on
// stdout with "ok ..." or "error ...":
//   plug SERIAL | unplug SERIAL | set SERIAL KEY... VALUE | silent SERIAL on|off
//   delay SERIAL MS | commands SERIAL | printed SERIAL | quit
// ("printed" answers "ok printed N held M": jobs printed, and jobs kept
// while the printer is in a fault.)
// It ends on "quit", at the end of stdin, or on SIGTERM/SIGINT.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "qv46sim.h"

namespace {

using qv46sim::PrinterConfig;
using qv46sim::Reply;
using qv46sim::Testbed;

struct Options {
  std::vector<std::string> serials;
  PrinterConfig base;
  std::string envFile;
};

// A delay in milliseconds: digits only, at most a minute.
bool ParseDelay(const std::string& text, int& ms) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  ms = std::stoi(text);
  return ms <= 60000;
}

bool ParseOptions(int argc, char** argv, Options& o) {
  const std::map<std::string, std::string> replyOptions = {
      {"--status", "STATUS"},         {"--media", "INFO MEDIA"},          {"--remain", "INFO MQTY"},
      {"--remain-half", "INFO RQTY"}, {"--count", "MNT_RD COUNTER_LIFE"}, {"--fver", "INFO FVER"},
  };
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    if (name == "--silent") {
      o.base.silent = true;
      continue;
    }
    if (i + 1 >= argc) return false;
    std::string value = argv[++i];
    if (name == "--serial")
      o.serials.push_back(value);
    else if (replyOptions.count(name))
      o.base.replies[replyOptions.at(name)] = Reply::Value(value);
    else if (name == "--reply" && value.find('=') != std::string::npos)
      o.base.replies[value.substr(0, value.find('='))] =
          Reply::Value(value.substr(value.find('=') + 1));
    else if (name == "--delay" && ParseDelay(value, o.base.replyDelayMs))
      continue;
    else if (name == "--product")
      o.base.product = value;
    else if (name == "--device-id")
      o.base.deviceId = value;
    else if (name == "--capture")
      o.base.captureFile = value;
    else if (name == "--env-file")
      o.envFile = value;
    else
      return false;
  }
  return true;
}

bool WriteEnvFile(const std::string& path, const std::vector<std::string>& lines) {
  const std::string partial = path + ".partial";
  {
    std::ofstream out(partial);
    for (const std::string& line : lines) out << line << '\n';
    if (!out.flush()) return false;
  }
  return std::rename(partial.c_str(), path.c_str()) == 0;
}

class Session {
 public:
  Session(Testbed& bed, const PrinterConfig& base) : bed_(bed), base_(base) {}

  std::string Plug(const std::string& serial) {
    PrinterConfig config = base_;
    config.serial = serial;
    const std::size_t at = config.captureFile.find("{serial}");
    std::string name = serial;
    std::replace(name.begin(), name.end(), '/', '_');
    if (at != std::string::npos) config.captureFile.replace(at, 8, name);
    int id = bed_.Plug(config);
    if (id < 0) return "error plug " + serial;
    ids_[serial] = id;
    return "ok plugged " + serial;
  }

  // One stdin line; returns the answer, or an empty string for "quit".
  std::string Run(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    if (words.empty()) return "error empty";
    const std::string& verb = words[0];
    if (verb == "quit") return "";
    if (words.size() < 2) return "error usage";
    const std::string& serial = words[1];
    if (verb == "plug") return Plug(serial);
    auto found = ids_.find(serial);
    if (found == ids_.end()) return "error unknown " + serial;
    const int id = found->second;
    if (verb == "unplug" && words.size() == 2)
      return bed_.Unplug(id) ? "ok unplugged " + serial : "error not plugged " + serial;
    if (verb == "set" && words.size() >= 4) {
      std::string key = words[2];
      for (std::size_t i = 3; i + 1 < words.size(); ++i) key += " " + words[i];
      bed_.SetReply(id, key, Reply::Value(words.back()));
      return "ok set " + key;
    }
    if (verb == "silent" && words.size() == 3) {
      bed_.SetSilent(id, words[2] == "on");
      return "ok silent " + words[2];
    }
    int ms = 0;
    if (verb == "delay" && words.size() == 3 && ParseDelay(words[2], ms)) {
      bed_.SetReplyDelay(id, ms);
      return "ok delay " + words[2];
    }
    if (verb == "printed" && words.size() == 2)
      return "ok printed " + std::to_string(bed_.Printed(id)) + " held " +
             std::to_string(bed_.HeldPrints(id));
    if (verb == "commands" && words.size() == 2) {
      std::string answer;
      for (const auto& c : bed_.Commands(id))
        answer += "command " + c.command + " " + c.parameter + " " +
                  std::to_string(c.payloadLength) + "\n";
      return answer + "ok commands";
    }
    return "error usage";
  }

 private:
  Testbed& bed_;
  PrinterConfig base_;
  std::map<std::string, int> ids_;
};

// The owner of a testbed must itself run under the umockdev preload (its
// uevents are built through libudev, which has to see the testbed). Returns
// only when that is already so or the re-execution failed.
void EnsurePreload(char** argv) {
  const char* preload = getenv("LD_PRELOAD");
  if (preload && std::strstr(preload, "libumockdev-preload")) return;
  std::string value = "libumockdev-preload.so.0";
  if (preload && *preload) value += std::string(":") + preload;
  setenv("LD_PRELOAD", value.c_str(), 1);
  setenv("TMPDIR", "/tmp", 1);
  std::string asan = "verify_asan_link_order=0";
  if (const char* current = getenv("ASAN_OPTIONS"); current && *current)
    asan = std::string(current) + ":" + asan;
  setenv("ASAN_OPTIONS", asan.c_str(), 1);
  execv("/proc/self/exe", argv);
}

}  // namespace

int main(int argc, char** argv) {
  EnsurePreload(argv);
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr, "usage: qv46-sim --serial S [...] [--env-file FILE] (see the source)\n");
    return 2;
  }
  // Blocked before any thread starts, so only signalfd sees them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  int signalFd = signalfd(-1, &stopSignals, SFD_CLOEXEC);

  Testbed bed;
  if (!bed.Ok() || signalFd < 0) {
    std::fprintf(stderr, "qv46-sim: cannot create the umockdev testbed\n");
    return 1;
  }
  Session session(bed, options.base);
  for (const std::string& serial : options.serials) {
    std::string answer = session.Plug(serial);
    if (answer.rfind("ok", 0) != 0) {
      std::fprintf(stderr, "qv46-sim: %s\n", answer.c_str());
      return 1;
    }
  }
  const std::vector<std::string> env = bed.Environment();
  if (!options.envFile.empty() && !WriteEnvFile(options.envFile, env)) {
    std::fprintf(stderr, "qv46-sim: cannot write %s\n", options.envFile.c_str());
    return 1;
  }
  for (const std::string& line : env) std::printf("%s\n", line.c_str());
  std::printf("ready\n");
  std::fflush(stdout);

  std::string pending;
  for (;;) {
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {signalFd, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents) break;
    char buffer[4096];
    ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) break;
    pending.append(buffer, static_cast<std::size_t>(n));
    bool quit = false;
    for (std::size_t end; !quit && (end = pending.find('\n')) != std::string::npos;) {
      std::string answer = session.Run(pending.substr(0, end));
      pending.erase(0, end + 1);
      quit = answer.empty();
      if (!quit) std::printf("%s\n", answer.c_str());
    }
    std::fflush(stdout);
    if (quit) break;
  }
  close(signalFd);
  return 0;
}
