// The CUPS seam on libcups.
#pragma once

#include "daemon/CupsPort.h"

class LibcupsPort : public CupsPort {
 public:
  void enumDests(EnumCallback callback, void* user) override;
  int getDests(std::vector<CupsQueue>* destinations) override;
};
