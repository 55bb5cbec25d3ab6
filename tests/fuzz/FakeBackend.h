// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The backend's services on the fake bus of its tests: a clock that stands
// still, messages kept in memory and the process's scratch folder as /tmp
// and as the spool.
// Nothing on the fake bus changes while the backend waits, so its first
// wait counts as the job being cancelled.
#pragma once

#include <cstdint>
#include <sstream>

#include "Backend.h"
#include "FakeBus.h"
#include "FuzzSupport.h"

namespace qv46fuzz {

struct FakeBackend {
  FakeBackend() {
    services.bus = &bus;
    services.messages = &messages;
    services.sleepMs = [this](int) { waited = true; };
    services.cancelled = [this] { return waited; };
    services.nowMs = [] { return int64_t{0}; };
    services.tmpDir = ScratchDir();
    services.spoolDir = ScratchDir();
  }
  FakeBackend(const FakeBackend&) = delete;
  FakeBackend& operator=(const FakeBackend&) = delete;

  FakeBus bus;
  std::ostringstream messages;
  zelbackend::Services services;
  bool waited = false;
};

}  // namespace qv46fuzz
