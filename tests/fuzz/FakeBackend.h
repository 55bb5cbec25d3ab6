// The backend's services on the fake bus of its tests: no waiting, a clock
// that stands still, messages kept in memory and the process's scratch
// folder as /tmp.
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
    services.sleepMs = [](int) {};
    services.nowMs = [] { return int64_t{0}; };
    services.tmpDir = ScratchDir();
  }
  FakeBackend(const FakeBackend&) = delete;
  FakeBackend& operator=(const FakeBackend&) = delete;

  FakeBus bus;
  std::ostringstream messages;
  zelbackend::Services services;
};

}  // namespace qv46fuzz
