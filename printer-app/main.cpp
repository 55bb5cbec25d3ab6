// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// qv46-printer-app: the QV-46 as an IPP Everywhere printer, on PAPPL.
#include <fcntl.h>
#include <netinet/in.h>
#include <pappl/pappl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "printer-app/AcceptedJobs.h"
#include "printer-app/Access.h"
#include "printer-app/CommandSocket.h"
#include "printer-app/Driver.h"
#include "printer-app/HotPlug.h"
#include "printer-app/Icons.h"
#include "printer-app/ImageJob.h"
#include "printer-app/JobQueue.h"
#include "printer-app/Pages.h"
#include "printer-app/PapplFaults.h"
#include "printer-app/PrintPage.h"
#include "printer-app/PrinterStatus.h"
#include "printer-app/RasterJob.h"
#include "printer-app/SpoolSpace.h"
#include "printer-app/Stopping.h"
#include "printer-app/UsbScheme.h"

namespace {

constexpr char kName[] = "qv46-printer-app";
constexpr char kSystemName[] = "QV-46 Printer Application";
// How often idle printers are asked for their state, unless
// status-interval-ms says otherwise.
constexpr long kStatusIntervalMs = 2000;
constexpr long kMinStatusIntervalMs = 10;
constexpr long kMaxStatusIntervalMs = 60000;
// How long a refused administrator login is held back, unless
// login-refusal-ms says otherwise (tests shorten it).
constexpr long kLoginRefusalMs = 2000;
constexpr long kMinLoginRefusalMs = 10;
constexpr long kMaxLoginRefusalMs = 60000;
constexpr char kAvahiSocket[] = "/run/avahi-daemon/socket";
// Administration as CUPS grants it: members of lpadmin, by their password.
constexpr char kAdminGroup[] = "lpadmin";
// PAPPL 1.3 looks up the footer in its catalogue and fails on none.
constexpr char kFooter[] = "VALDREN QV-46 Printer Application";

pappl_pr_driver_t gDrivers[] = {{kDriverName, kMakeAndModel, "MFG:VALDREN;MDL:QV-46;", nullptr}};

pappl_loglevel_t LogLevel(const char* text) {
  constexpr struct {
    const char* name;
    pappl_loglevel_t level;
  } kLevels[] = {{"fatal", PAPPL_LOGLEVEL_FATAL},
                 {"error", PAPPL_LOGLEVEL_ERROR},
                 {"warn", PAPPL_LOGLEVEL_WARN},
                 {"info", PAPPL_LOGLEVEL_INFO},
                 {"debug", PAPPL_LOGLEVEL_DEBUG}};
  for (const auto& level : kLevels) {
    if (text != nullptr && std::strcmp(text, level.name) == 0) return level.level;
  }
  return PAPPL_LOGLEVEL_WARN;
}

// PAPPL listens on whichever of 127.0.0.1 and ::1 is free, so a second
// server on a port already served would start beside the first.
bool PortIsFree(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const int yes = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  const bool free = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return free;
}

// Where jobs, the state and photos sent from the print page are kept.
std::string gSpool;
std::string gStatePath;

// PAPPL saves from its loop and the stopper saves once more at the end; the
// last save is the last write, so the process never ends in the middle of
// one.
std::mutex gSaveMutex;
bool gFinalSaveDone = false;

// PAPPL writes the state in place; written beside it and renamed over it, a
// process killed while saving leaves the last state whole. The marks of jobs
// that ended before it was written go once it is in place.
bool SaveWhole(pappl_system_t* system, const std::string& path) {
  const std::vector<std::string> ended = MarksOfEndedJobs(system, gSpool);
  const std::string partial = path + ".partial";
  if (!papplSystemSaveState(system, partial.c_str()) ||
      std::rename(partial.c_str(), path.c_str()) != 0)
    return false;
  for (const std::string& mark : ended) unlink(mark.c_str());
  return true;
}

bool SaveState(pappl_system_t* system, void* path) {
  std::lock_guard<std::mutex> lock(gSaveMutex);
  return gFinalSaveDone || SaveWhole(system, static_cast<const char*>(path));
}

void SaveFinalState(pappl_system_t* system, const std::string& path) {
  std::lock_guard<std::mutex> lock(gSaveMutex);
  SaveWhole(system, path);
  gFinalSaveDone = true;
}

bool gNetwork = true;

void CompletePrinter(pappl_printer_t* printer) {
  AddPrinterPages(printer);
  AddPrintPage(printer, gSpool);
  Advertise(printer, gNetwork);
  JobQueue::Manage(printer);
  // Saved at once (PAPPL saves nothing for a printer added before its loop
  // runs): a job accepted for it is adopted at the next start only when the
  // saved state knows the printer.
  SaveState(papplPrinterGetSystem(printer), &gStatePath[0]);
}

void Collect(pappl_printer_t* printer, void* data) {
  static_cast<std::vector<pappl_printer_t*>*>(data)->push_back(printer);
}

std::string Option(const char* name, int numOptions, cups_option_t* options, const char* fallback) {
  const char* value = cupsGetOption(name, numOptions, options);
  return value != nullptr ? value : fallback;
}

// A time in milliseconds, held within [least, most].
std::chrono::milliseconds MsOption(const char* name, int numOptions, cups_option_t* options,
                                   long fallback, long least, long most) {
  const char* value = cupsGetOption(name, numOptions, options);
  return std::chrono::milliseconds(
      std::clamp(value != nullptr ? std::strtol(value, nullptr, 10) : fallback, least, most));
}

// PAPPL 1.3's own page lists network printers through avahi and aborts the
// process when avahi-daemon is not running; QV-46 printers are added when
// they are plugged in anyway.
bool ShowAddPrinterPage(pappl_client_t* client, void*) {
  if (!papplClientRespond(client, HTTP_STATUS_OK, nullptr, "text/html", 0, 0)) return false;
  papplClientHTMLHeader(client, "Add Printer", 0);
  papplClientHTMLPuts(client,
                      "<div class=\"content\"><div class=\"row\"><div class=\"col-12\">"
                      "<h1 class=\"title\">Add Printer</h1><p>QV-46 printers are added when "
                      "they are plugged in. Network printers cannot be listed: the avahi "
                      "daemon is not running.</p></div></div></div>\n");
  papplClientHTMLFooter(client);
  return true;
}

void Usage(void*) {
  std::printf("Usage: %s SUB-COMMAND [OPTIONS]\n", kName);
  std::printf("Runs the VALDREN QV-46 printer application; see qv46-printer-app(8).\n");
}

// The spool and state of a server a user starts without spool-directory:
// "qv46-printer-app" in the user's runtime directory, or a new directory of
// its own in /tmp when there is none (a fixed name there could be made
// first by another user, with a state of theirs in it). "" when the runtime
// one is not the user's own: a link, another's, or open to others.
std::string UserSpoolDirectory() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime == nullptr || *runtime == '\0') {
    std::string made = "/tmp/" + std::string(kName) + std::to_string(getuid()) + ".XXXXXX";
    return mkdtemp(&made[0]) != nullptr ? made : std::string();
  }
  const std::string dir = std::string(runtime) + "/" + kName;
  mkdir(dir.c_str(), 0700);
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return std::string();
  struct stat info;
  const bool own = fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid() &&
                   (info.st_mode & 077) == 0;
  close(fd);
  return own ? dir : std::string();
}

pappl_system_t* CreateSystem(int numOptions, cups_option_t* options, void*) {
  // Before any thread exists, so that only the stopper takes these signals.
  BlockStopSignals();
  // The state lives in the spool directory, so separate instances never
  // share it.
  std::string& spool = gSpool;
  const char* given = cupsGetOption("spool-directory", numOptions, options);
  spool = given != nullptr ? given
          : getuid() == 0  ? std::string("/var/spool/") + kName
                           : UserSpoolDirectory();
  if (spool.empty()) {
    std::fprintf(stderr,
                 "%s: no spool directory of this user's own ($XDG_RUNTIME_DIR/%s must be "
                 "a directory of this user, mode 0700, not a link); or give spool-directory.\n",
                 kName, kName);
    return nullptr;
  }
  mkdir(spool.c_str(), 0700);
  std::string& statePath = gStatePath;
  statePath = spool + "/" + kName + ".state";
  const char* portText = cupsGetOption("server-port", numOptions, options);
  const int port = portText != nullptr ? std::atoi(portText) : 8000;
  const bool isPrivate = cupsGetOption("private-server", numOptions, options) != nullptr;
  if (!isPrivate && !PortIsFree(port)) {
    std::fprintf(stderr, "%s: port %d is in use.\n", kName, port);
    return nullptr;
  }
  pappl_system_t* system = papplSystemCreate(
      static_cast<pappl_soptions_t>(PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE),
      kSystemName, port, "_print,_universal", spool.c_str(),
      cupsGetOption("log-file", numOptions, options),
      LogLevel(cupsGetOption("log-level", numOptions, options)), nullptr, false);
  if (system == nullptr) return nullptr;
  const char* serverHostname = cupsGetOption("server-hostname", numOptions, options);
  if (serverHostname != nullptr) papplSystemSetHostName(system, serverHostname);
  const std::string listen = Option("listen-hostname", numOptions, options, "*");
  // A server the command line starts for itself (private-server) has only
  // the command socket; a port another server holds is an error, not a
  // second server.
  gNetwork = !isPrivate && ServesNetwork(listen);
  if (!isPrivate && !Listen(system, listen)) {
    std::fprintf(stderr, "%s: cannot listen on port %d.\n", kName, port);
    papplSystemDelete(system);
    return nullptr;
  }
  // The one name that reaches a server on the loopback addresses alone, for
  // the addresses the app gives out (printer-strings-uri).
  if (!isPrivate && !gNetwork && serverHostname == nullptr)
    papplSystemSetHostName(system, "localhost");
  RequireAdminLogin(system, {Option("auth-service", numOptions, options, kName),
                             Option("pam-config-dir", numOptions, options, ""),
                             Option("admin-group", numOptions, options, kAdminGroup),
                             MsOption("login-refusal-ms", numOptions, options, kLoginRefusalMs,
                                      kMinLoginRefusalMs, kMaxLoginRefusalMs)});
  if (!KeepTlsCredentialsIn(
          system, Option("tls-directory", numOptions, options, (spool + "/ssl").c_str()))) {
    std::fprintf(stderr, "%s: cannot make the TLS key folder.\n", kName);
    papplSystemDelete(system);
    return nullptr;
  }

  AddAppStrings(system);
  AddSystemPages(system);
  AddSystemIcons(system);
  AddQv46Scheme();
  papplSystemSetPrinterDrivers(system, 1, gDrivers, nullptr, nullptr, DriverCallback, nullptr);
  // PAPPL looks for filters to the driver's format first, so these come
  // before its own JPEG and PNG readers.
  papplSystemAddMIMEFilter(system, "image/jpeg", kRawFormat, PrintJpeg, nullptr);
  papplSystemAddMIMEFilter(system, "image/png", kRawFormat, PrintPng, nullptr);
  papplSystemAddMIMEFilter(system, "application/pdf", kRawFormat, PrintPdf, nullptr);

  AdoptAcceptedJobs(spool, statePath);
  PrepareSavedJobs(spool, statePath);
  papplSystemLoadState(system, statePath.c_str());
  HoldJobsThatMayHavePrinted(system);
  KeepNewJobs(system);
  // Nothing is advertised that other machines cannot reach.
  AdvertiseSystem(system, gNetwork, kSystemName);
  papplSystemSetSaveCallback(system, SaveState, const_cast<char*>(statePath.c_str()));
  const std::chrono::milliseconds interval =
      MsOption("status-interval-ms", numOptions, options, kStatusIntervalMs, kMinStatusIntervalMs,
               kMaxStatusIntervalMs);
  JobQueue::SetIdleReadInterval(interval);
  // Completed outside the iteration: it holds the system's lock, which
  // adding a page takes too, so the saved printers hung the start.
  std::vector<pappl_printer_t*> loaded;
  papplSystemIteratePrinters(system, Collect, &loaded);
  for (pappl_printer_t* printer : loaded) CompletePrinter(printer);
  // Added before PAPPL adds its own pages, so it takes the path.
  if (access(kAvahiSocket, F_OK) != 0)
    papplSystemAddResourceCallback(system, "/addprinter", "text/html", ShowAddPrinterPage, nullptr);
  HotPlug::Start(system, interval, CompletePrinter);
  // How often the spool's free space is looked at.
  constexpr int kSpoolCheckSeconds = 2;
  WatchSpoolSpace(system, spool, kSpoolCheckSeconds);
  // The printers' workers change nothing once the application stops.
  StartStopper(system, {[] {
                          HotPlug::Stop();
                          JobQueue::StopAll();
                        },
                        [system] { SaveFinalState(system, gStatePath); }});
  return system;
}

}  // namespace

int main(int argc, char* argv[]) {
  // Server and subcommands alike: the socket is never reachable by another
  // user, and the subcommands look for it where the server put it.
  if (!UsePrivateSocketFolder(kName)) return 1;
  const int status = papplMainloop(argc, argv, "1.0.0", kFooter, 1, gDrivers, nullptr,
                                   DriverCallback, nullptr, nullptr, CreateSystem, Usage, nullptr);
  HotPlug::Stop();
  JobQueue::StopAll();
  return status;
}
