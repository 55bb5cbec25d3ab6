// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "common/Serial.h"

#include <utility>

#include "common/TmpFiles.h"

namespace {

constexpr char kAppUriPrefix[] = "qv46://VALDREN/QV-46?serial=";

bool Unreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string MakeUri(std::string_view prefix, std::string_view serial) {
  if (!IsUsableSerial(serial)) return std::string();
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string uri(prefix);
  for (const char ch : serial) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (Unreserved(c)) {
      uri += ch;
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 0xF];
    }
  }
  return uri;
}

bool SerialFromUri(std::string_view prefix, std::string_view uri, std::string* serial) {
  return uri.substr(0, prefix.size()) == prefix && DecodeSerial(uri.substr(prefix.size()), serial);
}

}  // namespace

bool IsUsableSerial(std::string_view serial) {
  if (serial.empty() || serial.size() > kMaxSerialLength) return false;
  for (const char ch : serial) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c > 0x7E || c == '/' || c == '"') return false;
  }
  return true;
}

bool DecodeSerial(std::string_view text, std::string* serial) {
  std::string decoded;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      decoded += text[i];
      continue;
    }
    const int high = i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
    const int low = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
    if (high < 0 || low < 0) return false;
    decoded += static_cast<char>(high * 16 + low);
    i += 2;
  }
  if (!IsUsableSerial(decoded)) return false;
  *serial = std::move(decoded);
  return true;
}

std::string MakeBackendUri(std::string_view serial) { return MakeUri(kDeviceUriPrefix, serial); }

std::string MakeAppDeviceUri(std::string_view serial) { return MakeUri(kAppUriPrefix, serial); }

bool SerialFromBackendUri(std::string_view uri, std::string* serial) {
  return SerialFromUri(kDeviceUriPrefix, uri, serial);
}

bool SerialFromAppDeviceUri(std::string_view uri, std::string* serial) {
  return SerialFromUri(kAppUriPrefix, uri, serial);
}
