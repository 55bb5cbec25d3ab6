// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printer-app/PapplFaults.h"

#include <string>

#include "printer-app/Strings.h"

// PAPPL's own printer page (exported by libpappl, declared only in its
// private headers).
extern "C" void _papplPrinterWebHome(pappl_client_t* client, pappl_printer_t* printer);

namespace {

bool PrinterPageWithAdminPosts(pappl_client_t* client, void* printer) {
  // PAPPL's check answers 401 (or asks for TLS) itself when it fails.
  if (papplClientGetMethod(client) == HTTP_STATE_POST && !papplClientHTMLAuthorize(client))
    return true;
  _papplPrinterWebHome(client, static_cast<pappl_printer_t*>(printer));
  return true;
}

}  // namespace

void AddAppStrings(pappl_system_t* system) {
  for (const AppStrings& strings : kAppStrings) {
    const std::string path = std::string("/qv46-") + strings.language + ".strings";
    papplSystemAddStringsData(system, path.c_str(), strings.language, strings.data);
    // The catalogue keeps its copy of the strings; only the resource that
    // names the language goes.
    if (kPapplRepeatsStringsLanguages) papplSystemRemoveResource(system, path.c_str());
  }
}

void GuardPrinterPage(pappl_printer_t* printer) {
  char path[256];
  if (papplPrinterGetPath(printer, nullptr, path, sizeof path - 1) == nullptr) return;
  const std::string page = std::string(path) + "/";
  pappl_system_t* system = papplPrinterGetSystem(printer);
  papplSystemRemoveResource(system, page.c_str());
  papplSystemAddResourceCallback(system, page.c_str(), "text/html", PrinterPageWithAdminPosts,
                                 printer);
}
