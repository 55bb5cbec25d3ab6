// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The app around PAPPL's faults (printer-app/PapplFaults.h), through IPP,
// HTTP and the simulated QV-46: a raster document PAPPL would refuse while
// jobs wait prints in its turn, an administrator's release starts nothing out
// of turn, Ghostscript runs with no signal blocked and ends with its job, and
// "localhost" is served on both loopback addresses.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "AppUnderTest.h"
#include "PhotoFiles.h"
#include "PrintSystem.h"
#include "TestImages.h"

namespace {

class PapplFaults : public apptest::AppTest {
 protected:
  std::string Jpeg() {
    const std::string path = Path("photo.jpg");
    EXPECT_TRUE(apptest::WriteJpeg(path, e2e::SamplePhoto(900, 600)));
    return path;
  }

  void PaperEnd() {
    ASSERT_TRUE(app_.Sim("set", "STATUS 01100"));
    ASSERT_TRUE(e2e::Eventually([&] { return app_.PrinterAttribute("printer-state") == "stopped"; },
                                15000));
  }

  // The IPP requests of `operation` the app received so far.
  size_t Requests(const std::string& operation) const {
    const std::string log = e2e::ReadFile(app_.LogPath());
    const std::regex request("IPP/[0-9.]+ " + operation + " ");
    return static_cast<size_t>(std::distance(std::sregex_iterator(log.begin(), log.end(), request),
                                             std::sregex_iterator()));
  }

  // The test's jobs as PAPPL started and ended them, in the log's order:
  // "+3" for a start, "-3" for an end.
  std::vector<std::string> StartsAndEnds(const std::vector<int>& jobs) const {
    std::vector<std::string> events;
    std::ifstream log(app_.LogPath());
    const std::regex line("\\[Job ([0-9]+)\\] (Starting print job|Completed|Canceled|Aborted)");
    std::smatch m;
    for (std::string text; std::getline(log, text);) {
      if (!std::regex_search(text, m, line)) continue;
      if (std::find(jobs.begin(), jobs.end(), std::stoi(m[1])) == jobs.end()) continue;
      events.push_back((m[2] == "Starting print job" ? "+" : "-") + m[1].str());
    }
    return events;
  }

  // Each job started after the one before it ended, oldest first.
  static std::vector<std::string> OneAtATime(const std::vector<int>& jobs) {
    std::vector<std::string> events;
    for (int job : jobs)
      events.insert(events.end(), {"+" + std::to_string(job), "-" + std::to_string(job)});
    return events;
  }
};

// PAPPL refuses a raster document with not-accepting-jobs while the queue
// holds new jobs; it waits for the jobs sent before it instead, named as
// raster or left for PAPPL to tell by its first bytes.
class RasterWhileJobsWait : public PapplFaults, public testing::WithParamInterface<const char*> {};

TEST_P(RasterWhileJobsWait, PrintsAfterThem) {
  const std::string photo = Jpeg();
  const std::string raster = Path("page.pwg");
  ASSERT_TRUE(apptest::WritePwgPage(raster, "na_index-4x6_4x6in", "srgb_8", 300));
  PaperEnd();
  const std::vector<int> before = {app_.Print(photo, "image/jpeg"),
                                   app_.Print(photo, "image/jpeg")};
  ASSERT_GT(before[0], 0);
  ASSERT_GT(before[1], 0);
  int streamed = 0;
  std::string earlierWhenAnswered;
  std::thread phone([&] {
    streamed = app_.Print(raster, GetParam());
    // PAPPL answers a streamed document once it printed.
    for (int job : before) earlierWhenAnswered += app_.JobState(job).substr(0, 9) + " ";
  });
  // The document reached the app while the printer could not print.
  ASSERT_TRUE(e2e::Eventually([&] { return Requests("Print-Job") == 3; }, 15000));
  EXPECT_EQ("pending-held", app_.JobState(before[1]).substr(0, 12));
  ASSERT_TRUE(app_.Sim("set", "STATUS 00000"));
  phone.join();
  ASSERT_GT(streamed, before[1]) << "the raster document was refused";
  EXPECT_EQ("completed completed ", earlierWhenAnswered);
  EXPECT_EQ("completed", app_.WaitForJob(streamed).substr(0, 9));
  EXPECT_EQ(OneAtATime({before[0], before[1], streamed}),
            StartsAndEnds({before[0], before[1], streamed}));
}

INSTANTIATE_TEST_SUITE_P(Formats, RasterWhileJobsWait,
                         testing::Values("image/pwg-raster", "application/octet-stream"));

// PAPPL's Release-Held-New-Jobs releases every waiting job at once and
// starts the newest; whenever an administrator presses it, the jobs print
// one at a time, oldest first.
TEST_F(PapplFaults, AdministratorsReleaseStartsNothingOutOfTurn) {
  const std::string photo = Jpeg();
  PaperEnd();
  std::vector<int> jobs;
  for (int i = 0; i < 4; ++i) jobs.push_back(app_.Print(photo, "image/jpeg"));
  for (int job : jobs) ASSERT_GT(job, 0);
  app_.LogIn(apptest::AppUnderTest::kAdmin, apptest::AppUnderTest::kPassword);
  const std::string released = app_.Ipp("Release-Held-New-Jobs", {});
  EXPECT_NE(std::string::npos, released.find("successful-ok")) << released;
  ASSERT_TRUE(app_.Sim("set", "STATUS 00000"));
  // Pressed again as each job prints, the others waiting.
  for (int job : jobs) {
    ASSERT_TRUE(
        e2e::Eventually([&] { return app_.JobState(job).rfind("pending", 0) != 0; }, 60000));
    app_.Ipp("Release-Held-New-Jobs", {});
  }
  for (int job : jobs) EXPECT_EQ("completed", app_.WaitForJob(job).substr(0, 9)) << job;
  EXPECT_EQ(OneAtATime(jobs), StartsAndEnds(jobs));
}

// The worker holds and releases new jobs itself; an administrator's
// Hold-New-Jobs still holds every job until the administrator releases them;
// anyone else's holds nothing.
TEST_F(PapplFaults, AdministratorsHoldLastsUntilReleased) {
  const std::string photo = Jpeg();
  const std::string refused = app_.Ipp("Hold-New-Jobs", {});
  EXPECT_EQ(std::string::npos, refused.find("successful-ok")) << refused;
  const int anyones = app_.Print(photo, "image/jpeg");
  EXPECT_EQ("completed", app_.WaitForJob(anyones).substr(0, 9));
  app_.LogIn(apptest::AppUnderTest::kAdmin, apptest::AppUnderTest::kPassword);
  const std::string held = app_.Ipp("Hold-New-Jobs", {});
  EXPECT_NE(std::string::npos, held.find("successful-ok")) << held;
  const size_t before = app_.Captured();
  const int job = app_.Print(photo, "image/jpeg");
  ASSERT_GT(job, 0);
  // Three readings of the ready printer later, nothing has started.
  ASSERT_TRUE(e2e::Eventually([&] { return app_.StatusQueriesSince(before) >= 3; }, 30000));
  EXPECT_EQ("pending-held", app_.JobState(job).substr(0, 12));
  EXPECT_EQ(std::string::npos, app_.ReceivedSince(before).find("\x1bPCNTRL START"));
  const std::string released = app_.Ipp("Release-Held-New-Jobs", {});
  EXPECT_NE(std::string::npos, released.find("successful-ok")) << released;
  EXPECT_EQ("completed", app_.WaitForJob(job).substr(0, 9));
}

// The PID of the app's child running `name`, or -1.
pid_t ChildNamed(pid_t parent, const std::string& name) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    // /proc/<pid>/stat: "pid (comm) state ppid ..."
    const std::string stat = e2e::ReadFile(entry.path().string() + "/stat");
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(stat.substr(close + 2));
    char state = 0;
    pid_t ppid = -1;
    if (rest >> state >> ppid && ppid == parent &&
        stat.substr(stat.find('(') + 1, close - stat.find('(') - 1) == name)
      return static_cast<pid_t>(std::stol(entry.path().filename().string()));
  }
  return -1;
}

// The app's threads block SIGTERM and SIGINT; Ghostscript must not inherit
// that, and it ends when its job is canceled.
TEST_F(PapplFaults, GhostscriptRunsWithNoSignalBlockedAndEndsWithItsJob) {
  // Fifty pages of a hundred thousand lines across each: minutes of work.
  std::string lines;
  for (int i = 0; i < 100000; ++i) lines += "0 0 m 432 288 l S\n";
  const std::string pdf = apptest::PdfOfPages(50, lines);
  e2e::WriteFile(Path("slow.pdf"), pdf);

  const int job = app_.Print(Path("slow.pdf"), "application/pdf");
  ASSERT_GT(job, 0);
  pid_t gs = -1;
  ASSERT_TRUE(e2e::Eventually([&] { return (gs = ChildNamed(app_.AppPid(), "gs")) > 0; }, 30000));
  const std::string status = e2e::ReadFile("/proc/" + std::to_string(gs) + "/status");
  std::smatch blocked;
  ASSERT_TRUE(std::regex_search(status, blocked, std::regex("SigBlk:\\s*([0-9a-f]+)"))) << status;
  EXPECT_EQ("0000000000000000", blocked[1].str());

  ASSERT_NE("", app_.Ipp("Cancel-Job", {"integer job-id " + std::to_string(job)}));
  // Gone, and waited for by the app: no zombie is left either.
  EXPECT_TRUE(e2e::Eventually([&] { return kill(gs, 0) != 0 && errno == ESRCH; }, 10000));
  EXPECT_EQ("canceled", app_.WaitForJob(job).substr(0, 8));
}

// PAPPL listens on 127.0.0.1 alone for "localhost"; a client that resolves
// it to ::1 is served too.
TEST_F(PapplFaults, LocalhostIsServedOnBothLoopbackAddresses) {
  for (const std::string host : {"127.0.0.1", "[::1]"}) {
    std::string code;
    apptest::Run({"curl", "-g", "-s", "-o", "/dev/null", "-w", "%{http_code}",
                  "http://" + host + ":" + std::to_string(app_.Port()) + "/"},
                 &code);
    EXPECT_EQ("200", code) << host;
  }
}

}  // namespace
