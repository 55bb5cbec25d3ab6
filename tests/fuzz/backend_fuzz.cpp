// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// One job through the backend on a fake bus: the queue's device URI, the
// printer's answers to the serial, media and half-panel queries, and the job
// stream it checks packet by packet before sending.
//
// Input, in parts: the device URI, the job id, the serial, media and
// half-panel reply bytes, the printer's device ID, then the job stream.
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "DeviceUri.h"
#include "FakeBackend.h"
#include "common/PhotoPrinterDevice.h"
#include "common/Serial.h"

namespace {

// The packets at the start of `stream` that the fake printer keeps as print
// data: it takes a 32-byte INFO packet for a query of its own.
std::string PrintedPart(const std::string& stream) {
  std::string kept;
  size_t at = 0;
  while (stream.size() - at >= kCmdHeaderSize) {
    const auto* header = reinterpret_cast<const uint8_t*>(stream.data() + at);
    long length = 0;
    if (!IsCmdHeader(header) || ReadCmdLength(header, &length) < 0 ||
        static_cast<size_t>(length) > stream.size() - at - kCmdHeaderSize)
      break;
    const size_t whole = kCmdHeaderSize + static_cast<size_t>(length);
    if (length != 0 || stream.compare(at, 8, "\x1bPINFO  ") != 0) kept += stream.substr(at, whole);
    at += whole;
  }
  return kept;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> parts = qv46fuzz::SplitParts(data, size, 7);
  const std::string& stream = parts[6];

  auto printer = std::make_shared<FakePrinter>("");
  printer->replies["INFO SERIAL_NUMBER"] = parts[2];
  printer->replies["INFO MEDIA"] = parts[3];
  printer->replies["INFO RQTY"] = parts[4];
  printer->deviceId = parts[5];
  qv46fuzz::FakeBackend backend;
  backend.bus.printers.push_back(printer);
  zelbackend::Services& services = backend.services;

  // The discovery line is one line of five fields whatever the printer says.
  std::ostringstream discovery;
  zelbackend::Discover(services, discovery);
  const std::string line = discovery.str();
  if (!line.empty() && line.find('\n') != line.size() - 1) std::abort();

  std::string serial;
  if (SerialFromBackendUri(parts[0], &serial)) {
    const std::string marker = zelbackend::PauseMarkerPath(services.tmpDir, serial, parts[1]);
    if (zelbackend::ValidJobId(parts[1]) &&
        marker.find('/', services.tmpDir.size() + 1) != std::string::npos)
      std::abort();
  }

  const int fd =
      qv46fuzz::MemoryFile(reinterpret_cast<const uint8_t*>(stream.data()), stream.size());
  if (fd < 0) return 0;
  zelbackend::Job job;
  job.id = parts[1];
  job.uri = parts[0];
  job.inputFd = fd;
  zelbackend::RunJob(services, job);
  close(fd);

  // Whatever reached the printer went out as whole packets of the stream.
  if (PrintedPart(stream).compare(0, printer->stream.size(), printer->stream) != 0) std::abort();
  return 0;
}
