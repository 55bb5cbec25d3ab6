// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The USB seam on libusb-1.0's default context.
#pragma once

#include <libusb.h>

#include "daemon/UsbPort.h"

class LibusbPort : public UsbPort {
 public:
  LibusbPort() = default;
  ~LibusbPort() override;
  LibusbPort(const LibusbPort&) = delete;
  LibusbPort& operator=(const LibusbPort&) = delete;

  // libusb_init on the default context; 0 or a negative libusb code.
  int Init();

  bool HasHotplug() override;
  int RegisterHotplug(uint16_t vendor, uint16_t product, HotplugListener* listener) override;
  int HandleEvents() override;
  void RefDevice(UsbDevice* device) override;
  void UnrefDevice(UsbDevice* device) override;
  int GetDeviceDescriptor(UsbDevice* device, UsbDeviceDescriptor* descriptor) override;
  int Open(UsbDevice* device, UsbHandle** handle) override;
  void Close(UsbHandle* handle) override;
  int KernelDriverActive(UsbHandle* handle, int interfaceNumber) override;
  int DetachKernelDriver(UsbHandle* handle, int interfaceNumber) override;
  int ClaimInterface(UsbHandle* handle, int interfaceNumber) override;
  int ReleaseInterface(UsbHandle* handle, int interfaceNumber) override;
  int ControlIn(UsbHandle* handle, uint8_t requestType, uint8_t request, uint16_t value,
                uint16_t index, unsigned char* data, uint16_t length, unsigned timeoutMs) override;
  int BulkOut(UsbHandle* handle, unsigned char endpoint, const unsigned char* data, int length,
              int* transferred, unsigned timeoutMs) override;
  int BulkIn(UsbHandle* handle, unsigned char endpoint, unsigned char* data, int length,
             int* transferred, unsigned timeoutMs) override;
  int GetStringAscii(UsbHandle* handle, uint8_t index, unsigned char* data, int length) override;

 private:
  static int hotplug_callback(libusb_context*, libusb_device* device, libusb_hotplug_event,
                              void* self);
  static int hotplug_callback_detach(libusb_context*, libusb_device* device, libusb_hotplug_event,
                                     void* self);

  bool initialised_ = false;
  HotplugListener* listener_ = nullptr;
  int registered_ = 0;  // callbacks registered so far
  libusb_hotplug_callback_handle callbacks_[2] = {};
};
