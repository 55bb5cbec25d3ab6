// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The monitor's reader of the daemon's status file.
//
// Input: the status file's bytes.
#include <QCoreApplication>
#include <QMap>
#include <QSet>
#include <QString>
#include <cstdlib>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "common/TmpFiles.h"
#include "statusmonitor.h"

namespace {

// Never waits: the file is always there to be read again.
class Reader : public StatusMonitor {
 public:
  explicit Reader(const QString& path) : StatusMonitor(path, 3600 * 1000, nullptr) {}

 protected:
  void pause(int) override {}
};

QCoreApplication* gApp = nullptr;
std::string gPath;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  gApp = new QCoreApplication(*argc, *argv);
  gPath = qv46fuzz::ScratchDir() + "/QV-46_FUZZ.log";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!qv46fuzz::WriteWholeFile(gPath, std::string(reinterpret_cast<const char*>(data), size)))
    return 0;
  static const QSet<QString> keys = {
      "PRINTER_STATUS", "PRINTER_MESSAGE", "PRINTER_VERSION",   "PRINTER_SERIAL_NO", "MEDIA_SIZE",
      "MEDIA_INITIAL",  "MEDIA_REMAIN",    "MEDIA_REMAIN_HALF", "TOTAL_COUNT",
  };
  Reader reader(QString::fromStdString(gPath));
  QMap<QString, QString> map;
  const bool read = reader.createStatusMap(map);
  for (auto it = map.cbegin(); it != map.cend(); ++it) {
    if (!keys.contains(it.key()) || it.value().contains('"') || it.value().contains('\n'))
      std::abort();
  }
  // A NUL never belongs to the daemon's file (Qt 5 would hide what follows it).
  if (read && std::memchr(data, 0, size) != nullptr) std::abort();
  // A reading that names a status always has one to show.
  if (read && map.contains(kKeyPrinterStatus) && map.value(kKeyPrinterStatus).isEmpty())
    std::abort();
  return 0;
}
