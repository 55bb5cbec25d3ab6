// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The rastertoqv46 program as CUPS runs it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "FilterTestSupport.h"
#include "OtherUser.h"

using qv46test::AsNobody;
using qv46test::Child;
using qv46test::Describe;
using qv46test::JobInfoFile;
using qv46test::MakeRaster;
using qv46test::ParsePackets;
using qv46test::RasterPage;
using qv46test::RunProgram;
using qv46test::TempPath;
using qv46test::WriteFile;
using qv46test::WriteNewFile;

namespace {

const std::string kFilter = QV46_RASTERTOQV46;

std::vector<std::string> FilterArgs(const std::string& jobId, const std::string& options) {
  return {"VALDREN-QV-46", jobId, "user", "title", "1", options};
}

TEST(CommandLine, WrongArgumentCountsExitOneAndWriteNothing) {
  const std::vector<std::vector<std::string>> argumentLists = {
      {"queue", "1", "user", "title"},
      {"queue", "1", "user", "title", "1", "", "/dev/null", "extra"},
      {"queue"},
  };
  for (const auto& args : argumentLists) {
    const auto result = RunProgram(kFilter, args, {}, {});
    EXPECT_EQ(1, result.exitStatus) << args.size();
    EXPECT_TRUE(result.output.empty()) << args.size();
    EXPECT_TRUE(result.errors.empty()) << args.size();
  }
}

TEST(CommandLine, UnopenableRasterFileExitsOne) {
  JobInfoFile info("MEDIA_SIZE=\"00310\"\n");
  auto args = FilterArgs(info.JobId(), "");
  args.push_back("/nonexistent/qv46/job.ras");
  const auto result = RunProgram(kFilter, args, {}, {});
  EXPECT_EQ(1, result.exitStatus);
  EXPECT_TRUE(result.output.empty());
  EXPECT_TRUE(result.errors.empty());
}

TEST(CommandLine, EmptyRasterStreamsExitZeroWithoutOutput) {
  JobInfoFile info("MEDIA_SIZE=\"00310\"\n");
  TempPath empty("qv46filtertest-empty");
  WriteFile(empty.Path(), {});
  auto fromFile = FilterArgs(info.JobId(), "");
  fromFile.push_back(empty.Path());
  for (const auto& args : {FilterArgs(info.JobId(), ""), fromFile}) {
    const auto result = RunProgram(kFilter, args, {}, {});
    EXPECT_EQ(0, result.exitStatus) << args.size();
    EXPECT_TRUE(result.output.empty()) << args.size();
    EXPECT_TRUE(result.errors.empty()) << args.size();
  }
}

TEST(CommandLine, PrintsTwoPagesOnOnePanelWithPpdDefaults) {
  JobInfoFile info("MEDIA_SIZE=\"00310\"\nMEDIA_REMAIN_HALF=\"20\"\n");
  TempPath ppd("qv46filtertest-ppd");
  std::ofstream(ppd.Path()) << "*PPD-Adobe: \"4.3\"\n"
                               "*DefaultPageSize: 153x102mm\n"
                               "*DefaultZelPrintRetry: Disable\n"
                               "*DefaultZelOvercoatFinish: Luster\n";
  TempPath raster("qv46filtertest-job");
  WriteFile(raster.Path(), MakeRaster(std::vector<RasterPage>(2)));
  auto args = FilterArgs(info.JobId(), "ZelOvercoatFinish=Matte");
  args.push_back(raster.Path());

  const auto result = RunProgram(kFilter, args, {"PPD=" + ppd.Path()}, {});
  EXPECT_EQ(0, result.exitStatus);
  EXPECT_TRUE(result.errors.empty());
  const std::vector<std::string> expected = {
      "CNTRL/CUTTER=00000000",
      "CNTRL/OVERCOAT=00000001",
      "CNTRL/BUFFCNTRL=00000000",
      "CNTRL/PRINTSPEED=00000000",
      "IMAGE/MULTICUT=00000012",
      "IMAGE/YPLANE",
      "IMAGE/MPLANE",
      "IMAGE/CPLANE",
      "CNTRL/START",
  };
  EXPECT_EQ(expected, Describe(ParsePackets(result.output)));
}

// A raster file with a hole after its pages: past 2 GiB a 32-bit kernel
// opens it only for a program built with 64-bit file offsets.
TEST(CommandLine, RasterFilesPastTwoAndFourGibPrintLikeSmallOnes) {
  JobInfoFile info("MEDIA_SIZE=\"00310\"\nMEDIA_REMAIN_HALF=\"20\"\n");
  const std::vector<uint8_t> pages = MakeRaster(std::vector<RasterPage>(2));
  const auto expected = RunProgram(kFilter, FilterArgs(info.JobId(), ""), {}, pages);
  ASSERT_EQ(0, expected.exitStatus);
  ASSERT_FALSE(expected.output.empty());

  const int64_t kGib = int64_t{1} << 30;
  for (const int64_t size : {2 * kGib + 1, 4 * kGib + 4096}) {
    TempPath raster("qv46filtertest-large");
    WriteFile(raster.Path(), pages);
    // Made with the 64-bit calls whatever this build's flags.
    const int fd = open(raster.Path().c_str(), O_WRONLY | O_LARGEFILE);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(0, ftruncate64(fd, size)) << std::strerror(errno);
    close(fd);
    auto args = FilterArgs(info.JobId(), "");
    args.push_back(raster.Path());
    const auto result = RunProgram(kFilter, args, {}, {});
    EXPECT_EQ(0, result.exitStatus) << size;
    EXPECT_TRUE(result.errors.empty()) << size;
    EXPECT_EQ(expected.output, result.output) << size;
  }
}

// The kernel's view of a process: 'R' running, 'S' sleeping, ...
char ProcessState(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), {});
  const size_t close = text.rfind(')');
  return close == std::string::npos || close + 2 >= text.size() ? '?' : text[close + 2];
}

// The signals sent to a process and not yet delivered, as /proc shows them.
std::string PendingSignals(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("ShdPnd:", 0) == 0) return line.substr(line.find_first_not_of(" \t", 7));
  }
  return "";
}

// Waits until the child has taken every byte we wrote and sleeps in a read.
bool WaitUntilBlockedOnInput(const Child& child) {
  int quietChecks = 0;
  for (int i = 0; i < 3000 && quietChecks < 5; ++i) {
    const bool blocked = child.UnreadInput() == 0 && ProcessState(child.Pid()) == 'S';
    quietChecks = blocked ? quietChecks + 1 : 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return quietChecks >= 5;
}

TEST(CommandLine, SigtermWhileLinesAreReadStopsTheJob) {
  // Job information without media: each image is its own print.
  JobInfoFile info("MEDIA_REMAIN_HALF=\"2\"\n");
  std::vector<RasterPage> pages(2);
  for (RasterPage& page : pages) {
    page.width = 200;
    page.height = 100;
  }
  const std::vector<uint8_t> stream = MakeRaster(pages);
  std::vector<RasterPage> upToSecondPageMiddle = pages;
  upToSecondPageMiddle[1].rowsWritten = 50;
  const size_t cut = MakeRaster(upToSecondPageMiddle).size();

  Child child(kFilter, FilterArgs(info.JobId(), ""), {});
  child.WriteInput(stream, 0, cut);
  ASSERT_TRUE(WaitUntilBlockedOnInput(child));
  ASSERT_EQ(0, kill(child.Pid(), SIGTERM));
  // More lines arrive; the filter must not turn them into a print.
  child.WriteInput(stream, cut);
  EXPECT_EQ(0, child.Wait());
  EXPECT_TRUE(child.Errors().empty());

  // Only the first page's print went out.
  const std::vector<std::string> lines = Describe(ParsePackets(child.Output()));
  ASSERT_EQ(9u, lines.size());
  EXPECT_EQ("IMAGE/MULTICUT=00000402", lines[4]);
  EXPECT_EQ("CNTRL/START", lines[8]);
}

TEST(CommandLine, SigtermWhileBlockedOnOutputStillFinishesThatPrint) {
  // A one-page pipe, as to a backend that is slow to take the job: the
  // plane packet blocks with the pipe full when SIGTERM arrives.
  JobInfoFile info("MEDIA_REMAIN_HALF=\"2\"\n");
  TempPath raster("qv46filtertest-job");
  WriteFile(raster.Path(), MakeRaster(std::vector<RasterPage>(2)));
  int ends[2];
  ASSERT_EQ(0, pipe2(ends, O_CLOEXEC));
  ASSERT_EQ(4096, fcntl(ends[1], F_SETPIPE_SZ, 4096));
  auto args = FilterArgs(info.JobId(), "");
  args.push_back(raster.Path());
  qv46test::Launch launch = qv46test::LaunchOf(kFilter, args);
  std::vector<char*> argv = launch.Argv();
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(ends[1], STDOUT_FILENO);
    execv(launch.executable.c_str(), argv.data());
    _exit(127);
  }
  close(ends[1]);
  int quietChecks = 0;
  for (int i = 0; i < 3000 && quietChecks < 5; ++i) {
    int queued = 0;
    ioctl(ends[0], FIONREAD, &queued);
    quietChecks = queued == 4096 && ProcessState(pid) == 'S' ? quietChecks + 1 : 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(5, quietChecks) << "the filter never blocked on its output";
  ASSERT_EQ(0, kill(pid, SIGTERM));
  // Let the signal land before draining: a drain first would let the write
  // go on before the filter even sees the signal.
  bool delivered = false;
  for (int i = 0; i < 300 && !delivered; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    delivered = PendingSignals(pid) == "0000000000000000";
  }
  ASSERT_TRUE(delivered);

  std::vector<uint8_t> output;
  uint8_t chunk[65536];
  for (ssize_t n; (n = read(ends[0], chunk, sizeof chunk)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    ASSERT_GT(n, 0);
    output.insert(output.end(), chunk, chunk + n);
  }
  close(ends[0]);
  int status = 0;
  ASSERT_EQ(pid, waitpid(pid, &status, 0));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  // The print under way goes out whole; the second page is never printed.
  const std::vector<std::string> lines = Describe(ParsePackets(output));
  ASSERT_EQ(9u, lines.size());
  EXPECT_EQ("IMAGE/MULTICUT=00000402", lines[4]);
  EXPECT_EQ("CNTRL/START", lines[8]);
}

// As the backend publishes its files: whole, by renaming, mode 0644.
void Publish(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".new";
  ASSERT_TRUE(WriteNewFile(temporary, text, 0644));
  ASSERT_EQ(0, rename(temporary.c_str(), path.c_str()));
}

// A process that stays until destroyed: a backend that still looks for its printer.
class WaitingBackend {
 public:
  WaitingBackend() : pid_(fork()) {
    if (pid_ == 0) {
      for (;;) pause();
    }
  }
  ~WaitingBackend() { End(); }
  WaitingBackend(const WaitingBackend&) = delete;
  WaitingBackend& operator=(const WaitingBackend&) = delete;
  pid_t Pid() const { return pid_; }
  void End() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_;
};

// True once `path` has been opened `count` times since the call (the filter
// looks at the backend's waiting file once a round), false when `pid` ended first.
bool OpenedBeforeExit(const std::string& path, int count, pid_t pid) {
  const int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  if (watch < 0 || inotify_add_watch(watch, path.c_str(), IN_OPEN) < 0) {
    ADD_FAILURE() << "inotify: " << std::strerror(errno);
    if (watch >= 0) close(watch);
    return false;
  }
  int opens = 0;
  for (int i = 0; i < 3000 && opens < count; ++i) {
    pollfd ready{watch, POLLIN, 0};
    poll(&ready, 1, 10);
    alignas(inotify_event) char events[4096];
    for (ssize_t n; (n = read(watch, events, sizeof events)) > 0;) {
      for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(events + at);
        if (event->mask & IN_OPEN) ++opens;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    siginfo_t ended{};
    if (opens < count &&
        waitid(P_PID, static_cast<id_t>(pid), &ended, WEXITED | WNOHANG | WNOWAIT) == 0 &&
        ended.si_pid == pid)
      break;
  }
  close(watch);
  return opens >= count;
}

// Another local user creates the filter's files in the shared /tmp before
// the backend does. The filter must go by the backend's files alone: its
// job information once published, or that it gave up.
TEST(LocalUser, FilesPlantedByAnotherUserCountAsAbsent) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to plant files as nobody";
  enum Plant { kJobInfo, kJobInfoRootLeftWritable, kWaitingFileAfterTheBackendGaveUp };
  struct Case {
    const char* name;
    Plant plant;
    std::string genuine;  // the backend's job information; empty: it gave up
  };
  // The loaded 6x4 stock prints two 6x4 pages one after the other; forged
  // 6x8 stock would put them on one panel.
  const std::string kForged = "MEDIA_SIZE=\"00310\"\nMEDIA_REMAIN_HALF=\"20\"\n";
  const Case cases[] = {
      {"job information of another user", kJobInfo, "MEDIA_SIZE=\"00110\"\n"},
      {"root's job information writable by others", kJobInfoRootLeftWritable,
       "MEDIA_SIZE=\"00110\"\n"},
      {"waiting file of another user", kWaitingFileAfterTheBackendGaveUp, ""},
  };
  const std::vector<uint8_t> pages = MakeRaster(std::vector<RasterPage>(2));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    JobInfoFile reference(c.genuine);
    const auto expected =
        RunProgram(kFilter, FilterArgs(reference.JobId(), "PageSize=153x102mm"), {}, pages);
    ASSERT_EQ(0, expected.exitStatus);

    JobInfoFile info;
    const std::string waitFile = info.Path().substr(0, info.Path().size() - 4) + ".wait";
    TempPath planted("qv46filtertest-planted");
    WaitingBackend backend;
    Publish(waitFile, std::to_string(backend.Pid()) + "\n");
    if (c.plant == kJobInfo) {
      ASSERT_TRUE(AsNobody([&] { return WriteNewFile(info.Path(), kForged, 0644); }));
    } else if (c.plant == kJobInfoRootLeftWritable) {
      ASSERT_TRUE(WriteNewFile(info.Path(), "", 0666));
      ASSERT_TRUE(AsNobody([&] {
        std::ofstream out(info.Path(), std::ios::trunc);
        return static_cast<bool>(out << kForged);
      }));
    } else {
      // A process that is always there.
      ASSERT_TRUE(AsNobody([&] { return WriteNewFile(planted.Path(), "1\n", 0644); }));
    }

    Child filter(kFilter, FilterArgs(info.JobId(), "PageSize=153x102mm"), {});
    filter.WriteInput(pages);
    filter.CloseInput();
    // Still waiting for the backend after a look at the planted file.
    EXPECT_TRUE(OpenedBeforeExit(waitFile, 2, filter.Pid()));
    if (c.genuine.empty()) {
      // The planted file takes the name the moment the backend's goes.
      ASSERT_EQ(0, rename(planted.Path().c_str(), waitFile.c_str()));
      backend.End();
      EXPECT_FALSE(OpenedBeforeExit(waitFile, 2, filter.Pid())) << "waits on the planted file";
    } else {
      Publish(info.Path(), c.genuine);
      unlink(waitFile.c_str());
      backend.End();
    }
    EXPECT_EQ(0, filter.Wait());
    EXPECT_EQ(Describe(ParsePackets(expected.output)), Describe(ParsePackets(filter.Output())));
    unlink(waitFile.c_str());
  }
}

}  // namespace
