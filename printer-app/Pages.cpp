// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printer-app/Pages.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "printer-app/Driver.h"
#include "printer-app/Icons.h"
#include "printer-app/Identify.h"
#include "printer-app/PapplFaults.h"
#include "printer-app/PrinterStatus.h"
#include "printer-app/StatusWords.h"
#include "printer-app/Strings.h"

namespace {

constexpr char kPicturePath[] = "/qv46-state/";
// The app's own words (keys of its catalogue).
constexpr char kPrintsLeft[] = "Prints left";
constexpr char kFewLeft[] = "Few prints left. Have a new set of paper and ribbon ready.";
constexpr char kAdminOnly[] = "Administrators only: you will be asked to log in.";
constexpr char kLogInAsAdmin[] =
    "This page is for administrators. Log in with the name and password of a member of the "
    "printer administrators' group.";
constexpr char kNoAdmin[] =
    "This login is not an administrator's. Log in as a member of the printer administrators' "
    "group.";
constexpr char kLoginGate[] = "/qv46-login";
constexpr char kDefaultsLink[] = "Printing Defaults (administrators)";
// A link or button only administrators may use.
constexpr char kForAdmins[] = "%s (administrators)";
constexpr char kStockByPrinter[] =
    "The printer reads the loaded paper and ribbon from the roll; load another roll to change "
    "them.";
constexpr char kStatusTitle[] = "QV-46 Status";
// PAPPL's Japanese calls them "accessories".
constexpr char kSuppliesTitle[] = "Consumables";
// Seconds between reloads while the state may change by itself (a job under
// way, a fault being cleared), and while it waits for something to happen.
constexpr int kBusyRefresh = 5;
constexpr int kQuietRefresh = 30;

std::string Words(pappl_client_t* client, const char* key) {
  return papplClientGetLocString(client, key);
}

std::string ForAdmins(pappl_client_t* client, const char* label) {
  char text[512];
  papplLocFormatString(papplClientGetLoc(client), text, sizeof text, kForAdmins,
                       Words(client, label).c_str());
  return text;
}

std::string Count(long n) { return n < 0 ? std::string("---") : std::to_string(n); }

int RefreshFor(pappl_printer_t* printer) {
  const long status = ShownStatus(printer, LastReading(printer));
  return status == 0 || status == 900 ? kQuietRefresh : kBusyRefresh;
}

// The state's word and what to do about it.
void ShowWords(pappl_client_t* client, const StatusWords& words) {
  papplClientHTMLPrintf(client, "<h2 class=\"title qv46-word\">%s</h2>\n",
                        Words(client, words.word).c_str());
  if (words.instruction[0] != '\0')
    papplClientHTMLPrintf(client, "<p class=\"qv46-instruction\">%s</p>\n",
                          Words(client, words.instruction).c_str());
}

// The state at a glance: the monitor's picture and words, the loaded stock
// and the prints left as numbers and a bar. The picture floats in a box of
// its own size and the text keeps clear of it, however narrow the column.
void ShowState(pappl_client_t* client, pappl_printer_t* printer) {
  const PrinterReading reading = LastReading(printer);
  const StatusWords& words = WordsForStatus(ShownStatus(printer, reading));
  papplClientHTMLPrintf(
      client,
      "<div class=\"qv46-state\" style=\"overflow: hidden; margin-bottom: 10px;\">"
      "<img class=\"qv46-picture\" style=\"float: left; margin: 10px 20px 10px 0px;\" "
      "src=\"%s%s.png\" alt=\"%s\" width=\"128\" height=\"128\">\n"
      "<div style=\"overflow: hidden;\">",
      kPicturePath, words.picture, Words(client, words.word).c_str());
  ShowWords(client, words);
  if (papplPrinterGetState(printer) == IPP_PSTATE_STOPPED)
    papplClientHTMLPrintf(client, "<p>%s</p>\n", Words(client, "printer-state.5").c_str());
  const LoadedStock* stock = StockForCode(reading.mediaCode.c_str());
  const long left = PrintsLeft(reading);
  papplClientHTMLPrintf(client, "<p>%s: %s<br>%s: <span class=\"qv46-prints\">%s / %s</span>",
                        Words(client, "Media Info").c_str(),
                        stock != nullptr ? Words(client, stock->text).c_str() : "---",
                        Words(client, kPrintsLeft).c_str(), Count(left).c_str(),
                        Count(reading.initial).c_str());
  if (left >= 0 && reading.initial > 0) {
    // The bar turns to the warning colour where IPP says marker-supply-low.
    papplClientHTMLPrintf(
        client,
        "<br><meter style=\"width: 100%%\" min=\"0\" max=\"%ld\" low=\"%ld\" high=\"%ld\" "
        "optimum=\"%ld\" value=\"%ld\" title=\"%ld / %ld\"></meter>",
        reading.initial, reading.initial / 10 + 1, reading.initial / 10 + 1, reading.initial,
        std::min(left, reading.initial), left, reading.initial);
  }
  papplClientHTMLPuts(client, "</p>\n");
  if (FewPrintsLeft(reading) && !words.rollUsedUp)
    papplClientHTMLPrintf(client, "<div class=\"banner qv46-warning\">%s</div>\n",
                          Words(client, kFewLeft).c_str());
  papplClientHTMLPuts(client, "</div></div>\n");
}

// Where a login is wanted and missing or refused: a page that says what to
// do, not a bare status line. A client PAPPL wants on TLS is sent there.
void RespondLogin(pappl_client_t* client, http_status_t status, const std::string& back) {
  if (status != HTTP_STATUS_UNAUTHORIZED && status != HTTP_STATUS_FORBIDDEN) {
    papplClientRespond(client, status, nullptr, nullptr, 0, 0);
    return;
  }
  // A login that was sent and refused gets one answer, whatever was wrong
  // with it: the page tells no one whether a password was right.
  const char* sent = httpGetField(papplClientGetHTTP(client), HTTP_FIELD_AUTHORIZATION);
  const bool refused = status == HTTP_STATUS_FORBIDDEN || (sent != nullptr && *sent != '\0');
  if (!papplClientRespond(client, status, nullptr, "text/html", 0, 0)) return;
  papplClientHTMLHeader(client, "Log In", 0);
  papplClientHTMLPrintf(
      client,
      "<div class=\"content\"><div class=\"row\"><div class=\"col-12\">"
      "<h1 class=\"title\">%s</h1>\n<p class=\"qv46-login\">%s</p>\n"
      "<p><a class=\"btn\" href=\"\">%s</a> <a class=\"btn\" href=\"%s\">%s</a></p>"
      "</div></div></div>\n",
      Words(client, "Log In").c_str(), Words(client, refused ? kNoAdmin : kLogInAsAdmin).c_str(),
      Words(client, "Log In").c_str(), back.c_str(), Words(client, "Back").c_str());
  papplClientHTMLFooter(client);
}

// True for an administrator; else the login page has been sent.
bool RequireAdmin(pappl_client_t* client, const std::string& back) {
  const http_status_t status = papplClientIsAuthorized(client);
  if (status == HTTP_STATUS_CONTINUE) return true;
  RespondLogin(client, status, back);
  return false;
}

// /qv46-login?next=PATH: asks for the administrator's login, then goes on
// to PATH, a page of this server, which the browser then opens with it.
bool ShowLoginGate(pappl_client_t* client, void*) {
  cups_option_t* form = nullptr;
  const int count = papplClientGetForm(client, &form);
  const char* next = cupsGetOption("next", count, form);
  // Only paths of this server: no scheme, no other host, nothing a browser
  // would drop to make one ("/\t/host").
  std::string target = next != nullptr ? next : "";
  const bool local = !target.empty() && target[0] == '/' && target.rfind("//", 0) != 0 &&
                     std::all_of(target.begin(), target.end(),
                                 [](char c) { return c > ' ' && c < 0x7f && c != '\\'; });
  if (!local) target = "/";
  cupsFreeOptions(count, form);
  if (RequireAdmin(client, "/"))
    papplClientRespondRedirect(client, HTTP_STATUS_FOUND, target.c_str());
  return true;
}

// A link to a page only administrators may open: it says so, and leads to
// the login first.
void AdminLink(pappl_client_t* client, const std::string& path, const char* label) {
  papplClientHTMLPrintf(
      client, "<a class=\"btn qv46-admin\" href=\"%s?next=%s\" title=\"%s\">%s</a> ", kLoginGate,
      path.c_str(), Words(client, kAdminOnly).c_str(), ForAdmins(client, label).c_str());
}

std::string PrinterPath(pappl_printer_t* printer, const char* subpath) {
  char path[256];
  papplPrinterGetPath(printer, subpath, path, sizeof path);
  return path;
}

struct JobList {
  pappl_client_t* client;
  bool named;  // names and owners shown
};

void ShowJob(pappl_job_t* job, void* data) {
  const auto& list = *static_cast<const JobList*>(data);
  pappl_client_t* client = list.client;
  const std::string state = "job-state." + std::to_string(papplJobGetState(job));
  // PAPPL names a job without a name "Untitled", in English.
  constexpr char kUntitled[] = "Untitled";
  const char* name = papplJobGetName(job);
  const std::string shown = !list.named ? "-"
                            : name == nullptr || std::strcmp(name, kUntitled) == 0
                                ? Words(client, kUntitled)
                                : std::string(name);
  papplClientHTMLPrintf(
      client, "<tr><td>%d</td><td>%s</td><td>%s</td><td>%d</td><td>%s</td></tr>\n",
      papplJobGetID(job), shown.c_str(), list.named ? papplJobGetUsername(job) : "-",
      papplJobGetImpressionsCompleted(job), Words(client, state.c_str()).c_str());
}

void ShowJobs(pappl_client_t* client, pappl_printer_t* printer) {
  constexpr int kShownJobs = 10;
  papplClientHTMLPrintf(client, "<h1 class=\"title\">%s</h1>\n", Words(client, "Jobs").c_str());
  if (papplPrinterGetNumberOfJobs(printer) == 0) {
    papplClientHTMLPrintf(client, "<p>%s</p>\n", Words(client, "No jobs in history.").c_str());
    return;
  }
  papplClientHTMLPrintf(client,
                        "<table class=\"list\"><thead><tr><th>%s</th><th>%s</th><th>%s</th>"
                        "<th>%s</th><th>%s</th></tr></thead><tbody>\n",
                        Words(client, "Job #").c_str(), Words(client, "Name").c_str(),
                        Words(client, "Owner").c_str(), Words(client, "Pages").c_str(),
                        Words(client, "Status").c_str());
  // What others print is theirs: names and owners only for an administrator
  // who sent a login (no login asks for nothing and costs nothing).
  const char* login = httpGetField(papplClientGetHTTP(client), HTTP_FIELD_AUTHORIZATION);
  JobList list{client, login != nullptr && *login != '\0' &&
                           papplClientIsAuthorized(client) == HTTP_STATUS_CONTINUE};
  papplPrinterIterateAllJobs(printer, ShowJob, &list, 1, kShownJobs);
  papplClientHTMLPuts(client, "</tbody></table>\n");
}

// The action a form on the printer's page asks for; a message for the
// banner, or null when the page has already been answered.
const char* DoAction(pappl_client_t* client, pappl_printer_t* printer) {
  cups_option_t* form = nullptr;
  const int count = papplClientGetForm(client, &form);
  const char* action = cupsGetOption("action", count, form);
  const char* message = "Unknown action.";
  if (count == 0 || !papplClientIsValidForm(client, count, form)) {
    message = "Invalid form submission.";
  } else if (action != nullptr && std::strcmp(action, "identify-printer") == 0) {
    IdentifyPrinter(printer, kIdentifyActions, "Hello.");
    message = "Printer identified.";
  } else if (action != nullptr && (std::strcmp(action, "pause-printer") == 0 ||
                                   std::strcmp(action, "resume-printer") == 0)) {
    // Stopping and starting the printer are the administrator's.
    if (!RequireAdmin(client, papplClientGetURI(client))) {
      cupsFreeOptions(count, form);
      return nullptr;
    }
    const bool pause = std::strcmp(action, "pause-printer") == 0;
    if (pause)
      papplPrinterPause(printer);
    else
      papplPrinterResume(printer);
    message = pause ? "Printer paused." : "Printer resuming.";
  }
  cupsFreeOptions(count, form);
  return message;
}

void ActionButton(pappl_client_t* client, const std::string& path, const char* action,
                  const char* label, bool admin) {
  papplClientHTMLStartForm(client, path.c_str(), false);
  papplClientHTMLPrintf(client, "<input type=\"hidden\" name=\"action\" value=\"%s\">", action);
  if (admin)
    papplClientHTMLPrintf(client, "<input type=\"submit\" value=\"%s\" title=\"%s\">",
                          ForAdmins(client, label).c_str(), Words(client, kAdminOnly).c_str());
  else
    papplClientHTMLPrintf(client, "<input type=\"submit\" value=\"%s\">",
                          Words(client, label).c_str());
  papplClientHTMLPuts(client, "</form>");
}

bool ShowPrinterPage(pappl_client_t* client, void* data) {
  auto* printer = static_cast<pappl_printer_t*>(data);
  const char* banner = nullptr;
  if (papplClientGetMethod(client) == HTTP_STATE_POST) {
    banner = DoAction(client, printer);
    if (banner == nullptr) return true;
  }
  papplClientHTMLPrinterHeader(client, printer, nullptr, RefreshFor(printer), nullptr, nullptr);
  if (banner != nullptr)
    papplClientHTMLPrintf(client, "<div class=\"banner\">%s</div>\n",
                          Words(client, banner).c_str());
  papplClientHTMLPuts(client, "<div class=\"row\"><div class=\"col-6\">\n");
  papplClientHTMLPrintf(client, "<h1 class=\"title\">%s</h1>\n", Words(client, "Status").c_str());
  ShowState(client, printer);
  const std::string home = PrinterPath(printer, nullptr) + "/";
  papplClientHTMLPrintf(client, "<div class=\"btn\"><a class=\"btn\" href=\"%s\">%s</a> ",
                        PrinterPath(printer, "qv46-status").c_str(),
                        Words(client, kStatusTitle).c_str());
  papplClientHTMLPrintf(client, "<a class=\"btn\" href=\"%s\">%s</a> ",
                        PrinterPath(printer, "supplies").c_str(),
                        Words(client, kSuppliesTitle).c_str());
  papplClientHTMLPrintf(client, "<a class=\"btn\" href=\"%s\">%s</a> ",
                        PrinterPath(printer, "media").c_str(), Words(client, "Media").c_str());
  ActionButton(client, home, "identify-printer", "Identify Printer", false);
  if (papplPrinterGetState(printer) == IPP_PSTATE_STOPPED)
    ActionButton(client, home, "resume-printer", "Resume Printing", true);
  else
    ActionButton(client, home, "pause-printer", "Pause Printing", true);
  papplClientHTMLPuts(client, "<br clear=\"all\"></div>\n");
  papplClientHTMLPrintf(
      client, "<h1 class=\"title\">%s</h1>\n<p class=\"qv46-admin-note\">%s</p><div class=\"btn\">",
      Words(client, "Configuration").c_str(), Words(client, kAdminOnly).c_str());
  AdminLink(client, PrinterPath(printer, "config"), "Configuration");
  AdminLink(client, PrinterPath(printer, "printing"), "Printing Defaults");
  AdminLink(client, PrinterPath(printer, "jobs"), "Jobs");
  papplClientHTMLPuts(client, "<br clear=\"all\"></div></div><div class=\"col-6\">\n");
  ShowJobs(client, printer);
  papplClientHTMLPuts(client, "</div></div>\n");
  papplClientHTMLPrinterFooter(client);
  return true;
}

void ShowPrinterOnHome(pappl_printer_t* printer, void* data) {
  auto* client = static_cast<pappl_client_t*>(data);
  papplClientHTMLPrintf(client, "<h2 class=\"title\"><a href=\"%s/\">%s</a></h2>\n",
                        PrinterPath(printer, nullptr).c_str(), papplPrinterGetName(printer));
  ShowState(client, printer);
}

void SmallestRefresh(pappl_printer_t* printer, void* data) {
  int* refresh = static_cast<int*>(data);
  *refresh = std::min(*refresh, RefreshFor(printer));
}

bool ShowHomePage(pappl_client_t* client, void* data) {
  auto* system = static_cast<pappl_system_t*>(data);
  if (!papplClientRespond(client, HTTP_STATUS_OK, nullptr, "text/html", 0, 0)) return false;
  int refresh = kQuietRefresh;
  papplSystemIteratePrinters(system, SmallestRefresh, &refresh);
  papplClientHTMLHeader(client, nullptr, refresh);
  papplClientHTMLPrintf(client,
                        "<div class=\"content\"><div class=\"row\"><div class=\"col-12\">"
                        "<h1 class=\"title\">%s</h1>\n",
                        Words(client, "Printers").c_str());
  papplSystemIteratePrinters(system, ShowPrinterOnHome, client);
  papplClientHTMLPrintf(client,
                        "<h1 class=\"title\">%s</h1>\n<p class=\"qv46-admin-note\">%s</p>"
                        "<div class=\"btn\">",
                        Words(client, "Configuration").c_str(), Words(client, kAdminOnly).c_str());
  AdminLink(client, "/config", "Configuration");
  papplClientHTMLPuts(client, "<br clear=\"all\"></div></div></div></div>\n");
  papplClientHTMLFooter(client);
  return true;
}

bool ShowStatusPage(pappl_client_t* client, void* data) {
  auto* printer = static_cast<pappl_printer_t*>(data);
  const PrinterReading reading = LastReading(printer);
  papplClientHTMLPrinterHeader(client, printer, kStatusTitle, RefreshFor(printer), nullptr,
                               nullptr);
  ShowState(client, printer);
  const std::string rows[][2] = {
      {Words(client, "Firmware Version"), reading.firmware.empty() ? "---" : reading.firmware},
      {Words(client, "Serial No."), reading.serial.empty() ? "---" : reading.serial},
      {Words(client, "Total Count"), Count(reading.totalCount)},
  };
  papplClientHTMLPuts(client, "<div class=\"row\"><table class=\"list\"><tbody>\n");
  for (const auto& row : rows) {
    papplClientHTMLPrintf(client, "<tr><th>%s</th><td>%s</td></tr>\n", row[0].c_str(),
                          row[1].c_str());
  }
  papplClientHTMLPuts(client, "</tbody></table></div>\n");
  papplClientHTMLPrinterFooter(client);
  return true;
}

// PAPPL's own supplies page shows the description as stored, in one
// language, and draws a multi-colour supply with a colour read from past the
// end of its table: this one speaks the browser's language, draws the
// ribbon's dyes and says the prints left.
bool ShowSuppliesPage(pappl_client_t* client, void* data) {
  auto* printer = static_cast<pappl_printer_t*>(data);
  const PrinterReading reading = LastReading(printer);
  papplClientHTMLPrinterHeader(client, printer, kSuppliesTitle, RefreshFor(printer), nullptr,
                               nullptr);
  // With no print left, the bar alone would not say why.
  const StatusWords& words = WordsForStatus(ShownStatus(printer, reading));
  if (words.rollUsedUp) ShowWords(client, words);
  papplClientHTMLPuts(client, "<table class=\"meter\" summary=\"Supplies\"><tbody>\n");
  const int level = SupplyLevel(reading);
  const std::string name = Words(client, kSupplyName);
  if (level < 0) {
    papplClientHTMLPrintf(client, "<tr><th>%s</th><td>---</td></tr>\n", name.c_str());
  } else {
    papplClientHTMLPrintf(
        client,
        "<tr><th>%s</th><td><span class=\"bar\" style=\"background: "
        "linear-gradient(to right, #0FF, #F0F, #FF0); padding: 0px %.1f%%;\" "
        "title=\"%d%%\"></span><span class=\"bar\" style=\"background: "
        "transparent; padding: 0px %.1f%%;\"></span></td></tr>\n"
        "<tr><th>%s</th><td><span class=\"qv46-prints\">%ld / %ld</span></td></tr>\n",
        name.c_str(), level * 0.5, level, 50.0 - level * 0.5, Words(client, kPrintsLeft).c_str(),
        PrintsLeft(reading), reading.initial);
  }
  papplClientHTMLPuts(client, "</tbody></table>\n");
  if (FewPrintsLeft(reading) && !words.rollUsedUp)
    papplClientHTMLPrintf(client, "<div class=\"banner qv46-warning\">%s</div>\n",
                          Words(client, kFewLeft).c_str());
  papplClientHTMLPrinterFooter(client);
  return true;
}

// The two looks a photographer picks from, as print-quality (which decides
// a job's resolution when the job names none) and the resolution it gives.
struct Look {
  ipp_quality_t quality;
  const char* keyword;
  int x, y;
};
constexpr Look kLooks[] = {{IPP_QUALITY_DRAFT, "draft", 300, 300},
                           {IPP_QUALITY_NORMAL, "normal", 300, 600}};

// The vendor defaults from the printer's form; false for a value out of range.
bool VendorDefaults(int count, cups_option_t* form, cups_option_t** vendor, int* numVendor) {
  size_t options = 0;
  const VendorOption* option = VendorOptions(&options);
  for (size_t i = 0; i < options; ++i) {
    const char* value = cupsGetOption(option[i].name, count, form);
    if (option[i].kind == VendorKind::kBoolean) {
      // An unticked box is not sent.
      value = value != nullptr ? "true" : "false";
    } else if (value == nullptr) {
      continue;
    } else if (option[i].kind == VendorKind::kRange) {
      char* end = nullptr;
      const long number = std::strtol(value, &end, 10);
      if (*value == '\0' || *end != '\0' || number < option[i].lower || number > option[i].upper)
        return false;
    }
    *numVendor = cupsAddOption(option[i].name, value, *numVendor, vendor);
  }
  return true;
}

const char* SaveDefaults(pappl_client_t* client, pappl_printer_t* printer) {
  cups_option_t* form = nullptr;
  const int count = papplClientGetForm(client, &form);
  const char* message = "Changes saved.";
  pappl_pr_driver_data_t data;
  papplPrinterGetDriverData(printer, &data);
  const char* look = cupsGetOption("print-quality", count, form);
  cups_option_t* vendor = nullptr;
  int numVendor = 0;
  if (count == 0 || !papplClientIsValidForm(client, count, form)) {
    message = "Invalid form submission.";
  } else if (!VendorDefaults(count, form, &vendor, &numVendor)) {
    message = "Bad printer defaults.";
  } else {
    for (const Look& choice : kLooks) {
      if (look != nullptr && std::strcmp(look, choice.keyword) == 0) {
        data.quality_default = choice.quality;
        data.x_default = choice.x;
        data.y_default = choice.y;
      }
    }
    if (!papplPrinterSetDriverDefaults(printer, &data, numVendor, vendor))
      message = "Bad printer defaults.";
  }
  cupsFreeOptions(numVendor, vendor);
  cupsFreeOptions(count, form);
  return message;
}

// The defaults in a photographer's terms: one choice of look, the finish,
// the switches, and each number with its range.
bool ShowDefaultsPage(pappl_client_t* client, void* data) {
  auto* printer = static_cast<pappl_printer_t*>(data);
  if (!RequireAdmin(client, PrinterPath(printer, nullptr) + "/")) return true;
  const char* banner =
      papplClientGetMethod(client) == HTTP_STATE_POST ? SaveDefaults(client, printer) : nullptr;
  pappl_pr_driver_data_t driver;
  papplPrinterGetDriverData(printer, &driver);
  papplClientHTMLPrinterHeader(client, printer, "Printing Defaults", 0, nullptr, nullptr);
  if (banner != nullptr)
    papplClientHTMLPrintf(client, "<div class=\"banner\">%s</div>\n",
                          Words(client, banner).c_str());
  papplClientHTMLStartForm(client, papplClientGetURI(client), false);
  papplClientHTMLPrintf(client, "<table class=\"form\"><tbody>\n<tr><th>%s:</th><td>",
                        Words(client, "print-quality").c_str());
  for (const Look& look : kLooks) {
    const std::string label = std::string("print-quality.") + look.keyword;
    papplClientHTMLPrintf(client,
                          "<label><input type=\"radio\" name=\"print-quality\" value=\"%s\"%s> "
                          "%s</label> ",
                          look.keyword, driver.quality_default == look.quality ? " checked" : "",
                          Words(client, label.c_str()).c_str());
  }
  papplClientHTMLPuts(client, "</td></tr>\n");
  ipp_t* attrs = papplPrinterGetDriverAttributes(printer);
  size_t options = 0;
  const VendorOption* option = VendorOptions(&options);
  for (size_t i = 0; i < options; ++i) {
    const std::string fallback = std::string(option[i].name) + "-default";
    char value[256] = "";
    ipp_attribute_t* attr = ippFindAttribute(attrs, fallback.c_str(), IPP_TAG_ZERO);
    if (attr != nullptr) ippAttributeString(attr, value, sizeof value);
    papplClientHTMLPrintf(client, "<tr><th>%s:</th><td>", Words(client, option[i].name).c_str());
    if (option[i].kind == VendorKind::kBoolean) {
      papplClientHTMLPrintf(client, "<input type=\"checkbox\" name=\"%s\"%s>", option[i].name,
                            std::strcmp(value, "true") == 0 ? " checked" : "");
    } else if (option[i].kind == VendorKind::kRange) {
      papplClientHTMLPrintf(client,
                            "<input type=\"number\" name=\"%s\" min=\"%d\" max=\"%d\" "
                            "value=\"%s\"> %d &ndash; %d",
                            option[i].name, option[i].lower, option[i].upper, value,
                            option[i].lower, option[i].upper);
    } else {
      papplClientHTMLPrintf(client, "<select name=\"%s\">", option[i].name);
      for (const char* keyword : FinishKeywords()) {
        const std::string label = std::string(option[i].name) + "." + keyword;
        papplClientHTMLPrintf(client, "<option value=\"%s\"%s>%s</option>", keyword,
                              std::strcmp(value, keyword) == 0 ? " selected" : "",
                              Words(client, label.c_str()).c_str());
      }
      papplClientHTMLPuts(client, "</select>");
    }
    papplClientHTMLPuts(client, "</td></tr>\n");
  }
  ippDelete(attrs);
  papplClientHTMLPrintf(client,
                        "<tr><th></th><td><input type=\"submit\" value=\"%s\"></td></tr>\n"
                        "</tbody></table></form>\n",
                        Words(client, "Save Changes").c_str());
  papplClientHTMLPrinterFooter(client);
  return true;
}

// The loaded stock is the printer's to say (it reads the roll); a choice
// here would be put back at the next reading.
bool ShowMediaPage(pappl_client_t* client, void* data) {
  auto* printer = static_cast<pappl_printer_t*>(data);
  papplClientHTMLPrinterHeader(client, printer, "Media", RefreshFor(printer), nullptr, nullptr);
  ShowState(client, printer);
  papplClientHTMLPrintf(client, "<p>%s</p>\n", Words(client, kStockByPrinter).c_str());
  papplClientHTMLPrinterFooter(client);
  return true;
}

void ReplacePage(pappl_printer_t* printer, const char* subpath, pappl_resource_cb_t page) {
  pappl_system_t* system = papplPrinterGetSystem(printer);
  const std::string path =
      subpath != nullptr ? PrinterPath(printer, subpath) : PrinterPath(printer, nullptr) + "/";
  papplSystemRemoveResource(system, path.c_str());
  papplSystemAddResourceCallback(system, path.c_str(), "text/html", page, printer);
}

// The monitor's words where PAPPL's pages and IPP clients show a state, a
// reason or the loaded stock, so that each has one name everywhere.
void UseStateWords(pappl_system_t* system) {
  struct Alias {
    const char* key;
    const char* word;
  };
  const Alias aliases[] = {
      {"printer-state.3", WordsForStatus(0).word},
      {"printer-state.4", WordsForStatus(1).word},
      {"printer-state-reasons.cover-open", WordsForStatus(1000).word},
      {"printer-state-reasons.media-empty", WordsForStatus(1100).word},
      {"printer-state-reasons.marker-supply-empty", WordsForStatus(1200).word},
      {"printer-state-reasons.media-jam", WordsForStatus(1300).word},
      {"printer-state-reasons.offline", WordsForStatus(kOfflineStatus).word},
      {"printer-state-reasons.marker-supply-low", kFewLeft},
  };
  size_t stocks = 0;
  const LoadedStock* stock = LoadedStocks(&stocks);
  for (const AppStrings& strings : kAppStrings) {
    pappl_loc_t* loc = papplSystemFindLoc(system, strings.language);
    for (const Alias& alias : aliases)
      SetCatalogueText(system, strings.language, alias.key, papplLocGetString(loc, alias.word));
    for (size_t i = 0; i < stocks; ++i) {
      SetCatalogueText(system, strings.language, std::string("media.") + stock[i].pwgName,
                       papplLocGetString(loc, stock[i].text));
    }
  }
}

}  // namespace

void AddSystemPages(pappl_system_t* system) {
  for (const StatePicture& picture : kStatePictures) {
    const std::string path = std::string(kPicturePath) + picture.name + ".png";
    papplSystemAddResourceData(system, path.c_str(), "image/png", picture.png.data,
                               picture.png.size);
  }
  // Added before PAPPL adds its own home page, so it takes the path.
  papplSystemAddResourceCallback(system, "/", "text/html", ShowHomePage, system);
  papplSystemAddResourceCallback(system, kLoginGate, "text/html", ShowLoginGate, nullptr);
  UseStateWords(system);
}

void AddPrinterPages(pappl_printer_t* printer) {
  ReplacePage(printer, nullptr, ShowPrinterPage);
  ReplacePage(printer, "qv46-status", ShowStatusPage);
  ReplacePage(printer, "supplies", ShowSuppliesPage);
  ReplacePage(printer, "media", ShowMediaPage);
  ReplacePage(printer, "printing", ShowDefaultsPage);
  papplPrinterRemoveLink(printer, "Supplies");
  papplPrinterRemoveLink(printer, kStatusTitle);
  papplPrinterAddLink(
      printer, kStatusTitle, PrinterPath(printer, "qv46-status").c_str(),
      static_cast<pappl_loptions_t>(PAPPL_LOPTIONS_NAVIGATION | PAPPL_LOPTIONS_STATUS));
  // The navigation's link to the defaults says who they are for and leads
  // to the login first.
  papplPrinterRemoveLink(printer, "Printing Defaults");
  papplPrinterRemoveLink(printer, kDefaultsLink);
  papplPrinterAddLink(
      printer, kDefaultsLink,
      (std::string(kLoginGate) + "?next=" + PrinterPath(printer, "printing")).c_str(),
      PAPPL_LOPTIONS_NAVIGATION);
  papplPrinterRemoveLink(printer, kSuppliesTitle);
  papplPrinterAddLink(printer, kSuppliesTitle, PrinterPath(printer, "supplies").c_str(),
                      PAPPL_LOPTIONS_STATUS);
}
