// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Simulated QV-46 printers on umockdev, for tests that drive the real libusb
// code path. A Testbed owns a umockdev testbed; each plug() adds one printer
// (a usbfs device node plus its sysfs entry) that answers the device and
// string descriptors, the IEEE 1284 device-ID request and the command packets
// on bulk OUT 0x01 with reply packets on bulk IN 0x82. As a kernel does, a
// node drops a handle's claim and transfers once the process that opened it
// ends. A printer whose STATUS reply is a fault (1000 and above) keeps the
// jobs it receives and prints them once the reply is no fault again.
//
// Programs under test see the printers only when they run with environment()
// (umockdev preload, UMOCKDEV_DIR, TMPDIR=/tmp); spawn() starts them so.
//
// The process that owns a Testbed must itself run with
// LD_PRELOAD=libumockdev-preload.so.0 and TMPDIR=/tmp (in CMake:
// qv46_add_gtest(... ENV LD_PRELOAD=libumockdev-preload.so.0 TMPDIR=/tmp)),
// because umockdev announces devices through libudev; ok() is false otherwise.
// One Testbed per process at a time: umockdev keeps UMOCKDEV_DIR in the
// process environment. Create it before anything in this process calls
// libusb_init. All methods are thread-safe.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace qv46sim {

// What the printer puts on bulk IN after one query.
struct Reply {
  enum class Kind { Value, Raw, Silent };
  Kind kind = Kind::Silent;
  std::string bytes;  // what goes on the wire

  // A well-formed reply: eight-digit length, then text and a carriage return.
  static Reply Value(const std::string& text);
  // Exactly these bytes on the wire (for malformed replies).
  static Reply Raw(const std::string& wireBytes);
  // No answer at all: bulk IN reads time out.
  static Reply Silent();
};

// Key of a query in PrinterConfig::replies: the command word, and when there
// is one a space and the parameter word: "STATUS", "INFO MEDIA",
// "MNT_RD COUNTER_LIFE".
std::string QueryKey(const std::string& command, const std::string& parameter);

// Replies of a healthy, idle printer with 6 x 8 inch media loaded, 50 of 50
// prints left and 123 printed: STATUS, INFO SERIAL_NUMBER (the serial),
// MEDIA, MEDIA_CLASS_RFID, MQTY_DEFAULT, MQTY, RQTY, FVER and MNT_RD
// COUNTER_LIFE. Media size, quantities and count carry letters in the
// characters before their value.
std::map<std::string, Reply> DefaultReplies(const std::string& serial);

struct PrinterConfig {
  std::string serial = "QV46SIM";  // answered to INFO SERIAL_NUMBER, and the USB serial string
  std::string manufacturer = "VALDREN";
  std::string product = "QV-46 Photo Printer";
  // IEEE 1284 device ID text; sent with a big-endian two-byte length in
  // front. Empty: "MANUFACTURER:VALDREN;MODEL:QV-46;...".
  std::string deviceId;
  // When not empty, the exact bytes of the device-ID answer (length bytes
  // included), for malformed IDs.
  std::string deviceIdRaw;
  // Overrides of defaultReplies(serial), by queryKey. Queries without a
  // reply (and every CNTRL/IMAGE command) get no answer.
  std::map<std::string, Reply> replies;
  int replyDelayMs = 0;  // a reply becomes readable this long after its query
  // A packet whose bytes stop coming for this long is dropped, as after a
  // sender that died in the middle of it.
  int receiveTimeoutMs = 5000;
  // False: the printer is announced with a node that refuses every request
  // (EACCES) until SetNodeReady(), as udev announces a device before its
  // rules have set the node's permissions.
  bool nodeReady = true;
  bool silent = false;  // answer no query at all
  // When not empty, every byte received on bulk OUT is appended to this file.
  std::string captureFile;
};

// One command packet parsed from the bulk OUT stream.
struct ReceivedCommand {
  std::string command;    // command word, padding removed
  std::string parameter;  // parameter word, padding removed; empty when none
  std::size_t payloadLength = 0;
  std::string payload;  // kept only when payloadLength <= kKeptPayload
  static constexpr std::size_t kKeptPayload = 4096;
};

struct SpawnOptions {
  std::vector<std::string> extraEnv;  // "NAME=value", override the rest
  std::string stdoutFile;             // empty: inherit
  std::string stderrFile;             // empty: inherit
  bool stdinPipe = false;             // give the child a pipe as stdin (Process::writeStdin)
};

// A child process, terminated (SIGTERM, then SIGKILL) when the object goes.
class Process {
 public:
  Process() = default;
  Process(pid_t pid, int stdinFd);
  Process(Process&& other) noexcept;
  Process& operator=(Process&& other) noexcept;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  ~Process();

  pid_t Pid() const { return pid_; }
  bool Started() const { return pid_ > 0; }
  bool Running();
  // Exit status, 128 + signal number when killed by a signal, -1 when still
  // running after timeoutMs.
  int Wait(int timeoutMs);
  // SIGTERM, then SIGKILL after graceMs; returns as wait().
  int Terminate(int graceMs = 3000);
  bool WriteStdin(const std::string& text);
  void CloseStdin();

 private:
  pid_t pid_ = -1;
  int stdinFd_ = -1;
  int status_ = -1;
};

// Starts argv[0] (looked up in PATH) with the current environment plus env.
Process SpawnProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                     const SpawnOptions& options = {});

// Polls condition every few milliseconds; true as soon as it holds.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs);

class Testbed {
 public:
  Testbed();
  ~Testbed();
  Testbed(const Testbed&) = delete;
  Testbed& operator=(const Testbed&) = delete;

  bool Ok() const;  // the umockdev testbed exists and its handler thread runs

  // Adds a printer and announces it ("add" uevent) once its node answers.
  // Returns its id (1, 2, ...; never reused), or -1.
  int Plug(const PrinterConfig& config);
  // Announces the removal ("remove" uevent), then removes the device.
  // Transfers in flight end with -ESHUTDOWN, later requests fail ENODEV.
  bool Unplug(int id);
  bool Plugged(int id) const;

  void SetReply(int id, const std::string& key, const Reply& reply);
  void SetSilent(int id, bool silent);
  void SetReplyDelay(int id, int ms);
  void SetNodeReady(int id);

  // What the printer received (kept after unplug).
  std::vector<ReceivedCommand> Commands(int id) const;
  std::string BulkOut(int id) const;
  void ClearReceived(int id);

  bool Claimed(int id) const;     // interface 0 claimed now
  int ClaimCount(int id) const;   // successful claims so far
  int OpenClients(int id) const;  // open device handles now
  int MaxOpenClients(int id) const;
  int MaxClaimedAtOnce() const;       // most printers claimed at the same moment
  int RefusedRequests(int id) const;  // requests refused while the node was not ready
  int Printed(int id) const;          // jobs printed: START commands acted on
  int HeldPrints(int id) const;       // jobs received in a fault, printed once it is cleared

  // "NAME=value" lines a program needs to see the printers.
  std::vector<std::string> Environment() const;
  const std::string& RootDir() const;
  Process Spawn(const std::vector<std::string>& argv, const SpawnOptions& options = {}) const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace qv46sim
