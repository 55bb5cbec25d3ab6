// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The CUPS seam on libcups.
#pragma once

#include "daemon/CupsPort.h"

class LibcupsPort : public CupsPort {
 public:
  void EnumDests(EnumCallback callback, void* user) override;
  int GetDests(std::vector<CupsQueue>* destinations) override;
};
