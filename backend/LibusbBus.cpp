#include "LibusbBus.h"

#include <libusb.h>

#include "common/PacketTransfer.h"

namespace zelbackend {
namespace {

constexpr uint16_t kVendorId = 0x5E1D;
constexpr uint16_t kProductId = 0x000A;
constexpr int kInterface = 0;
constexpr unsigned char kBulkOut = 0x01;
constexpr unsigned char kBulkIn = 0x82;
constexpr unsigned kBulkTimeoutMs = 10000;
constexpr unsigned kDeviceIdTimeoutMs = 5000;

class LibusbChannel : public PrinterChannel {
 public:
  LibusbChannel(libusb_device_handle* handle, bool reattach)
      : handle_(handle), reattach_(reattach) {}
  ~LibusbChannel() override {
    libusb_release_interface(handle_, kInterface);
    if (reattach_) libusb_attach_kernel_driver(handle_, kInterface);
    libusb_close(handle_);
  }

  int BulkOut(const uint8_t* data, int length, int* done) override {
    *done = 0;
    return libusb_bulk_transfer(handle_, kBulkOut, const_cast<uint8_t*>(data), length, done,
                                kBulkTimeoutMs);
  }

  int BulkIn(uint8_t* data, int capacity, int* done) override {
    *done = 0;
    return libusb_bulk_transfer(handle_, kBulkIn, data, capacity, done, kBulkTimeoutMs);
  }

  // Class request GET_DEVICE_ID.
  std::string DeviceId() override {
    char buffer[2048] = {};
    int got =
        libusb_control_transfer(handle_, 0xA1, 0, 0, 0, reinterpret_cast<unsigned char*>(buffer),
                                sizeof(buffer), kDeviceIdTimeoutMs);
    if (got < 0 || DeviceIdFromReply(buffer, sizeof(buffer)) != 0) return std::string();
    return buffer;
  }

 private:
  libusb_device_handle* handle_;
  bool reattach_;
};

}  // namespace

LibusbBus::LibusbBus() {
  initResult_ = libusb_init(&context_);
  if (initResult_ != 0) context_ = nullptr;
}

LibusbBus::~LibusbBus() {
  Forget();
  if (context_) libusb_exit(context_);
}

void LibusbBus::Forget() {
  for (libusb_device* device : printers_) libusb_unref_device(device);
  printers_.clear();
}

int LibusbBus::Scan() {
  Forget();
  if (!context_) return 0;
  libusb_device** list = nullptr;
  ssize_t count = libusb_get_device_list(context_, &list);
  for (ssize_t i = 0; i < count; ++i) {
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(list[i], &descriptor) == 0 &&
        descriptor.idVendor == kVendorId && descriptor.idProduct == kProductId)
      printers_.push_back(libusb_ref_device(list[i]));
  }
  if (list) libusb_free_device_list(list, 1);
  return static_cast<int>(printers_.size());
}

int LibusbBus::Open(int index, std::unique_ptr<PrinterChannel>* channel) {
  if (index < 0 || index >= static_cast<int>(printers_.size())) return LIBUSB_ERROR_NOT_FOUND;
  libusb_device_handle* handle = nullptr;
  int rc = libusb_open(printers_[static_cast<size_t>(index)], &handle);
  if (rc != 0) return rc;
  bool detached = false;
  if (libusb_kernel_driver_active(handle, kInterface) == 1)
    detached = libusb_detach_kernel_driver(handle, kInterface) == 0;
  rc = libusb_claim_interface(handle, kInterface);
  if (rc != 0) {
    if (detached) libusb_attach_kernel_driver(handle, kInterface);
    libusb_close(handle);
    return rc;
  }
  channel->reset(new LibusbChannel(handle, detached));
  return 0;
}

}  // namespace zelbackend
