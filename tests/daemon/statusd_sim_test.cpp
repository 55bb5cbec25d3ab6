// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The real qv46-statusd against simulated printers on the real libusb path.
// CUPS is out of the picture here: libcups points at a socket that does not
// exist and a stand-in lpadmin records its arguments and succeeds.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>

#include "OtherUser.h"
#include "StatusdHarness.h"

namespace qv46test {
namespace {

using qv46sim::PrinterConfig;
using qv46sim::Reply;

constexpr int kSettleMs = 30000;  // generous: sanitizer builds and a busy machine

class StatusdSimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(bed.Ok());
    std::ofstream script(bin.File("lpadmin"));
    script << "#!/bin/sh\nprintf '%s|' \"$@\" >> \"$0.calls\"\necho >> \"$0.calls\"\nexit 0\n";
    script.close();
    chmod(bin.File("lpadmin").c_str(), 0755);
  }

  bool StartDaemon() {
    const char* path = getenv("PATH");
    return statusd.Start({"PATH=" + bin.Path() + ":" + (path ? path : "/usr/bin:/bin"),
                          "CUPS_SERVER=" + bin.File("no-cupsd.sock")});
  }

  int Plug(const std::string& serial) {
    PrinterConfig config;
    config.serial = serial;
    return bed.Plug(config);
  }

  std::vector<std::string> LpadminCalls() {
    std::vector<std::string> calls;
    std::ifstream in(bin.File("lpadmin.calls"));
    for (std::string line; std::getline(in, line);) calls.push_back(line);
    return calls;
  }

  int Queries(int id, const std::string& key) {
    int n = 0;
    for (const auto& c : bed.Commands(id)) n += qv46sim::QueryKey(c.command, c.parameter) == key;
    return n;
  }

  qv46sim::Testbed bed;
  TempDir bin;
  StatusdHarness statusd{bed};
};

TEST_F(StatusdSimTest, PrinterPresentAtStartIsFoundByEnumeration) {
  const std::string serial = statusd.NewSerial("enum");
  const int id = Plug(serial);
  ASSERT_GT(id, 0);
  ASSERT_TRUE(StartDaemon());
  ASSERT_TRUE(qv46sim::WaitUntil([&] { return StatusdHarness::IsOnline(serial); }, kSettleMs));
  const std::vector<std::string> expected = {
      "#PRINTER_INFORMATION",
      "MODEL=\"QV-46\"",
      "PRINTER_STATUS=\"00000\"",
      "PRINTER_MESSAGE=\"00001\"",
      "PRINTER_VERSION=\"1.00\"",
      "PRINTER_SERIAL_NO=\"" + serial + "\"",
      "",
      "#MEDIA_INFORMATION",
      "MEDIA_SIZE=\"00310\"",
      "MEDIA_INITIAL=\"0050\"",
      "MEDIA_REMAIN=\"0050\"",
      "MEDIA_REMAIN_HALF=\"0100\"",
      "",
      "#COUNTER_INFORMATION",
      "TOTAL_COUNT=\"\"",
      "",
  };
  EXPECT_EQ(expected, StatusdHarness::StatusLines(serial));
  struct stat st;
  ASSERT_EQ(0, stat(StatusdHarness::StatusPath(serial).c_str(), &st));
  EXPECT_EQ(0644u, st.st_mode & 0777);
  // The queue was registered once, with the serial as one argument.
  ASSERT_TRUE(qv46sim::WaitUntil([&] { return LpadminCalls().size() == 1; }, kSettleMs));
  EXPECT_EQ(
      "-p|VALDREN-QV-46|-E|-D|VALDREN QV-46|-m|VALDREN_QV-46.ppd|-v|"
      "valdren-zelbackend://VALDREN/QV-46?serial=" +
          serial + "|-o|printer-is-shared=false|",
      LpadminCalls()[0]);
}

TEST_F(StatusdSimTest, ArrivalByEventAndUnplugGivesTheOfflineForm) {
  ASSERT_TRUE(StartDaemon());
  const std::string serial = statusd.NewSerial("event");
  const int id = Plug(serial);
  ASSERT_TRUE(qv46sim::WaitUntil([&] { return StatusdHarness::IsOnline(serial); }, kSettleMs));
  ASSERT_TRUE(bed.Unplug(id));
  EXPECT_TRUE(qv46sim::WaitUntil([&] { return StatusdHarness::IsOffline(serial); }, kSettleMs));
  const auto lines = StatusdHarness::StatusLines(serial);
  ASSERT_EQ(16u, lines.size());
  for (int i : {4, 5, 8, 9, 10, 11, 14})
    EXPECT_EQ(lines[i].substr(0, lines[i].find('=')) + "=\"\"", lines[i]);
  EXPECT_TRUE(statusd.Running());
}

TEST_F(StatusdSimTest, WatchedPrinterIsPolledAndCountRequestsAreConsumed) {
  const std::string serial = statusd.NewSerial("watch");
  const int id = Plug(serial);
  ASSERT_TRUE(StartDaemon());
  ASSERT_TRUE(qv46sim::WaitUntil([&] { return StatusdHarness::IsOnline(serial); }, kSettleMs));
  ASSERT_TRUE(qv46sim::WaitUntil([&] { return LpadminCalls().size() == 1; }, kSettleMs));

  // Registered and unwatched: left alone (allow one poll already under way).
  StatusdHarness::LetCyclesPass(1);
  const int idle = bed.ClaimCount(id);
  StatusdHarness::LetCyclesPass(2);
  EXPECT_EQ(idle, bed.ClaimCount(id));

  // Watched: one poll per cycle; the first one of the watch reads the count.
  std::ofstream(StatusdHarness::WatchPath(serial)).close();
  EXPECT_TRUE(qv46sim::WaitUntil([&] { return bed.ClaimCount(id) >= idle + 3; }, kSettleMs));
  EXPECT_TRUE(qv46sim::WaitUntil(
      [&] {
        return StatusdHarness::StatusLines(serial).size() == 16 &&
               StatusdHarness::StatusLines(serial)[14] == "TOTAL_COUNT=\"123\"";
      },
      kSettleMs));

  // A count request is deleted and read again.
  bed.SetReply(id, "MNT_RD COUNTER_LIFE", Reply::Value("0000000456"));
  std::ofstream(StatusdHarness::CountPath(serial)).close();
  EXPECT_TRUE(qv46sim::WaitUntil(
      [&] { return access(StatusdHarness::CountPath(serial).c_str(), F_OK) != 0; }, kSettleMs));
  EXPECT_TRUE(qv46sim::WaitUntil(
      [&] {
        return StatusdHarness::StatusLines(serial).size() == 16 &&
               StatusdHarness::StatusLines(serial)[14] == "TOTAL_COUNT=\"456\"";
      },
      kSettleMs));
}

TEST_F(StatusdSimTest, PauseMarkerKeepsTheDaemonOffThePrinter) {
  const std::string serial = statusd.NewSerial("pause");
  const int id = Plug(serial);
  ASSERT_TRUE(StartDaemon());
  ASSERT_TRUE(qv46sim::WaitUntil([&] { return LpadminCalls().size() == 1; }, kSettleMs));

  const std::string marker = StatusdHarness::PausePath(serial) + ".job42";
  statusd.RemoveAtEnd(marker);
  std::ofstream(marker).close();
  std::ofstream(StatusdHarness::WatchPath(serial)).close();
  StatusdHarness::LetCyclesPass(1);
  const int paused = bed.ClaimCount(id);
  StatusdHarness::LetCyclesPass(2);
  EXPECT_EQ(paused, bed.ClaimCount(id));

  // The job is done: polled again, and the count is read after printing.
  bed.SetReply(id, "MNT_RD COUNTER_LIFE", Reply::Value("0000000789"));
  unlink(marker.c_str());
  EXPECT_TRUE(qv46sim::WaitUntil(
      [&] {
        return StatusdHarness::StatusLines(serial).size() == 16 &&
               StatusdHarness::StatusLines(serial)[14] == "TOTAL_COUNT=\"789\"";
      },
      kSettleMs));
  EXPECT_GT(bed.ClaimCount(id), paused);
}

TEST_F(StatusdSimTest, TwoPrintersAreNeverClaimedAtOnce) {
  const std::string a = statusd.NewSerial("two");
  const std::string b = statusd.NewSerial("two");
  std::ofstream(StatusdHarness::WatchPath(a)).close();
  std::ofstream(StatusdHarness::WatchPath(b)).close();
  const int idA = Plug(a);
  const int idB = Plug(b);
  bed.SetReplyDelay(idA, 20);
  bed.SetReplyDelay(idB, 20);
  ASSERT_TRUE(StartDaemon());
  EXPECT_TRUE(qv46sim::WaitUntil(
      [&] { return bed.ClaimCount(idA) >= 4 && bed.ClaimCount(idB) >= 4; }, kSettleMs * 2));
  EXPECT_EQ(1, bed.MaxClaimedAtOnce());
  EXPECT_TRUE(StatusdHarness::IsOnline(a));
  EXPECT_TRUE(StatusdHarness::IsOnline(b));
}

TEST_F(StatusdSimTest, MalformedStatusIsOffline) {
  const std::string serial = statusd.NewSerial("bad");
  PrinterConfig config;
  config.serial = serial;
  config.replies["STATUS"] = Reply::Raw("0000000812345678");
  const int id = bed.Plug(config);
  ASSERT_TRUE(StartDaemon());
  ASSERT_TRUE(qv46sim::WaitUntil([&] { return StatusdHarness::StatusLines(serial).size() == 16; },
                                 kSettleMs));
  const auto lines = StatusdHarness::StatusLines(serial);
  EXPECT_EQ("MODEL=\"QV-46\"", lines[1]);
  EXPECT_EQ("PRINTER_STATUS=\"99999\"", lines[2]);
  EXPECT_EQ("PRINTER_MESSAGE=\"00006\"", lines[3]);
  EXPECT_EQ("PRINTER_SERIAL_NO=\"\"", lines[5]);
  EXPECT_EQ("MEDIA_SIZE=\"00310\"", lines[8]);
  EXPECT_EQ(5, Queries(id, "STATUS"));
}

// Replies of the longest kind (4,088 data bytes) are cut to the 64-byte
// values; a serial that long is no serial at all.
TEST_F(StatusdSimTest, LongestRepliesAreCutToFit) {
  const std::string serial = statusd.NewSerial("long");
  PrinterConfig config;
  config.serial = serial;
  config.replies["INFO FVER"] = Reply::Value(std::string(4087, 'v'));
  config.replies["INFO MQTY"] = Reply::Value(std::string(4087, '7'));
  const int id = bed.Plug(config);
  PrinterConfig longSerial;
  longSerial.serial = std::string(4087, 'S');
  const int idLong = bed.Plug(longSerial);
  ASSERT_TRUE(StartDaemon());
  ASSERT_TRUE(qv46sim::WaitUntil([&] { return StatusdHarness::IsOnline(serial); }, kSettleMs));
  const auto lines = StatusdHarness::StatusLines(serial);
  EXPECT_EQ("PRINTER_VERSION=\"" + std::string(63, 'v') + "\"", lines[4]);
  EXPECT_EQ("MEDIA_REMAIN=\"" + std::string(59, '7') + "\"", lines[10]);
  ASSERT_TRUE(
      qv46sim::WaitUntil([&] { return Queries(idLong, "INFO SERIAL_NUMBER") >= 10; }, kSettleMs));
  EXPECT_EQ(0, Queries(idLong, "STATUS"));
  EXPECT_EQ(1u, LpadminCalls().size());
  EXPECT_GT(Queries(id, "STATUS"), 0);
  EXPECT_TRUE(statusd.Running());
}

// libusb may hand the arrival to the thread that is polling the first
// printer; the main thread must still take the newcomer on.
TEST_F(StatusdSimTest, ArrivalDuringAnotherPrintersPollIsNotLost) {
  ASSERT_TRUE(StartDaemon());
  const std::string first = statusd.NewSerial("busy");
  const int idFirst = Plug(first);
  bed.SetReplyDelay(idFirst, 100);  // a long poll to arrive in
  ASSERT_TRUE(qv46sim::WaitUntil([&] { return bed.Claimed(idFirst); }, kSettleMs));
  const std::string second = statusd.NewSerial("late");
  Plug(second);
  EXPECT_TRUE(qv46sim::WaitUntil([&] { return StatusdHarness::IsOnline(second); }, kSettleMs));
}

// Unplugging while a poll is in its transfers, with one and with two
// printers, again and again: the daemon writes the offline form, keeps
// running and still takes on the next printer.
TEST_F(StatusdSimTest, UnplugInTheMiddleOfAPoll) {
  ASSERT_TRUE(StartDaemon());
  for (int printers : {1, 2}) {
    for (int round = 0; round < 2; ++round) {
      SCOPED_TRACE(std::to_string(printers) + " printers, round " + std::to_string(round));
      std::vector<std::string> serials;
      std::vector<int> ids;
      for (int i = 0; i < printers; ++i) {
        serials.push_back(statusd.NewSerial("mid"));
        std::ofstream(StatusdHarness::WatchPath(serials.back())).close();
        ids.push_back(Plug(serials.back()));
      }
      for (const auto& s : serials)
        ASSERT_TRUE(qv46sim::WaitUntil([&] { return StatusdHarness::IsOnline(s); }, kSettleMs));
      // Slow replies keep each poll in its transfers for a while.
      for (int id : ids) bed.SetReplyDelay(id, 60);
      ASSERT_TRUE(qv46sim::WaitUntil([&] { return bed.Claimed(ids[0]); }, kSettleMs));
      for (int id : ids) bed.Unplug(id);
      for (const auto& s : serials)
        EXPECT_TRUE(qv46sim::WaitUntil([&] { return StatusdHarness::IsOffline(s); }, kSettleMs));
      ASSERT_TRUE(statusd.Running());
    }
  }
  const std::string last = statusd.NewSerial("after");
  Plug(last);
  EXPECT_TRUE(qv46sim::WaitUntil([&] { return StatusdHarness::IsOnline(last); }, kSettleMs));
}

// udev announces a printer before its node may be opened: the daemon keeps
// trying, within its first quick tries and after them, and brings the
// printer online once the node answers.
TEST_F(StatusdSimTest, PrinterWhoseNodeIsReadyOnlyAfterItsArrivalComesOnline) {
  ASSERT_TRUE(StartDaemon());
  for (int refused : {1, 10}) {
    SCOPED_TRACE(refused);
    PrinterConfig config;
    config.serial = statusd.NewSerial("late");
    config.nodeReady = false;
    const int id = bed.Plug(config);
    ASSERT_TRUE(qv46sim::WaitUntil([&] { return bed.RefusedRequests(id) >= refused; }, kSettleMs));
    EXPECT_FALSE(StatusdHarness::IsOnline(config.serial));
    bed.SetNodeReady(id);
    EXPECT_TRUE(
        qv46sim::WaitUntil([&] { return StatusdHarness::IsOnline(config.serial); }, kSettleMs));
  }
}

// Shell syntax in a serial: one argument word for lpadmin, nothing executed.
TEST_F(StatusdSimTest, ShellSyntaxInASerialRunsNothing) {
  ASSERT_TRUE(StartDaemon());
  const std::string tag = std::to_string(getpid());
  const std::string pwned = "/tmp/qv46-pwned-" + tag;
  statusd.RemoveAtEnd(pwned);
  const std::string name = statusd.NewSerial("sh");
  const std::string shell = name + ";touch${IFS}" + "qv46-pwned-" + tag + "$(id)";
  statusd.RemoveAtEnd(StatusdHarness::StatusPath(shell));
  Plug(shell);
  ASSERT_TRUE(qv46sim::WaitUntil([&] { return StatusdHarness::IsOnline(shell); }, kSettleMs));
  ASSERT_EQ(1u, LpadminCalls().size());
  // One word, %XX-encoded as a URI carries it.
  EXPECT_NE(std::string::npos,
            LpadminCalls()[0].find("|valdren-zelbackend://VALDREN/QV-46?serial=" + name +
                                   "%3Btouch%24%7BIFS%7Dqv46-pwned-" + tag + "%24%28id%29|"));
  EXPECT_NE(0, access(pwned.c_str(), F_OK));
}

// A serial with a path in it is no serial: no file, no queue.
TEST_F(StatusdSimTest, SerialWithAPathIsNoSerial) {
  ASSERT_TRUE(StartDaemon());
  const std::string tag = std::to_string(getpid());
  const std::string escape = "../../tmp/qv46-escape-" + tag;
  const std::string escaped = "/tmp/qv46-escape-" + tag + ".log";
  statusd.RemoveAtEnd(escaped);
  const int id = Plug(escape);
  // Two polls, ten attempts each.
  ASSERT_TRUE(
      qv46sim::WaitUntil([&] { return Queries(id, "INFO SERIAL_NUMBER") >= 20; }, kSettleMs));
  EXPECT_NE(0, access(escaped.c_str(), F_OK));
  EXPECT_TRUE(LpadminCalls().empty());
  EXPECT_EQ(0, Queries(id, "STATUS"));
}

// A symlink planted under the status file's name is not written through.
TEST_F(StatusdSimTest, PlantedSymlinkIsNotWrittenThrough) {
  ASSERT_TRUE(StartDaemon());
  const std::string serial = statusd.NewSerial("link");
  const std::string victim = "/tmp/qv46-victim-" + std::to_string(getpid());
  statusd.RemoveAtEnd(victim);
  std::ofstream(victim) << "precious";
  ASSERT_EQ(0, symlink(victim.c_str(), StatusdHarness::StatusPath(serial).c_str()));
  const int id = Plug(serial);
  // The poll that registers the queue goes on to the status file.
  ASSERT_TRUE(qv46sim::WaitUntil([&] { return Queries(id, "INFO RQTY") >= 1; }, kSettleMs));
  ASSERT_TRUE(bed.Unplug(id));
  // The offline form takes the name's place, as every write does.
  EXPECT_TRUE(qv46sim::WaitUntil([&] { return StatusdHarness::IsOffline(serial); }, kSettleMs));
  EXPECT_EQ("precious", ReadFile(victim));
  EXPECT_EQ(1u, LpadminCalls().size());
}

// What another local user may do to a printer the monitor watches: nothing
// that changes what the monitor shows or keeps the daemon off the printer.
TEST_F(StatusdSimTest, LocalUserNeitherRewritesTheStatusNorPausesAPrinter) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to act as nobody";
  struct Case {
    const char* name;
    bool asNobody;
    std::function<bool(const std::string& serial)> act;
    bool possible;  // the act itself succeeds
  };
  const auto marker = [](const std::string& serial) {
    return WriteNewFile(StatusdHarness::PausePath(serial) + ".job7", "7\n", 0644);
  };
  const Case cases[] = {
      {"writes the status file", true,
       [](const std::string& serial) {
         const int fd = open(StatusdHarness::StatusPath(serial).c_str(), O_WRONLY | O_NOFOLLOW);
         if (fd >= 0) close(fd);
         return fd >= 0;
       },
       false},
      {"makes a pause marker for the printer", true, marker, true},
      // A job on printer "123" leaves printer "12" alone.
      {"the backend's marker of a printer whose serial extends this one", false,
       [&](const std::string& serial) { return marker(serial + "0"); }, true},
  };
  ASSERT_TRUE(StartDaemon());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string serial = statusd.NewSerial("user");
    statusd.RemoveAtEnd(StatusdHarness::PausePath(serial) + ".job7");
    statusd.RemoveAtEnd(StatusdHarness::PausePath(serial + "0") + ".job7");
    const int id = Plug(serial);
    ASSERT_TRUE(qv46sim::WaitUntil([&] { return StatusdHarness::IsOnline(serial); }, kSettleMs));
    EXPECT_EQ(c.possible, c.asNobody ? AsNobody([&] { return c.act(serial); }) : c.act(serial));
    // Watched by a user's monitor: polled every cycle, whatever was done.
    ASSERT_TRUE(
        AsNobody([&] { return WriteNewFile(StatusdHarness::WatchPath(serial), "", 0644); }));
    const int claims = bed.ClaimCount(id);
    EXPECT_TRUE(qv46sim::WaitUntil([&] { return bed.ClaimCount(id) >= claims + 2; }, kSettleMs));
    EXPECT_TRUE(StatusdHarness::IsOnline(serial));
    ASSERT_TRUE(bed.Unplug(id));
  }
}

}  // namespace
}  // namespace qv46test
