// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// A printer plugged in long after the job was queued: the filter and the
// backend of one job, in one process, meeting through /tmp and a pipe as
// CUPS connects them. The filter's waits are counted, not slept.
#include <cups/backend.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <sstream>
#include <thread>

#include "Backend.h"
#include "DeviceUri.h"
#include "FakeBus.h"
#include "FilterTestSupport.h"
#include "common/Serial.h"
#include "common/TmpFiles.h"
#include "filter/FilterDriver.h"
#include "filter/PhotoPrinterDeviceQV46.h"

using qv46test::Describe;
using qv46test::MakeRaster;
using qv46test::MemoryRaster;
using qv46test::Options;
using qv46test::ParsePackets;
using qv46test::RasterPage;

namespace {

std::atomic<int> gFilterMs{0};

void CountedSleep(unsigned milliseconds) {
  gFilterMs += static_cast<int>(milliseconds);
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TEST(LatePrinter, PluggedInAfterTheOld120SecondLimitStillPrintsTwoUp) {
  // Decimal, as CUPS's are, and ours alone; the backend writes its files.
  const std::string jobId = std::to_string(700000000 + getpid());
  const std::string serial = "LATE" + std::to_string(getpid());
  std::atomic<bool> filterWaitOver{false};

  FakeBus bus;
  std::shared_ptr<FakePrinter> printer;
  std::ostringstream messages;
  zelbackend::Services services;
  services.bus = &bus;
  services.messages = &messages;
  services.nowMs = [] { return int64_t{0}; };
  // The printer arrives once the filter has waited longer than 120 s, or
  // when it stops waiting, whichever comes first.
  services.sleepMs = [&](int) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (printer || (gFilterMs <= 130000 && !filterWaitOver)) return;
    printer = std::make_shared<FakePrinter>(serial);
    printer->replies["INFO RQTY"] = ReplyPacket("00000100");  // 6x8 stock, even halves
    bus.printers.push_back(printer);
  };
  signal(SIGPIPE, SIG_IGN);  // a backend that ended leaves the filter no reader
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  FILE* output = fdopen(pipeFds[1], "wb");
  ASSERT_NE(output, nullptr);
  zelbackend::Job job;
  job.id = jobId;
  job.uri = MakeBackendUri(serial);
  job.inputFd = pipeFds[0];
  int backendResult = -1;
  // Its input closes when it ends, as a backend process's does.
  std::thread backend([&] {
    backendResult = zelbackend::RunJob(services, job);
    close(pipeFds[0]);
  });

  // CUPS starts both at once; the backend says it waits well within the
  // filter's first 120 s, which here pass in a moment: let it say so first.
  const std::string waitFile = zelbackend::BackendWaitPath(kTmpDir, jobId);
  for (int i = 0; i < 30000 && access(waitFile.c_str(), F_OK) != 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(access(waitFile.c_str(), F_OK), 0);

  Canceled = 0;
  gFilterMs = 0;
  WaitForPrInfoFile(jobId.c_str(), CountedSleep);
  filterWaitOver = true;
  EXPECT_GT(gFilterMs, 120000);

  // Two 6x4 pages after the wait, as the filter's main goes on.
  MemoryRaster raster(MakeRaster(std::vector<RasterPage>(2)));
  Options options("PageSize=153x102mm");
  {
    DeviceEntry_QV46 device;
    device.SetOutput(output);
    RunJob(device, raster.Raster(), jobId.c_str(), options.Count(), options.List(), nullptr);
  }
  std::fclose(output);
  backend.join();

  EXPECT_EQ(backendResult, CUPS_BACKEND_OK) << messages.str();
  ASSERT_TRUE(printer);
  const auto packets =
      Describe(ParsePackets(std::vector<uint8_t>(printer->stream.begin(), printer->stream.end())));
  // One print holding both pages on one panel.
  EXPECT_EQ(std::count(packets.begin(), packets.end(), "CNTRL/START"), 1);
  EXPECT_EQ(std::count(packets.begin(), packets.end(), "IMAGE/MULTICUT=00000012"), 1);
}

}  // namespace
