// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printer-app/HotPlug.h"

#include <libusb.h>

#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "common/Serial.h"
#include "common/UsbPrinter.h"
#include "printer-app/Driver.h"
#include "printer-app/JobQueue.h"
#include "printer-app/PrinterStatus.h"
#include "printer-app/Stopping.h"
#include "printer-app/UsbScheme.h"

namespace {

// A Shutdown-System request stops the application as SIGTERM does.
bool WatchShutdown(pappl_system_t* system, void*) {
  if (papplSystemIsShutdown(system)) {
    RequestStop();
    return false;
  }
  return true;
}

HotPlug& Instance() {
  static HotPlug hotPlug;
  return hotPlug;
}

struct Survey {
  const std::set<std::string>* present;
  std::vector<pappl_printer_t*> gone;
  std::set<std::string> served;
};

void Sort(pappl_printer_t* printer, void* data) {
  auto* survey = static_cast<Survey*>(data);
  const std::string serial = SerialOfUri(papplPrinterGetDeviceURI(printer));
  if (serial.empty()) return;
  survey->served.insert(serial);
  if (survey->present->count(serial) == 0) survey->gone.push_back(printer);
}

}  // namespace

// The looks run on the worker's own clock: PAPPL runs timers under the
// system's lock, which creating a printer takes too.
void HotPlug::Start(pappl_system_t* system, std::chrono::milliseconds interval,
                    std::function<void(pappl_printer_t*)> added) {
  HotPlug& hotPlug = Instance();
  hotPlug.added_ = std::move(added);
  hotPlug.Scan(system);
  hotPlug.worker_ = std::thread([system, interval, &hotPlug] { hotPlug.Work(system, interval); });
  papplSystemAddTimerCallback(system, 0, 1, WatchShutdown, nullptr);
}

void HotPlug::Stop() { Instance().Join(); }

HotPlug::~HotPlug() { Join(); }

void HotPlug::Join() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
    wake_.notify_one();
  }
  if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) worker_.join();
}

void HotPlug::Work(pappl_system_t* system, std::chrono::milliseconds interval) {
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (wake_.wait_for(lock, interval, [this] { return stopped_; })) return;
    }
    // Once PAPPL's loop has ended the system may be going away.
    if (papplSystemIsShutdown(system)) return;
    Scan(system);
  }
}

std::string FreePrinterName(pappl_system_t* system) {
  for (int n = 1;; ++n) {
    const std::string name = n == 1 ? "VALDREN-QV-46" : "VALDREN-QV-46-" + std::to_string(n);
    char resource[300];
    std::snprintf(resource, sizeof resource, "/ipp/print/%s", name.c_str());
    if (papplSystemFindPrinter(system, resource, 0, nullptr) == nullptr) return name;
  }
}

void HotPlug::Scan(pappl_system_t* system) {
  if (UsbContext() == nullptr) return;
  std::map<std::pair<int, int>, std::string> seen;
  for (libusb_device* device : ListQv46(UsbContext())) {
    const std::pair<int, int> key{libusb_get_bus_number(device), libusb_get_device_address(device)};
    auto known = known_.find(key);
    if (known != known_.end()) {
      seen.insert(*known);
    } else {
      // A printer that a job or another program holds is asked next time.
      std::unique_ptr<UsbPrinter> printer;
      std::string serial;
      if (UsbPrinter::Open(device, &printer) == 0 &&
          printer->QueryText(kQuerySerial, &serial) == 0 && IsUsableSerial(serial))
        seen[key] = serial;
    }
    libusb_unref_device(device);
  }
  known_ = seen;

  std::set<std::string> present;
  for (const auto& entry : known_) present.insert(entry.second);
  Survey survey{&present, {}, {}};
  papplSystemIteratePrinters(system, Sort, &survey);

  // The printers' workers read the others themselves.
  for (pappl_printer_t* printer : survey.gone) {
    Publish(printer, PrinterReading{});
    JobQueue::Ask(printer);
  }
  for (const std::string& serial : present) {
    if (survey.served.count(serial)) continue;
    // PAPPL reports printer-id 0 for a printer created without one.
    const int id = papplSystemGetNextPrinterID(system);
    pappl_printer_t* printer =
        papplPrinterCreate(system, id, FreePrinterName(system).c_str(), kDriverName,
                           "MFG:VALDREN;MDL:QV-46;", DeviceUriFor(serial).c_str());
    if (printer == nullptr) continue;
    papplSystemSetNextPrinterID(system, id + 1);
    if (added_) added_(printer);
  }
}
