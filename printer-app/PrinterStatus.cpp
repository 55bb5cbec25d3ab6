// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printer-app/PrinterStatus.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>

#include "common/PrinterReplies.h"
#include "common/UsbPrinter.h"
#include "printer-app/Driver.h"

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
      {words("Total Count"), count(reading.totalCount)},
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

// The roll holds the ribbon and the paper together.
constexpr char kSupplyDescription[] = "Ribbon and paper";
// The supplies page's title and link, in words of the app's own catalogue
// (PAPPL's Japanese says "accessories").
constexpr char kSuppliesTitle[] = "Consumables";

// PAPPL's own supplies page shows the description as stored, in one
// language, and draws a multi-colour supply with a colour read from past the
// end of its table: this one speaks the browser's language and draws the
// ribbon's dyes.
bool ShowSuppliesPage(pappl_client_t* client, void* data) {
  auto* printer = static_cast<pappl_printer_t*>(data);
  pappl_supply_t supplies[4];
  const int count = papplPrinterGetSupplies(printer, 4, supplies);
  papplClientHTMLPrinterHeader(client, printer, kSuppliesTitle, 0, nullptr, nullptr);
  papplClientHTMLPuts(client,
                      "<table class=\"meter\" summary=\"Supplies\"><thead><tr><th></th><td></td>"
                      "<td></td><td></td><td></td></tr></thead><tbody>\n");
  for (int i = 0; i < count; ++i) {
    const int level = std::min(supplies[i].level, 100);
    const std::string description = papplClientGetLocString(client, supplies[i].description);
    if (level < 0) {
      papplClientHTMLPrintf(client, "<tr><th>%s</th><td colspan=\"4\">---</td></tr>\n",
                            Escaped(description).c_str());
      continue;
    }
    papplClientHTMLPrintf(
        client,
        "<tr><th>%s</th><td colspan=\"4\"><span class=\"bar\" style=\"background: "
        "linear-gradient(to right, #0FF, #F0F, #FF0); padding: 0px %.1f%%;\" "
        "title=\"%d%%\"></span><span class=\"bar\" style=\"background: "
        "transparent; padding: 0px %.1f%%;\"></span></td></tr>\n",
        Escaped(description).c_str(), level * 0.5, level, 50.0 - level * 0.5);
  }
  papplClientHTMLPuts(client, "</tbody></table>\n");
  papplClientHTMLPrinterFooter(client);
  return true;
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

bool CanPrint(long status) {
  // Waiting, printing, cooling and power saving: the printer takes jobs and
  // goes on by itself.
  return status == 0 || status == 1 || status == 500 || status == 900;
}

void Publish(pappl_printer_t* printer, const PrinterReading& reading) {
  const pappl_preason_t reasons = ReasonsFor(reading);
  papplPrinterSetReasons(printer, reasons,
                         static_cast<pappl_preason_t>(kPublishedReasons & ~reasons));
  if (reading.status != kOfflineStatus) {
    pappl_supply_t supply{};
    std::snprintf(supply.description, sizeof supply.description, "%s", kSupplyDescription);
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

void AddStatusPage(pappl_printer_t* printer) {
  pappl_system_t* system = papplPrinterGetSystem(printer);
  char path[256];
  papplPrinterGetPath(printer, "qv46-status", path, sizeof path);
  papplSystemAddResourceCallback(system, path, "text/html", ShowStatusPage, printer);
  papplPrinterAddLink(
      printer, "QV-46 Status", path,
      static_cast<pappl_loptions_t>(PAPPL_LOPTIONS_NAVIGATION | PAPPL_LOPTIONS_STATUS));
  papplPrinterGetPath(printer, "supplies", path, sizeof path);
  papplSystemRemoveResource(system, path);
  papplSystemAddResourceCallback(system, path, "text/html", ShowSuppliesPage, printer);
  papplPrinterRemoveLink(printer, "Supplies");
  papplPrinterAddLink(printer, kSuppliesTitle, path, PAPPL_LOPTIONS_STATUS);
}
