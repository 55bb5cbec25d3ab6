// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// qv46-statusd: watches USB for QV-46 printers, keeps their status files in
// /tmp and registers a CUPS queue for each. No output once it runs.
#include <systemd/sd-daemon.h>

#include "common/ProgramInfo.h"
#include "daemon/LibcupsPort.h"
#include "daemon/LibusbPort.h"
#include "daemon/SpawnCommandRunner.h"
#include "daemon/StatusDaemon.h"
#include "daemon/SystemSleeper.h"

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
  SystemSleeper sleeper;
  DaemonContext ctx(usb, cups, commands, sleeper);
  StatusDaemon daemon(ctx);
  if (daemon.Start() != 0) return 1;
  // Under systemd (Type=notify): hot-plug notices are now being received.
  sd_notify(0, "READY=1");
  for (;;) daemon.RunOnce();
}
