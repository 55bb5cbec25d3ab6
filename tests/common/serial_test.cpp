// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The one rule for a usable serial and the device URIs that carry it.
#include "common/Serial.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kBackend = "valdren-zelbackend://VALDREN/QV-46?serial=";
const std::string kApp = "qv46://VALDREN/QV-46?serial=";

// Each serial is usable exactly when both schemes give it a URI, and each
// reads its own URI back to the serial and refuses the other's.
TEST(SerialRule, UsableSerialsAndTheirUris) {
  const struct {
    std::string serial;
    std::string tail;  // after "serial="; empty: not usable
  } cases[] = {
      {"QV46-000123", "QV46-000123"},  // the text stored queues hold
      {"a.b_c~d", "a.b_c~d"},
      {"A;touch x $(id)", "A%3Btouch%20x%20%24%28id%29"},  // never reaches a shell
      {"P%41", "P%2541"},
      {"x?y=1&z#2+'\\", "x%3Fy%3D1%26z%232%2B%27%5C"},
      {"..", ".."},  // "QV-46_...log" stays in /tmp
      {std::string(63, 'a'), std::string(63, 'a')},
      {std::string(64, 'a'), ""},
      {"", ""},
      {"../../etc/passwd", ""},
      {"a\nb", ""},
      {"a\x7f", ""},
      {std::string("AB\0CD", 5), ""},  // cut at the NUL it would name another printer
      {"caf\xc3\xa9", ""},
      {"S \"4\"", ""},  // read as "S 4" where printer text is made plain
  };
  for (const auto& c : cases) {
    EXPECT_EQ(!c.tail.empty(), IsUsableSerial(c.serial)) << c.serial;
    const std::string backend = MakeBackendUri(c.serial);
    const std::string app = MakeAppDeviceUri(c.serial);
    EXPECT_EQ(backend, c.tail.empty() ? "" : kBackend + c.tail) << c.serial;
    EXPECT_EQ(app, c.tail.empty() ? "" : kApp + c.tail) << c.serial;
    if (c.tail.empty()) continue;
    std::string fromBackend, fromApp;
    EXPECT_TRUE(SerialFromBackendUri(backend, &fromBackend) && fromBackend == c.serial) << backend;
    EXPECT_TRUE(SerialFromAppDeviceUri(app, &fromApp) && fromApp == c.serial) << app;
    EXPECT_FALSE(SerialFromBackendUri(app, &fromBackend) ||
                 SerialFromAppDeviceUri(backend, &fromApp));
  }
}

// URIs as an administrator or an older daemon may have written them.
TEST(SerialRule, ReadingTakesLowercaseAndRawFormsAndRefusesTheRest) {
  const struct {
    std::string uri;     // after kBackend unless it holds "://"
    std::string serial;  // empty: refused
  } cases[] = {
      {"a%2a%7E", "a*~"},
      {"A 1", "A 1"},  // a queue made before the encoding
      {std::string(63, 'z'), std::string(63, 'z')},
      {std::string(64, 'z'), ""},
      {"", ""},
      {"..%2F..%2fetc", ""},
      {"a%00b", ""},
      {"a%", ""},
      {"a%4", ""},
      {"a%G1", ""},
      {"valdren-zelbackend://VALDREN/QV-46W?serial=A1234", ""},
      {"x valdren-zelbackend://VALDREN/QV-46?serial=A1234", ""},
  };
  for (const auto& c : cases) {
    const std::string uri = c.uri.find("://") == std::string::npos ? kBackend + c.uri : c.uri;
    std::string serial = "untouched";
    EXPECT_EQ(!c.serial.empty(), SerialFromBackendUri(uri, &serial)) << uri;
    EXPECT_EQ(c.serial.empty() ? "untouched" : c.serial, serial) << uri;
  }
}

}  // namespace
