// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "PrintSystem.h"

#include <cups/cups.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace e2e {

bool Eventually(const std::function<bool()>& condition, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  // Looks again soon at first, most conditions hold within milliseconds, then
  // every 100 ms, so a long wait costs the checks little.
  int pauseMs = 5;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    pauseMs = std::min(2 * pauseMs, 100);
  }
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool WriteFile(const std::string& path, const std::string& bytes, unsigned mode) {
  std::ofstream(path, std::ios::binary) << bytes;
  return chmod(path.c_str(), mode) == 0;
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

bool WholePackets(const std::string& bytes) {
  size_t at = 0;
  while (at + 32 <= bytes.size()) {
    if (bytes[at] != '\x1b' || bytes[at + 1] != 'P') return false;
    const std::string digits = bytes.substr(at + 24, 8);
    if (digits == "        ") {
      at += 32;
    } else if (digits.find_first_not_of("0123456789") == std::string::npos) {
      at += 32 + std::stoul(digits);
    } else {
      return false;
    }
  }
  return at == bytes.size();
}

PrintSystem::PrintSystem(Options options) : options_(std::move(options)) {}

PrintSystem::~PrintSystem() {
  if (daemon_) daemon_->Terminate();
  cupsd_.reset();
  if (simulator_) {
    simulator_->CloseStdin();
    simulator_->Terminate();
  }
  if (!options_.programs.daemon.empty()) {
    for (const std::string& serial : Serials()) {
      if (serial.find('/') != std::string::npos) continue;  // names no file in /tmp
      for (const char* suffix : {".log", "_UTIL", "_TC_UTIL"})
        unlink(("/tmp/QV-46_" + serial + suffix).c_str());
    }
  }
  if (!work_.empty()) std::system(("rm -rf '" + work_ + "'").c_str());
}

std::string PrintSystem::DaemonQueueCommand(const std::string& serial) {
  return "lpadmin -p VALDREN-QV-46 -E -D \"VALDREN QV-46\" -m VALDREN_QV-46.ppd "
         "-v valdren-zelbackend://VALDREN/QV-46?serial=" +
         serial + " -o printer-is-shared=false";
}

bool PrintSystem::Prepare(std::string* error) {
  char tmpl[] = "/tmp/qv46-e2e-XXXXXX";
  if (!mkdtemp(tmpl)) {
    *error = "mkdtemp failed";
    return false;
  }
  work_ = tmpl;
  serial_ = options_.serials.empty() ? "E2E" + std::to_string(getpid()) : options_.serials[0];
  return true;
}

std::vector<std::string> PrintSystem::Serials() const {
  if (!options_.serials.empty()) return options_.serials;
  std::vector<std::string> all = {serial_};
  for (int i = 1; i < options_.printers; ++i) all.push_back(serial_ + char('A' + i));
  return all;
}

std::string PrintSystem::CapturePath(const std::string& serial) const {
  std::string name = serial;
  std::replace(name.begin(), name.end(), '/', '_');  // as qv46-sim names it
  return work_ + "/capture-" + name + ".bin";
}

bool PrintSystem::SimulatorCommand(const std::string& line) {
  const std::string out = work_ + "/sim.out";
  const size_t before = ReadFile(out).size();
  std::string answer;
  if (!simulator_->WriteStdin(line + "\n")) return false;
  Eventually(
      [&] {
        answer = ReadFile(out).substr(before);
        return !answer.empty() && answer.back() == '\n';
      },
      10000);
  return answer.rfind("ok", 0) == 0;
}

bool PrintSystem::Start(std::string* error) {
  if (work_.empty() && !Prepare(error)) return false;
  if (!StartSimulator(error)) return false;

  qv46test::PrivateCupsd::Options options;
  options.models = {qv46test::PrivateCupsd::DefaultPpdPath()};
  options.models.insert(options.models.end(), options_.extraModels.begin(),
                        options_.extraModels.end());
  options.extraFilters = {options_.programs.filter};
  options.extraFilters.insert(options.extraFilters.end(), options_.extraFilters.begin(),
                              options_.extraFilters.end());
  options.extraBackends = {options_.programs.backend};
  options.env = simEnv_;
  options.backendPreload = simPreload_;
  cupsd_ = std::make_unique<qv46test::PrivateCupsd>(options);
  if (!cupsd_->Start(error)) return false;
  cupsd_->ApplyClientEnv();
  return options_.programs.daemon.empty() || StartDaemon(error);
}

bool PrintSystem::StartSimulator(std::string* error) {
  const std::string envFile = work_ + "/sim.env";
  qv46sim::SpawnOptions spawn;
  spawn.stdinPipe = true;  // it runs until its input closes
  spawn.stdoutFile = work_ + "/sim.out";
  spawn.stderrFile = work_ + "/sim.err";
  std::vector<std::string> argv = {options_.programs.simulator, "--capture",
                                   CapturePath("{serial}"), "--env-file", envFile};
  for (const std::string& serial : Serials()) {
    argv.push_back("--serial");
    argv.push_back(serial);
  }
  simulator_ = std::make_unique<qv46sim::Process>(qv46sim::SpawnProcess(argv, {}, spawn));
  if (!Eventually([&] { return Exists(envFile) || !simulator_->Running(); }, 20000) ||
      !Exists(envFile)) {
    *error = "the simulated printer did not start: " + ReadFile(work_ + "/sim.err");
    return false;
  }
  // cupsd sets TMPDIR for its children itself and passes on no LD_*
  // variable: the preload goes to the backend through its wrapper.
  std::istringstream lines(ReadFile(envFile));
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("LD_PRELOAD=", 0) == 0)
      simPreload_ = line.substr(line.find('=') + 1);
    else if (line.rfind("TMPDIR=", 0) != 0)
      simEnv_.push_back(line);
  }
  return true;
}

bool PrintSystem::StartDaemon(std::string* error) {
  // The daemon sees the printer through the preload and registers its
  // queue with the private cupsd.
  std::vector<std::string> env = {"LD_PRELOAD=" + simPreload_, "TMPDIR=/tmp"};
  env.insert(env.end(), simEnv_.begin(), simEnv_.end());
  for (const std::string& var : cupsd_->ClientEnv()) env.push_back(var);
  qv46sim::SpawnOptions spawn;
  spawn.stdoutFile = work_ + "/daemon.out";
  spawn.stderrFile = work_ + "/daemon.err";
  daemon_ = std::make_unique<qv46sim::Process>(
      qv46sim::SpawnProcess({options_.programs.daemon}, env, spawn));
  std::string out;
  if (!Eventually(
          [&] {
            return cupsd_->Run({"lpstat", "-v", QueueName()}, &out) == 0 || !daemon_->Running();
          },
          30000) ||
      !daemon_->Running()) {
    *error = "the status daemon registered no queue: " + ReadFile(work_ + "/daemon.err") + out;
    return false;
  }
  return true;
}

int PrintSystem::Submit(const std::string& queue, const std::vector<std::string>& options,
                        const std::string& file, std::string* out) {
  std::vector<std::string> argv = {"lp", "-d", queue};
  for (const std::string& o : options) {
    argv.push_back("-o");
    argv.push_back(o);
  }
  argv.push_back(file);
  std::string text;
  if (cupsd_->Run(argv, &text) != 0) return -1;
  if (out) *out = text;
  // "request id is VALDREN-QV-46-100007 (1 file(s))"
  size_t end = text.find(" (");
  size_t dash = text.rfind('-', end);
  return end == std::string::npos || dash == std::string::npos ? -1
                                                               : std::atoi(text.c_str() + dash + 1);
}

int PrintSystem::JobState(int id) {
  cups_job_t* jobs = nullptr;
  int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, nullptr, 0, CUPS_WHICHJOBS_ALL);
  int state = -1;
  for (int i = 0; i < count; ++i) {
    if (jobs[i].id == id) state = jobs[i].state;
  }
  cupsFreeJobs(count, jobs);
  return state;
}

int PrintSystem::WaitForJob(int id, const std::set<int>& states, int timeoutMs) {
  int state = -1;
  Eventually([&] { return states.count(state = JobState(id)) > 0; }, timeoutMs);
  return state;
}

std::string PrintSystem::PrinterStateReasons(const std::string& queue) {
  cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, queue.c_str(), nullptr);
  const char* reasons =
      dest ? cupsGetOption("printer-state-reasons", dest->num_options, dest->options) : nullptr;
  std::string text = reasons ? reasons : "";
  cupsFreeDests(dest ? 1 : 0, dest);
  return text;
}

size_t PrintSystem::Captured(const std::string& serial) const {
  struct stat st;
  return stat(CapturePath(serial).c_str(), &st) == 0 ? static_cast<size_t>(st.st_size) : 0;
}

std::string JobStreamIn(std::string bytes) {
  // Queries carry no payload: 32 bytes each.
  for (;;) {
    bool query = false;
    for (const char* word : {"\x1bPINFO  ", "\x1bPSTATUS", "\x1bPMNT_RD"})
      query = query || bytes.compare(0, std::strlen(word), word) == 0;
    if (!query) break;
    bytes.erase(0, 32);
  }
  const size_t start = bytes.rfind("\x1bPCNTRL START");
  if (start != std::string::npos) bytes.erase(start + 32);
  return bytes;
}

std::string PrintSystem::JobStreamSince(size_t offset) const {
  std::string bytes = ReadFile(CapturePath(serial_));
  bytes.erase(0, std::min(offset, bytes.size()));
  return JobStreamIn(std::move(bytes));
}

int PrintSystem::Decode(const std::string& stream, const std::string& dir, std::string* listing) {
  WriteFile(dir + ".bin", stream);
  mkdir(dir.c_str(), 0755);
  return cupsd_->Run({options_.programs.streamTool, "-o", dir, dir + ".bin"}, listing);
}

bool PrintSystem::BackendFilesGone(const std::string& serial, int job) {
  const std::string marker = "Pause_valdren-zelbackend:__VALDREN_QV-46?serial=" + serial + ".";
  return Eventually(
      [&] {
        std::string out;
        cupsd_->Run({"sh", "-c", "ls /tmp | grep -F '" + marker + "'"}, &out);
        const std::string jobFiles = "/tmp/Print_" + std::to_string(job);
        return out.empty() && !Exists(jobFiles + ".log") && !Exists(jobFiles + ".wait");
      },
      15000);
}

}  // namespace e2e
