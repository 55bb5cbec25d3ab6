// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printer-app/UsbScheme.h"

#include <libusb.h>

#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "common/Serial.h"
#include "common/UsbPrinter.h"

namespace {

// The devices open now, with the serial each was opened for.
std::mutex gOpenMutex;
std::map<pappl_device_t*, std::string> gOpen;

// PAPPL leaves a job's device open while other jobs wait, and forgets it
// when the printer is opened again for a reading (PAPPL 1.3 and 1.4): the
// forgotten device's printer is closed first, so its claim is not kept for
// good.
void CloseForgotten(const std::string& serial) {
  std::lock_guard<std::mutex> lock(gOpenMutex);
  for (auto it = gOpen.begin(); it != gOpen.end();) {
    if (it->second != serial) {
      ++it;
      continue;
    }
    delete PrinterOf(it->first);
    papplDeviceSetData(it->first, nullptr);
    it = gOpen.erase(it);
  }
}

bool OpenDevice(pappl_device_t* device, const char* uri, const char* /*name*/) {
  const std::string serial = SerialOfUri(uri);
  CloseForgotten(serial);
  std::unique_ptr<UsbPrinter> printer;
  if (serial.empty() || UsbContext() == nullptr ||
      OpenQv46BySerial(UsbContext(), serial, &printer) != 0) {
    papplDeviceError(device, "QV-46 %s is not connected or is in use.", serial.c_str());
    return false;
  }
  papplDeviceSetData(device, printer.release());
  std::lock_guard<std::mutex> lock(gOpenMutex);
  gOpen[device] = serial;
  return true;
}

void CloseDevice(pappl_device_t* device) {
  {
    std::lock_guard<std::mutex> lock(gOpenMutex);
    gOpen.erase(device);
  }
  delete PrinterOf(device);
}

ssize_t ReadDevice(pappl_device_t* device, void* buffer, size_t bytes) {
  int done = 0;
  const int length = static_cast<int>(std::min<size_t>(bytes, 65536));
  if (PrinterOf(device) == nullptr) return -1;
  if (PrinterOf(device)->BulkIn(static_cast<unsigned char*>(buffer), length, &done) != 0) return -1;
  return done;
}

// One call carries one command packet whole (see the job's output stream).
ssize_t WriteDevice(pappl_device_t* device, const void* buffer, size_t bytes) {
  if (bytes > 0x7fffffff || PrinterOf(device) == nullptr) return -1;
  const int rc =
      PrinterOf(device)->Write(static_cast<const unsigned char*>(buffer), static_cast<int>(bytes));
  if (rc != 0) {
    papplDeviceError(device, "Writing to the QV-46 failed: %s", libusb_error_name(rc));
    return -1;
  }
  return static_cast<ssize_t>(bytes);
}

char* DeviceIdOf(pappl_device_t* device, char* buffer, size_t size) {
  const std::string id = PrinterOf(device) != nullptr ? PrinterOf(device)->DeviceId() : "";
  std::snprintf(buffer, size, "%s", id.c_str());
  return buffer;
}

bool ListDevices(pappl_device_cb_t callback, void* data, pappl_deverror_cb_t, void*) {
  if (UsbContext() == nullptr) return false;
  bool stop = false;
  for (libusb_device* device : ListQv46(UsbContext())) {
    std::unique_ptr<UsbPrinter> printer;
    std::string serial;
    if (!stop && UsbPrinter::Open(device, &printer) == 0 &&
        printer->QueryText(kQuerySerial, &serial) == 0 && IsUsableSerial(serial)) {
      const std::string info = "VALDREN QV-46 (" + serial + ")";
      stop =
          callback(info.c_str(), DeviceUriFor(serial).c_str(), printer->DeviceId().c_str(), data);
    }
    libusb_unref_device(device);
  }
  return stop;
}

}  // namespace

std::string DeviceUriFor(const std::string& serial) { return MakeAppDeviceUri(serial); }

std::string SerialOfUri(const char* uri) {
  std::string serial;
  if (uri == nullptr || !SerialFromAppDeviceUri(uri, &serial)) return std::string();
  return serial;
}

bool IsOurDeviceUri(const char* uri) { return !SerialOfUri(uri).empty(); }

libusb_context* UsbContext() {
  static libusb_context* context = [] {
    libusb_context* created = nullptr;
    return libusb_init(&created) == 0 ? created : nullptr;
  }();
  return context;
}

void AddQv46Scheme() {
  // Asking first makes PAPPL register its own schemes, which it skips once
  // another scheme exists.
  papplDeviceIsSupported("usb://x/y");
  papplDeviceAddScheme("qv46", PAPPL_DEVTYPE_CUSTOM_LOCAL, ListDevices, OpenDevice, CloseDevice,
                       ReadDevice, WriteDevice, nullptr, DeviceIdOf);
}

int Reconnect(pappl_device_t* device) {
  std::string serial;
  {
    std::lock_guard<std::mutex> lock(gOpenMutex);
    auto found = gOpen.find(device);
    if (found == gOpen.end()) return LIBUSB_ERROR_NOT_FOUND;
    serial = found->second;
  }
  // The claim of the printer that went away goes first, or a printer that
  // came back at the same address would count as in use.
  delete PrinterOf(device);
  papplDeviceSetData(device, nullptr);
  std::unique_ptr<UsbPrinter> printer;
  const int rc = UsbContext() == nullptr ? LIBUSB_ERROR_NO_DEVICE
                                         : OpenQv46BySerial(UsbContext(), serial, &printer);
  papplDeviceSetData(device, printer.release());
  return rc;
}

UsbPrinter* PrinterOf(pappl_device_t* device) {
  return static_cast<UsbPrinter*>(papplDeviceGetData(device));
}
