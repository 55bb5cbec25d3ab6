#include <cstdio>

#include "qv46sim.h"

namespace qv46sim {

Reply Reply::value(const std::string& text) {
  std::string data = text + "\r";
  char header[16];
  std::snprintf(header, sizeof header, "%08zu", data.size());
  return Reply{Kind::Value, header + data};
}

Reply Reply::raw(const std::string& wireBytes) { return Reply{Kind::Raw, wireBytes}; }

Reply Reply::silent() { return Reply{Kind::Silent, std::string()}; }

std::string queryKey(const std::string& command, const std::string& parameter) {
  return parameter.empty() ? command : command + " " + parameter;
}

std::map<std::string, Reply> defaultReplies(const std::string& serial) {
  return {
      {"STATUS", Reply::value("00000")},
      {"INFO SERIAL_NUMBER", Reply::value(serial)},
      {"INFO MEDIA", Reply::value("0000310")},
      {"INFO MEDIA_CLASS_RFID", Reply::value("0000001")},
      {"INFO MQTY_DEFAULT", Reply::value("00000050")},
      {"INFO MQTY", Reply::value("00000050")},
      {"INFO RQTY", Reply::value("00000100")},
      {"INFO FVER", Reply::value("1.00")},
      {"MNT_RD COUNTER_LIFE", Reply::value("0000000123")},
  };
}

}  // namespace qv46sim
