// The rastertoqv46 program as CUPS runs it.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "FilterTestSupport.h"

using qv46test::Child;
using qv46test::Describe;
using qv46test::JobInfoFile;
using qv46test::MakeRaster;
using qv46test::ParsePackets;
using qv46test::RasterPage;
using qv46test::RunProgram;
using qv46test::TempPath;
using qv46test::WriteFile;

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
  auto args = FilterArgs(info.jobId(), "");
  args.push_back("/nonexistent/qv46/job.ras");
  const auto result = RunProgram(kFilter, args, {}, {});
  EXPECT_EQ(1, result.exitStatus);
  EXPECT_TRUE(result.output.empty());
  EXPECT_TRUE(result.errors.empty());
}

TEST(CommandLine, EmptyRasterStreamsExitZeroWithoutOutput) {
  JobInfoFile info("MEDIA_SIZE=\"00310\"\n");
  TempPath empty("qv46filtertest-empty");
  WriteFile(empty.path(), {});
  auto fromFile = FilterArgs(info.jobId(), "");
  fromFile.push_back(empty.path());
  for (const auto& args : {FilterArgs(info.jobId(), ""), fromFile}) {
    const auto result = RunProgram(kFilter, args, {}, {});
    EXPECT_EQ(0, result.exitStatus) << args.size();
    EXPECT_TRUE(result.output.empty()) << args.size();
    EXPECT_TRUE(result.errors.empty()) << args.size();
  }
}

TEST(CommandLine, PrintsTwoPagesOnOnePanelWithPpdDefaults) {
  JobInfoFile info("MEDIA_SIZE=\"00310\"\nMEDIA_REMAIN_HALF=\"20\"\n");
  TempPath ppd("qv46filtertest-ppd");
  std::ofstream(ppd.path()) << "*PPD-Adobe: \"4.3\"\n"
                               "*DefaultPageSize: 153x102mm\n"
                               "*DefaultZelPrintRetry: Disable\n"
                               "*DefaultZelOvercoatFinish: Luster\n";
  TempPath raster("qv46filtertest-job");
  WriteFile(raster.path(), MakeRaster(std::vector<RasterPage>(2)));
  auto args = FilterArgs(info.jobId(), "ZelOvercoatFinish=Matte");
  args.push_back(raster.path());

  const auto result = RunProgram(kFilter, args, {"PPD=" + ppd.path()}, {});
  EXPECT_EQ(0, result.exitStatus);
  EXPECT_TRUE(result.errors.empty());
  const std::vector<std::string> expected = {
      "CNTRL/CUTTER=00000000",    "CNTRL/OVERCOAT=00000001", "CNTRL/BUFFCNTRL=00000000",
      "CNTRL/PRINTSPEED=00000000", "IMAGE/MULTICUT=00000012", "IMAGE/YPLANE",
      "IMAGE/MPLANE",             "IMAGE/CPLANE",            "CNTRL/START",
  };
  EXPECT_EQ(expected, Describe(ParsePackets(result.output)));
}

// The kernel's view of a process: 'R' running, 'S' sleeping, ...
char ProcessState(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), {});
  const size_t close = text.rfind(')');
  return close == std::string::npos || close + 2 >= text.size() ? '?' : text[close + 2];
}

// Waits until the child has taken every byte we wrote and sleeps in a read.
bool WaitUntilBlockedOnInput(const Child& child) {
  int quietChecks = 0;
  for (int i = 0; i < 3000 && quietChecks < 5; ++i) {
    const bool blocked = child.UnreadInput() == 0 && ProcessState(child.pid()) == 'S';
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

  Child child(kFilter, FilterArgs(info.jobId(), ""), {});
  child.WriteInput(stream, 0, cut);
  ASSERT_TRUE(WaitUntilBlockedOnInput(child));
  ASSERT_EQ(0, kill(child.pid(), SIGTERM));
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

}  // namespace
