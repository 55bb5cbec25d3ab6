// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Records and threads: arrivals, departures, the USB lock and departures
// that libusb reports on a printer thread.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "Fakes.h"
#include "daemon/StatusDaemon.h"

namespace qv46test {
namespace {

// Runs the daemon's main loop on a thread of its own, as main() does.
class MainLoop {
 public:
  explicit MainLoop(StatusDaemon& daemon)
      : thread_([this, &daemon] {
          while (!stop_) daemon.RunOnce();
        }) {}
  ~MainLoop() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class DaemonTest : public ::testing::Test {
 protected:
  DaemonTest() : world(1) {}

  std::shared_ptr<FakePrinter> NewPrinter(const std::string& suffix) {
    auto printer = std::make_shared<FakePrinter>();
    printer->SetIdentity(Serial(suffix));
    printer->replies["STATUS"] = ReplyPacket("0");
    return printer;
  }
  std::string Serial(const std::string& suffix) const {
    return "DM" + std::to_string(getpid()) + suffix;
  }
  std::string StatusFile(const std::string& suffix) const {
    return world.tmp.File("QV-46_" + Serial(suffix) + ".log");
  }
  bool Offline(const std::string& path) const {
    const std::string text = ReadFile(path);
    return text.find("MODEL=\"\"\nPRINTER_STATUS=\"99999\"\nPRINTER_MESSAGE=\"00006\"") !=
           std::string::npos;
  }
  bool Online(const std::string& path) const {
    return ReadFile(path).find("PRINTER_STATUS=\"00000\"") != std::string::npos;
  }

  FakeWorld world;
};

TEST_F(DaemonTest, PrinterAttachedBeforeStartIsTakenOnAtStart) {
  world.usb.Plug(NewPrinter("a"));
  {
    StatusDaemon daemon(world.ctx);
    ASSERT_EQ(0, daemon.Start());
    EXPECT_EQ(1u, daemon.PrinterCount());
    EXPECT_TRUE(WaitFor([&] { return Online(StatusFile("a")); }));
  }
  EXPECT_EQ(0, world.usb.references);
}

TEST_F(DaemonTest, ArrivalAndDepartureWhileRunning) {
  {
    StatusDaemon daemon(world.ctx);
    ASSERT_EQ(0, daemon.Start());
    MainLoop loop(daemon);
    UsbDevice* device = world.usb.Plug(NewPrinter("b"));
    ASSERT_TRUE(WaitFor([&] { return Online(StatusFile("b")); }));
    EXPECT_EQ(1u, daemon.PrinterCount());

    world.usb.Unplug(device);
    EXPECT_TRUE(WaitFor([&] { return daemon.PrinterCount() == 0; }));
    EXPECT_TRUE(Offline(StatusFile("b")));
  }
  EXPECT_EQ(0, world.usb.references);
}

TEST_F(DaemonTest, UnplugBeforeTheSerialWasReadWritesTheEmptySerialFile) {
  auto printer = NewPrinter("c");
  printer->replies.erase("INFO SERIAL_NUMBER");
  StatusDaemon daemon(world.ctx);
  ASSERT_EQ(0, daemon.Start());
  MainLoop loop(daemon);
  UsbDevice* device = world.usb.Plug(printer);
  ASSERT_TRUE(WaitFor([&] { return printer->claims > 0; }));
  world.usb.Unplug(device);
  EXPECT_TRUE(WaitFor([&] { return daemon.PrinterCount() == 0; }));
  EXPECT_TRUE(Offline(world.tmp.File("QV-46_.log")));
}

class FailingFirstThread : public StatusDaemon {
 public:
  using StatusDaemon::StatusDaemon;
  std::atomic<int> starts{0};

 protected:
  bool StartThread(thdata* record) override {
    if (starts++ == 0) return false;
    return StatusDaemon::StartThread(record);
  }
};

TEST_F(DaemonTest, FailedThreadStartDoesNotEndArrivals) {
  {
    FailingFirstThread daemon(world.ctx);
    ASSERT_EQ(0, daemon.Start());
    MainLoop loop(daemon);
    world.usb.Plug(NewPrinter("d"));
    ASSERT_TRUE(WaitFor([&] { return daemon.starts == 1; }));
    EXPECT_TRUE(WaitFor([&] { return daemon.PrinterCount() == 0; }));
    world.usb.Plug(NewPrinter("e"));
    EXPECT_TRUE(WaitFor([&] { return Online(StatusFile("e")); }));
    EXPECT_EQ(1u, daemon.PrinterCount());
    EXPECT_FALSE(Exists(StatusFile("d")));
  }
  EXPECT_EQ(0, world.usb.references);
}

TEST_F(DaemonTest, DeviceWithoutDescriptorIsIgnored) {
  auto printer = NewPrinter("f");
  printer->descriptorResult = UsbPort::kErrorIo;
  world.usb.Plug(printer);
  StatusDaemon daemon(world.ctx);
  ASSERT_EQ(0, daemon.Start());
  EXPECT_EQ(0u, daemon.PrinterCount());
  EXPECT_EQ(0, world.usb.references);
}

TEST_F(DaemonTest, StartFailsWithoutHotplug) {
  world.usb.hotplug = false;
  StatusDaemon daemon(world.ctx);
  EXPECT_EQ(1, daemon.Start());
  world.usb.hotplug = true;
  world.usb.registerResult = -1;
  StatusDaemon second(world.ctx);
  EXPECT_EQ(1, second.Start());
}

TEST_F(DaemonTest, TwoPrintersAreNeverClaimedAtOnce) {
  auto a = NewPrinter("g");
  auto b = NewPrinter("h");
  // Slow queries widen the window in which overlapping polls would show.
  for (auto* p : {a.get(), b.get()})
    p->onQuery = [](const std::string&) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    };
  world.tmp.Touch("QV-46_" + Serial("g") + "_UTIL");
  world.tmp.Touch("QV-46_" + Serial("h") + "_UTIL");
  world.usb.Plug(a);
  world.usb.Plug(b);
  StatusDaemon daemon(world.ctx);
  ASSERT_EQ(0, daemon.Start());
  MainLoop loop(daemon);
  EXPECT_TRUE(WaitFor([&] { return a->claims >= 5 && b->claims >= 5; }));
  EXPECT_EQ(1, world.usb.maxClaimedAtOnce);
}

TEST_F(DaemonTest, KernelDriverIsDetachedAndFailuresSkipThePoll) {
  const struct {
    const char* name;
    int kernelDriver, detachResult, claimResult;
    bool polled;
  } cases[] = {
      {"driver active, detached", 1, 0, 0, true},
      {"detach fails", 1, UsbPort::kErrorIo, 0, false},
      {"query fails", UsbPort::kErrorIo, 0, 0, false},
      {"claim fails", 0, 0, UsbPort::kErrorIo, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeWorld w(1);
    auto printer = NewPrinter("i");
    printer->kernelDriver = c.kernelDriver;
    printer->detachResult = c.detachResult;
    printer->claimResult = c.claimResult;
    w.usb.Plug(printer);
    {
      StatusDaemon daemon(w.ctx);
      ASSERT_EQ(0, daemon.Start());
      // A few cycles: each opens the device again.
      ASSERT_TRUE(WaitFor([&] { return w.sleeper.total >= 5 * kCycleMs; }));
    }
    EXPECT_EQ(c.polled, !printer->queries.empty() || printer->claims > 0);
    EXPECT_EQ(c.polled, Exists(w.tmp.File("QV-46_" + Serial("i") + ".log")));
  }
}

// udev announces a printer before its node may be opened. The daemon tries a
// new printer again quickly for a few seconds, then at the cycle's pace, and
// brings it online once it opens. Only the printer thread pauses here, so
// the sleeper's total when the first query comes is the wait it made.
TEST_F(DaemonTest, PrinterRefusingItsFirstOpensComesOnline) {
  const struct {
    int refusedOpens;
    unsigned minPausedMs, maxPausedMs;
  } cases[] = {
      {1, 1, kCycleMs - 1},                     // sooner than one cycle
      {6, 1, 4000},                             // within a few seconds
      {12, 5 * kCycleMs, 5000 + 6 * kCycleMs},  // then no quicker than the cycle
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.refusedOpens);
    FakeWorld w;
    auto printer = NewPrinter("k");
    printer->refusedOpens = c.refusedOpens;
    std::atomic<unsigned long> pausedMs{0};
    printer->onQuery = [&](const std::string&) {
      if (pausedMs == 0) pausedMs = w.sleeper.total.load();
    };
    w.usb.Plug(printer);
    StatusDaemon daemon(w.ctx);
    ASSERT_EQ(0, daemon.Start());
    ASSERT_TRUE(WaitFor([&] { return Online(w.tmp.File("QV-46_" + Serial("k") + ".log")); }));
    EXPECT_GE(pausedMs, c.minPausedMs);
    EXPECT_LE(pausedMs, c.maxPausedMs);
  }
}

TEST_F(DaemonTest, RegisteredPrinterIsPolledOnlyWhileWatchedAndNotPaused) {
  auto printer = NewPrinter("j");
  world.usb.Plug(printer);
  StatusDaemon daemon(world.ctx);
  ASSERT_EQ(0, daemon.Start());
  ASSERT_TRUE(WaitFor([&] { return Online(StatusFile("j")); }));
  // Registered, nobody watching: the printer is left alone.
  const unsigned long idleFrom = world.sleeper.total;
  const int claims = printer->claims;
  ASSERT_TRUE(WaitFor([&] { return world.sleeper.total >= idleFrom + 10 * kCycleMs; }));
  EXPECT_EQ(claims, printer->claims);

  // The backend prints: the watch file does not bring polls.
  world.tmp.Touch("Pause_valdren-zelbackend:__VALDREN_QV-46?serial=" + Serial("j") + ".job1");
  world.tmp.Touch("QV-46_" + Serial("j") + "_UTIL");
  const unsigned long pausedFrom = world.sleeper.total;
  ASSERT_TRUE(WaitFor([&] { return world.sleeper.total >= pausedFrom + 10 * kCycleMs; }));
  EXPECT_EQ(claims, printer->claims);

  // Marker gone: polled again, every cycle.
  unlink(world.tmp.File("Pause_valdren-zelbackend:__VALDREN_QV-46?serial=" + Serial("j") + ".job1")
             .c_str());
  EXPECT_TRUE(WaitFor([&] { return printer->claims >= claims + 5; }));
}

// libusb may report a departure on whichever thread handles events, also on
// a printer thread inside a transfer, and that thread may hold the USB lock.
TEST_F(DaemonTest, DepartureReportedOnAPrinterThreadMidPollDoesNotHang) {
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    for (int printers : {1, 2}) {
      FakeWorld w(1);
      auto a = NewPrinter("k");
      auto b = NewPrinter("l");
      UsbDevice* devA = w.usb.Plug(a);
      UsbDevice* devB = printers == 2 ? w.usb.Plug(b) : nullptr;
      // Both stay watched, so both are polled every cycle.
      w.tmp.Touch("QV-46_" + Serial("k") + "_UTIL");
      w.tmp.Touch("QV-46_" + Serial("l") + "_UTIL");
      // Printer A's own thread reports A's departure (and B's, with two,
      // once B has been polled and so knows its serial).
      const std::string fileB = w.tmp.File("QV-46_" + Serial("l") + ".log");
      std::atomic<bool> fired{false};
      a->onQuery = [&](const std::string& key) {
        if (key != "INFO MEDIA" || (devB != nullptr && !Exists(fileB)) || fired.exchange(true))
          return;
        w.usb.DeliverDepartureHere(devA);
        if (devB != nullptr) w.usb.DeliverDepartureHere(devB);
      };
      {
        StatusDaemon daemon(w.ctx);
        ASSERT_EQ(0, daemon.Start());
        MainLoop loop(daemon);
        ASSERT_TRUE(WaitFor([&] { return daemon.PrinterCount() == 0; }));
        EXPECT_TRUE(Offline(w.tmp.File("QV-46_" + Serial("k") + ".log")));
        if (devB != nullptr) {
          EXPECT_TRUE(Offline(fileB));
        }
      }
      EXPECT_EQ(0, w.usb.references);
    }
  }
}

}  // namespace
}  // namespace qv46test
