// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// In-memory stand-ins for the daemon's seams: printers on a fake USB bus,
// CUPS destinations, a command runner that records argument vectors and a
// sleeper that only counts.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/Qv46Usb.h"
#include "daemon/DaemonContext.h"

namespace qv46test {

// Wire bytes of a reply packet carrying `text` and a carriage return.
std::string ReplyPacket(const std::string& text);

struct FakePrinter {
  UsbDeviceDescriptor descriptor{kQv46VendorId, kQv46ProductId, 2};
  int descriptorResult = 0;
  std::string product = "QV-46 Photo Printer";
  // The device-ID answer as sent (two length bytes first).
  std::string deviceIdAnswer;
  int openResult = 0;
  int refusedOpens = 0;  // the first this many opens fail with kErrorAccess
  int kernelDriver = 0;  // kernelDriverActive's answer
  int detachResult = 0;
  int claimResult = 0;
  // Reply wire bytes by query ("STATUS", "INFO MEDIA", ...); unanswered
  // queries time out.
  std::map<std::string, std::string> replies;
  // Called on the polling thread each time a query arrives, with its key,
  // before the reply is chosen.
  std::function<void(const std::string&)> onQuery;

  // Observations.
  std::vector<std::string> queries;
  std::atomic<bool> gone{false};
  std::atomic<int> claims{0};

  void SetIdentity(const std::string& serial, const std::string& model = "QV-46");
};

class FakeUsb : public UsbPort {
 public:
  ~FakeUsb() override;

  // Attaches a printer: reported at registration, or as an event afterwards.
  UsbDevice* Plug(std::shared_ptr<FakePrinter> printer);
  // Detaches it: transfers fail from now on and a departure event follows.
  void Unplug(UsbDevice* device);
  // Delivers a departure notice on the calling thread, as libusb does when a
  // printer thread is handling events inside a transfer.
  void DeliverDepartureHere(UsbDevice* device);
  FakePrinter& Printer(UsbDevice* device);

  std::vector<int> outChunks;  // sizes asked of bulkOut, in order
  int outLimit = 0;            // >0: each bulk OUT moves at most this many bytes
  int outResult = 0;           // a bulk OUT result to force
  int controlResult = 0;       // <0: the control transfer fails
  bool hotplug = true;
  int registerResult = 0;
  int maxClaimedAtOnce = 0;
  int references = 0;  // refDevice minus unrefDevice

  bool HasHotplug() override { return hotplug; }
  int RegisterHotplug(uint16_t vendor, uint16_t product, HotplugListener* listener) override;
  int HandleEvents() override;
  void RefDevice(UsbDevice*) override;
  void UnrefDevice(UsbDevice*) override;
  int GetDeviceDescriptor(UsbDevice* device, UsbDeviceDescriptor* descriptor) override;
  int Open(UsbDevice* device, UsbHandle** handle) override;
  void Close(UsbHandle* handle) override;
  int KernelDriverActive(UsbHandle* handle, int) override;
  int DetachKernelDriver(UsbHandle* handle, int) override;
  int ClaimInterface(UsbHandle* handle, int) override;
  int ReleaseInterface(UsbHandle* handle, int) override;
  int ControlIn(UsbHandle* handle, uint8_t requestType, uint8_t request, uint16_t value,
                uint16_t index, unsigned char* data, uint16_t length, unsigned) override;
  int BulkOut(UsbHandle* handle, unsigned char endpoint, const unsigned char* data, int length,
              int* transferred, unsigned) override;
  int BulkIn(UsbHandle* handle, unsigned char endpoint, unsigned char* data, int length,
             int* transferred, unsigned) override;
  int GetStringAscii(UsbHandle* handle, uint8_t index, unsigned char* data, int length) override;

  // A handle to a printer for tests of code that expects an open device.
  UsbHandle* OpenForTest(UsbDevice* device);

 private:
  struct Handle {
    FakePrinter* printer = nullptr;
    std::string pending;  // unparsed bulk OUT bytes
    std::string reply;    // reply bytes not yet read
    bool claimed = false;
  };
  struct Event {
    bool arrived;
    UsbDevice* device;
  };
  FakePrinter& PrinterOf(UsbHandle* handle);

  std::mutex mutex_;
  std::condition_variable eventsChanged_;
  std::vector<Event> events_;
  std::vector<std::shared_ptr<FakePrinter>> printers_;
  std::vector<std::unique_ptr<Handle>> handles_;
  HotplugListener* listener_ = nullptr;
  int claimedNow_ = 0;
};

class FakeCups : public CupsPort {
 public:
  void Add(const std::string& name, const std::string& uri);
  void EnumDests(EnumCallback callback, void* user) override;
  int GetDests(std::vector<CupsQueue>* destinations) override;

  std::vector<CupsQueue> queues;
  int getDestsResult = 0;  // <0: cupsGetDests fails
};

class FakeCommands : public CommandRunner {
 public:
  int Run(const std::vector<std::string>& argv) override;
  int RunCapture(const std::vector<std::string>& argv, std::string* firstLine,
                 size_t limit) override;
  std::vector<std::vector<std::string>> Calls();

  int result = 0;
  int captureResult = 0;
  std::string captureOutput;

 private:
  std::mutex mutex_;
  std::vector<std::vector<std::string>> calls_;
};

class FakeSleeper : public Sleeper {
 public:
  // realMs: how long each pause really lasts (threads must not spin).
  explicit FakeSleeper(unsigned realMs = 0) : realMs_(realMs) {}
  void SleepMs(unsigned milliseconds) override;
  std::atomic<unsigned long> total{0};

 private:
  unsigned realMs_;
};

// A fresh directory under /tmp, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  void Touch(const std::string& name) const;

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);

// A context on the fakes, with the temporary directory as "/tmp".
struct FakeWorld {
  explicit FakeWorld(unsigned realSleepMs = 0) : sleeper(realSleepMs) {}
  FakeUsb usb;
  FakeCups cups;
  FakeCommands commands;
  FakeSleeper sleeper;
  TempDir tmp;
  DaemonContext ctx{usb, cups, commands, sleeper, tmp.Path()};
};

}  // namespace qv46test

namespace qv46test {
// Polls `condition` every millisecond; true as soon as it holds.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 5000);
}  // namespace qv46test
