#include "Backend.h"

#include <cups/backend.h>
#include <libusb.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "DeviceUri.h"
#include "PrinterLink.h"
#include "TmpFile.h"
#include "common/PhotoPrinterDevice.h"

namespace zelbackend {
namespace {

void say(Services& s, const std::string& line) { *s.messages << line << '\n' << std::flush; }

bool cancelled(Services& s) { return s.cancelled && s.cancelled(); }

// Printer answers end up in text files and CUPS messages: keep them on one
// line and free of quotes.
std::string plainText(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (std::isprint(c) && c != '"') out += static_cast<char>(c);
  }
  return out;
}

// Opens printer `index`, retrying while another program holds it.
int openWaiting(Services& s, int index, int64_t deadline,
                std::unique_ptr<PrinterChannel>* channel) {
  bool told = false;
  for (;;) {
    int rc = s.bus->open(index, channel);
    if (rc != LIBUSB_ERROR_BUSY || s.nowMs() >= deadline || cancelled(s)) return rc;
    if (!told) {
      say(s, "INFO: Printer is busy, waiting");
      told = true;
    }
    s.sleepMs(s.claimRetryMs);
  }
}

std::string serialOf(PrinterChannel& channel) {
  std::string serial;
  if (queryText(channel, "INFO", "SERIAL_NUMBER", &serial) != 0) return std::string();
  return plainText(serial);
}

// The attached QV-46 whose serial is `serial`, opened; null when none.
std::unique_ptr<PrinterChannel> findPrinter(Services& s, const std::string& serial) {
  const int count = s.bus->scan();
  for (int i = 0; i < count && !cancelled(s); ++i) {
    std::unique_ptr<PrinterChannel> channel;
    if (openWaiting(s, i, s.nowMs() + s.claimWaitMs, &channel) != 0) continue;
    if (serialOf(*channel) == serial) return channel;
  }
  return nullptr;
}

// Everything below the value's first `skip` characters, as the status
// daemon keeps it in its status file.
std::string queryValue(PrinterChannel& channel, const char* parameter, size_t skip) {
  std::string value;
  if (queryText(channel, "INFO", parameter, &value) != 0 || value.size() <= skip)
    return std::string();
  return plainText(value.substr(skip));
}

std::string jobInfoText(PrinterChannel& channel) {
  const std::string media = queryValue(channel, "MEDIA", 2);
  const std::string remainHalf = queryValue(channel, "RQTY", 4);
  return "#MEDIA_INFORMATION\nMEDIA_SIZE=\"" + media + "\"\nMEDIA_REMAIN_HALF=\"" + remainHalf +
         "\"\n";
}

// Reads up to `length` bytes, fewer only at the end of the input. -1 on a
// read error or when the job is cancelled while waiting for data.
ssize_t readFully(Services& s, int fd, uint8_t* data, size_t length) {
  size_t done = 0;
  while (done < length) {
    if (cancelled(s)) return -1;
    ssize_t n = read(fd, data + done, length - done);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

// The payload length of a command packet header, or -1 when the bytes are
// not one: ESC "P", and eight digits (or eight blanks for no payload).
long payloadLength(const uint8_t* header) {
  if (header[0] != 0x1B || header[1] != 'P') return -1;
  long length = 0;
  return _ReadCmdLength(header, &length) < 0 ? -1 : length;
}

// A read that came back short of data: the job was cancelled, or the
// input broke.
int readFailure(Services& s) {
  if (cancelled(s)) return CUPS_BACKEND_CANCEL;
  say(s, std::string("ERROR: Reading the print data failed: ") + std::strerror(errno));
  return CUPS_BACKEND_FAILED;
}

// Half a command would make the printer take the next job's bytes as the
// rest of it, so it is not sent.
int truncated(Services& s) {
  say(s, "ERROR: The print data ended inside a command; that command was not sent");
  return CUPS_BACKEND_FAILED;
}

// Sends the input one command packet per write, so the printer sees each
// packet end the way the status daemon's writes end.
int sendStream(Services& s, PrinterChannel& channel, int fd) {
  std::vector<uint8_t> packet;
  for (;;) {
    packet.resize(kCmdHeaderSize);
    ssize_t got = readFully(s, fd, packet.data(), kCmdHeaderSize);
    if (got < 0) return readFailure(s);
    if (got == 0) return CUPS_BACKEND_OK;
    if (got < kCmdHeaderSize) return truncated(s);
    const long payload = payloadLength(packet.data());
    if (payload < 0) {
      say(s, "ERROR: The print data is not a QV-46 command stream; nothing more was sent");
      return CUPS_BACKEND_FAILED;
    }
    packet.resize(kCmdHeaderSize + static_cast<size_t>(payload));
    got = readFully(s, fd, packet.data() + kCmdHeaderSize, static_cast<size_t>(payload));
    if (got < 0) return readFailure(s);
    if (got < payload) return truncated(s);
    int rc = writeChunked(channel, packet.data(), packet.size(), [&s] { return cancelled(s); });
    if (rc == kLinkCancelled) return CUPS_BACKEND_CANCEL;
    if (rc != 0) {
      say(s, std::string("ERROR: Sending to the printer failed: ") + libusb_error_name(rc));
      return CUPS_BACKEND_FAILED;
    }
  }
}

}  // namespace

int discover(Services& s, std::ostream& out) {
  const int count = s.bus->scan();
  for (int i = 0; i < count; ++i) {
    std::unique_ptr<PrinterChannel> channel;
    if (openWaiting(s, i, s.nowMs() + s.claimWaitMs, &channel) != 0) continue;
    std::string serial = serialOf(*channel);
    if (!serialFromUri(deviceUri(serial), &serial))
      continue;  // no usable serial, so no URI that finds it again
    out << "direct " << deviceUri(serial) << " \"VALDREN QV-46\" \"VALDREN QV-46 (" << serial
        << ")\" \"" << plainText(channel->deviceId()) << "\" \"\"\n";
  }
  out.flush();
  return 0;
}

int runJob(Services& s, const Job& job) {
  std::string serial;
  if (!serialFromUri(job.uri, &serial)) {
    say(s, "ERROR: Not a QV-46 device URI: " + job.uri);
    return CUPS_BACKEND_STOP;
  }
  if (!validJobId(job.id)) {
    say(s, "ERROR: Bad job id: " + job.id);
    return CUPS_BACKEND_FAILED;
  }

  // Keeps the status daemon off the printer until this job is over.
  TmpFile marker;
  if (int err = marker.create(pauseMarkerPath(s.tmpDir, serial, job.id), job.id + "\n")) {
    say(s, std::string("ERROR: Cannot create the pause marker: ") + std::strerror(err));
    return CUPS_BACKEND_FAILED;
  }

  say(s, "STATE: +connecting-to-device");
  say(s, "INFO: Looking for the QV-46 with serial " + serial);
  std::unique_ptr<PrinterChannel> printer = findPrinter(s, serial);
  if (cancelled(s)) return CUPS_BACKEND_CANCEL;
  if (!printer) {
    say(s, "STATE: +offline-report");
    say(s, "ERROR: The QV-46 with serial " + serial + " is not connected or not answering");
    return CUPS_BACKEND_RETRY;
  }
  say(s, "STATE: -connecting-to-device");
  say(s, "STATE: -offline-report");

  TmpFile jobInfo;
  if (int err = jobInfo.create(jobInfoPath(s.tmpDir, job.id), jobInfoText(*printer))) {
    say(s, std::string("ERROR: Cannot write the job information file: ") + std::strerror(err));
    return CUPS_BACKEND_FAILED;
  }

  say(s, "INFO: Sending data to printer");
  for (int copy = 0; copy < job.copies; ++copy) {
    if (copy > 0 && lseek(job.inputFd, 0, SEEK_SET) != 0) {
      say(s, std::string("ERROR: Cannot rewind the print file: ") + std::strerror(errno));
      return CUPS_BACKEND_FAILED;
    }
    int rc = sendStream(s, *printer, job.inputFd);
    if (rc != CUPS_BACKEND_OK) return rc;
  }
  say(s, "INFO: Print data sent to printer");
  return CUPS_BACKEND_OK;
}

}  // namespace zelbackend
