// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "Backend.h"

#include <cups/backend.h>
#include <libusb.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "DeviceUri.h"
#include "PayloadStage.h"
#include "PrinterLink.h"
#include "TmpFile.h"
#include "common/PhotoPrinterDevice.h"
#include "common/PhotoPrinterIF.h"
#include "common/Serial.h"
#include "common/TmpFiles.h"

namespace zelbackend {
namespace {

void Say(Services& s, const std::string& line) { WriteLine(*s.messages, line); }

bool Cancelled(Services& s) { return s.cancelled && s.cancelled(); }

// Printer answers end up in text files and CUPS messages: keep them on one
// line and free of quotes.
std::string PlainText(std::string text) {
  text.resize(static_cast<size_t>(StripToPlainText(&text[0])));
  return text;
}

// Opens printer `index`, retrying while another program holds it.
int OpenWaiting(Services& s, int index, int64_t deadline,
                std::unique_ptr<PrinterChannel>* channel) {
  bool told = false;
  for (;;) {
    int rc = s.bus->Open(index, channel);
    if (rc != LIBUSB_ERROR_BUSY || s.nowMs() >= deadline || Cancelled(s)) return rc;
    if (!told) {
      Say(s, "INFO: Printer is busy, waiting");
      told = true;
    }
    s.sleepMs(s.claimRetryMs);
  }
}

std::string SerialOf(PrinterChannel& channel) {
  std::string serial;
  if (QueryText(channel, kQuerySerial, &serial) != 0) return std::string();
  return serial;
}

// One look at every attached QV-46. A printer that another program holds
// (another job, the daemon mid-poll) is skipped at once, and *busy set.
std::unique_ptr<PrinterChannel> FindPrinter(Services& s, const std::string& serial, bool* busy) {
  *busy = false;
  const int count = s.bus->Scan();
  for (int i = 0; i < count && !Cancelled(s); ++i) {
    std::unique_ptr<PrinterChannel> channel;
    const int rc = s.bus->Open(i, &channel);
    *busy = *busy || rc == LIBUSB_ERROR_BUSY;
    if (rc == 0 && SerialOf(*channel) == serial) return channel;
  }
  return nullptr;
}

// Looks again until the printer answers or the job is cancelled, the way
// CUPS's own USB backend waits: missing, busy or garbled all mean "not yet".
std::unique_ptr<PrinterChannel> WaitForPrinter(Services& s, const std::string& serial) {
  bool told = false;
  for (;;) {
    bool busy = false;
    std::unique_ptr<PrinterChannel> printer = FindPrinter(s, serial, &busy);
    if (printer || Cancelled(s)) return printer;
    if (!told) {
      Say(s, "INFO: Waiting for the QV-46 with serial " + serial +
                 " (not connected, busy or not answering)");
      told = true;
    }
    s.sleepMs(busy ? s.claimRetryMs : s.searchRetryMs);
  }
}

// The part of a reply that `valueOf` finds in it, as the status daemon keeps
// it in its status file; empty when the query failed.
std::string QueryValue(PrinterChannel& channel, const PrinterQuery& query,
                       std::string (*valueOf)(const std::string&)) {
  std::string value;
  if (QueryText(channel, query, &value) != 0) return std::string();
  return valueOf(value);
}

std::string JobInfoText(PrinterChannel& channel) {
  const std::string media = QueryValue(channel, kQueryMedia, MediaSizeFromReply);
  const std::string remainHalf = QueryValue(channel, kQueryMediaRemainHalf, QuantityTextFromReply);
  return std::string("#MEDIA_INFORMATION\n") + kKeyMediaSize + "=\"" + media + "\"\n" +
         kKeyMediaRemainHalf + "=\"" + remainHalf + "\"\n";
}

// The payload length of a command packet header, or -1 when the bytes are
// not one: ESC "P", and eight digits (or eight blanks for no payload).
long PayloadLength(const uint8_t* header) {
  if (!IsCmdHeader(header)) return -1;
  long length = 0;
  return ReadCmdLength(header, &length) < 0 ? -1 : length;
}

// A read that came back short of data: the job was cancelled, or the
// input broke.
int ReadFailure(Services& s) {
  if (Cancelled(s)) return CUPS_BACKEND_CANCEL;
  Say(s, std::string("ERROR: Reading the print data failed: ") + std::strerror(errno));
  return CUPS_BACKEND_FAILED;
}

// Half a command would make the printer take the next job's bytes as the
// rest of it, so it is not sent.
int Truncated(Services& s) {
  Say(s, "ERROR: The print data ended inside a command; that command was not sent");
  return CUPS_BACKEND_FAILED;
}

// A staged payload that could not be read back; the code that ends the write.
constexpr int kStageReadFailed = 1;

// Sends the input one command packet per write, so the printer sees each
// packet end the way the status daemon's writes end. A packet goes out only
// once all of it has arrived, and passes through in pieces.
int SendStream(Services& s, PrinterChannel& channel, int fd) {
  PayloadStage stage(s.spoolDir);
  uint8_t header[kCmdHeaderSize];
  for (;;) {
    const ssize_t got = ReadFully(s.cancelled, fd, header, kCmdHeaderSize);
    if (got < 0) return ReadFailure(s);
    if (got == 0) return CUPS_BACKEND_OK;
    if (got < kCmdHeaderSize) return Truncated(s);
    const long payload = PayloadLength(header);
    if (payload < 0) {
      Say(s, "ERROR: The print data is not a QV-46 command stream; nothing more was sent");
      return CUPS_BACKEND_FAILED;
    }
    switch (stage.Take(header, fd, static_cast<size_t>(payload), s.cancelled)) {
      case StageResult::kReady:
        break;
      case StageResult::kEnded:
        return Truncated(s);
      case StageResult::kSpoolFailed:
        Say(s, std::string("ERROR: Cannot spool the print data: ") + std::strerror(errno));
        return CUPS_BACKEND_FAILED;
      case StageResult::kReadFailed:
        return ReadFailure(s);
    }
    // A cancel is seen before the next packet is read, never inside one.
    int readError = 0;
    const int rc = WriteChunked(
        channel,
        [&](unsigned char* data, int count) {
          readError = stage.Read(data, static_cast<size_t>(count));
          return readError == 0 ? 0 : kStageReadFailed;
        },
        kCmdHeaderSize + static_cast<size_t>(payload));
    if (rc == kStageReadFailed) {
      Say(s,
          std::string("ERROR: Reading the spooled print data failed: ") + std::strerror(readError));
      return CUPS_BACKEND_FAILED;
    }
    if (rc != 0) {
      Say(s, std::string("ERROR: Sending to the printer failed: ") + libusb_error_name(rc));
      return CUPS_BACKEND_FAILED;
    }
  }
}

}  // namespace

void WriteLine(std::ostream& out, const std::string& line) {
  const std::string whole = line + '\n';
  out.write(whole.data(), static_cast<std::streamsize>(whole.size()));
  out.flush();
}

int Discover(Services& s, std::ostream& out) {
  const int count = s.bus->Scan();
  for (int i = 0; i < count; ++i) {
    std::unique_ptr<PrinterChannel> channel;
    if (OpenWaiting(s, i, s.nowMs() + s.claimWaitMs, &channel) != 0) continue;
    const std::string serial = SerialOf(*channel);
    const std::string uri = MakeBackendUri(serial);
    if (uri.empty()) continue;  // no usable serial, so no URI that finds it again
    out << "direct " << uri << " \"VALDREN QV-46\" \"VALDREN QV-46 (" << PlainText(serial)
        << ")\" \"" << PlainText(channel->DeviceId()) << "\" \"\"\n";
  }
  out.flush();
  return 0;
}

int RunJob(Services& s, const Job& job) {
  std::string serial;
  if (!SerialFromBackendUri(job.uri, &serial)) {
    Say(s, "ERROR: Not a QV-46 device URI: " + job.uri);
    return CUPS_BACKEND_STOP;
  }
  if (!ValidJobId(job.id)) {
    Say(s, "ERROR: Bad job id: " + job.id);
    return CUPS_BACKEND_FAILED;
  }

  // Keeps the status daemon off the printer until this job is over.
  TmpFile marker;
  if (int err = marker.Create(PauseMarkerPath(s.tmpDir, serial, job.id), job.id + "\n")) {
    Say(s, std::string("ERROR: Cannot create the pause marker: ") + std::strerror(err));
    return CUPS_BACKEND_FAILED;
  }

  // The filter waits for the job information as long as this file names us.
  TmpFile waiting;
  if (int err =
          waiting.Create(BackendWaitPath(s.tmpDir, job.id), std::to_string(getpid()) + "\n")) {
    Say(s, std::string("ERROR: Cannot write the waiting file: ") + std::strerror(err));
    return CUPS_BACKEND_FAILED;
  }

  Say(s, "STATE: +connecting-to-device");
  Say(s, "INFO: Looking for the QV-46 with serial " + serial);
  std::unique_ptr<PrinterChannel> printer = WaitForPrinter(s, serial);
  if (!printer) return CUPS_BACKEND_CANCEL;
  Say(s, "STATE: -connecting-to-device");
  Say(s, "STATE: -offline-report");

  TmpFile jobInfo;
  if (int err = jobInfo.Create(JobInfoPath(s.tmpDir, job.id), JobInfoText(*printer))) {
    Say(s, std::string("ERROR: Cannot write the job information file: ") + std::strerror(err));
    return CUPS_BACKEND_FAILED;
  }
  // Only now: the filter reads a missing waiting file without job
  // information as the backend having given up.
  waiting.Remove();

  Say(s, "INFO: Sending data to printer");
  for (int copy = 0; copy < job.copies; ++copy) {
    if (copy > 0 && lseek(job.inputFd, 0, SEEK_SET) != 0) {
      Say(s, std::string("ERROR: Cannot rewind the print file: ") + std::strerror(errno));
      return CUPS_BACKEND_FAILED;
    }
    int rc = SendStream(s, *printer, job.inputFd);
    if (rc != CUPS_BACKEND_OK) return rc;
  }
  Say(s, "INFO: Print data sent to printer");
  return CUPS_BACKEND_OK;
}

}  // namespace zelbackend
