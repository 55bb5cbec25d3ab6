// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// qv46-statusd: watches USB for QV-46 printers, keeps their status files in
// /tmp and registers a CUPS queue for each. No output once it runs.
#include <systemd/sd-daemon.h>

#include <algorithm>
#include <cstdlib>

#include "common/ProgramInfo.h"
#include "daemon/LibcupsPort.h"
#include "daemon/LibusbPort.h"
#include "daemon/SpawnCommandRunner.h"
#include "daemon/StatusDaemon.h"
#include "daemon/SystemSleeper.h"

namespace {

// At most this many times the running pace: a cycle of 50 ms.
constexpr int kMaxPace = 20;

}  // namespace

int main(int argc, char** argv) {
  const char kUsage[] =
      "Usage: qv46-statusd [--help | --version]\n"
      "Watches USB for QV-46 printers, keeps their status files in /tmp and\n"
      "registers a CUPS queue for each. systemd starts it (qv46-statusd.service).\n";
  const int answered = AnswerInfoOption(argc, argv, "qv46-statusd", kUsage);
  if (answered >= 0) return answered;
  LibusbPort usb;
  if (usb.Init() < 0) return 1;
  LibcupsPort cups;
  SpawnCommandRunner commands;
  // Only tests set the pace (QV46_STATUSD_PACE=5: a cycle of 200 ms);
  // the unit gives the daemon no such variable.
  const char* pace = std::getenv("QV46_STATUSD_PACE");
  SystemSleeper sleeper(
      pace != nullptr ? static_cast<unsigned>(std::clamp(std::atoi(pace), 1, kMaxPace)) : 1);
  DaemonContext ctx(usb, cups, commands, sleeper);
  StatusDaemon daemon(ctx);
  if (daemon.Start() != 0) return 1;
  // Under systemd (Type=notify): hot-plug notices are now being received.
  sd_notify(0, "READY=1");
  for (;;) daemon.RunOnce();
}
