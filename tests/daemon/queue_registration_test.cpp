// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Finding a printer's CUPS queue and numbering a new one.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "Fakes.h"
#include "daemon/QueueRegistration.h"
#include "daemon/SpawnCommandRunner.h"

namespace qv46test {
namespace {

const std::string kUri = "valdren-zelbackend://VALDREN/QV-46?serial=";

TEST(GetRNumberTest, ReadsTheNumberAfterThePrefix) {
  const struct {
    const char* name;
    long number;
  } cases[] = {
      {"VALDREN-QV-46-2", 2}, {"VALDREN-QV-46-17", 17}, {"VALDREN-QV-46", 0},
      {"VALDREN-QV-46-", 0},  {"VALDREN-QV-46-x3", 0},  {"VALDREN-QV-46-5b", 5},
      {"Office", 0},          {"VALDREN-QV-46W-2", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(c.number, getRNumber(c.name)) << c.name;
}

TEST(EnumCbTest, OnlyAnExactSerialInAQv46UriMatches) {
  const struct {
    const char* name;
    const char* serial;
    bool hasUri;
    std::string uri;
    bool matches;
  } cases[] = {
      {"exact", "S123", true, kUri + "S123", true},
      {"longer serial", "S123", true, kUri + "S1234", false},
      {"shorter serial", "S123", true, kUri + "S12", false},
      {"variant model", "S123", true, "valdren-zelbackend://VALDREN/QV-46W?serial=S123", false},
      {"other backend", "S123", true, "usb://VALDREN/QV-46?serial=S123", false},
      {"no serial", "S123", true, kUri, false},
      {"no uri", "S123", false, "", false},
      {"marker inside another uri", "S123", true, "x " + kUri + "S123", false},
      {"encoded space", "S 1", true, kUri + "S%201", true},
      {"raw space of an older queue", "S 1", true, kUri + "S 1", true},
      {"percent is not decoded twice", "S%41", true, kUri + "S%41", false},
      {"encoded percent", "S%41", true, kUri + "S%2541", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    thdata record(nullptr);
    std::snprintf(record.serial, sizeof record.serial, "%s", c.serial);
    CupsQueue queue;
    queue.hasName = true;
    queue.name = "VALDREN-QV-46";
    queue.hasDeviceUri = c.hasUri;
    queue.deviceUri = c.uri;
    EXPECT_EQ(1, enum_cb(&record, 0, queue));
    EXPECT_EQ(c.matches, record.queueRegistered);
  }
}

class RegisterQueueTest : public ::testing::Test {
 protected:
  RegisterQueueTest() : record(nullptr) {
    std::snprintf(record.serial, sizeof record.serial, "S123");
  }
  FakeWorld world;
  thdata record;
};

TEST_F(RegisterQueueTest, NumbersANewQueueAfterTheOthers) {
  const struct {
    const char* name;
    std::vector<std::pair<std::string, std::string>> queues;
    long number;  // 1: the first queue; 0: no command
  } cases[] = {
      {"no queues", {}, 1},
      {"only unrelated queues", {{"Office", "ipp://x"}}, 1},
      {"first taken", {{"VALDREN-QV-46", kUri + "A"}}, 2},
      {"first three taken",
       {{"VALDREN-QV-46", kUri + "A"},
        {"VALDREN-QV-46-2", kUri + "B"},
        {"VALDREN-QV-46-3", kUri + "C"}},
       4},
      {"last gap",
       {{"VALDREN-QV-46", kUri + "A"},
        {"VALDREN-QV-46-2", kUri + "B"},
        {"VALDREN-QV-46-4", kUri + "C"},
        {"VALDREN-QV-46-6", kUri + "D"}},
       5},
      {"only -3", {{"VALDREN-QV-46-3", kUri + "C"}}, 2},
      {"-10 listed before -2",
       {{"VALDREN-QV-46", kUri + "A"},
        {"VALDREN-QV-46-10", kUri + "J"},
        {"VALDREN-QV-46-2", kUri + "B"},
        {"VALDREN-QV-46-3", kUri + "C"}},
       4},
      {"variant queues ignored",
       {{"VALDREN-QV-46W", "valdren-zelbackend://VALDREN/QV-46W?serial=W"},
        {"VALDREN-QV-46W-2", "x"}},
       1},
      {"hand-made -1 does not take -2",
       {{"VALDREN-QV-46-1", kUri + "A"}, {"VALDREN-QV-46-2", kUri + "B"}},
       3},
      {"queue without uri counts as another's", {{"VALDREN-QV-46", ""}}, 2},
      {"ours, first, other backend", {{"VALDREN-QV-46", "usb://x?serial=S123"}}, 1},
      {"ours after another",
       {{"VALDREN-QV-46", kUri + "A"}, {"VALDREN-QV-46-3", "usb://x?serial=S123"}},
       0},
      {"our serial inside another's", {{"VALDREN-QV-46", kUri + "XS1234"}}, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeWorld w;
    for (const auto& q : c.queues) w.cups.Add(q.first, q.second);
    thdata r(nullptr);
    std::snprintf(r.serial, sizeof r.serial, "S123");
    RegisterQueue(w.ctx, &r);
    const auto calls = w.commands.Calls();
    if (c.number == 0) {
      EXPECT_TRUE(calls.empty());
      EXPECT_FALSE(r.queueRegistered);
    } else {
      ASSERT_EQ(1u, calls.size());
      EXPECT_EQ(QueueCommand(c.number, "S123"), calls[0]);
      EXPECT_TRUE(r.queueRegistered);
    }
  }
}

TEST_F(RegisterQueueTest, CommandLinesAreExactlyTheseWords) {
  const std::vector<std::string> first = {"lpadmin",
                                          "-p",
                                          "VALDREN-QV-46",
                                          "-E",
                                          "-D",
                                          "VALDREN QV-46",
                                          "-m",
                                          "VALDREN_QV-46.ppd",
                                          "-v",
                                          kUri + "S%201%3Bx",
                                          "-o",
                                          "printer-is-shared=false"};
  EXPECT_EQ(first, QueueCommand(1, "S 1;x"));
  const std::vector<std::string> fifth = {"lpadmin",
                                          "-p",
                                          "VALDREN-QV-46-5",
                                          "-E",
                                          "-D",
                                          "VALDREN QV-46 5",
                                          "-m",
                                          "VALDREN_QV-46.ppd",
                                          "-v",
                                          kUri + "S123",
                                          "-o",
                                          "printer-is-shared=false"};
  EXPECT_EQ(fifth, QueueCommand(5, "S123"));
}

TEST_F(RegisterQueueTest, ExistingQueueIsRecognisedAndNothingRuns) {
  world.cups.Add("VALDREN-QV-46", kUri + "OTHER");
  world.cups.Add("VALDREN-QV-46-2", kUri + "S123");
  RegisterQueue(world.ctx, &record);
  EXPECT_TRUE(record.queueRegistered);
  EXPECT_TRUE(world.commands.Calls().empty());
}

TEST_F(RegisterQueueTest, FailingLpadminLeavesItUnregisteredForNextTime) {
  world.commands.result = 1;
  RegisterQueue(world.ctx, &record);
  EXPECT_FALSE(record.queueRegistered);
  world.commands.result = 0;
  RegisterQueue(world.ctx, &record);
  EXPECT_TRUE(record.queueRegistered);
  EXPECT_EQ(2u, world.commands.Calls().size());
}

TEST_F(RegisterQueueTest, FailedDestinationListCountsAsNoQueues) {
  world.cups.Add("VALDREN-QV-46", kUri + "A");
  world.cups.getDestsResult = -1;
  RegisterQueue(world.ctx, &record);
  ASSERT_EQ(1u, world.commands.Calls().size());
  EXPECT_EQ(QueueCommand(1, "S123"), world.commands.Calls()[0]);
}

// The real runner: a serial full of shell syntax reaches lpadmin as one word
// and runs nothing. A stand-in lpadmin earlier in PATH records its arguments.
class SpawnRunnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    oldPath = getenv("PATH") ? getenv("PATH") : "";
    std::ofstream script(bin.File("lpadmin"));
    script << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.args\"\nexit 3\n";
    script.close();
    chmod(bin.File("lpadmin").c_str(), 0755);
    setenv("PATH", (bin.Path() + ":" + oldPath).c_str(), 1);
    ASSERT_EQ(0, chdir(work.Path().c_str()));
  }
  void TearDown() override {
    setenv("PATH", oldPath.c_str(), 1);
    ASSERT_EQ(0, chdir("/"));
  }
  TempDir bin;
  TempDir work;
  std::string oldPath;
};

TEST_F(SpawnRunnerTest, ShellSyntaxInTheSerialRunsNothing) {
  const std::string serial = "A;touch pwned1 $(touch pwned2) `touch pwned3` |touch pwned4 &&x";
  SpawnCommandRunner runner;
  EXPECT_EQ(3, runner.Run(QueueCommand(1, serial.c_str())));
  std::string expected;
  for (const std::string& word : QueueCommand(1, serial.c_str()))
    if (word != "lpadmin") expected += word + "\n";
  EXPECT_EQ(expected, ReadFile(bin.File("lpadmin.args")));
  for (const char* name : {"pwned1", "pwned2", "pwned3", "pwned4"})
    EXPECT_FALSE(Exists(work.File(name))) << name;
}

TEST_F(SpawnRunnerTest, MissingProgramAndCapturedFirstLine) {
  SpawnCommandRunner runner;
  EXPECT_EQ(-1, runner.Run({"qv46-no-such-program"}));
  std::string line = "stale";
  EXPECT_EQ(-1, runner.RunCapture({"qv46-no-such-program"}, &line, 31));
  EXPECT_EQ("", line);
  EXPECT_EQ(0, runner.RunCapture({"printf", "Enforcing\\nsecond\\n"}, &line, 31));
  EXPECT_EQ("Enforcing", line);
  EXPECT_EQ(0, runner.RunCapture({"printf", "%s", std::string(100, 'p').c_str()}, &line, 31));
  EXPECT_EQ(std::string(31, 'p'), line);
  EXPECT_EQ(-1, runner.Run({}));
}

}  // namespace
}  // namespace qv46test
