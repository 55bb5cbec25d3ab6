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
  int init();

  bool hasHotplug() override;
  int registerHotplug(uint16_t vendor, uint16_t product, HotplugListener* listener) override;
  int handleEvents() override;
  void refDevice(UsbDevice* device) override;
  void unrefDevice(UsbDevice* device) override;
  int getDeviceDescriptor(UsbDevice* device, UsbDeviceDescriptor* descriptor) override;
  int open(UsbDevice* device, UsbHandle** handle) override;
  void close(UsbHandle* handle) override;
  int kernelDriverActive(UsbHandle* handle, int interfaceNumber) override;
  int detachKernelDriver(UsbHandle* handle, int interfaceNumber) override;
  int claimInterface(UsbHandle* handle, int interfaceNumber) override;
  int releaseInterface(UsbHandle* handle, int interfaceNumber) override;
  int controlIn(UsbHandle* handle, uint8_t requestType, uint8_t request, uint16_t value,
                uint16_t index, unsigned char* data, uint16_t length, unsigned timeoutMs) override;
  int bulkOut(UsbHandle* handle, unsigned char endpoint, const unsigned char* data, int length,
              int* transferred, unsigned timeoutMs) override;
  int bulkIn(UsbHandle* handle, unsigned char endpoint, unsigned char* data, int length,
             int* transferred, unsigned timeoutMs) override;
  int getStringAscii(UsbHandle* handle, uint8_t index, unsigned char* data, int length) override;

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
