// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printer-app/PrinterStatus.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "common/PrinterReplies.h"
#include "common/UsbPrinter.h"
#include "printer-app/Driver.h"
#include "printer-app/StatusWords.h"

namespace {

constexpr pappl_preason_t kPublishedReasons = static_cast<pappl_preason_t>(
    PAPPL_PREASON_OTHER | PAPPL_PREASON_COVER_OPEN | PAPPL_PREASON_MEDIA_EMPTY |
    PAPPL_PREASON_MARKER_SUPPLY_EMPTY | PAPPL_PREASON_MARKER_SUPPLY_LOW | PAPPL_PREASON_MEDIA_JAM |
    PAPPL_PREASON_OFFLINE);

std::mutex gReadingsMutex;
std::map<std::string, PrinterReading> gReadings;  // by printer name

bool SameReadyMedia(const pappl_media_col_t& a, const pappl_media_col_t& b) {
  return std::strcmp(a.size_name, b.size_name) == 0 && std::strcmp(a.source, b.source) == 0 &&
         std::strcmp(a.type, b.type) == 0 && a.size_width == b.size_width &&
         a.size_length == b.size_length;
}

}  // namespace

// A printer whose status cannot be read counts as offline, as the status
// daemon writes it.
PrinterReading ReadPrinter(UsbPrinter& printer) {
  PrinterReading reading;
  std::string value;
  int32_t status = 0;
  if (printer.QueryText(kQueryStatus, &value) != 0 || !StatusFromReply(value, &status))
    return reading;
  reading.status = status;
  if (printer.QueryText(kQueryMedia, &value) == 0) reading.mediaCode = MediaSizeFromReply(value);
  if (printer.QueryText(kQueryMediaRemain, &value) == 0)
    reading.remaining = QuantityFromReply(value);
  if (printer.QueryText(kQueryMediaInitial, &value) == 0)
    reading.initial = QuantityFromReply(value);
  printer.QueryText(kQueryFirmware, &reading.firmware);
  printer.QueryText(kQuerySerial, &reading.serial);
  int32_t count = 0;
  if (printer.QueryText(kQueryTotalCount, &value) == 0 && TotalCountFromReply(value, &count))
    reading.totalCount = count;
  return reading;
}

long PrintsLeft(const PrinterReading& reading) {
  if (reading.status == kOfflineStatus) return -1;
  if (WordsForStatus(reading.status).rollUsedUp) return 0;
  return reading.remaining;
}

int SupplyLevel(const PrinterReading& reading) {
  const long left = PrintsLeft(reading);
  if (left < 0 || reading.initial <= 0) return -1;
  return static_cast<int>(std::min<long>(left, reading.initial) * 100 / reading.initial);
}

bool FewPrintsLeft(const PrinterReading& reading) {
  const int level = SupplyLevel(reading);
  return level >= 0 && level <= 10;
}

pappl_preason_t ReasonsFor(const PrinterReading& reading) {
  pappl_preason_t reasons = WordsForStatus(reading.status).reason;
  // An empty roll is said by the end reason alone.
  if (FewPrintsLeft(reading) && !WordsForStatus(reading.status).rollUsedUp)
    reasons = static_cast<pappl_preason_t>(reasons | PAPPL_PREASON_MARKER_SUPPLY_LOW);
  return reasons;
}

bool CanPrint(long status) { return WordsForStatus(status).canPrint; }

// PAPPL counts a ready media update as a change of its saved state, so the
// ready media are set only when the stock changed: the idle poll would
// otherwise rewrite the state file every few seconds. The reasons are set on
// every reading: that also tells PAPPL the status is fresh, so it does not
// ask the printer again itself (papplPrinterGetReasons would, from here too).
void Publish(pappl_printer_t* printer, const PrinterReading& reading) {
  const pappl_preason_t reasons = ReasonsFor(reading);
  papplPrinterSetReasons(printer, reasons,
                         static_cast<pappl_preason_t>(kPublishedReasons & ~reasons));
  if (reading.status != kOfflineStatus) {
    pappl_supply_t supply{};
    std::snprintf(supply.description, sizeof supply.description, "%s", kSupplyName);
    supply.color = PAPPL_SUPPLY_COLOR_MULTIPLE;
    supply.type = PAPPL_SUPPLY_TYPE_RIBBON_WAX;
    supply.is_consumed = true;
    supply.level = SupplyLevel(reading);
    papplPrinterSetSupplies(printer, 1, &supply);
    const LoadedStock* stock = StockForCode(reading.mediaCode.c_str());
    const char* loaded = stock != nullptr ? stock->pwgName : nullptr;
    const pwg_media_t* size = loaded != nullptr ? pwgMediaForPWG(loaded) : nullptr;
    if (size != nullptr) {
      pappl_media_col_t ready{};
      std::snprintf(ready.size_name, sizeof ready.size_name, "%s", loaded);
      std::snprintf(ready.source, sizeof ready.source, "%s", "main-roll");
      std::snprintf(ready.type, sizeof ready.type, "%s", "photographic-glossy");
      ready.size_width = size->width;
      ready.size_length = size->length;
      // PAPPL 1.3 has no getter for the ready media alone.
      auto current = std::make_unique<pappl_pr_driver_data_t>();
      papplPrinterGetDriverData(printer, current.get());
      if (!SameReadyMedia(current->media_ready[0], ready) || current->media_ready[1].size_name[0])
        papplPrinterSetReadyMedia(printer, 1, &ready);
    }
  }
  std::lock_guard<std::mutex> lock(gReadingsMutex);
  gReadings[papplPrinterGetName(printer)] = reading;
}

PrinterReading LastReading(pappl_printer_t* printer) {
  std::lock_guard<std::mutex> lock(gReadingsMutex);
  const auto found = gReadings.find(papplPrinterGetName(printer));
  return found != gReadings.end() ? found->second : PrinterReading{};
}

long ShownStatus(pappl_printer_t* printer, const PrinterReading& reading) {
  if (reading.status == 0 && papplPrinterGetState(printer) == IPP_PSTATE_PROCESSING) return 1;
  return reading.status;
}
