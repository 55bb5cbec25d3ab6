// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "Fakes.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace qv46test {

std::string ReplyPacket(const std::string& text) {
  char header[16];
  std::snprintf(header, sizeof header, "%08zu", text.size() + 1);
  return header + text + "\r";
}

void FakePrinter::SetIdentity(const std::string& serial, const std::string& model) {
  const std::string id = "MANUFACTURER:VALDREN;MODEL:" + model + ";CLASS:PRINTER;";
  const size_t length = id.size() + 2;
  deviceIdAnswer = std::string(1, static_cast<char>(length >> 8)) +
                   std::string(1, static_cast<char>(length & 0xFF)) + id;
  replies["INFO SERIAL_NUMBER"] = ReplyPacket(serial);
}

FakeUsb::~FakeUsb() = default;

UsbDevice* FakeUsb::Plug(std::shared_ptr<FakePrinter> printer) {
  std::lock_guard<std::mutex> lock(mutex_);
  printers_.push_back(printer);
  UsbDevice* device = reinterpret_cast<UsbDevice*>(printer.get());
  if (listener_ != nullptr) {
    events_.push_back({true, device});
    eventsChanged_.notify_all();
  }
  return device;
}

void FakeUsb::Unplug(UsbDevice* device) {
  std::lock_guard<std::mutex> lock(mutex_);
  reinterpret_cast<FakePrinter*>(device)->gone = true;
  events_.push_back({false, device});
  eventsChanged_.notify_all();
}

void FakeUsb::DeliverDepartureHere(UsbDevice* device) {
  reinterpret_cast<FakePrinter*>(device)->gone = true;
  listener_->DeviceLeft(device);
}

FakePrinter& FakeUsb::Printer(UsbDevice* device) { return *reinterpret_cast<FakePrinter*>(device); }

FakePrinter& FakeUsb::PrinterOf(UsbHandle* handle) {
  return *reinterpret_cast<Handle*>(handle)->printer;
}

int FakeUsb::RegisterHotplug(uint16_t, uint16_t, HotplugListener* listener) {
  if (registerResult < 0) return registerResult;
  std::vector<std::shared_ptr<FakePrinter>> attached;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    listener_ = listener;
    attached = printers_;
  }
  for (auto& printer : attached)
    if (!printer->gone) listener->DeviceArrived(reinterpret_cast<UsbDevice*>(printer.get()));
  return 0;
}

int FakeUsb::HandleEvents() {
  std::vector<Event> events;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    eventsChanged_.wait_for(lock, std::chrono::milliseconds(5),
                            [this] { return !events_.empty(); });
    events.swap(events_);
  }
  for (const Event& event : events) {
    if (event.arrived)
      listener_->DeviceArrived(event.device);
    else
      listener_->DeviceLeft(event.device);
  }
  return 0;
}

void FakeUsb::RefDevice(UsbDevice*) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++references;
}

void FakeUsb::UnrefDevice(UsbDevice*) {
  std::lock_guard<std::mutex> lock(mutex_);
  --references;
}

int FakeUsb::GetDeviceDescriptor(UsbDevice* device, UsbDeviceDescriptor* descriptor) {
  const FakePrinter& printer = Printer(device);
  if (printer.descriptorResult < 0) return printer.descriptorResult;
  *descriptor = printer.descriptor;
  return 0;
}

int FakeUsb::Open(UsbDevice* device, UsbHandle** handle) {
  FakePrinter& printer = Printer(device);
  *handle = nullptr;
  if (printer.gone) return kErrorNoDevice;
  if (printer.openResult < 0) return printer.openResult;
  if (printer.refusedOpens > 0) {
    --printer.refusedOpens;
    return kErrorAccess;
  }
  *handle = OpenForTest(device);
  return 0;
}

UsbHandle* FakeUsb::OpenForTest(UsbDevice* device) {
  std::lock_guard<std::mutex> lock(mutex_);
  handles_.push_back(std::make_unique<Handle>());
  handles_.back()->printer = &Printer(device);
  return reinterpret_cast<UsbHandle*>(handles_.back().get());
}

void FakeUsb::Close(UsbHandle* handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = handles_.begin(); it != handles_.end(); ++it) {
    if (it->get() == reinterpret_cast<Handle*>(handle)) {
      if ((*it)->claimed) --claimedNow_;
      handles_.erase(it);
      return;
    }
  }
}

int FakeUsb::KernelDriverActive(UsbHandle* handle, int) { return PrinterOf(handle).kernelDriver; }

int FakeUsb::DetachKernelDriver(UsbHandle* handle, int) { return PrinterOf(handle).detachResult; }

int FakeUsb::ClaimInterface(UsbHandle* handle, int) {
  FakePrinter& printer = PrinterOf(handle);
  if (printer.gone) return kErrorNoDevice;
  if (printer.claimResult < 0) return printer.claimResult;
  std::lock_guard<std::mutex> lock(mutex_);
  reinterpret_cast<Handle*>(handle)->claimed = true;
  ++printer.claims;
  ++claimedNow_;
  if (claimedNow_ > maxClaimedAtOnce) maxClaimedAtOnce = claimedNow_;
  return 0;
}

int FakeUsb::ReleaseInterface(UsbHandle* handle, int) {
  std::lock_guard<std::mutex> lock(mutex_);
  Handle* h = reinterpret_cast<Handle*>(handle);
  if (h->claimed) --claimedNow_;
  h->claimed = false;
  return 0;
}

int FakeUsb::ControlIn(UsbHandle* handle, uint8_t requestType, uint8_t request, uint16_t value,
                       uint16_t index, unsigned char* data, uint16_t length, unsigned) {
  const FakePrinter& printer = PrinterOf(handle);
  if (printer.gone) return kErrorNoDevice;
  if (controlResult < 0) return controlResult;
  if (requestType != 0xA1 || request != 0 || value != 0 || index != 0) return kErrorIo;
  const size_t n = std::min<size_t>(length, printer.deviceIdAnswer.size());
  std::memcpy(data, printer.deviceIdAnswer.data(), n);
  return static_cast<int>(n);
}

int FakeUsb::BulkOut(UsbHandle* handle, unsigned char endpoint, const unsigned char* data,
                     int length, int* transferred, unsigned) {
  *transferred = 0;
  Handle* h = reinterpret_cast<Handle*>(handle);
  FakePrinter& printer = *h->printer;
  outChunks.push_back(length);
  if (printer.gone) return kErrorNoDevice;
  if (outResult < 0) return outResult;
  if (endpoint != 0x01) return kErrorIo;
  const int moved = outLimit > 0 ? std::min(length, outLimit) : length;
  *transferred = moved;
  h->pending.append(reinterpret_cast<const char*>(data), static_cast<size_t>(moved));
  // Queries carry no payload: every 32 bytes are one command.
  while (h->pending.size() >= 32) {
    auto word = [](const std::string& field) {
      return field.substr(0, field.find_last_not_of(' ') + 1);
    };
    const std::string command = word(h->pending.substr(2, 6));
    const std::string parameter = word(h->pending.substr(8, 16));
    h->pending.erase(0, 32);
    const std::string key = parameter.empty() ? command : command + " " + parameter;
    printer.queries.push_back(key);
    if (printer.onQuery) printer.onQuery(key);
    auto reply = printer.replies.find(key);
    h->reply = reply == printer.replies.end() ? "" : reply->second;
  }
  return 0;
}

int FakeUsb::BulkIn(UsbHandle* handle, unsigned char endpoint, unsigned char* data, int length,
                    int* transferred, unsigned) {
  *transferred = 0;
  Handle* h = reinterpret_cast<Handle*>(handle);
  if (h->printer->gone) return kErrorNoDevice;
  if (endpoint != 0x82) return kErrorIo;
  if (h->reply.empty()) return kErrorTimeout;
  const size_t n = std::min<size_t>(static_cast<size_t>(length), h->reply.size());
  std::memcpy(data, h->reply.data(), n);
  h->reply.erase(0, n);
  *transferred = static_cast<int>(n);
  return 0;
}

int FakeUsb::GetStringAscii(UsbHandle* handle, uint8_t index, unsigned char* data, int length) {
  const FakePrinter& printer = PrinterOf(handle);
  if (printer.gone) return kErrorNoDevice;
  if (index != printer.descriptor.iProduct || index == 0) return kErrorIo;
  const int n = std::min<int>(length - 1, static_cast<int>(printer.product.size()));
  std::memcpy(data, printer.product.data(), static_cast<size_t>(n));
  data[n] = 0;
  return n;
}

void FakeCups::Add(const std::string& name, const std::string& uri) {
  CupsQueue queue;
  queue.hasName = true;
  queue.name = name;
  queue.hasDeviceUri = !uri.empty();
  queue.deviceUri = uri;
  queues.push_back(queue);
}

void FakeCups::EnumDests(EnumCallback callback, void* user) {
  for (const CupsQueue& queue : queues)
    if (callback(user, 0, queue) == 0) return;
}

int FakeCups::GetDests(std::vector<CupsQueue>* destinations) {
  *destinations = queues;
  return getDestsResult < 0 ? getDestsResult : static_cast<int>(queues.size());
}

int FakeCommands::Run(const std::vector<std::string>& argv) {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.push_back(argv);
  return result;
}

int FakeCommands::RunCapture(const std::vector<std::string>& argv, std::string* firstLine,
                             size_t limit) {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.push_back(argv);
  *firstLine = captureOutput.substr(0, std::min(captureOutput.find('\n'), limit));
  return captureResult;
}

std::vector<std::vector<std::string>> FakeCommands::Calls() {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

void FakeSleeper::SleepMs(unsigned milliseconds) {
  total += milliseconds;
  if (realMs_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(realMs_));
}

TempDir::TempDir() {
  char pattern[] = "/tmp/qv46d-XXXXXX";
  const char* made = mkdtemp(pattern);
  path_ = made ? made : "";
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  if (DIR* dir = opendir(path_.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") unlink(File(name).c_str());
    }
    closedir(dir);
  }
  rmdir(path_.c_str());
}

void TempDir::Touch(const std::string& name) const {
  const int fd = ::open(File(name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd >= 0) ::close(fd);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

}  // namespace qv46test

namespace qv46test {
bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
}  // namespace qv46test
