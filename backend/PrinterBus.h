// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The USB seam of the backend: the bus with its QV-46 printers, and one
// opened printer. The real one is libusb (LibusbBus); tests use fakes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace zelbackend {

// One printer, opened with interface 0 claimed; released when destroyed.
class PrinterChannel {
 public:
  virtual ~PrinterChannel() = default;
  // One bulk transfer to OUT endpoint 0x01 / from IN endpoint 0x82.
  // Return 0 or a negative libusb code; *done is the bytes moved.
  virtual int BulkOut(const uint8_t* data, int length, int* done) = 0;
  virtual int BulkIn(uint8_t* data, int capacity, int* done) = 0;
  // The IEEE 1284 device ID, empty when the printer gives none.
  virtual std::string DeviceId() = 0;
};

class PrinterBus {
 public:
  virtual ~PrinterBus() = default;
  // Looks at the bus again; returns how many QV-46 are attached now.
  virtual int Scan() = 0;
  // Opens printer `index` of the last scan and claims its interface.
  // Returns 0, or a negative libusb code (LIBUSB_ERROR_BUSY while another
  // program, such as the status daemon, holds the printer).
  virtual int Open(int index, std::unique_ptr<PrinterChannel>* channel) = 0;
};

}  // namespace zelbackend
