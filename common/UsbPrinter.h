// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// A QV-46 on USB through libusb: its identity, interface, endpoints and
// timeouts, one opened printer with interface 0 claimed, and the text
// queries every program that talks to the printer asks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/PacketTransfer.h"
#include "common/PrinterReplies.h"
#include "common/Qv46Usb.h"

struct libusb_context;
struct libusb_device;
struct libusb_device_handle;

// One query (kQuerySerial, ...): the reply's text up to its carriage return,
// without control characters and double quotes; PrinterReplies.h reads the
// value out of it. Returns 0, a negative libusb code, or 3 for a malformed
// reply.
int QueryPrinterText(const BulkWrite& write, const BulkRead& read, const PrinterQuery& query,
                     std::string* value);

class UsbPrinter {
 public:
  // Opens `device`, detaching a kernel driver from interface 0, and claims
  // the interface. Returns 0, or a negative libusb code (LIBUSB_ERROR_BUSY
  // while another program holds the printer).
  static int Open(libusb_device* device, std::unique_ptr<UsbPrinter>* printer);
  ~UsbPrinter();
  UsbPrinter(const UsbPrinter&) = delete;
  UsbPrinter& operator=(const UsbPrinter&) = delete;

  // One bulk transfer to OUT 0x01 / from IN 0x82: 0 or a negative libusb
  // code; `done` gets the bytes moved.
  int BulkOut(const unsigned char* data, int length, int* done);
  int BulkIn(unsigned char* data, int capacity, int* done);
  // One write as chunked transfers; 0 or the failed transfer's code.
  int Write(const unsigned char* data, int length);
  int QueryText(const PrinterQuery& query, std::string* value);
  // The IEEE 1284 device ID, empty when the printer gives none.
  std::string DeviceId();

 private:
  UsbPrinter(libusb_device_handle* handle, bool reattach) : handle_(handle), reattach_(reattach) {}
  libusb_device_handle* handle_;
  bool reattach_;
};

// The QV-46 printers attached now, referenced (release each with
// libusb_unref_device).
std::vector<libusb_device*> ListQv46(libusb_context* context);

// Opens the attached QV-46 that answers `serial` to kQuerySerial. A
// printer that another program holds is skipped at once. Returns 0, or
// LIBUSB_ERROR_NO_DEVICE when no such printer could be opened.
int OpenQv46BySerial(libusb_context* context, const std::string& serial,
                     std::unique_ptr<UsbPrinter>* printer);
