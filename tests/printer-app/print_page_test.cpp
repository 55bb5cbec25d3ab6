// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The app with the simulated printer idle leaves its state file alone, and
// writes it when the printer's state changed.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "AppUnderTest.h"
#include "PrintSystem.h"

using apptest::AppUnderTest;

namespace {

// Counts the writes of one file in a folder, as inotify reports them:
// written in place or renamed into place.
class FileWrites {
 public:
  explicit FileWrites(const std::string& path)
      : name_(path.substr(path.rfind('/') + 1)), fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    inotify_add_watch(fd_, path.substr(0, path.rfind('/')).c_str(), IN_CLOSE_WRITE | IN_MOVED_TO);
  }
  ~FileWrites() { close(fd_); }
  FileWrites(const FileWrites&) = delete;
  FileWrites& operator=(const FileWrites&) = delete;

  bool Ok() const { return fd_ >= 0; }

  int Count() {
    alignas(inotify_event) char buffer[4096];
    for (ssize_t n; (n = read(fd_, buffer, sizeof buffer)) > 0;) {
      for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if (event->len > 0 && name_ == event->name) ++count_;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    return count_;
  }

 private:
  std::string name_;
  int fd_;
  int count_ = 0;
};

// Status queries among the bytes the printer received.
int StatusQueries(const std::string& received) {
  int count = 0;
  for (size_t at = 0; (at = received.find("\x1bPSTATUS", at)) != std::string::npos; ++at) ++count;
  return count;
}

// The idle printer is asked every 50 ms, so a minute of the default
// interval passes in seconds.
class QuietState : public testing::Test {
 protected:
  void SetUp() override {
    app_.AddOption("status-interval-ms=50");
    std::string error;
    ASSERT_TRUE(app_.Start(&error)) << error;
  }

  // Waits for `polls` more status queries; false when they did not come.
  bool Polls(int polls) {
    const size_t from = app_.Captured();
    return e2e::Eventually([&] { return StatusQueries(app_.ReceivedSince(from)) >= polls; }, 20000);
  }

  AppUnderTest app_;
};

TEST_F(QuietState, IdlePollsLeaveTheStateAloneAndAChangeIsSaved) {
  FileWrites writes(app_.StatePath());
  ASSERT_TRUE(writes.Ok());
  // What starting changed is saved within the first second (PAPPL saves
  // from its loop, which wakes every second); then 60 polls without a write.
  ASSERT_TRUE(Polls(60));
  const int settled = writes.Count();
  ASSERT_TRUE(Polls(60));
  EXPECT_EQ(settled, writes.Count()) << "the state file was written while nothing changed";

  const int before = writes.Count();
  ASSERT_TRUE(app_.Sim("set", "INFO MEDIA MS00400"));
  EXPECT_TRUE(e2e::Eventually([&] { return writes.Count() > before; }, 15000));
  EXPECT_EQ("na_6x9_6x9in", app_.PrinterAttribute("media-ready"));
}

}  // namespace
