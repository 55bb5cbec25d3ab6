// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The watch file, the count request and the backend's pause marker.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "Fakes.h"
#include "daemon/RequestFiles.h"

namespace qv46test {
namespace {

class RequestFilesTest : public ::testing::Test {
 protected:
  RequestFilesTest() : record(nullptr) {
    std::snprintf(record.serial, sizeof record.serial, "RQ%d", getpid());
    serial = record.serial;
    watch = "QV-46_" + serial + "_UTIL";
    count = "QV-46_" + serial + "_TC_UTIL";
    pause = "Pause_valdren-zelbackend:__VALDREN_QV-46?serial=" + serial;
  }
  FakeWorld world;
  thdata record;
  std::string serial, watch, count, pause;
};

struct Flags {
  bool monitorWatching, watchCountRead, backendPrinting, printEnded;
};

TEST_F(RequestFilesTest, EntriesInDirectoryOrder) {
  const struct {
    const char* name;
    std::vector<std::string> entries;
    Flags before;
    int result;
    Flags after;
  } cases[] = {
      {"nothing", {}, {true, true, false, true}, 0, {false, false, false, false}},
      {"watch", {watch}, {false, false, false, true}, 1, {true, false, false, false}},
      {"watch with suffix",
       {watch + ".1234"},
       {false, false, false, false},
       1,
       {true, false, false, false}},
      {"watch and count",
       {count, watch},
       {true, true, false, false},
       3,
       {true, true, false, false}},
      {"count only", {count}, {true, true, false, true}, 0, {true, true, false, false}},
      {"marker first",
       {pause + ".job7", watch},
       {true, true, false, true},
       0,
       {false, false, true, false}},
      {"marker after watch",
       {watch, pause + ".job7"},
       {false, true, false, true},
       0,
       {true, true, true, false}},
      {"marker gone while watched",
       {watch},
       {true, true, true, false},
       1,
       {true, true, false, true}},
      {"marker gone, nobody watching",
       {},
       {false, false, true, false},
       0,
       {false, false, false, true}},
      {"markers of printers whose serial extends this one, or without a job",
       {watch, pause + "1.job7", pause + "_.job7", pause + ".job", pause + ".job7x", pause},
       {false, false, false, false},
       1,
       {true, false, false, false}},
      {"other printer's files",
       {"QV-46_X" + serial + "_UTIL", "QV-46__UTIL"},
       {true, true, false, false},
       0,
       {false, false, false, false}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    record.monitorWatching = c.before.monitorWatching;
    record.watchCountRead = c.before.watchCountRead;
    record.backendPrinting = c.before.backendPrinting;
    record.printEnded = c.before.printEnded;
    EXPECT_EQ(c.result, CheckRequestNames(world.ctx, &record, c.entries));
    EXPECT_EQ(c.after.monitorWatching, record.monitorWatching);
    EXPECT_EQ(c.after.watchCountRead, record.watchCountRead);
    EXPECT_EQ(c.after.backendPrinting, record.backendPrinting);
    EXPECT_EQ(c.after.printEnded, record.printEnded);
  }
}

TEST_F(RequestFilesTest, CountRequestIsDeletedAndWatchFileKept) {
  world.tmp.Touch(watch);
  world.tmp.Touch(count);
  world.tmp.Touch("QV-46_other_TC_UTIL");
  EXPECT_EQ(3, fileCheck(world.ctx, &record));
  EXPECT_FALSE(Exists(world.tmp.File(count)));
  EXPECT_TRUE(Exists(world.tmp.File(watch)));
  EXPECT_TRUE(Exists(world.tmp.File("QV-46_other_TC_UTIL")));
  EXPECT_EQ(1, fileCheck(world.ctx, &record));
}

// A user's count request may be a link: the link goes, never what it names.
TEST_F(RequestFilesTest, CountRequestThatIsALinkIsDeletedItself) {
  world.tmp.Touch("precious");
  ASSERT_EQ(0, symlink(world.tmp.File("precious").c_str(), world.tmp.File(count).c_str()));
  world.tmp.Touch(watch);
  EXPECT_EQ(3, fileCheck(world.ctx, &record));
  EXPECT_FALSE(Exists(world.tmp.File(count)));
  EXPECT_TRUE(Exists(world.tmp.File("precious")));
}

TEST_F(RequestFilesTest, CountRequestAloneIsDeletedAndAsksNothing) {
  world.tmp.Touch(count);
  EXPECT_EQ(0, fileCheck(world.ctx, &record));
  EXPECT_FALSE(Exists(world.tmp.File(count)));
}

TEST_F(RequestFilesTest, UnreadableDirectoryHasNoRequests) {
  world.ctx.tmpDir = world.tmp.File("missing");
  record.monitorWatching = true;
  EXPECT_EQ(0, fileCheck(world.ctx, &record));
  EXPECT_FALSE(record.monitorWatching);
}

}  // namespace
}  // namespace qv46test
