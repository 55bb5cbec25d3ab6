// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "Descriptors.h"

#include <cstdio>

namespace qv46sim {
namespace {

void PutLE16(std::string& out, uint16_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>(value >> 8));
}

std::string Hex(const std::string& bytes) {
  std::string out;
  char digits[3];
  for (unsigned char c : bytes) {
    std::snprintf(digits, sizeof digits, "%02x", c);
    out += digits;
  }
  return out;
}

std::string Format(const char* pattern, int a, int b) {
  char text[128];
  std::snprintf(text, sizeof text, pattern, a, b);
  return text;
}

}  // namespace

std::string DeviceDescriptors() {
  std::string d;
  d += "\x12\x01";                          // bLength, DEVICE
  PutLE16(d, 0x0200);                       // USB 2.0
  d += std::string("\x00\x00\x00\x40", 4);  // class per interface, EP0 packet 64
  PutLE16(d, kQv46VendorId);
  PutLE16(d, kQv46ProductId);
  PutLE16(d, 0x0100);  // bcdDevice
  d += std::string{char(kManufacturerIndex), char(kProductIndex), char(kSerialIndex), 1};

  std::string config;
  config += "\x09\x02";
  PutLE16(config, 9 + 9 + 7 + 7);
  config += std::string("\x01\x01\x00\xC0\x01", 5);  // 1 interface, value 1, self powered
  config += std::string("\x09\x04\x00\x00\x02\x07\x01\x02\x00", 9);  // printer class, bidirectional
  config += std::string{7, 5, char(kQv46BulkOut), 2};
  PutLE16(config, 512);
  config.push_back(0);
  config += std::string{7, 5, char(kQv46BulkIn), 2};
  PutLE16(config, 512);
  config.push_back(0);
  return d + config;
}

std::string LanguageDescriptor() { return std::string("\x04\x03\x09\x04", 4); }

std::string StringDescriptor(const std::string& text) {
  std::string cut = text.substr(0, 126);
  std::string d;
  d.push_back(static_cast<char>(2 + 2 * cut.size()));
  d.push_back(3);
  for (unsigned char c : cut) PutLE16(d, c);
  return d;
}

std::string DeviceIdAnswer(const std::string& text) {
  std::size_t total = text.size() + 2;
  std::string answer;
  answer.push_back(static_cast<char>((total >> 8) & 0xFF));
  answer.push_back(static_cast<char>(total & 0xFF));
  return answer + text;
}

std::string DefaultDeviceId() {
  return "MANUFACTURER:VALDREN;COMMAND SET:QV46;MODEL:QV-46;CLASS:PRINTER;DESCRIPTION:VALDREN "
         "QV-46 Photo Printer;";
}

std::string SysfsPath(const UsbAddress& a) {
  return Format("/sys/devices/pci0000:00/0000:00:14.0/usb%d/%d-1.", a.bus, a.bus) +
         std::to_string(a.device);
}

std::string DevNode(const UsbAddress& a) {
  return Format("/dev/bus/usb/%03d/%03d", a.bus, a.device);
}

std::string SysfsRecord(const UsbAddress& a) {
  const int minor = (a.bus - 1) * 128 + a.device - 1;
  std::string r;
  r += "P: " + SysfsPath(a).substr(4) + "\n";  // the record's paths omit /sys
  r += "N: " + DevNode(a).substr(5) + "\n";
  r += "E: DEVNAME=" + DevNode(a) + "\n";
  r += "E: DEVTYPE=usb_device\n";
  r += "E: SUBSYSTEM=usb\n";
  r += Format("E: BUSNUM=%03d\nE: DEVNUM=%03d\n", a.bus, a.device);
  r += Format("E: PRODUCT=%x/%x/100\n", kQv46VendorId, kQv46ProductId);
  r += Format("E: MAJOR=189\nE: MINOR=%d\n", minor, 0);
  r += Format("A: busnum=%d\\n\nA: devnum=%d\\n\n", a.bus, a.device);
  r += Format("A: dev=189:%d\\n\n", minor, 0);
  r += "A: speed=480\\n\n";
  r += "A: bConfigurationValue=1\\n\n";
  r += Format("A: idVendor=%04x\\n\nA: idProduct=%04x\\n\n", kQv46VendorId, kQv46ProductId);
  r += "H: descriptors=" + Hex(DeviceDescriptors()) + "\n";
  return r;
}

}  // namespace qv46sim
