// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printer-app/PrinterStatus.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>

#include "common/UsbPrinter.h"
#include "printer-app/Driver.h"
#include "printer-app/UsbScheme.h"

namespace {

struct StatusRow {
  long status;
  pappl_preason_t reason;
  const char* text;
  const char* message;
};

constexpr char kRestart[] =
    "Restart the printer and computer. If the printer does not recover after the restart, "
    "contact the service center.";
constexpr char kNewMedia[] = "Load new media. (Replace the paper and ribbon as a set.)";

constexpr StatusRow kStatusRows[] = {
    {0, PAPPL_PREASON_NONE, "Waiting", ""},
    {1, PAPPL_PREASON_NONE, "Printing", ""},
    {500, PAPPL_PREASON_NONE, "Cooling head",
     "Please wait a while. Printing will resume automatically."},
    {900, PAPPL_PREASON_NONE, "Waiting (Power saving mode)", ""},
    // PAPPL drops door-open; cover-open is what clients show.
    {1000, PAPPL_PREASON_COVER_OPEN, "Door open", "Close the printer."},
    {1010, PAPPL_PREASON_OTHER, "No Scrap box", "Attach the scrap box."},
    {1100, PAPPL_PREASON_MEDIA_EMPTY, "Paper end", kNewMedia},
    {1200, PAPPL_PREASON_MARKER_SUPPLY_EMPTY, "Ribbon end", kNewMedia},
    {1300, PAPPL_PREASON_MEDIA_JAM, "Paper jam", "Remove the paper and reload it properly."},
    {1400, PAPPL_PREASON_OTHER, "Ribbon error", "Reload the ribbon properly."},
    {1500, PAPPL_PREASON_OTHER, "Paper size setting error",
     "Check the paper size setting and ribbon size."},
    {kOfflineStatus, PAPPL_PREASON_OFFLINE, "Offline",
     "Connect the printer and computer, and turn on the power."},
};
// Every other status is a system error.
constexpr StatusRow kSystemError = {-1, PAPPL_PREASON_OTHER, "System error", kRestart};

const StatusRow& RowFor(long status) {
  for (const StatusRow& row : kStatusRows) {
    if (row.status == status) return row;
  }
  return kSystemError;
}

constexpr pappl_preason_t kPublishedReasons = static_cast<pappl_preason_t>(
    PAPPL_PREASON_OTHER | PAPPL_PREASON_COVER_OPEN | PAPPL_PREASON_MEDIA_EMPTY |
    PAPPL_PREASON_MARKER_SUPPLY_EMPTY | PAPPL_PREASON_MARKER_SUPPLY_LOW | PAPPL_PREASON_MEDIA_JAM |
    PAPPL_PREASON_OFFLINE);

std::mutex gReadingsMutex;
std::map<std::string, PrinterReading> gReadings;  // by printer name

long NumberOf(const std::string& text) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  return end == text.c_str() ? -1 : value;
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else if (c == '&')
      out += "&amp;";
    else
      out += c;
  }
  return out;
}

bool ShowStatusPage(pappl_client_t* client, void* data) {
  auto* printer = static_cast<pappl_printer_t*>(data);
  PrinterReading reading;
  {
    std::lock_guard<std::mutex> lock(gReadingsMutex);
    reading = gReadings[papplPrinterGetName(printer)];
  }
  papplClientHTMLPrinterHeader(client, printer, "QV-46 Status", 10, nullptr, nullptr);
  // The status monitor's words, in the browser's language where it has them.
  auto words = [client](const std::string& text) {
    return std::string(papplClientGetLocString(client, text.c_str()));
  };
  const LoadedStock* stock = StockForCode(reading.mediaCode.c_str());
  const auto count = [](long n) { return n < 0 ? std::string("---") : std::to_string(n); };
  const std::string rows[][2] = {
      {words("Printer Status"), words(StatusText(reading.status))},
      {"", words(StatusMessage(reading.status))},
      {words("Media Info"), (stock != nullptr ? words(stock->text) : "---") + ": " +
                                count(reading.remaining) + " / " + count(reading.initial) + " " +
                                words("Sheets")},
      {words("Firmware Version"), reading.firmware.empty() ? "---" : reading.firmware},
      {words("Serial No."), reading.serial.empty() ? "---" : reading.serial},
      {words("Total Count"), reading.totalCount.empty() ? "---" : reading.totalCount},
  };
  papplClientHTMLPuts(client, "<div class=\"row\"><table class=\"list\"><tbody>\n");
  for (const auto& row : rows) {
    papplClientHTMLPrintf(client, "<tr><th>%s</th><td>%s</td></tr>\n", Escaped(row[0]).c_str(),
                          Escaped(row[1]).c_str());
  }
  papplClientHTMLPuts(client, "</tbody></table></div>\n");
  papplClientHTMLPrinterFooter(client);
  return true;
}

}  // namespace

PrinterReading ReadPrinter(UsbPrinter& printer) {
  PrinterReading reading;
  std::string value;
  if (printer.QueryText("STATUS", nullptr, &value) != 0) return reading;
  reading.status = NumberOf(value);
  if (printer.QueryText("INFO", "MEDIA", &value) == 0 && value.size() > 2)
    reading.mediaCode = value.substr(2);
  if (printer.QueryText("INFO", "MQTY", &value) == 0) reading.remaining = NumberOf(value);
  if (printer.QueryText("INFO", "MQTY_DEFAULT", &value) == 0) reading.initial = NumberOf(value);
  printer.QueryText("INFO", "FVER", &reading.firmware);
  printer.QueryText("INFO", "SERIAL_NUMBER", &reading.serial);
  printer.QueryText("MNT_RD", "COUNTER_LIFE", &reading.totalCount);
  return reading;
}

int SupplyLevel(const PrinterReading& reading) {
  if (reading.remaining < 0 || reading.initial <= 0) return -1;
  return static_cast<int>(std::min<long>(reading.remaining, reading.initial) * 100 /
                          reading.initial);
}

pappl_preason_t ReasonsFor(const PrinterReading& reading) {
  pappl_preason_t reasons = RowFor(reading.status).reason;
  const int level = SupplyLevel(reading);
  if (reading.status != kOfflineStatus && level >= 0 && level <= 10)
    reasons = static_cast<pappl_preason_t>(reasons | PAPPL_PREASON_MARKER_SUPPLY_LOW);
  return reasons;
}

const char* StatusText(long status) { return RowFor(status).text; }

const char* StatusMessage(long status) { return RowFor(status).message; }

void Publish(pappl_printer_t* printer, const PrinterReading& reading) {
  const pappl_preason_t reasons = ReasonsFor(reading);
  papplPrinterSetReasons(printer, reasons,
                         static_cast<pappl_preason_t>(kPublishedReasons & ~reasons));
  if (reading.status != kOfflineStatus) {
    pappl_supply_t supply{};
    std::snprintf(supply.description, sizeof supply.description, "%s", "Ribbon and paper");
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
      papplPrinterSetReadyMedia(printer, 1, &ready);
    }
  }
  std::lock_guard<std::mutex> lock(gReadingsMutex);
  gReadings[papplPrinterGetName(printer)] = reading;
}

bool UpdatePrinterStatus(pappl_printer_t* printer) {
  // The timer and IPP clients ask from different threads.
  static std::mutex askingMutex;
  std::lock_guard<std::mutex> asking(askingMutex);
  pappl_device_t* device = papplPrinterOpenDevice(printer);
  // A job holds the printer: what was published stays.
  if (device == nullptr && papplPrinterGetState(printer) == IPP_PSTATE_PROCESSING) return true;
  PrinterReading reading;
  if (device != nullptr) {
    reading = ReadPrinter(*PrinterOf(device));
    papplPrinterCloseDevice(printer);
  }
  Publish(printer, reading);
  return true;
}

void AddStatusPage(pappl_printer_t* printer) {
  char path[256];
  papplPrinterGetPath(printer, "qv46-status", path, sizeof path);
  papplSystemAddResourceCallback(papplPrinterGetSystem(printer), path, "text/html", ShowStatusPage,
                                 printer);
  papplPrinterAddLink(
      printer, "QV-46 Status", path,
      static_cast<pappl_loptions_t>(PAPPL_LOPTIONS_NAVIGATION | PAPPL_LOPTIONS_STATUS));
}
