// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// qv46-sim-probe: a plain libusb client that looks at QV-46 printers the way
// any USB program would. The simulator's tests run it under the umockdev
// preload and read what it prints, one fact per line.
//
//   qv46-sim-probe list
//   qv46-sim-probe query SERIAL TIMEOUT_MS COMMAND [PARAMETER]
//   qv46-sim-probe write SERIAL FILE
//   qv46-sim-probe hold SERIAL            claim until stdin ends
//   qv46-sim-probe hotplug EVENTS TIMEOUT_MS
#include <libusb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/PhotoPrinterDevice.h"
#include "common/Qv46Usb.h"

namespace {

// Non-printing bytes as \xNN so a test can compare whole lines.
std::string Escaped(const unsigned char* data, int length) {
  std::string out;
  char hex[8];
  for (int i = 0; i < length; ++i) {
    if (data[i] >= 0x20 && data[i] < 0x7F && data[i] != '\\') {
      out.push_back(static_cast<char>(data[i]));
    } else {
      std::snprintf(hex, sizeof hex, "\\x%02x", data[i]);
      out += hex;
    }
  }
  return out;
}

// libusb's name for success is two names; the tests compare with "ok".
const char* Result(int r) { return r == 0 ? "ok" : libusb_error_name(r); }

std::string StringDescriptor(libusb_device_handle* h, uint8_t index) {
  unsigned char text[256] = {};
  int n = index ? libusb_get_string_descriptor_ascii(h, index, text, sizeof text) : 0;
  return n > 0 ? std::string(reinterpret_cast<char*>(text), static_cast<std::size_t>(n))
               : std::string("?");
}

std::string DeviceId(libusb_device_handle* h) {
  unsigned char id[2048] = {};
  int n = libusb_control_transfer(h, 0xA1, 0, 0, 0, id, sizeof id, 5000);
  if (n < 2) return std::string("error ") + libusb_error_name(n);
  return std::to_string(id[0] << 8 | id[1]) + " " + Escaped(id + 2, n - 2);
}

// Opens the QV-46 whose serial string is serial.
libusb_device_handle* OpenBySerial(const std::string& serial) {
  libusb_device** list = nullptr;
  ssize_t count = libusb_get_device_list(nullptr, &list);
  libusb_device_handle* found = nullptr;
  for (ssize_t i = 0; i < count && !found; ++i) {
    libusb_device_descriptor d;
    if (libusb_get_device_descriptor(list[i], &d) != 0 || d.idVendor != kQv46VendorId ||
        d.idProduct != kQv46ProductId)
      continue;
    libusb_device_handle* h = nullptr;
    if (libusb_open(list[i], &h) != 0) continue;
    if (StringDescriptor(h, d.iSerialNumber) == serial)
      found = h;
    else
      libusb_close(h);
  }
  libusb_free_device_list(list, 1);
  return found;
}

int List() {
  libusb_device** devices = nullptr;
  ssize_t count = libusb_get_device_list(nullptr, &devices);
  for (ssize_t i = 0; i < count; ++i) {
    libusb_device_descriptor d;
    if (libusb_get_device_descriptor(devices[i], &d) != 0 || d.idVendor != kQv46VendorId ||
        d.idProduct != kQv46ProductId)
      continue;
    libusb_device_handle* h = nullptr;
    int r = libusb_open(devices[i], &h);
    if (r != 0) {
      std::printf("device open-error %s\n", libusb_error_name(r));
      continue;
    }
    std::printf("device manufacturer=%s product=%s serial=%s\n",
                StringDescriptor(h, d.iManufacturer).c_str(),
                StringDescriptor(h, d.iProduct).c_str(),
                StringDescriptor(h, d.iSerialNumber).c_str());
    std::printf("device-id %s\n", DeviceId(h).c_str());
    libusb_close(h);
  }
  libusb_free_device_list(devices, 1);
  std::printf("end\n");
  return 0;
}

// One command, then the reply read as the daemon reads it: 8 length digits,
// then as many bytes as they announce.
int Query(const std::string& serial, unsigned timeoutMs, const char* command,
          const char* parameter) {
  libusb_device_handle* h = OpenBySerial(serial);
  if (!h) {
    std::printf("error no-printer\n");
    return 1;
  }
  int r = libusb_claim_interface(h, 0);
  if (r == 0) {
    DeviceCmd cmd;
    cmd.MakeCmd(command, parameter, -1, nullptr);
    int sent = 0;
    r = libusb_bulk_transfer(h, kQv46BulkOut, const_cast<uint8_t*>(cmd.buffer()), cmd.length(),
                             &sent, timeoutMs);
  }
  unsigned char reply[4096 + 8] = {};
  int got = 0;
  if (r == 0) r = libusb_bulk_transfer(h, kQv46BulkIn, reply, 8, &got, timeoutMs);
  if (r == 0) {
    int length = std::atoi(std::string(reinterpret_cast<char*>(reply), 8).c_str());
    if (length > 0 && length <= 4096) {
      int more = 0;
      r = libusb_bulk_transfer(h, kQv46BulkIn, reply + 8, length, &more, timeoutMs);
      got += more;
    }
  }
  if (r == 0) {
    std::printf("reply %s\n", Escaped(reply, got).c_str());
  } else {
    std::printf("error %s\n", libusb_error_name(r));
    // What the handle says after the failure (a printer that went away stays away).
    int sent = 0;
    unsigned char probe[32] = {};
    std::printf("then %s\n",
                Result(libusb_bulk_transfer(h, kQv46BulkOut, probe, sizeof probe, &sent, 200)));
  }
  libusb_release_interface(h, 0);
  libusb_close(h);
  return r == 0 ? 0 : 1;
}

int Write(const std::string& serial, const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
  libusb_device_handle* h = OpenBySerial(serial);
  if (!h || libusb_claim_interface(h, 0) != 0) {
    std::printf("error no-printer\n");
    return 1;
  }
  std::size_t done = 0;
  int r = 0;
  while (done < bytes.size() && r == 0) {
    int chunk = static_cast<int>(std::min<std::size_t>(bytes.size() - done, 65536)), sent = 0;
    r = libusb_bulk_transfer(h, kQv46BulkOut, bytes.data() + done, chunk, &sent, 5000);
    done += static_cast<std::size_t>(sent);
  }
  std::printf("wrote %zu %s\n", done, Result(r));
  libusb_release_interface(h, 0);
  libusb_close(h);
  return r == 0 ? 0 : 1;
}

int Hold(const std::string& serial) {
  libusb_device_handle* h = OpenBySerial(serial);
  if (!h) {
    std::printf("error no-printer\n");
    return 1;
  }
  int r = libusb_claim_interface(h, 0);
  std::printf("claim %s\n", Result(r));
  std::fflush(stdout);
  while (std::fgetc(stdin) != EOF) {
  }
  if (r == 0) libusb_release_interface(h, 0);
  libusb_close(h);
  return 0;
}

int events = 0;

int OnHotplug(libusb_context*, libusb_device* device, libusb_hotplug_event event, void*) {
  std::printf("%s %d-%d\n", event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED ? "arrived" : "left",
              libusb_get_bus_number(device), libusb_get_device_address(device));
  std::fflush(stdout);
  ++events;
  return 0;
}

int Hotplug(int wanted, int timeoutMs) {
  libusb_hotplug_callback_handle handle;
  int r = libusb_hotplug_register_callback(
      nullptr, LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT,
      LIBUSB_HOTPLUG_ENUMERATE, kQv46VendorId, kQv46ProductId, LIBUSB_HOTPLUG_MATCH_ANY, OnHotplug,
      nullptr, &handle);
  if (r != 0) {
    std::printf("error %s\n", libusb_error_name(r));
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (events < wanted && std::chrono::steady_clock::now() < deadline) {
    timeval tv{0, 100000};
    libusb_handle_events_timeout_completed(nullptr, &tv, nullptr);
  }
  std::printf("end %d\n", events);
  return events >= wanted ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  if (argc < 2 || libusb_init(nullptr) != 0) {
    std::printf("error usage-or-init\n");
    return 2;
  }
  const std::string mode = argv[1];
  int r = 2;
  if (mode == "list")
    r = List();
  else if (mode == "query" && argc >= 5)
    r = Query(argv[2], static_cast<unsigned>(std::atoi(argv[3])), argv[4],
              argc > 5 ? argv[5] : nullptr);
  else if (mode == "write" && argc == 4)
    r = Write(argv[2], argv[3]);
  else if (mode == "hold" && argc == 3)
    r = Hold(argv[2]);
  else if (mode == "hotplug" && argc == 4)
    r = Hotplug(std::atoi(argv[2]), std::atoi(argv[3]));
  else
    std::printf("error usage\n");
  libusb_exit(nullptr);
  return r;
}
