// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Which serials the programs serve, and the device URIs that carry them: the
// classic queue's "valdren-zelbackend://VALDREN/QV-46?serial=<serial>" and
// the printer application's "qv46://VALDREN/QV-46?serial=<serial>".
//
// A serial names files in /tmp ("QV-46_<serial>.log" and the request files),
// so it is printable ASCII without "/" and short enough for their paths; and
// it has no double quote, so the plain text the backend and the application
// read from the printer (PhotoPrinterIF's StripToPlainText) is the serial the
// daemon read. In a URI every byte but letters, digits and "-._~" is written
// %XX, so a serial with a space, "%", "?" or "#" survives CUPS and PAPPL,
// while an ordinary serial's URI stays the very text stored queues already
// hold.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The longest usable serial; the daemon's record holds it with its NUL.
constexpr size_t kMaxSerialLength = 63;

// 1 to kMaxSerialLength bytes, each a printable ASCII character (space
// included) other than "/" and '"'. Anything else, an embedded NUL too, is
// refused.
bool IsUsableSerial(std::string_view serial);

// The URI naming `serial`; empty for a serial that is not usable.
std::string MakeBackendUri(std::string_view serial);
std::string MakeAppDeviceUri(std::string_view serial);

// The usable serial a URI of that kind names, %XX decoded (either case; a
// raw character other than "%" stands for itself, as in queues made before
// the encoding). False, with *serial untouched, for another kind of URI, a
// malformed escape or a serial that is not usable.
bool SerialFromBackendUri(std::string_view uri, std::string* serial);
bool SerialFromAppDeviceUri(std::string_view uri, std::string* serial);

// The same decoding of a serial's text alone, e.g. what follows "serial=" in
// another backend's URI.
bool DecodeSerial(std::string_view text, std::string* serial);
