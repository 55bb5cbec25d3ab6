// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The "qv46" device scheme: a QV-46 named by its serial, reached over libusb
// with the chunked writes and two-stage reply reads of every QV-46 program.
#pragma once

#include <pappl/pappl.h>

#include <string>

class UsbPrinter;
struct libusb_context;

// "qv46://VALDREN/QV-46?serial=<serial>" (common/Serial.h's MakeAppDeviceUri);
// empty for a serial no QV-46 program serves.
std::string DeviceUriFor(const std::string& serial);
// The usable serial a device URI of the scheme names (SerialFromAppDeviceUri);
// empty for any other URI.
std::string SerialOfUri(const char* uri);
// Whether `uri` names a QV-46 through this scheme. No other device ever
// becomes a printer of the app: a file or socket device would let whoever
// creates a printer choose where the root service writes, and the job
// callbacks take every device's data for a QV-46.
bool IsOurDeviceUri(const char* uri);

// The process's libusb context; null when libusb could not start.
libusb_context* UsbContext();

// Registers the scheme beside PAPPL's own ones.
void AddQv46Scheme();

// The printer behind a device that the scheme opened; null while a
// Reconnect found none.
UsbPrinter* PrinterOf(pappl_device_t* device);

// Opens the printer again behind `device` after it went away; 0, or a
// negative libusb code while it is still away.
int Reconnect(pappl_device_t* device);
