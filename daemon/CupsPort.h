// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The daemon's view of the CUPS destinations. LibcupsPort is the one
// production implementation; tests use in-memory fakes.
#pragma once

#include <string>
#include <vector>

// What the daemon uses of a destination: its name and its "device-uri" option.
struct CupsQueue {
  bool hasName = false;
  std::string name;
  bool hasDeviceUri = false;
  std::string deviceUri;
};

class CupsPort {
 public:
  using EnumCallback = int (*)(void* user, unsigned flags, const CupsQueue& destination);

  virtual ~CupsPort() = default;
  // cupsEnumDests with flags 0, no timeout and no filters.
  virtual void EnumDests(EnumCallback callback, void* user) = 0;
  // cupsGetDests: the full list; returns its count (negative on failure).
  virtual int GetDests(std::vector<CupsQueue>* destinations) = 0;
};
