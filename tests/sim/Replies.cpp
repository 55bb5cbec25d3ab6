// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include <cstdio>

#include "qv46sim.h"

namespace qv46sim {

Reply Reply::Value(const std::string& text) {
  std::string data = text + "\r";
  char header[16];
  std::snprintf(header, sizeof header, "%08zu", data.size());
  return Reply{Kind::Value, header + data};
}

Reply Reply::Raw(const std::string& wireBytes) { return Reply{Kind::Raw, wireBytes}; }

Reply Reply::Silent() { return Reply{Kind::Silent, std::string()}; }

std::string QueryKey(const std::string& command, const std::string& parameter) {
  return parameter.empty() ? command : command + " " + parameter;
}

// The characters before a media size code, a quantity or the count are no
// part of the value and need not be digits: letters there make a reader that
// takes the reply whole fail every test that reads one.
std::map<std::string, Reply> DefaultReplies(const std::string& serial) {
  return {
      {"STATUS", Reply::Value("00000")},
      {"INFO SERIAL_NUMBER", Reply::Value(serial)},
      {"INFO MEDIA", Reply::Value("MS00310")},
      {"INFO MEDIA_CLASS_RFID", Reply::Value("0000001")},
      {"INFO MQTY_DEFAULT", Reply::Value("MQDF0050")},
      {"INFO MQTY", Reply::Value("MQTY0050")},
      {"INFO RQTY", Reply::Value("RQTY0100")},
      {"INFO FVER", Reply::Value("1.00")},
      {"MNT_RD COUNTER_LIFE", Reply::Value("CL00000123")},
  };
}

}  // namespace qv46sim
