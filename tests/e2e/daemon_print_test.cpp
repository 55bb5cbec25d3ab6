// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The whole system: the status daemon finds the simulated printer and
// registers its queue in the private cupsd; a job printed there goes
// through while the daemon watches the printer, which it leaves alone
// while the backend's pause marker is there.
#include <cups/cups.h>
#include <gtest/gtest.h>

#include "PrintSystem.h"
#include "TestImages.h"

using e2e::PrintSystem;

namespace {

TEST(DaemonPrintPath, DaemonQueuePrintsWhileTheDaemonWatches) {
  PrintSystem::Options options;
  options.programs = {QV46_FILTER, QV46_BACKEND, QV46_SIM_CLI, QV46_STREAM, QV46_DAEMON};
  PrintSystem system(options);
  std::string error;
  ASSERT_TRUE(system.Start(&error)) << error;

  const std::string serial = system.Serial();
  std::string out;
  ASSERT_EQ(system.Cupsd().Run({"lpstat", "-v", PrintSystem::QueueName()}, &out), 0);
  EXPECT_NE(out.find("valdren-zelbackend://VALDREN/QV-46?serial=" + serial), std::string::npos)
      << out;

  // Watched, as by the status monitor: the daemon polls every second.
  const std::string statusFile = "/tmp/QV-46_" + serial + ".log";
  ASSERT_TRUE(e2e::WriteFile("/tmp/QV-46_" + serial + "_UTIL", "", 0666));
  ASSERT_TRUE(e2e::Eventually(
      [&] {
        return e2e::ReadFile(statusFile).find("PRINTER_STATUS=\"00000\"") != std::string::npos;
      },
      15000))
      << e2e::ReadFile(statusFile);

  e2e::WritePng(system.Work() + "/photo.png", e2e::TwoColourPicture(600, 400));
  const size_t before = system.Captured();
  int id = system.Submit(PrintSystem::QueueName(), {"PageSize=153x102mm", "Resolution=300x600dpi"},
                         system.Work() + "/photo.png");
  ASSERT_GT(id, 0);
  ASSERT_EQ(
      PrintSystem::WaitForJob(id, {IPP_JSTATE_COMPLETED, IPP_JSTATE_ABORTED, IPP_JSTATE_STOPPED}),
      IPP_JSTATE_COMPLETED)
      << system.Cupsd().ErrorLog();

  // The printer got the job in one piece: nothing the daemon asked came
  // between its first command and its start command.
  const std::string received = system.JobStreamSince(before);
  std::string listing;
  EXPECT_EQ(system.Decode(received, system.Work() + "/job", &listing), 0) << listing;
  EXPECT_EQ(received.rfind("\x1bPCNTRL START"), received.size() - 32) << listing;
  EXPECT_EQ(received.find("\x1bPSTATUS"), std::string::npos) << listing;
  EXPECT_TRUE(system.BackendFilesGone(serial, id));

  // Polling resumes once the marker is gone.
  const size_t after = system.Captured();
  EXPECT_TRUE(e2e::Eventually([&] { return system.Captured() > after; }, 10000));
  EXPECT_NE(e2e::ReadFile(statusFile).find("PRINTER_SERIAL_NO=\"" + serial + "\""),
            std::string::npos);
}

}  // namespace
