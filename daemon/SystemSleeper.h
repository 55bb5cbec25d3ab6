// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Real pauses for the running daemon.
#pragma once

#include <chrono>
#include <thread>

#include "daemon/Sleeper.h"

class SystemSleeper : public Sleeper {
 public:
  // `pace` > 1 makes every pause that many times shorter: the tests that run
  // the real daemon wait for its cycles, not the clock.
  explicit SystemSleeper(unsigned pace = 1) : pace_(pace > 0 ? pace : 1) {}

  void SleepMs(unsigned milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds / pace_));
  }

 private:
  unsigned pace_;
};
