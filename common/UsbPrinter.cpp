// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "common/UsbPrinter.h"

#include <libusb.h>

#include "common/PhotoPrinterDevice.h"
#include "common/PhotoPrinterIF.h"

int QueryPrinterText(const BulkWrite& write, const BulkRead& read, const PrinterQuery& query,
                     std::string* value) {
  value->clear();
  DeviceCmd cmd;
  int rc = cmd.MakeCmd(query.command, query.parameter, 0, nullptr);
  if (rc != kDeviceOk) return rc;
  rc = WriteInChunks(write, cmd.buffer(), cmd.length());
  if (rc != 0) return rc;
  DeviceRecv reply(query.replyLength, nullptr);
  if (reply.Alloc() != kDeviceOk) return kDeviceNoMemory;
  int received = 0;
  rc = ReadReplyPacket(read, reply.buffer(), reply.GetBufferLength(), &received);
  if (rc == kDeviceOk) rc = reply.CheckData();
  if (rc != kDeviceOk) return rc;
  std::string text(static_cast<size_t>(reply.GetBufferLength()) + 1, '\0');
  reply.GetEffectiveDataAsString(text.data());
  // Printer answers end up in names, files and messages: one line, no quotes.
  text.resize(static_cast<size_t>(StripToPlainText(&text[0])));
  *value = text;
  return 0;
}

int UsbPrinter::Open(libusb_device* device, std::unique_ptr<UsbPrinter>* printer) {
  libusb_device_handle* handle = nullptr;
  int rc = libusb_open(device, &handle);
  if (rc != 0) return rc;
  bool detached = false;
  if (libusb_kernel_driver_active(handle, kQv46Interface) == 1)
    detached = libusb_detach_kernel_driver(handle, kQv46Interface) == 0;
  rc = libusb_claim_interface(handle, kQv46Interface);
  if (rc != 0) {
    if (detached) libusb_attach_kernel_driver(handle, kQv46Interface);
    libusb_close(handle);
    return rc;
  }
  printer->reset(new UsbPrinter(handle, detached));
  return 0;
}

UsbPrinter::~UsbPrinter() {
  libusb_release_interface(handle_, kQv46Interface);
  if (reattach_) libusb_attach_kernel_driver(handle_, kQv46Interface);
  libusb_close(handle_);
}

int UsbPrinter::BulkOut(const unsigned char* data, int length, int* done) {
  *done = 0;
  return libusb_bulk_transfer(handle_, kQv46BulkOut, const_cast<unsigned char*>(data), length, done,
                              kQv46BulkTimeoutMs);
}

int UsbPrinter::BulkIn(unsigned char* data, int capacity, int* done) {
  *done = 0;
  return libusb_bulk_transfer(handle_, kQv46BulkIn, data, capacity, done, kQv46BulkTimeoutMs);
}

int UsbPrinter::Write(const unsigned char* data, int length) {
  return WriteInChunks([this](const unsigned char* chunk, int size,
                              int* done) { return BulkOut(chunk, size, done); },
                       data, length);
}

int UsbPrinter::QueryText(const PrinterQuery& query, std::string* value) {
  return QueryPrinterText(
      [this](const unsigned char* chunk, int size, int* done) {
        return BulkOut(chunk, size, done);
      },
      [this](unsigned char* data, int size, int* done) { return BulkIn(data, size, done); }, query,
      value);
}

// Class request GET_DEVICE_ID.
std::string UsbPrinter::DeviceId() {
  char buffer[2048] = {};
  const int got = libusb_control_transfer(handle_, kQv46DeviceIdRequestType, 0, 0, 0,
                                          reinterpret_cast<unsigned char*>(buffer), sizeof(buffer),
                                          kQv46DeviceIdTimeoutMs);
  if (got < 0 || DeviceIdFromReply(buffer, sizeof(buffer)) != 0) return std::string();
  return buffer;
}

std::vector<libusb_device*> ListQv46(libusb_context* context) {
  std::vector<libusb_device*> printers;
  libusb_device** list = nullptr;
  const ssize_t count = libusb_get_device_list(context, &list);
  for (ssize_t i = 0; i < count; ++i) {
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(list[i], &descriptor) == 0 &&
        descriptor.idVendor == kQv46VendorId && descriptor.idProduct == kQv46ProductId)
      printers.push_back(libusb_ref_device(list[i]));
  }
  if (list) libusb_free_device_list(list, 1);
  return printers;
}

int OpenQv46BySerial(libusb_context* context, const std::string& serial,
                     std::unique_ptr<UsbPrinter>* printer) {
  int rc = LIBUSB_ERROR_NO_DEVICE;
  for (libusb_device* device : ListQv46(context)) {
    std::unique_ptr<UsbPrinter> candidate;
    std::string answer;
    if (rc != 0 && UsbPrinter::Open(device, &candidate) == 0 &&
        candidate->QueryText(kQuerySerial, &answer) == 0 && answer == serial) {
      *printer = std::move(candidate);
      rc = 0;
    }
    libusb_unref_device(device);
  }
  return rc;
}
