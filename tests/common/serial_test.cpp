// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The one rule for a usable serial and the device URIs that carry it.
#include "common/Serial.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kBackend = "valdren-zelbackend://VALDREN/QV-46?serial=";
const std::string kApp = "qv46://VALDREN/QV-46?serial=";

TEST(SerialRule, PrintableAsciiWithoutSlashOrQuoteUpTo63Bytes) {
  const struct {
    std::string serial;
    bool usable;
  } cases[] = {
      {"QV46-000123", true},
      {"A;touch x $(id)", true},  // harmless: never reaches a shell
      {"A 1", true},
      {" ", true},
      {"P%41", true},
      {"..", true},  // "QV-46_...log" stays in /tmp
      {std::string(63, 'a'), true},
      {std::string(64, 'a'), false},
      {"", false},
      {"../../etc/passwd", false},
      {"a/b", false},
      {"a\nb", false},
      {"a\tb", false},
      {"a\x7f", false},
      {"\x1b[31m", false},
      {std::string("AB\0CD", 5), false},  // a reply cut at the NUL would name another printer
      {"caf\xc3\xa9", false},
      {"S \"4\"", false},  // read as "S 4" where printer text is made plain
  };
  for (const auto& c : cases) EXPECT_EQ(c.usable, IsUsableSerial(c.serial)) << c.serial;
}

// Built and read back by both schemes: ordinary serials keep the text stored
// queues hold; every other byte is %XX.
TEST(SerialRule, UrisCarryEveryUsableSerialAndNoOther) {
  const struct {
    std::string serial;
    std::string tail;  // after "serial=", empty when no URI may be made
  } cases[] = {
      {"QV46-000123", "QV46-000123"},
      {"a.b_c~d", "a.b_c~d"},
      {"A 1", "A%201"},
      {"P%41", "P%2541"},
      {"x?y=1&z#2+", "x%3Fy%3D1%26z%232%2B"},
      {"'\\", "%27%5C"},
      {"a\"b", ""},
      {std::string(63, '#'),
       [] {
         std::string t;
         for (int i = 0; i < 63; ++i) t += "%23";
         return t;
       }()},
      {std::string(64, 'a'), ""},
      {"a/b", ""},
      {"", ""},
      {"a\nb", ""},
  };
  for (const auto& c : cases) {
    const std::string backend = MakeBackendUri(c.serial);
    const std::string app = MakeAppDeviceUri(c.serial);
    EXPECT_EQ(backend, c.tail.empty() ? "" : kBackend + c.tail) << c.serial;
    EXPECT_EQ(app, c.tail.empty() ? "" : kApp + c.tail) << c.serial;
    if (c.tail.empty()) continue;
    std::string fromBackend, fromApp;
    EXPECT_TRUE(SerialFromBackendUri(backend, &fromBackend)) << backend;
    EXPECT_TRUE(SerialFromAppDeviceUri(app, &fromApp)) << app;
    EXPECT_EQ(fromBackend, c.serial);
    EXPECT_EQ(fromApp, c.serial);
    // Each reader takes only its own scheme.
    EXPECT_FALSE(SerialFromBackendUri(app, &fromBackend)) << app;
    EXPECT_FALSE(SerialFromAppDeviceUri(backend, &fromApp)) << backend;
  }
}

// URIs as an administrator or an older daemon may have written them.
TEST(SerialRule, ReadingTakesLowercaseAndRawFormsAndRefusesTheRest) {
  const struct {
    std::string tail;  // after "serial="; a leading "!" stands for a whole other URI
    bool ok;
    std::string serial;
  } cases[] = {
      {"A1234", true, "A1234"},
      {"a%2a%7E", true, "a*~"},
      {"A 1", true, "A 1"},  // a queue made before the encoding
      {"%41%42", true, "AB"},
      {std::string(63, 'z'), true, std::string(63, 'z')},
      {std::string(64, 'z'), false, ""},
      {"", false, ""},
      {"../../etc", false, ""},
      {"..%2F..%2fetc", false, ""},
      {"a%00b", false, ""},
      {"a%0Ab", false, ""},
      {"a%", false, ""},
      {"a%4", false, ""},
      {"a%G1", false, ""},
      {"a%c3%a9", false, ""},
      {"!valdren-zelbackend://VALDREN/QV-46W?serial=A1234", false, ""},
      {"!usb://VALDREN/QV-46?serial=A1234", false, ""},
      {"!x valdren-zelbackend://VALDREN/QV-46?serial=A1234", false, ""},
  };
  for (const auto& c : cases) {
    const std::string uri = c.tail.rfind('!', 0) == 0 ? c.tail.substr(1) : kBackend + c.tail;
    std::string serial = "untouched";
    EXPECT_EQ(c.ok, SerialFromBackendUri(uri, &serial)) << uri;
    EXPECT_EQ(c.ok ? c.serial : "untouched", serial) << uri;
  }
}

}  // namespace
