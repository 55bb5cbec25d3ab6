// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Real pauses for the running daemon.
#pragma once

#include <chrono>
#include <thread>

#include "daemon/Sleeper.h"

class SystemSleeper : public Sleeper {
 public:
  void SleepMs(unsigned milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
};
