// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The whole system: the status daemon finds the simulated printer and
// registers its queue in the private cupsd; a job printed there goes
// through while the daemon watches the printer, which it leaves alone
// while the backend's pause marker is there.
#include <cups/cups.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <sstream>

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

// Serials as printers may report them. The daemon makes a queue for each one
// it accepts, and a job sent there reaches that printer; one it refuses gets
// no queue and names no file, wherever its "/" and ".." point.
TEST(DaemonPrintPath, EveryQueueTheDaemonMakesPrints) {
  const std::string pid = std::to_string(getpid());
  const std::string longest = "R?#&=+" + pid + std::string(57 - pid.size(), 'x');
  const std::string tooLong = std::string(64 - pid.size(), 'L') + pid;
  PrintSystem::Options options;
  options.programs = {QV46_FILTER, QV46_BACKEND, QV46_SIM_CLI, QV46_STREAM, QV46_DAEMON};
  PrintSystem system(options);
  std::string error;
  ASSERT_TRUE(system.Prepare(&error)) << error;
  // Through this folder "/tmp/QV-46_" + serial + ".log" would lead out of
  // /tmp and back into our own.
  struct Dir {
    std::string path;
    ~Dir() { rmdir(path.c_str()); }
  } planted{"/tmp/QV-46_h" + pid};
  ASSERT_EQ(0, mkdir(planted.path.c_str(), 0700));
  const struct Row {
    std::string serial;
    std::string uriTail;  // after "serial="; empty: refused, and no `file`
    std::string file;
  } rows[] = {
      {"S " + pid, "S%20" + pid, ""},
      {"P%41" + pid, "P%2541" + pid, ""},
      {longest, "R%3F%23%26%3D%2B" + longest.substr(6), ""},
      {"h" + pid + "/../.." + system.Work() + "/escaped", "", system.Work() + "/escaped.log"},
      {tooLong, "", "/tmp/QV-46_" + tooLong + ".log"},
  };
  for (const Row& row : rows) system.MutableOptions().serials.push_back(row.serial);
  ASSERT_TRUE(system.Start(&error)) << error;

  // Queues by device URI, once every accepted printer has one and each
  // refused serial was read twice (so judged).
  std::map<std::string, std::string> queues;
  std::string listed;
  ASSERT_TRUE(e2e::Eventually(
      [&] {
        system.Cupsd().Run({"lpstat", "-v"}, &listed);
        std::istringstream lines(listed);
        for (std::string line; std::getline(lines, line);) {
          const size_t colon = line.find(": ");
          if (line.rfind("device for ", 0) == 0 && colon != std::string::npos)
            queues[line.substr(colon + 2)] = line.substr(11, colon - 11);
        }
        bool judged = queues.size() >= 3;
        for (const Row& row : rows) {
          const std::string bytes = e2e::ReadFile(system.CapturePath(row.serial));
          const size_t first = bytes.find("SERIAL_NUMBER");
          const bool readTwice = first != std::string::npos &&
                                 bytes.find("SERIAL_NUMBER", first + 1) != std::string::npos;
          judged = judged && (!row.uriTail.empty() || readTwice);
        }
        return judged;
      },
      60000))
      << listed;
  EXPECT_EQ(queues.size(), 3u) << listed;

  e2e::WritePng(system.Work() + "/photo.png", e2e::TwoColourPicture(600, 400));
  std::map<std::string, int> jobs;
  for (const Row& row : rows) {
    const std::string uri = "valdren-zelbackend://VALDREN/QV-46?serial=" + row.uriTail;
    if (!row.uriTail.empty() && queues.count(uri) > 0)
      jobs[row.serial] = system.Submit(queues[uri], {}, system.Work() + "/photo.png");
  }
  for (const Row& row : rows) {
    SCOPED_TRACE(row.serial);
    if (row.uriTail.empty()) {
      EXPECT_FALSE(e2e::Exists(row.file));
      continue;
    }
    const int id = jobs[row.serial];
    ASSERT_GT(id, 0) << listed;
    EXPECT_EQ(
        PrintSystem::WaitForJob(id, {IPP_JSTATE_COMPLETED, IPP_JSTATE_ABORTED, IPP_JSTATE_STOPPED}),
        IPP_JSTATE_COMPLETED)
        << system.Cupsd().ErrorLog();
    EXPECT_NE(e2e::ReadFile(system.CapturePath(row.serial)).find("\x1bPCNTRL START"),
              std::string::npos);
    EXPECT_TRUE(system.BackendFilesGone(row.serial, id));
  }
}

}  // namespace
