// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "daemon/LibusbPort.h"

namespace {

constexpr int kEventWaitSeconds = 1;

libusb_device* Dev(UsbDevice* device) { return reinterpret_cast<libusb_device*>(device); }
libusb_device_handle* Handle(UsbHandle* handle) {
  return reinterpret_cast<libusb_device_handle*>(handle);
}

}  // namespace

LibusbPort::~LibusbPort() {
  if (!initialised_) return;
  for (int i = 0; i < registered_; ++i) libusb_hotplug_deregister_callback(nullptr, callbacks_[i]);
  libusb_exit(nullptr);
}

int LibusbPort::Init() {
  const int result = libusb_init(nullptr);
  initialised_ = result == 0;
  return result;
}

bool LibusbPort::HasHotplug() { return libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG) != 0; }

// The callbacks only pass the notice on.
int LibusbPort::hotplug_callback(libusb_context*, libusb_device* device, libusb_hotplug_event,
                                 void* self) {
  static_cast<LibusbPort*>(self)->listener_->DeviceArrived(reinterpret_cast<UsbDevice*>(device));
  return 0;  // stay registered whatever becomes of this printer
}

int LibusbPort::hotplug_callback_detach(libusb_context*, libusb_device* device,
                                        libusb_hotplug_event, void* self) {
  static_cast<LibusbPort*>(self)->listener_->DeviceLeft(reinterpret_cast<UsbDevice*>(device));
  return 0;
}

int LibusbPort::RegisterHotplug(uint16_t vendor, uint16_t product, HotplugListener* listener) {
  listener_ = listener;
  int result = libusb_hotplug_register_callback(
      nullptr, LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED, LIBUSB_HOTPLUG_ENUMERATE, vendor, product,
      LIBUSB_HOTPLUG_MATCH_ANY, hotplug_callback, this, &callbacks_[0]);
  if (result != LIBUSB_SUCCESS) return result;
  registered_ = 1;
  result = libusb_hotplug_register_callback(
      nullptr, LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT, LIBUSB_HOTPLUG_ENUMERATE, vendor, product,
      LIBUSB_HOTPLUG_MATCH_ANY, hotplug_callback_detach, this, &callbacks_[1]);
  if (result != LIBUSB_SUCCESS) {
    libusb_hotplug_deregister_callback(nullptr, callbacks_[0]);
    registered_ = 0;
    return result;
  }
  registered_ = 2;
  return 0;
}

int LibusbPort::HandleEvents() {
  // A notice taken by a printer thread inside a transfer does not wake the
  // main thread, so its wait is kept short enough to pick that notice up.
  timeval timeout{kEventWaitSeconds, 0};
  return libusb_handle_events_timeout_completed(nullptr, &timeout, nullptr);
}

void LibusbPort::RefDevice(UsbDevice* device) { libusb_ref_device(Dev(device)); }

void LibusbPort::UnrefDevice(UsbDevice* device) { libusb_unref_device(Dev(device)); }

int LibusbPort::GetDeviceDescriptor(UsbDevice* device, UsbDeviceDescriptor* descriptor) {
  libusb_device_descriptor raw;
  const int result = libusb_get_device_descriptor(Dev(device), &raw);
  if (result < 0) return result;
  descriptor->idVendor = raw.idVendor;
  descriptor->idProduct = raw.idProduct;
  descriptor->iProduct = raw.iProduct;
  return 0;
}

int LibusbPort::Open(UsbDevice* device, UsbHandle** handle) {
  libusb_device_handle* raw = nullptr;
  const int result = libusb_open(Dev(device), &raw);
  *handle = reinterpret_cast<UsbHandle*>(raw);
  return result;
}

void LibusbPort::Close(UsbHandle* handle) { libusb_close(Handle(handle)); }

int LibusbPort::KernelDriverActive(UsbHandle* handle, int interfaceNumber) {
  return libusb_kernel_driver_active(Handle(handle), interfaceNumber);
}

int LibusbPort::DetachKernelDriver(UsbHandle* handle, int interfaceNumber) {
  return libusb_detach_kernel_driver(Handle(handle), interfaceNumber);
}

int LibusbPort::ClaimInterface(UsbHandle* handle, int interfaceNumber) {
  return libusb_claim_interface(Handle(handle), interfaceNumber);
}

int LibusbPort::ReleaseInterface(UsbHandle* handle, int interfaceNumber) {
  return libusb_release_interface(Handle(handle), interfaceNumber);
}

int LibusbPort::ControlIn(UsbHandle* handle, uint8_t requestType, uint8_t request, uint16_t value,
                          uint16_t index, unsigned char* data, uint16_t length,
                          unsigned timeoutMs) {
  return libusb_control_transfer(Handle(handle), requestType, request, value, index, data, length,
                                 timeoutMs);
}

int LibusbPort::BulkOut(UsbHandle* handle, unsigned char endpoint, const unsigned char* data,
                        int length, int* transferred, unsigned timeoutMs) {
  // libusb takes a non-const pointer but does not write through it for OUT.
  return libusb_bulk_transfer(Handle(handle), endpoint, const_cast<unsigned char*>(data), length,
                              transferred, timeoutMs);
}

int LibusbPort::BulkIn(UsbHandle* handle, unsigned char endpoint, unsigned char* data, int length,
                       int* transferred, unsigned timeoutMs) {
  return libusb_bulk_transfer(Handle(handle), endpoint, data, length, transferred, timeoutMs);
}

int LibusbPort::GetStringAscii(UsbHandle* handle, uint8_t index, unsigned char* data, int length) {
  return libusb_get_string_descriptor_ascii(Handle(handle), index, data, length);
}
