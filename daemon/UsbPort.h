// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The daemon's only view of USB. One production implementation sits on
// libusb-1.0 (LibusbPort); tests use in-memory fakes.
#pragma once

#include <cstdint>

// Opaque identities: a connected device and an open handle to it.
struct UsbDevice;
struct UsbHandle;

struct UsbDeviceDescriptor {
  uint16_t idVendor = 0;
  uint16_t idProduct = 0;
  uint8_t iProduct = 0;
};

// Receives hot-plug notices. May be called on any thread that happens to be
// handling USB events, so implementations must only record and return.
class HotplugListener {
 public:
  virtual ~HotplugListener() = default;
  virtual void DeviceArrived(UsbDevice* device) = 0;
  virtual void DeviceLeft(UsbDevice* device) = 0;
};

// Results follow libusb: 0 or a byte count for success, negative codes for errors.
class UsbPort {
 public:
  static constexpr int kErrorIo = -1;
  static constexpr int kErrorAccess = -3;
  static constexpr int kErrorNoDevice = -4;
  static constexpr int kErrorTimeout = -7;

  virtual ~UsbPort() = default;

  // Arrival and departure notices for one vendor/product pair; devices that
  // are already attached are reported during registration.
  virtual bool HasHotplug() = 0;
  virtual int RegisterHotplug(uint16_t vendor, uint16_t product, HotplugListener* listener) = 0;
  // Blocks until USB events arrive (or about a second passes) and handles them.
  virtual int HandleEvents() = 0;

  // A device stays a valid key while referenced.
  virtual void RefDevice(UsbDevice* device) = 0;
  virtual void UnrefDevice(UsbDevice* device) = 0;
  virtual int GetDeviceDescriptor(UsbDevice* device, UsbDeviceDescriptor* descriptor) = 0;

  virtual int Open(UsbDevice* device, UsbHandle** handle) = 0;
  virtual void Close(UsbHandle* handle) = 0;
  virtual int KernelDriverActive(UsbHandle* handle, int interfaceNumber) = 0;
  virtual int DetachKernelDriver(UsbHandle* handle, int interfaceNumber) = 0;
  virtual int ClaimInterface(UsbHandle* handle, int interfaceNumber) = 0;
  virtual int ReleaseInterface(UsbHandle* handle, int interfaceNumber) = 0;

  // Returns the number of bytes received or a negative code.
  virtual int ControlIn(UsbHandle* handle, uint8_t requestType, uint8_t request, uint16_t value,
                        uint16_t index, unsigned char* data, uint16_t length,
                        unsigned timeoutMs) = 0;
  virtual int BulkOut(UsbHandle* handle, unsigned char endpoint, const unsigned char* data,
                      int length, int* transferred, unsigned timeoutMs) = 0;
  virtual int BulkIn(UsbHandle* handle, unsigned char endpoint, unsigned char* data, int length,
                     int* transferred, unsigned timeoutMs) = 0;
  // ASCII string descriptor; returns its length or a negative code.
  virtual int GetStringAscii(UsbHandle* handle, uint8_t index, unsigned char* data, int length) = 0;
};
