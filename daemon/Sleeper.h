// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Pauses, injectable so that tests do not wait in real time.
#pragma once

class Sleeper {
 public:
  virtual ~Sleeper() = default;
  virtual void SleepMs(unsigned milliseconds) = 0;
};
