// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printer-app/PapplFaults.h"

#include <string>

#include "printer-app/Strings.h"

void AddAppStrings(pappl_system_t* system) {
  for (const AppStrings& strings : kAppStrings) {
    const std::string path = std::string("/qv46-") + strings.language + ".strings";
    papplSystemAddStringsData(system, path.c_str(), strings.language, strings.data);
    // The catalogue keeps its copy of the strings; only the resource that
    // names the language goes.
    if (kPapplRepeatsStringsLanguages) papplSystemRemoveResource(system, path.c_str());
  }
}
