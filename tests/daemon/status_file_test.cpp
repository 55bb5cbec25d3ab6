// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The status file: its two forms, the total-count rule, SELinux labels and
// safe writing in a directory everyone can write to.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <iterator>

#include "Fakes.h"
#include "daemon/Queries.h"
#include "daemon/StatusFile.h"

namespace qv46test {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find('\n', start);
    parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

class StatusFileTest : public ::testing::Test {
 protected:
  StatusFileTest() : printer(std::make_shared<FakePrinter>()), record(nullptr) {
    UsbDevice* device = world.usb.Plug(printer);
    handle = world.usb.OpenForTest(device);
    record.device = device;
    std::snprintf(record.serial, sizeof record.serial, "SN%d", getpid());
    std::snprintf(record.model, sizeof record.model, "QV-46");
    auto& r = printer->replies;
    r["STATUS"] = ReplyPacket("00000");
    r["INFO FVER"] = ReplyPacket("1.20");
    r["INFO MEDIA"] = ReplyPacket("  00310");
    r["INFO MQTY_DEFAULT"] = ReplyPacket("    0050");
    r["INFO MQTY"] = ReplyPacket("    0042");
    r["INFO RQTY"] = ReplyPacket("    0084");
    r["MNT_RD COUNTER_LIFE"] = ReplyPacket("  1234");
  }

  std::string Path() const {
    return world.tmp.File(std::string("QV-46_") + record.serial + ".log");
  }
  std::vector<std::string> Write() {
    WriteFile(world.ctx, handle, &record);
    return Lines(ReadFile(Path()));
  }
  int CountReadings() const {
    int n = 0;
    for (const auto& q : printer->queries) n += q == "MNT_RD COUNTER_LIFE";
    return n;
  }

  FakeWorld world;
  std::shared_ptr<FakePrinter> printer;
  thdata record;
  UsbHandle* handle;
};

TEST_F(StatusFileTest, FullFormHasSixteenLinesInOrder) {
  record.lastRequest = 1;
  record.monitorWatching = true;
  const std::vector<std::string> expected = {
      "#PRINTER_INFORMATION",
      "MODEL=\"QV-46\"",
      "PRINTER_STATUS=\"00000\"",
      "PRINTER_MESSAGE=\"00001\"",
      "PRINTER_VERSION=\"1.20\"",
      std::string("PRINTER_SERIAL_NO=\"") + record.serial + "\"",
      "",
      "#MEDIA_INFORMATION",
      "MEDIA_SIZE=\"00310\"",
      "MEDIA_INITIAL=\"0050\"",
      "MEDIA_REMAIN=\"0042\"",
      "MEDIA_REMAIN_HALF=\"0084\"",
      "",
      "#COUNTER_INFORMATION",
      "TOTAL_COUNT=\"1234\"",
      "",
      "",
  };
  EXPECT_EQ(expected, Write());
}

TEST_F(StatusFileTest, StatusAndMessageCodes) {
  const struct {
    std::string reply;
    const char* status;
    const char* message;
  } cases[] = {
      {"1", "00001", "00002"},
      {"01100", "01100", "00102"},
      {"2610", "02610", "00207"},
      {"3000", "03000", "00210"},
  };
  for (const auto& c : cases) {
    printer->replies["STATUS"] = ReplyPacket(c.reply);
    const auto lines = Write();
    EXPECT_EQ(std::string("PRINTER_STATUS=\"") + c.status + "\"", lines[2]);
    EXPECT_EQ(std::string("PRINTER_MESSAGE=\"") + c.message + "\"", lines[3]);
  }
}

TEST_F(StatusFileTest, SilentPrinterIsOfflineButKeepsModelAndLastCount) {
  printer->replies.clear();
  record.lastTotalCount = 77;
  const auto lines = Write();
  ASSERT_EQ(17u, lines.size());
  EXPECT_EQ("MODEL=\"QV-46\"", lines[1]);
  EXPECT_EQ("PRINTER_STATUS=\"99999\"", lines[2]);
  EXPECT_EQ("PRINTER_MESSAGE=\"00006\"", lines[3]);
  EXPECT_EQ("PRINTER_VERSION=\"\"", lines[4]);
  EXPECT_EQ("PRINTER_SERIAL_NO=\"\"", lines[5]);
  EXPECT_EQ("MEDIA_SIZE=\"\"", lines[8]);
  EXPECT_EQ("MEDIA_REMAIN_HALF=\"\"", lines[11]);
  EXPECT_EQ("TOTAL_COUNT=\"77\"", lines[14]);
  // Five status attempts, then the other queries all the same.
  int statusQueries = 0;
  for (const auto& q : printer->queries) statusQueries += q == "STATUS";
  EXPECT_EQ(5, statusQueries);
}

TEST_F(StatusFileTest, RepliesShorterThanTheSkippedCharactersGiveEmptyValues) {
  printer->replies["INFO MEDIA"] = ReplyPacket("0");
  printer->replies["INFO MQTY"] = ReplyPacket("0042");
  printer->replies["INFO RQTY"] = ReplyPacket(std::string(200, '9'));
  const auto lines = Write();
  EXPECT_EQ("MEDIA_SIZE=\"\"", lines[8]);
  EXPECT_EQ("MEDIA_REMAIN=\"\"", lines[10]);
  // A reply longer than the 64-byte value is cut, never overflowed.
  EXPECT_EQ("MEDIA_REMAIN_HALF=\"" + std::string(59, '9') + "\"", lines[11]);
}

TEST_F(StatusFileTest, OfflineFormAndEmptySerial) {
  WriteFile(world.ctx, record.serial);
  const auto lines = Lines(ReadFile(Path()));
  ASSERT_EQ(17u, lines.size());
  EXPECT_EQ("MODEL=\"\"", lines[1]);
  EXPECT_EQ("PRINTER_STATUS=\"99999\"", lines[2]);
  EXPECT_EQ("PRINTER_MESSAGE=\"00006\"", lines[3]);
  const char* emptyKeys[] = {"PRINTER_VERSION", "PRINTER_SERIAL_NO", "MEDIA_SIZE", "MEDIA_INITIAL",
                             "MEDIA_REMAIN",    "MEDIA_REMAIN_HALF", "TOTAL_COUNT"};
  const int emptyLines[] = {4, 5, 8, 9, 10, 11, 14};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(std::string(emptyKeys[i]) + "=\"\"", lines[emptyLines[i]]);

  WriteFile(world.ctx, "");
  EXPECT_TRUE(Exists(world.tmp.File("QV-46_.log")));
  WriteFile(world.ctx, static_cast<const char*>(nullptr));  // nothing, no crash
}

// The total count rule, one poll at a time.
TEST_F(StatusFileTest, TotalCountRule) {
  const struct {
    const char* name;
    int lastRequest;
    bool monitorWatching, watchCountRead, printEnded;
    long prevStatus;
    const char* status;
    int readings;
    unsigned long waitedMs;
    const char* written;
    bool watchCountReadAfter, printEndedAfter;
  } cases[] = {
      {"count request", 3, true, true, false, 0, "0", 1, 0, "1234", true, false},
      {"count request while sleeping waits", 3, true, true, false, 900, "900", 1, 10000, "1234",
       true, false},
      {"count request after printing reads twice", 3, true, true, false, 1, "0", 2, 0, "1234", true,
       false},
      {"backend finished", 1, true, true, true, 0, "0", 1, 0, "1234", true, false},
      {"printing just ended", 1, true, true, false, 1, "0", 1, 0, "1234", true, false},
      {"monitor opened", 1, true, false, false, 0, "0", 1, 0, "1234", true, false},
      {"monitor opened, printer asleep", 1, true, false, false, 900, "900", 0, 0, "", true, false},
      {"nothing asked", 1, true, true, false, 0, "0", 0, 0, "", true, false},
      {"reading before any request is not kept", 0, true, false, false, 0, "0", 1, 0, "", true,
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    printer->queries.clear();
    world.sleeper.total = 0;
    world.ctx.prevStatus = c.prevStatus;
    record.lastTotalCount = -1;
    record.lastRequest = c.lastRequest;
    record.monitorWatching = c.monitorWatching;
    record.watchCountRead = c.watchCountRead;
    record.printEnded = c.printEnded;
    printer->replies["STATUS"] = ReplyPacket(c.status);
    const auto lines = Write();
    EXPECT_EQ(c.readings, CountReadings());
    EXPECT_EQ(c.waitedMs, world.sleeper.total);
    EXPECT_EQ(std::string("TOTAL_COUNT=\"") + c.written + "\"", lines[14]);
    EXPECT_EQ(c.watchCountReadAfter, record.watchCountRead);
    EXPECT_EQ(c.printEndedAfter, record.printEnded);
  }
}

TEST_F(StatusFileTest, CountIsReadAgainWhenPrintingEndsWhileWatched) {
  record.lastRequest = 1;
  record.monitorWatching = true;
  record.watchCountRead = true;
  printer->replies["STATUS"] = ReplyPacket("1");
  Write();
  EXPECT_EQ(0, CountReadings());
  EXPECT_EQ(1, world.ctx.prevStatus);
  printer->replies["STATUS"] = ReplyPacket("0");
  printer->replies["MNT_RD COUNTER_LIFE"] = ReplyPacket("  1235");
  EXPECT_EQ("TOTAL_COUNT=\"1235\"", Write()[14]);
  EXPECT_EQ(1235, record.lastTotalCount);
}

// A reading is written as the printer gave it, even one that is not a count;
// only a kept value that is not a count reads as empty later.
TEST_F(StatusFileTest, NegativeReadingIsWrittenOnceThenEmpty) {
  printer->replies["MNT_RD COUNTER_LIFE"] = ReplyPacket("  -5");
  record.lastRequest = 3;
  record.monitorWatching = true;
  record.watchCountRead = true;
  EXPECT_EQ("TOTAL_COUNT=\"-5\"", Write()[14]);
  EXPECT_EQ(-5, record.lastTotalCount);
  record.lastRequest = 1;
  EXPECT_EQ("TOTAL_COUNT=\"\"", Write()[14]);
  EXPECT_EQ(1, CountReadings());
}

// The end of printing is judged against whichever printer was written last.
TEST_F(StatusFileTest, PrintingEndIsSharedBetweenPrinters) {
  auto other = std::make_shared<FakePrinter>();
  other->replies = printer->replies;
  other->replies["STATUS"] = ReplyPacket("1");
  thdata second(world.usb.Plug(other));
  std::snprintf(second.serial, sizeof second.serial, "SN%dB", getpid());
  UsbHandle* otherHandle = world.usb.OpenForTest(second.device);
  second.lastRequest = 1;
  WriteFile(world.ctx, otherHandle, &second);

  record.lastRequest = 1;
  record.monitorWatching = true;
  record.watchCountRead = true;
  EXPECT_EQ("TOTAL_COUNT=\"1234\"", Write()[14]);
  EXPECT_EQ(1, CountReadings());
}

// A count reply without a number is no reading; the kept count stays.
TEST_F(StatusFileTest, CountReplyWithoutANumberKeepsTheLastCount) {
  printer->replies["MNT_RD COUNTER_LIFE"] = ReplyPacket("CLxx");
  record.lastTotalCount = 77;
  record.lastRequest = 3;
  EXPECT_EQ("TOTAL_COUNT=\"77\"", Write()[14]);
  EXPECT_EQ(77, record.lastTotalCount);
}

TEST_F(StatusFileTest, FailedFirstReadingFallsThroughToTheNextRule) {
  record.lastRequest = 3;
  record.monitorWatching = true;
  record.watchCountRead = false;
  printer->replies.erase("MNT_RD COUNTER_LIFE");
  EXPECT_EQ("TOTAL_COUNT=\"\"", Write()[14]);
  EXPECT_EQ(2, CountReadings());  // the count request, then the monitor's first look
  EXPECT_FALSE(record.watchCountRead);
}

TEST_F(StatusFileTest, ModeIs0644WhateverTheUmask) {
  const mode_t old = umask(077);
  Write();
  umask(old);
  struct stat st;
  ASSERT_EQ(0, stat(Path().c_str(), &st));
  EXPECT_EQ(0644u, st.st_mode & 0777);
}

// Every write is a new file renamed over the name. A reader that opened the
// file before reads the old text whole, and a write that cannot finish (a
// full /tmp, here a file size limit) leaves the last whole file in place.
TEST_F(StatusFileTest, ReplacesTheFileWholeAndNeverTruncatesIt) {
  WriteFile(world.ctx, record.serial);
  const std::string offline = ReadFile(Path());
  std::ifstream reader(Path());  // opened before the next write
  const std::vector<std::string> full = Write();
  const std::string seen{std::istreambuf_iterator<char>(reader), std::istreambuf_iterator<char>()};
  EXPECT_EQ(offline, seen);
  EXPECT_EQ(17u, full.size());

  struct rlimit limit;
  ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &limit));
  const rlimit small = {100, limit.rlim_max};
  auto* const oldHandler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &small));
  WriteFile(world.ctx, record.serial);
  setrlimit(RLIMIT_FSIZE, &limit);
  signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(full, Lines(ReadFile(Path())));

  // No temporary file is left behind.
  std::vector<std::string> names;
  DIR* dir = opendir(world.tmp.Path().c_str());
  ASSERT_NE(nullptr, dir);
  while (const dirent* entry = readdir(dir))
    if (entry->d_name[0] != '.') names.push_back(entry->d_name);
  closedir(dir);
  EXPECT_EQ(std::vector<std::string>{"QV-46_" + std::string(record.serial) + ".log"}, names);
}

// Text from the printer reaches the file without control characters or
// quotes, which would break the 16-line shape or cut a value.
TEST_F(StatusFileTest, ValuesCarryNoControlCharactersOrQuotes) {
  std::snprintf(record.model, sizeof record.model, "QV-\"46\n\x7f");
  auto& r = printer->replies;
  r["INFO FVER"] = ReplyPacket("1.\n2\"0\t");
  r["INFO MEDIA"] = ReplyPacket(
      "  00\x1b"
      "3\n10");
  r["INFO MQTY"] = ReplyPacket("    00\"42");
  const auto lines = Write();
  ASSERT_EQ(17u, lines.size());
  EXPECT_EQ("MODEL=\"QV-46\"", lines[1]);
  EXPECT_EQ("PRINTER_VERSION=\"1.20\"", lines[4]);
  EXPECT_EQ("MEDIA_SIZE=\"00310\"", lines[8]);
  EXPECT_EQ("MEDIA_REMAIN=\"0042\"", lines[10]);
}

// Whatever someone plants under the status file's name, nothing outside it changes.
TEST_F(StatusFileTest, PlantedLinksAndSpecialFilesAreNotWrittenThrough) {
  TempDir elsewhere;
  const std::string victim = elsewhere.File("victim");
  const struct {
    const char* name;
    std::function<void()> plant;
  } cases[] = {
      {"symlink to a file", [&] { ASSERT_EQ(0, symlink(victim.c_str(), Path().c_str())); }},
      {"dangling symlink",
       [&] {
         unlink(victim.c_str());
         ASSERT_EQ(0, symlink(victim.c_str(), Path().c_str()));
       }},
      {"hard link", [&] { ASSERT_EQ(0, link(victim.c_str(), Path().c_str())); }},
      {"fifo", [&] { ASSERT_EQ(0, mkfifo(Path().c_str(), 0666)); }},
  };
  world.ctx.bSELinuxEnabled = true;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    {
      std::ofstream(victim) << "precious";
      chmod(victim.c_str(), 0600);
    }
    c.plant();
    const bool victimExisted = Exists(victim);
    WriteFile(world.ctx, handle, &record);  // must return, even for a fifo
    WriteFile(world.ctx, record.serial);
    if (victimExisted) {
      EXPECT_EQ("precious", ReadFile(victim));
      struct stat st;
      ASSERT_EQ(0, stat(victim.c_str(), &st));
      EXPECT_EQ(0600u, st.st_mode & 0777);
    } else {
      EXPECT_FALSE(Exists(victim));
    }
    // The name now holds a whole status file of its own.
    struct stat own;
    ASSERT_EQ(0, lstat(Path().c_str(), &own));
    EXPECT_TRUE(S_ISREG(own.st_mode) && own.st_nlink == 1);
    EXPECT_EQ(17u, Lines(ReadFile(Path())).size());
    // Only the fresh files are labelled, never a link's target.
    for (const auto& call : world.commands.Calls())
      EXPECT_EQ(0u, call.back().rfind(Path() + ".", 0)) << call.back();
    unlink(Path().c_str());
    unlink(victim.c_str());
  }
}

TEST_F(StatusFileTest, SELinuxLabelsOnlyWhenEnforcing) {
  WriteFile(world.ctx, record.serial);
  EXPECT_TRUE(world.commands.Calls().empty());

  // Each new file is labelled before it takes the name.
  world.ctx.bSELinuxEnabled = true;
  WriteFile(world.ctx, record.serial);
  WriteFile(world.ctx, handle, &record);
  const auto calls = world.commands.Calls();
  ASSERT_EQ(2u, calls.size());
  for (const auto& call : calls) {
    ASSERT_EQ(4u, call.size());
    EXPECT_EQ((std::vector<std::string>{"chcon", "-t", "cupsd_tmp_t"}),
              std::vector<std::string>(call.begin(), call.begin() + 3));
    EXPECT_EQ(0u, call[3].rfind(Path() + ".", 0)) << call[3];
  }
  EXPECT_NE(calls[0][3], calls[1][3]);
}

TEST(SELinuxDetectionTest, EnforcingOnlyWhenGetenforceSaysSo) {
  const struct {
    const char* output;
    int result;
    bool enforcing;
  } cases[] = {
      {"Enforcing\n", 0, true},
      {"Enforcing", 1, true},
      {"Permissive\n", 0, false},
      {"Disabled\n", 0, false},
      {"", 0, false},
      {"Enforcing\n", -1, false},  // could not be started
      {"enforcing\n", 0, false},
  };
  for (const auto& c : cases) {
    FakeCommands commands;
    commands.captureOutput = c.output;
    commands.captureResult = c.result;
    EXPECT_EQ(c.enforcing, isSELinuxEnabled(commands)) << c.output << " " << c.result;
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"getenforce"}}), commands.Calls());
  }
}

TEST(ExistFileTest, OnlyRegularFilesThemselves) {
  TempDir dir;
  dir.Touch("plain");
  ASSERT_EQ(0, symlink(dir.File("plain").c_str(), dir.File("link").c_str()));
  EXPECT_TRUE(existFile(dir.File("plain").c_str()));
  EXPECT_FALSE(existFile(dir.File("link").c_str()));
  EXPECT_FALSE(existFile(dir.File("missing").c_str()));
  EXPECT_FALSE(existFile(dir.Path().c_str()));
  EXPECT_FALSE(existFile(nullptr));
}

}  // namespace
}  // namespace qv46test
