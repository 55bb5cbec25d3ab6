// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// What every part of the daemon reaches the outside world through, plus the
// little process-wide state the status file needs.
#pragma once

#include <string>

#include "common/TmpFiles.h"
#include "daemon/CommandRunner.h"
#include "daemon/CupsPort.h"
#include "daemon/Sleeper.h"
#include "daemon/UsbPort.h"

struct DaemonContext {
  DaemonContext(UsbPort& usbPort, CupsPort& cupsPort, CommandRunner& commandRunner,
                Sleeper& sleeperImpl, std::string tmp = kTmpDir)
      : usb(usbPort),
        cups(cupsPort),
        commands(commandRunner),
        sleeper(sleeperImpl),
        tmpDir(std::move(tmp)) {}

  UsbPort& usb;
  CupsPort& cups;
  CommandRunner& commands;
  Sleeper& sleeper;
  // Directory shared with the monitor and the backend.
  std::string tmpDir;
  // SELinux enforcing, decided once at start.
  bool bSELinuxEnabled = false;
  // Status of the latest full write of any printer; full writes run under the
  // USB lock, which is what keeps this shared value consistent.
  long prevStatus = -1;
};
