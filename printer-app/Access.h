// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Who reaches the application and who may change it: where it listens and
// what DNS-SD advertises, open printing, and administration only for a
// member of the admin group who logs in through PAM.
#pragma once

#include <pappl/pappl.h>

#include <chrono>
#include <string>

// Listens on `hostname`: every address (IPv4 and IPv6) for "" or "*", the
// loopback addresses only for "localhost", else that name or address and
// the loopback addresses. False when nothing could be bound.
bool Listen(pappl_system_t* system, const std::string& hostname);
// Whether `hostname` (as for Listen) serves other machines.
bool ServesNetwork(const std::string& hostname);
// DNS-SD names the printer only where other machines can reach it.
void Advertise(pappl_printer_t* printer, bool network);
// The same for the system; `name` is its DNS-SD name on the network. Called
// after the saved state is loaded, which brings back the name it was saved
// with.
void AdvertiseSystem(pappl_system_t* system, bool network, const char* name);

struct AdminLogin {
  std::string pamService;  // the PAM service that checks passwords
  std::string pamDir;      // its configuration directory; "" for the system's
  std::string group;       // the group whose members may administer
  // A refused login answers no sooner than this after the request came:
  // pam_unix holds back a wrong password about as long, so a refusal for an
  // account outside the group, whose password is never tried, takes the
  // same time as one for a wrong password.
  std::chrono::milliseconds refusalTime{2000};
};
// Administration (PAPPL's admin pages and IPP operations, and Disable-,
// Enable-Printer and Cancel-Current-Job, which PAPPL leaves to the print
// group) needs a member of `login.group` with a password PAM accepts;
// printing, job and Get operations stay open, a job belonging to whoever
// asked for it, and Get-Jobs lists a client's own jobs unless it is an
// administrator.
void RequireAdminLogin(pappl_system_t* system, const AdminLogin& login);
// The TLS key and certificate the app makes for itself live in `folder`
// (made 0700 when missing), not in cupsd's /etc/cups/ssl. False when the
// folder cannot be made.
bool KeepTlsCredentialsIn(pappl_system_t* system, const std::string& folder);
