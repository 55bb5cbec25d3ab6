// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printer-app/Access.h"

#include <grp.h>
#include <pwd.h>
#include <security/pam_appl.h>
#include <strings.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "printer-app/JobQueue.h"
#include "printer-app/PapplFaults.h"

namespace {

bool IsLoopback(const std::string& hostname) {
  return hostname == "localhost" || hostname == "127.0.0.1" || hostname == "[::1]";
}

// Each family named where PAPPL listens on one (kPapplListensOnOneFamily).
bool ListenLoopback(pappl_system_t* system) {
  if (!kPapplListensOnOneFamily) return papplSystemAddListeners(system, "localhost");
  const bool v4 = papplSystemAddListeners(system, "127.0.0.1");
  const bool v6 = papplSystemAddListeners(system, "[::1]");
  return v4 || v6;
}

struct Credentials {
  std::string user, password;
};

// The user and password of a Basic Authorization header.
bool BasicCredentials(pappl_client_t* client, Credentials* credentials) {
  const char* field = httpGetField(papplClientGetHTTP(client), HTTP_FIELD_AUTHORIZATION);
  if (field == nullptr || strncasecmp(field, "Basic ", 6) != 0) return false;
  char decoded[1024];
  int length = sizeof decoded;
  if (httpDecode64_2(decoded, &length, field + 6) == nullptr) return false;
  const std::string text(decoded, static_cast<size_t>(length));
  const size_t colon = text.find(':');
  if (colon == std::string::npos || colon == 0) return false;
  credentials->user = text.substr(0, colon);
  credentials->password = text.substr(colon + 1);
  return true;
}

// The signature is PAM's conversation function.
// cppcheck-suppress constParameterCallback
int Converse(int count, const pam_message** messages, pam_response** responses, void* data) {
  const auto* credentials = static_cast<const Credentials*>(data);
  auto* replies =
      static_cast<pam_response*>(std::calloc(static_cast<size_t>(count), sizeof(pam_response)));
  if (replies == nullptr) return PAM_BUF_ERR;
  for (int i = 0; i < count; ++i) {
    if (messages[i]->msg_style == PAM_PROMPT_ECHO_ON)
      replies[i].resp = strdup(credentials->user.c_str());
    else if (messages[i]->msg_style == PAM_PROMPT_ECHO_OFF)
      replies[i].resp = strdup(credentials->password.c_str());
  }
  *responses = replies;
  return PAM_SUCCESS;
}

bool PamAccepts(const AdminLogin& login, const Credentials& credentials, const char* host) {
  Credentials copy = credentials;
  const pam_conv conversation{Converse, &copy};
  pam_handle_t* pam = nullptr;
  const char* user = credentials.user.c_str();
  int status = login.pamDir.empty() ? pam_start(login.pamService.c_str(), user, &conversation, &pam)
                                    : pam_start_confdir(login.pamService.c_str(), user,
                                                        &conversation, login.pamDir.c_str(), &pam);
  if (status == PAM_SUCCESS && host != nullptr) status = pam_set_item(pam, PAM_RHOST, host);
  if (status == PAM_SUCCESS) status = pam_authenticate(pam, PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK);
  if (status == PAM_SUCCESS) status = pam_acct_mgmt(pam, PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK);
  if (pam != nullptr) pam_end(pam, status);
  return status == PAM_SUCCESS;
}

bool InGroup(const std::string& user, gid_t group) {
  passwd entry{}, *found = nullptr;
  std::vector<char> buffer(16384);
  if (getpwnam_r(user.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
    return false;
  if (entry.pw_gid == group) return true;
  int count = 64;
  std::vector<gid_t> groups(static_cast<size_t>(count));
  if (getgrouplist(user.c_str(), entry.pw_gid, groups.data(), &count) < 0) {
    groups.resize(static_cast<size_t>(count));
    if (getgrouplist(user.c_str(), entry.pw_gid, groups.data(), &count) < 0) return false;
  }
  for (int i = 0; i < count; ++i) {
    if (groups[static_cast<size_t>(i)] == group) return true;
  }
  return false;
}

// Where PAPPL points libcups back at its default folder whenever the host
// name changes (kPapplResetsTlsFolder), the app's own is set again this
// often.
constexpr int kTlsCheckSeconds = 5;

// The system's admin group as it is now; -1 when there is none.
gid_t AdminGroupId(pappl_client_t* client) {
  char name[256];
  group entry{}, *found = nullptr;
  std::vector<char> buffer(16384);
  if (papplSystemGetAdminGroup(papplClientGetSystem(client), name, sizeof name) == nullptr ||
      getgrnam_r(name, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr)
    return static_cast<gid_t>(-1);
  return found->gr_gid;
}

// A member of `groupId` whose password PAM accepts, else 401 whatever was
// wrong: a wrong password, an account outside the group and an unknown
// account get the same answer, and only a member's password is ever tried,
// so the login tells nobody whether a password is right.
http_status_t AdminOnly(pappl_client_t* client, gid_t groupId, const AdminLogin& login) {
  const auto start = std::chrono::steady_clock::now();
  Credentials credentials;
  if (!BasicCredentials(client, &credentials)) return HTTP_STATUS_UNAUTHORIZED;
  if (groupId == static_cast<gid_t>(-1) || !InGroup(credentials.user, groupId) ||
      !PamAccepts(login, credentials, papplClientGetHostName(client))) {
    std::this_thread::sleep_until(start + login.refusalTime);
    return HTTP_STATUS_UNAUTHORIZED;
  }
  papplClientSetUsername(client, credentials.user.c_str());
  return HTTP_STATUS_CONTINUE;
}

// PAPPL asks only the print group for these, yet they change the printer
// for everyone (kPapplLeavesPrinterChangesToPrinting).
bool ChangesThePrinter(ipp_op_t operation) {
  return kPapplLeavesPrinterChangesToPrinting &&
         (operation == IPP_OP_DISABLE_PRINTER || operation == IPP_OP_ENABLE_PRINTER ||
          operation == IPP_OP_CANCEL_CURRENT_JOB);
}

// PAPPL's Get-Jobs lists every job's name and owner
// (kPapplListsEveryonesJobs); a client that is no administrator sees its own
// jobs only (PAPPL answers a request without requesting-user-name with an
// error then).
void OnlyOwnJobs(pappl_client_t* client, ipp_t* request, const AdminLogin& login) {
  const char* authorization = httpGetField(papplClientGetHTTP(client), HTTP_FIELD_AUTHORIZATION);
  if (authorization != nullptr && *authorization != '\0' &&
      AdminOnly(client, AdminGroupId(client), login) == HTTP_STATUS_CONTINUE)
    return;
  ipp_attribute_t* mine = ippFindAttribute(request, "my-jobs", IPP_TAG_ZERO);
  if (mine != nullptr) ippDeleteAttribute(request, mine);
  ippAddBoolean(request, IPP_TAG_OPERATION, "my-jobs", 1);
}

// PAPPL asks with no group for printing and the job operations, which stay
// open as on a shared printer: a job belongs to whoever asked for it, and
// another user's job needs the admin group (PAPPL asks again with it).
// With a group it asks for administration: PAPPL's own PAM check asks a
// password for printing too, and lets any user in when the admin group
// does not exist; this one does neither.
http_status_t Decide(pappl_client_t* client, const char* group, gid_t groupId,
                     const AdminLogin& login) {
  if (group != nullptr) return AdminOnly(client, groupId, login);
  ipp_t* request = papplClientGetRequest(client);
  if (request == nullptr) return HTTP_STATUS_CONTINUE;
  if (ChangesThePrinter(ippGetOperation(request)))
    return AdminOnly(client, AdminGroupId(client), login);
  if (kPapplListsEveryonesJobs && ippGetOperation(request) == IPP_OP_GET_JOBS)
    OnlyOwnJobs(client, request, login);
  ipp_attribute_t* name = ippFindAttribute(request, "requesting-user-name", IPP_TAG_NAME);
  if (papplClientGetUsername(client) == nullptr && name != nullptr)
    papplClientSetUsername(client, ippGetString(name, 0, nullptr));
  return HTTP_STATUS_CONTINUE;
}

// PAPPL asks here before it runs an IPP operation of its own, the one call
// before one (kPapplRunsItsOperationsUnseen): the job queue gets its say.
http_status_t Authorize(pappl_client_t* client, const char* group, gid_t groupId, void* data) {
  const http_status_t status =
      Decide(client, group, groupId, *static_cast<const AdminLogin*>(data));
  if (kPapplRunsItsOperationsUnseen && status == HTTP_STATUS_CONTINUE &&
      papplClientGetRequest(client) != nullptr)
    JobQueue::BeforeOperation(client);
  return status;
}

}  // namespace

bool ServesNetwork(const std::string& hostname) { return !IsLoopback(hostname); }

bool Listen(pappl_system_t* system, const std::string& hostname) {
  if (IsLoopback(hostname)) return ListenLoopback(system);
  if (hostname.empty() || hostname == "*") {
    const bool v4 = papplSystemAddListeners(system, "0.0.0.0");
    const bool v6 = papplSystemAddListeners(system, "[::]");
    return v4 || v6;
  }
  // Served on that address, and on this machine as before.
  const bool named = papplSystemAddListeners(system, hostname.c_str());
  return ListenLoopback(system) && named;
}

void Advertise(pappl_printer_t* printer, bool network) {
  char name[256];
  const bool advertised = papplPrinterGetDNSSDName(printer, name, sizeof name) != nullptr;
  if (!network && advertised)
    papplPrinterSetDNSSDName(printer, nullptr);
  else if (network && !advertised)
    papplPrinterSetDNSSDName(printer, papplPrinterGetName(printer));
}

void AdvertiseSystem(pappl_system_t* system, bool network, const char* name) {
  char current[256];
  const bool advertised = papplSystemGetDNSSDName(system, current, sizeof current) != nullptr;
  if (!network && advertised)
    papplSystemSetDNSSDName(system, nullptr);
  else if (network && !advertised)
    papplSystemSetDNSSDName(system, name);
}

void RequireAdminLogin(pappl_system_t* system, const AdminLogin& login) {
  static AdminLogin stored;
  stored = login;
  papplSystemSetAdminGroup(system, stored.group.c_str());
  papplSystemSetAuthCallback(system, "Basic", Authorize, &stored);
}

// The signature is PAPPL's pappl_timer_cb_t.
// cppcheck-suppress constParameterCallback
bool ReassertTlsFolder(pappl_system_t* system, void* folder) {
  char host[256];
  if (papplSystemGetHostName(system, host, sizeof host) != nullptr)
    cupsSetServerCredentials(static_cast<const std::string*>(folder)->c_str(), host, 1);
  return true;
}

bool KeepTlsCredentialsIn(pappl_system_t* system, const std::string& folder) {
  static std::string kept;
  kept = folder;
  if (mkdir(kept.c_str(), 0700) != 0 && errno != EEXIST) return false;
  ReassertTlsFolder(system, &kept);
  if (kPapplResetsTlsFolder)
    papplSystemAddTimerCallback(system, 0, kTlsCheckSeconds, ReassertTlsFolder, &kept);
  return true;
}
