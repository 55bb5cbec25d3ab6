// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// One poll of a printer by the daemon, on the in-memory USB and CUPS fakes:
// the printer's answers to every query, its product string and device ID,
// and the queues CUPS already has.
//
// Input, in parts: the reply bytes to the serial, status, firmware, media,
// initial, remaining, half-panel and total-count queries; the device-ID
// answer (two length bytes, then the text); the product string; queue lines
// "name uri"; control bytes (earlier status, request flags); names of files
// in the shared folder, one a line, as the request-file check sees them.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>

#include "Fakes.h"
#include "FuzzSupport.h"
#include "common/Serial.h"
#include "daemon/PrinterPoll.h"
#include "daemon/RequestFiles.h"
#include "daemon/StatusFile.h"

namespace {

const char* const kQueries[] = {
    "INFO SERIAL_NUMBER", "STATUS",    "INFO FVER", "INFO MEDIA",
    "INFO MQTY_DEFAULT",  "INFO MQTY", "INFO RQTY", "MNT_RD COUNTER_LIFE",
};
constexpr size_t kQueryCount = sizeof kQueries / sizeof kQueries[0];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> parts = qv46fuzz::SplitParts(data, size, kQueryCount + 5);
  const std::string& deviceId = parts[kQueryCount];
  const std::string& product = parts[kQueryCount + 1];
  const std::string& queues = parts[kQueryCount + 2];
  const std::string& controls = parts[kQueryCount + 3];
  const uint8_t flags = controls.empty() ? 0 : uint8_t(controls[0]);
  std::vector<std::string> names;
  std::istringstream nameLines(parts[kQueryCount + 4]);
  for (std::string line; std::getline(nameLines, line);) names.push_back(line);

  // The fakes of FakeWorld, with the process's scratch folder as the
  // daemon's /tmp.
  struct World {
    qv46test::FakeUsb usb;
    qv46test::FakeCups cups;
    qv46test::FakeCommands commands;
    qv46test::FakeSleeper sleeper;
    DaemonContext ctx{usb, cups, commands, sleeper, qv46fuzz::ScratchDir()};
  } world;
  auto printer = std::make_shared<qv46test::FakePrinter>();
  for (size_t i = 0; i < kQueryCount; ++i) printer->replies[kQueries[i]] = parts[i];
  printer->deviceIdAnswer = deviceId;
  printer->product = product;
  std::istringstream lines(queues);
  for (std::string line; std::getline(lines, line);) {
    const size_t space = line.find(' ');
    world.cups.Add(line.substr(0, space), space == std::string::npos ? "" : line.substr(space + 1));
  }
  world.commands.result = flags & 0x40 ? 1 : 0;

  UsbDevice* device = world.usb.Plug(printer);
  thdata record(device);
  record.handle = world.usb.OpenForTest(device);
  record.lastRequest = flags & 3;
  record.monitorWatching = flags & 4;
  record.printEnded = flags & 8;
  world.ctx.prevStatus = flags & 0x10 ? 1 : -1;

  getPrinterInfo(world.ctx, &record);
  const int request = CheckRequestNames(world.ctx, &record, names);
  if (request != kRequestNone && !record.monitorWatching) std::abort();

  if (record.serialKnown && !IsUsableSerial(record.serial)) std::abort();
  if (record.serialKnown && record.modelMatched) {
    char path[kPathSize];
    if (!StatusFilePath(world.ctx, record.serial, path)) std::abort();
    if (qv46test::ReadFile(path).rfind("#PRINTER_INFORMATION\n", 0) != 0) std::abort();
    WriteFile(world.ctx, record.serial);
    unlink(path);
  }
  world.usb.Close(record.handle);
  return 0;
}
