// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// qv46-reliability-figures <cancel|status|plug-in|two-printers|burst>: figures of
// the print path under load, measured through a private cupsd with the real
// filter, backend and status daemon and simulated printers. Needs root.
//   cancel        five jobs cancelled while a plane is being sent, each
//                 followed by a job: where the sending stopped, and whether
//                 (and how soon) the next job printed whole
//   status        the status file read on every change and continuously
//                 while the daemon rewrites it each second: reads not whole
//   plug-in       a job queued 30 s before its printer is plugged in: time
//                 from plug-in to the first command and to the end
//   two-printers  one job stream sent raw, twice to each of two printers,
//                 the second printer's jobs queued while the first one
//                 prints: how long both printers received data at once
//   burst         four two-up jobs on one printer, then four on each of four
//                 printers at once: their spans, the CPU time of the filters
//                 and backends and of the simulated USB, and four printers'
//                 throughput against one's
// QV46_FIGURES_BACKEND and QV46_FIGURES_FILTER name other backend and filter
// builds to measure, for a before-and-after comparison.
#include <cups/cups.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "PrintSystem.h"
#include "TestImages.h"

using e2e::PrintSystem;
using Clock = std::chrono::steady_clock;

namespace {

const std::set<int> kFinished = {IPP_JSTATE_COMPLETED, IPP_JSTATE_ABORTED, IPP_JSTATE_CANCELED,
                                 IPP_JSTATE_STOPPED};
const std::vector<std::string> kTwoUpJob = {"PageSize=153x102mm", "Resolution=300x600dpi",
                                            "copies=2"};
// Two full panels of 600x600 dpi planes: six large IMAGE packets.
const std::vector<std::string> kLargeJob = {"PageSize=153x229mm", "Resolution=600x600dpi",
                                            "copies=2"};

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::unique_ptr<PrintSystem> StartSystem(bool daemon, int printers) {
  PrintSystem::Options options;
  options.programs = {QV46_FILTER, QV46_BACKEND, QV46_SIM_CLI, QV46_STREAM,
                      daemon ? QV46_DAEMON : ""};
  options.printers = printers;
  if (const char* backend = std::getenv("QV46_FIGURES_BACKEND")) options.programs.backend = backend;
  if (const char* filter = std::getenv("QV46_FIGURES_FILTER")) options.programs.filter = filter;
  auto system = std::make_unique<PrintSystem>(options);
  std::string error;
  if (!system->Start(&error)) {
    std::cerr << "qv46-reliability-figures: " << error << "\n";
    return nullptr;
  }
  e2e::WritePng(system->Work() + "/photo.png", e2e::SamplePhoto(1800, 1200));
  return system;
}

std::string QueueFor(const PrintSystem& system, const std::string& serial) {
  return serial == system.Serial() ? PrintSystem::QueueName() : "QV46-" + serial;
}

bool AddQueues(PrintSystem& system) {
  for (const std::string& serial : system.Serials()) {
    std::string command = PrintSystem::DaemonQueueCommand(serial);
    command.replace(command.find(PrintSystem::QueueName()), std::strlen(PrintSystem::QueueName()),
                    QueueFor(system, serial));
    if (system.Cupsd().Run({"sh", "-c", command}) != 0) return false;
  }
  return true;
}

// Plane packets that have begun to arrive since `from`.
int PlanesBegun(const PrintSystem& system, size_t from) {
  const std::string bytes = e2e::ReadFile(system.CapturePath(system.Serial()));
  int planes = 0;
  for (size_t at = from; (at = bytes.find("\x1bPIMAGE ", at)) != std::string::npos; ++at)
    planes += bytes.compare(at + 9, 5, "PLANE") == 0;
  return planes;
}

int CancelFigures() {
  auto system = StartSystem(true, 1);
  if (!system) return 1;
  const std::string serial = system->Serial();
  const std::string queue = PrintSystem::QueueName();
  e2e::WriteFile("/tmp/QV-46_" + serial + "_UTIL", "", 0666);  // the daemon polls every second
  const std::string photo = system->Work() + "/photo.png";
  int jams = 0;
  for (int plane = 1; plane <= 5; ++plane) {
    const size_t start = system->Captured();
    const int id = system->Submit(queue, kLargeJob, photo);
    e2e::Eventually([&] { return PlanesBegun(*system, start) >= plane; }, 120000);
    system->Cupsd().Run({"cancel", std::to_string(id)});
    PrintSystem::WaitForJob(id, kFinished);
    std::this_thread::sleep_for(std::chrono::seconds(2));  // a daemon poll or two

    const size_t next = system->Captured();
    const bool boundary =
        e2e::WholePackets(e2e::ReadFile(system->CapturePath(serial)).substr(start, next - start));
    const auto t0 = Clock::now();
    const int nextId = system->Submit(queue, kTwoUpJob, photo);
    const int state = PrintSystem::WaitForJob(nextId, kFinished, 90000);
    const double took = Since(t0);
    std::string listing;
    const bool whole =
        state == IPP_JSTATE_COMPLETED &&
        system->Decode(system->JobStreamSince(next),
                       system->Work() + "/next" + std::to_string(plane), &listing) == 0 &&
        listing.find(" 1 panels") != std::string::npos;
    std::printf("cancel at plane %d: sending stopped %s a packet boundary; next job %s in %.1f s\n",
                plane, boundary ? "at" : "INSIDE", whole ? "printed whole" : "DID NOT PRINT", took);
    std::fflush(stdout);
    if (!whole) {
      ++jams;
      system->Cupsd().Run({"cancel", std::to_string(nextId)});
      // Only unplugging clears a printer that waits for the rest of a command.
      system->SimulatorCommand("unplug " + serial);
      system->SimulatorCommand("plug " + serial);
      std::this_thread::sleep_for(std::chrono::seconds(3));
    }
  }
  std::printf("cancel: %d of 5 cancels jammed the printer\n", jams);
  unlink(("/tmp/QV-46_" + serial + "_UTIL").c_str());
  return 0;
}

int StatusFigures() {
  auto system = StartSystem(true, 1);
  if (!system) return 1;
  const std::string name = "QV-46_" + system->Serial() + ".log";
  const std::string path = "/tmp/" + name;
  e2e::WriteFile("/tmp/QV-46_" + system->Serial() + "_UTIL", "", 0666);
  e2e::Eventually([&] { return e2e::Exists(path); }, 30000);

  struct Reads {
    std::atomic<int> all{0}, empty{0}, partial{0};
    void Take(const std::string& text) {
      ++all;
      if (text.empty())
        ++empty;
      else if (std::count(text.begin(), text.end(), '\n') != 16)
        ++partial;
    }
  } onChange, continuous;
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    while (!stop) {
      continuous.Take(e2e::ReadFile(path));
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  const int fd = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  inotify_add_watch(fd, "/tmp", IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE);
  const auto start = Clock::now();
  while (Since(start) < 30) {
    alignas(inotify_event) char buffer[4096];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) {
      std::this_thread::sleep_for(std::chrono::microseconds(100));
      continue;
    }
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      if (event->len && name == event->name) onChange.Take(e2e::ReadFile(path));
      at += sizeof(inotify_event) + event->len;
    }
  }
  stop = true;
  reader.join();
  close(fd);
  unlink(("/tmp/QV-46_" + system->Serial() + "_UTIL").c_str());
  for (const auto& [what, reads] :
       {std::pair<const char*, Reads*>{"on each change", &onChange}, {"continuously", &continuous}})
    std::printf("status file read %s for 30 s: %d reads, %d empty, %d partial\n", what,
                reads->all.load(), reads->empty.load(), reads->partial.load());
  return 0;
}

int PlugInFigures() {
  auto system = StartSystem(false, 1);
  if (!system || !AddQueues(*system)) return 1;
  const std::string serial = system->Serial();
  system->SimulatorCommand("unplug " + serial);
  const size_t start = system->Captured();
  const int id = system->Submit(PrintSystem::QueueName(), kTwoUpJob, system->Work() + "/photo.png");
  std::this_thread::sleep_for(std::chrono::seconds(30));
  system->SimulatorCommand("plug " + serial);
  const auto plugged = Clock::now();
  const bool began =
      e2e::Eventually([&] { return !system->JobStreamSince(start).empty(); }, 300000);
  const double started = Since(plugged);
  const int state = PrintSystem::WaitForJob(id, kFinished, 300000);
  const double done = Since(plugged);
  std::string listing;
  const bool twoUp =
      state == IPP_JSTATE_COMPLETED &&
      system->Decode(system->JobStreamSince(start), system->Work() + "/plug-in", &listing) == 0 &&
      listing.find(" 1 panels") != std::string::npos;
  std::printf(
      "plug-in 30 s after lp: job started %s%.1f s and ended %.1f s after plug-in; "
      "two copies on one panel: %s\n",
      began ? "" : "more than ", started, done, twoUp ? "yes" : "NO");
  return 0;
}

// CPU seconds from /proc/<pid>/stat: the process's own (utime, stime) or
// that of the children it has reaped (cutime, cstime).
double CpuSeconds(int pid, bool reapedChildren) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), {});
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  double ticks = 0;
  // After the name, the state is field 3.
  const int first = reapedChildren ? 16 : 14;
  for (int i = 3; i <= first + 1 && fields >> field; ++i)
    if (i >= first) ticks += std::stod(field);
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Our child qv46-sim, which serves every simulated printer's USB.
int SimulatorPid() {
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    std::ifstream commandLine(entry.path() / "cmdline");
    std::string command((std::istreambuf_iterator<char>(commandLine)), {});
    const size_t close = text.rfind(')');
    // It runs itself again under the preload, so its name is "exe".
    if (close == std::string::npos || command.find("qv46-sim") == std::string::npos) continue;
    std::istringstream fields(text.substr(close + 2));
    std::string state;
    int parent = 0;
    if (fields >> state >> parent && parent == getpid()) return std::atoi(name.c_str());
  }
  return -1;
}

int BurstFigures() {
  constexpr int kJobsEach = 4;
  auto system = StartSystem(false, 4);
  if (!system || !AddQueues(*system)) return 1;
  const std::vector<std::string> serials = system->Serials();
  const int simulator = SimulatorPid();
  struct Run {
    double span, cpu, usb;
    int completed, waits;
  };
  // Backends that did not find their printer free at the first look.
  auto waits = [&] {
    const std::string log = system->Cupsd().ErrorLog();
    int n = 0;
    for (size_t at = 0; (at = log.find("] Waiting for the QV-46", at)) != std::string::npos; ++at)
      ++n;
    return n;
  };
  auto burst = [&](int printers) {
    const double cpu = CpuSeconds(system->Cupsd().Pid(), true);
    const double usb = CpuSeconds(simulator, false);
    const int waited = waits();
    const auto start = Clock::now();
    std::vector<int> jobs;
    for (int j = 0; j < kJobsEach; ++j)
      for (int p = 0; p < printers; ++p)
        jobs.push_back(system->Submit(QueueFor(*system, serials[static_cast<size_t>(p)]), kTwoUpJob,
                                      system->Work() + "/photo.png"));
    Run run{0, 0, 0, 0, 0};
    for (int id : jobs)
      run.completed += PrintSystem::WaitForJob(id, kFinished, 600000) == IPP_JSTATE_COMPLETED;
    run.span = Since(start);
    run.cpu = CpuSeconds(system->Cupsd().Pid(), true) - cpu;
    run.usb = CpuSeconds(simulator, false) - usb;
    run.waits = waits() - waited;
    return run;
  };
  const Run one = burst(1);
  const Run four = burst(4);
  std::printf(
      "burst of %d two-up jobs a printer: one printer %.1f s (%d completed; CPU s: filters "
      "and backends %.1f, simulated USB %.1f; %d backends waited for their printer), four "
      "printers %.1f s (%d completed; %.1f, %.1f; %d waited); four give %.2fx one's throughput\n",
      kJobsEach, one.span, one.completed, one.cpu, one.usb, one.waits, four.span, four.completed,
      four.cpu, four.usb, four.waits, 4 * one.span / four.span);
  return 0;
}

int TwoPrinterFigures() {
  auto system = StartSystem(false, 2);
  if (!system || !AddQueues(*system)) return 1;
  const std::vector<std::string> serials = system->Serials();
  const std::string queues[2] = {QueueFor(*system, serials[0]), QueueFor(*system, serials[1])};
  // The filter makes the stream once; sent raw, only backends and printers work.
  const size_t first = system->Captured();
  const int made = system->Submit(queues[0], kLargeJob, system->Work() + "/photo.png");
  if (PrintSystem::WaitForJob(made, kFinished) != IPP_JSTATE_COMPLETED) return 1;
  const std::string stream = system->Work() + "/job.bin";
  e2e::WriteFile(stream, system->JobStreamSince(first));

  // A printer counts as busy in a 50 ms step when it received over 4 KiB.
  double busy[2] = {0, 0}, both = 0, firstBusy = -1, lastBusy = 0;
  std::atomic<bool> done{false};
  const auto start = Clock::now();
  std::thread sampler([&] {
    size_t last[2] = {system->Captured(serials[0]), system->Captured(serials[1])};
    while (!done) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      bool active[2];
      for (int p = 0; p < 2; ++p) {
        const size_t now = system->Captured(serials[p]);
        active[p] = now - last[p] > 4096;
        last[p] = now;
        busy[p] += active[p] ? 0.05 : 0;
      }
      both += active[0] && active[1] ? 0.05 : 0;
      if (active[0] || active[1]) {
        if (firstBusy < 0) firstBusy = Since(start);
        lastBusy = Since(start);
      }
    }
  });
  std::vector<int> jobs;
  const size_t before = system->Captured(serials[0]);
  for (int round = 0; round < 2; ++round)
    jobs.push_back(system->Submit(queues[0], {"raw"}, stream));
  e2e::Eventually([&] { return system->Captured(serials[0]) > before + (1 << 20); }, 60000);
  for (int round = 0; round < 2; ++round)
    jobs.push_back(system->Submit(queues[1], {"raw"}, stream));
  for (int id : jobs) PrintSystem::WaitForJob(id, kFinished, 600000);
  done = true;
  sampler.join();
  int completed = 0;
  for (int id : jobs) completed += PrintSystem::JobState(id) == IPP_JSTATE_COMPLETED;
  std::printf(
      "two printers, two jobs each: %d of 4 completed; printing span %.1f s; "
      "printer A busy %.1f s, B %.1f s, both at once %.1f s\n",
      completed, lastBusy - firstBusy, busy[0], busy[1], both);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc == 2 ? argv[1] : "";
  if (what == "cancel") return CancelFigures();
  if (what == "status") return StatusFigures();
  if (what == "plug-in") return PlugInFigures();
  if (what == "two-printers") return TwoPrinterFigures();
  if (what == "burst") return BurstFigures();
  std::cerr << "usage: qv46-reliability-figures cancel|status|plug-in|two-printers|burst\n";
  return 2;
}
