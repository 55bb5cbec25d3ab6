// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printer-app/Pages.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <list>
#include <mutex>
#include <string>
#include <utility>
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

// One row of a two-column table: the heading and the cell, as text or as
// HTML of the app's own.
struct TableRow {
  std::string heading;
  std::string cell;
  bool html;
};

void ShowTable(pappl_client_t* client, const char* tableClass,
               std::initializer_list<TableRow> rows) {
  papplClientHTMLPrintf(client, "<table class=\"%s\"><tbody>\n", tableClass);
  for (const TableRow& row : rows) {
    papplClientHTMLPrintf(client, "<tr><th>%s</th><td>", row.heading.c_str());
    if (row.html)
      papplClientHTMLPuts(client, row.cell.c_str());
    else
      papplClientHTMLPrintf(client, "%s", row.cell.c_str());
    papplClientHTMLPuts(client, "</td></tr>\n");
  }
  papplClientHTMLPuts(client, "</tbody></table>\n");
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
  // The login goes through the gate, which comes back to this page; the
  // gate's own page asks again.
  const std::string uri = papplClientGetURI(client);
  const std::string login = uri == kLoginGate ? "" : std::string(kLoginGate) + "?next=" + uri;
  if (!papplClientRespond(client, status, nullptr, "text/html", 0, 0)) return;
  papplClientHTMLHeader(client, "Log In", 0);
  papplClientHTMLPrintf(
      client,
      "<div class=\"content\"><div class=\"row\"><div class=\"col-12\">"
      "<h1 class=\"title\">%s</h1>\n<p class=\"qv46-login\">%s</p>\n"
      "<p><a class=\"btn\" href=\"%s\">%s</a> <a class=\"btn\" href=\"%s\">%s</a></p>"
      "</div></div></div>\n",
      Words(client, "Log In").c_str(), Words(client, refused ? kNoAdmin : kLogInAsAdmin).c_str(),
      login.c_str(), Words(client, "Log In").c_str(), back.c_str(), Words(client, "Back").c_str());
  papplClientHTMLFooter(client);
}

// True for an administrator; else the login page has been sent.
bool RequireAdmin(pappl_client_t* client, const std::string& back) {
  const http_status_t status = papplClientIsAuthorized(client);
  if (status == HTTP_STATUS_CONTINUE) return true;
  // A refused form is read first (PAPPL stops at 2 MB): with its body unread
  // the connection ends in a reset that the answer does not outrun. A form
  // the caller has read already is not read again: that would end the
  // connection before the answer.
  if (papplClientGetMethod(client) == HTTP_STATE_POST &&
      httpGetRemaining(papplClientGetHTTP(client)) > 0) {
    cups_option_t* unread = nullptr;
    cupsFreeOptions(papplClientGetForm(client, &unread), unread);
  }
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

// PAPPL's own pages for administrators answer a missing login with a bare
// "401 - Unauthorized": in front of each, the login page, which says who the
// page is for and leads to the login; an administrator gets PAPPL's page.
struct Gate {
  PapplPage page;
  void* data;
  std::string back;
};

bool PassGate(pappl_client_t* client, void* data) {
  const auto* gate = static_cast<const Gate*>(data);
  if (RequireAdmin(client, gate->back)) gate->page(client, gate->data);
  return true;
}

// Puts the gate in front of PAPPL's page `name` at `path`, which PAPPL
// serves (or will serve, once the system runs) with `data`.
void GuardPapplPage(pappl_system_t* system, const std::string& path, const char* name, void* data,
                    const std::string& back) {
  const PapplPage page = FindPapplPage(name);
  if (page == nullptr) return;
  // Every gate stays while the app runs: PAPPL keeps a pointer to it.
  static std::mutex lock;
  static std::list<Gate> gates;
  Gate* gate = nullptr;
  {
    std::lock_guard<std::mutex> hold(lock);
    gate = &gates.emplace_back(Gate{page, data, back});
  }
  papplSystemRemoveResource(system, path.c_str());
  papplSystemAddResourceCallback(system, path.c_str(), "text/html", PassGate, gate);
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
  bool named;              // names and owners shown
  std::string cancelPage;  // the page whose form cancels a job; "" for none
};

void ShowJob(pappl_job_t* job, void* data) {
  const auto& list = *static_cast<const JobList*>(data);
  pappl_client_t* client = list.client;
  const ipp_jstate_t jobState = papplJobGetState(job);
  const std::string state = "job-state." + std::to_string(jobState);
  // PAPPL names a job without a name "Untitled", in English.
  constexpr char kUntitled[] = "Untitled";
  const char* name = papplJobGetName(job);
  const std::string shown = !list.named ? "-"
                            : name == nullptr || std::strcmp(name, kUntitled) == 0
                                ? Words(client, kUntitled)
                                : std::string(name);
  papplClientHTMLPrintf(client, "<tr><td>%d</td><td>%s</td><td>%s</td><td>%d</td><td>%s</td>",
                        papplJobGetID(job), shown.c_str(),
                        list.named ? papplJobGetUsername(job) : "-",
                        papplJobGetImpressionsCompleted(job), Words(client, state.c_str()).c_str());
  if (!list.cancelPage.empty()) {
    papplClientHTMLPuts(client, "<td>");
    // Held jobs wait their turn in the printer's queue: cancelling is the
    // one thing done to a job here.
    if (jobState < IPP_JSTATE_STOPPED) {
      papplClientHTMLStartForm(client, list.cancelPage.c_str(), false);
      papplClientHTMLPrintf(client,
                            "<input type=\"hidden\" name=\"job-id\" value=\"%d\">"
                            "<input type=\"submit\" value=\"%s\"></form>",
                            papplJobGetID(job), Words(client, "Cancel Job").c_str());
    }
    papplClientHTMLPuts(client, "</td>");
  }
  papplClientHTMLPuts(client, "</tr>\n");
}

void ShowJobs(pappl_client_t* client, pappl_printer_t* printer, const JobList& list, int shown) {
  if (papplPrinterGetNumberOfJobs(printer) == 0) {
    papplClientHTMLPrintf(client, "<p>%s</p>\n", Words(client, "No jobs in history.").c_str());
    return;
  }
  papplClientHTMLPrintf(client,
                        "<table class=\"list\"><thead><tr><th>%s</th><th>%s</th><th>%s</th>"
                        "<th>%s</th><th>%s</th>%s</tr></thead><tbody>\n",
                        Words(client, "Job #").c_str(), Words(client, "Name").c_str(),
                        Words(client, "Owner").c_str(), Words(client, "Pages Completed").c_str(),
                        Words(client, "Status").c_str(),
                        list.cancelPage.empty() ? "" : "<th></th>");
  papplPrinterIterateAllJobs(printer, ShowJob, const_cast<JobList*>(&list), 1, shown);
  papplClientHTMLPuts(client, "</tbody></table>\n");
}

// The printer's jobs for an administrator, each still to print with a
// button that cancels it; PAPPL's page names a job without a name in English.
bool ShowJobsPage(pappl_client_t* client, void* data) {
  auto* printer = static_cast<pappl_printer_t*>(data);
  if (!RequireAdmin(client, PrinterPath(printer, nullptr) + "/")) return true;
  const std::string path = PrinterPath(printer, "jobs");
  const char* banner = nullptr;
  if (papplClientGetMethod(client) == HTTP_STATE_POST) {
    cups_option_t* form = nullptr;
    const int count = papplClientGetForm(client, &form);
    const char* id = cupsGetOption("job-id", count, form);
    pappl_job_t* job = id != nullptr ? papplPrinterFindJob(printer, std::atoi(id)) : nullptr;
    if (count == 0 || !papplClientIsValidForm(client, count, form)) {
      banner = "Invalid form submission.";
    } else if (job == nullptr) {
      banner = "Invalid Job ID.";
    } else {
      papplJobCancel(job);
      banner = "Job canceled.";
    }
    cupsFreeOptions(count, form);
  }
  constexpr int kShownJobs = 100;
  papplClientHTMLPrinterHeader(client, printer, "Jobs",
                               papplPrinterGetState(printer) == IPP_PSTATE_PROCESSING ? 10 : 0,
                               nullptr, nullptr);
  if (banner != nullptr)
    papplClientHTMLPrintf(client, "<div class=\"banner\">%s</div>\n",
                          Words(client, banner).c_str());
  ShowJobs(client, printer, {client, true, path}, kShownJobs);
  papplClientHTMLPrinterFooter(client);
  return true;
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
  papplClientHTMLPrintf(client, "<h1 class=\"title\">%s</h1>\n", Words(client, "Jobs").c_str());
  // What others print is theirs: names and owners only for an administrator
  // who sent a login (no login asks for nothing and costs nothing).
  const char* login = httpGetField(papplClientGetHTTP(client), HTTP_FIELD_AUTHORIZATION);
  constexpr int kShownJobs = 10;
  ShowJobs(client, printer,
           {client,
            login != nullptr && *login != '\0' &&
                papplClientIsAuthorized(client) == HTTP_STATUS_CONTINUE,
            ""},
           kShownJobs);
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
  papplClientHTMLPuts(client, "<div class=\"row\">");
  ShowTable(client, "list",
            {{Words(client, "Firmware Version"),
              reading.firmware.empty() ? "---" : reading.firmware, false},
             {Words(client, "Serial No."), reading.serial.empty() ? "---" : reading.serial, false},
             {Words(client, "Total Count"), Count(reading.totalCount), false}});
  papplClientHTMLPuts(client, "</div>\n");
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
  const int level = SupplyLevel(reading);
  const std::string name = Words(client, kSupplyName);
  if (level < 0) {
    ShowTable(client, "meter", {{name, "---", false}});
  } else {
    char bar[320];
    std::snprintf(bar, sizeof bar,
                  "<span class=\"bar\" style=\"background: linear-gradient(to right, #0FF, "
                  "#F0F, #FF0); padding: 0px %.1f%%;\" title=\"%d%%\"></span><span "
                  "class=\"bar\" style=\"background: transparent; padding: 0px %.1f%%;\"></span>",
                  level * 0.5, level, 50.0 - level * 0.5);
    const std::string prints = "<span class=\"qv46-prints\">" +
                               std::to_string(PrintsLeft(reading)) + " / " +
                               std::to_string(reading.initial) + "</span>";
    ShowTable(client, "meter", {{name, bar, true}, {Words(client, kPrintsLeft), prints, true}});
  }
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

// Who and where the server or a printer is, as PAPPL's configuration form
// asks, in the browser's language: PAPPL writes "Save Changes", "latitude"
// and "longitude" into its form in English. The calls that read and set
// each value, for the server or for a printer.
template <typename Object>
struct About {
  char* (*dnsSdName)(Object*, char*, size_t);
  void (*setDnsSdName)(Object*, const char*);
  char* (*location)(Object*, char*, size_t);
  void (*setLocation)(Object*, const char*);
  char* (*geoLocation)(Object*, char*, size_t);
  void (*setGeoLocation)(Object*, const char*);
  char* (*organization)(Object*, char*, size_t);
  void (*setOrganization)(Object*, const char*);
  char* (*unit)(Object*, char*, size_t);
  void (*setUnit)(Object*, const char*);
  pappl_contact_t* (*contact)(Object*, pappl_contact_t*);
  void (*setContact)(Object*, pappl_contact_t*);
};

constexpr About<pappl_system_t> kAboutSystem = {
    papplSystemGetDNSSDName,          papplSystemSetDNSSDName,    papplSystemGetLocation,
    papplSystemSetLocation,           papplSystemGetGeoLocation,  papplSystemSetGeoLocation,
    papplSystemGetOrganization,       papplSystemSetOrganization, papplSystemGetOrganizationalUnit,
    papplSystemSetOrganizationalUnit, papplSystemGetContact,      papplSystemSetContact};
constexpr About<pappl_printer_t> kAboutPrinter = {papplPrinterGetDNSSDName,
                                                  papplPrinterSetDNSSDName,
                                                  papplPrinterGetLocation,
                                                  papplPrinterSetLocation,
                                                  papplPrinterGetGeoLocation,
                                                  papplPrinterSetGeoLocation,
                                                  papplPrinterGetOrganization,
                                                  papplPrinterSetOrganization,
                                                  papplPrinterGetOrganizationalUnit,
                                                  papplPrinterSetOrganizationalUnit,
                                                  papplPrinterGetContact,
                                                  papplPrinterSetContact};

// The form's values, as PAPPL's own form sets them: an empty text unsets.
template <typename Object>
void SaveAbout(Object* object, const About<Object>& about, int count, cups_option_t* form) {
  const auto text = [&](const char* name, void (*set)(Object*, const char*)) {
    const char* value = cupsGetOption(name, count, form);
    if (value != nullptr) set(object, *value != '\0' ? value : nullptr);
  };
  text("dns_sd_name", about.setDnsSdName);
  text("location", about.setLocation);
  text("organization", about.setOrganization);
  text("organizational_unit", about.setUnit);
  const char* lat = cupsGetOption("geo_location_lat", count, form);
  const char* lon = cupsGetOption("geo_location_lon", count, form);
  if (lat != nullptr && lon != nullptr) {
    char uri[128];
    std::snprintf(uri, sizeof uri, "geo:%g,%g", std::strtod(lat, nullptr),
                  std::strtod(lon, nullptr));
    about.setGeoLocation(object, *lat != '\0' && *lon != '\0' ? uri : nullptr);
  }
  pappl_contact_t contact{};
  const std::pair<const char*, std::pair<char*, size_t>> fields[] = {
      {"contact_name", {contact.name, sizeof contact.name}},
      {"contact_email", {contact.email, sizeof contact.email}},
      {"contact_telephone", {contact.telephone, sizeof contact.telephone}}};
  bool given = false;
  for (const auto& [name, field] : fields) {
    const char* value = cupsGetOption(name, count, form);
    if (value == nullptr) continue;
    given = true;
    std::snprintf(field.first, field.second, "%s", value);
  }
  if (given) about.setContact(object, &contact);
}

template <typename Object>
void ShowAboutForm(pappl_client_t* client, Object* object, const About<Object>& about,
                   const char* banner) {
  if (banner != nullptr)
    papplClientHTMLPrintf(client, "<div class=\"banner\">%s</div>\n",
                          Words(client, banner).c_str());
  char name[256] = "", location[256] = "", geo[256] = "", organization[256] = "", unit[256] = "";
  about.dnsSdName(object, name, sizeof name);
  about.location(object, location, sizeof location);
  about.geoLocation(object, geo, sizeof geo);
  about.organization(object, organization, sizeof organization);
  about.unit(object, unit, sizeof unit);
  pappl_contact_t contact{};
  about.contact(object, &contact);
  // No position shows empty fields, which keep it unset.
  double lat = 0.0, lon = 0.0;
  char latText[32] = "", lonText[32] = "";
  if (std::sscanf(geo, "geo:%lf,%lf", &lat, &lon) == 2) {
    std::snprintf(latText, sizeof latText, "%.4f", lat);
    std::snprintf(lonText, sizeof lonText, "%.4f", lon);
  }
  papplClientHTMLStartForm(client, papplClientGetURI(client), false);
  papplClientHTMLPrintf(
      client,
      "<table class=\"form\"><tbody>\n"
      "<tr><th>%s:</th><td><input type=\"text\" name=\"dns_sd_name\" value=\"%s\"></td></tr>\n"
      "<tr><th>%s:</th><td><input type=\"text\" name=\"location\" value=\"%s\"></td></tr>\n"
      "<tr><th>%s:</th><td><input type=\"number\" name=\"geo_location_lat\" min=\"-90\" "
      "max=\"90\" step=\"0.0001\" value=\"%s\">&nbsp;&deg;</td></tr>\n"
      "<tr><th>%s:</th><td><input type=\"number\" name=\"geo_location_lon\" min=\"-180\" "
      "max=\"180\" step=\"0.0001\" value=\"%s\">&nbsp;&deg;</td></tr>\n"
      "<tr><th>%s:</th><td><input type=\"text\" name=\"organization\" value=\"%s\"><br>\n"
      "<input type=\"text\" name=\"organizational_unit\" placeholder=\"%s\" "
      "value=\"%s\"></td></tr>\n"
      "<tr><th>%s:</th><td><input type=\"text\" name=\"contact_name\" placeholder=\"%s\" "
      "value=\"%s\"><br>\n<input type=\"email\" name=\"contact_email\" placeholder=\"%s\" "
      "value=\"%s\"><br>\n<input type=\"tel\" name=\"contact_telephone\" placeholder=\"%s\" "
      "value=\"%s\"></td></tr>\n"
      "<tr><th></th><td><input type=\"submit\" value=\"%s\"></td></tr>\n"
      "</tbody></table></form>\n",
      Words(client, "Name").c_str(), name, Words(client, "Location").c_str(), location,
      Words(client, "Latitude").c_str(), latText, Words(client, "Longitude").c_str(), lonText,
      Words(client, "Organization").c_str(), organization,
      Words(client, "Organizational Unit").c_str(), unit, Words(client, "Contact").c_str(),
      Words(client, "Name").c_str(), contact.name, Words(client, "Email").c_str(), contact.email,
      Words(client, "Telephone").c_str(), contact.telephone, Words(client, "Save Changes").c_str());
}

// The form's values saved; the banner's message.
template <typename Object>
const char* AboutFormPosted(pappl_client_t* client, Object* object, const About<Object>& about) {
  if (papplClientGetMethod(client) != HTTP_STATE_POST) return nullptr;
  cups_option_t* form = nullptr;
  const int count = papplClientGetForm(client, &form);
  const char* message = "Changes saved.";
  if (count == 0 || !papplClientIsValidForm(client, count, form))
    message = "Invalid form submission.";
  else
    SaveAbout(object, about, count, form);
  cupsFreeOptions(count, form);
  return message;
}

bool ShowSystemConfigPage(pappl_client_t* client, void* data) {
  auto* system = static_cast<pappl_system_t*>(data);
  if (!RequireAdmin(client, "/")) return true;
  const char* banner = AboutFormPosted(client, system, kAboutSystem);
  if (!papplClientRespond(client, HTTP_STATUS_OK, nullptr, "text/html", 0, 0)) return false;
  papplClientHTMLHeader(client, "Configuration", 0);
  papplClientHTMLPrintf(client,
                        "<div class=\"content\"><div class=\"row\"><div class=\"col-12\">"
                        "<h1 class=\"title\">%s</h1>\n",
                        Words(client, "Configuration").c_str());
  ShowAboutForm(client, system, kAboutSystem, banner);
  papplClientHTMLPuts(client, "</div></div></div>\n");
  papplClientHTMLFooter(client);
  return true;
}

bool ShowPrinterConfigPage(pappl_client_t* client, void* data) {
  auto* printer = static_cast<pappl_printer_t*>(data);
  if (!RequireAdmin(client, PrinterPath(printer, nullptr) + "/")) return true;
  const char* banner = AboutFormPosted(client, printer, kAboutPrinter);
  papplClientHTMLPrinterHeader(client, printer, "Configuration", 0, nullptr, nullptr);
  ShowAboutForm(client, printer, kAboutPrinter, banner);
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
  // Added before PAPPL adds its own, so it takes the path.
  papplSystemAddResourceCallback(system, "/config", "text/html", ShowSystemConfigPage, system);
  UseStateWords(system);
}

void AddPrinterPages(pappl_printer_t* printer) {
  ReplacePage(printer, nullptr, ShowPrinterPage);
  ReplacePage(printer, "qv46-status", ShowStatusPage);
  ReplacePage(printer, "supplies", ShowSuppliesPage);
  ReplacePage(printer, "media", ShowMediaPage);
  ReplacePage(printer, "printing", ShowDefaultsPage);
  const std::string home = PrinterPath(printer, nullptr) + "/";
  ReplacePage(printer, "jobs", ShowJobsPage);
  ReplacePage(printer, "config", ShowPrinterConfigPage);
  const std::pair<const char*, const char*> papplPages[] = {
      {"delete", "_papplPrinterWebDelete"},
      {"cancelall", "_papplPrinterWebCancelAllJobs"},
  };
  for (const auto& [subpath, name] : papplPages)
    GuardPapplPage(papplPrinterGetSystem(printer), PrinterPath(printer, subpath), name, printer,
                   home);
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
