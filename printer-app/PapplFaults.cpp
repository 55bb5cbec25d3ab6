// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printer-app/PapplFaults.h"

#include <pthread.h>

#include <string>
#include <utility>
#include <vector>

#include "printer-app/Strings.h"

// PAPPL 1.3's catalogue (loc-private.h), which its API only reads.
struct _pappl_loc_s {
  pthread_rwlock_t rwlock;
  pappl_system_t* system;
  char* name;
  cups_array_t* pairs;
};

namespace {

struct CataloguePair {
  char* key;
  char* text;
};

// The pairs of a strings file as make-strings writes them: one
// "key" = "text"; a line, with \\ and \" escaped.
std::vector<std::pair<std::string, std::string>> ParseStrings(const char* data) {
  std::vector<std::pair<std::string, std::string>> pairs;
  std::string parts[2];
  int part = -1;  // -1 outside a string, else the one being read
  int read = 0;   // strings read on this line
  for (const char* p = data; *p != '\0'; ++p) {
    if (part < 0) {
      if (*p == '"' && read < 2) part = read;
      if (*p == '\n') {
        if (read == 2) pairs.emplace_back(parts[0], parts[1]);
        parts[0].clear();
        parts[1].clear();
        read = 0;
      }
      continue;
    }
    if (*p == '\\' && p[1] != '\0') {
      parts[part] += *++p;
    } else if (*p == '"') {
      part = -1;
      ++read;
    } else {
      parts[part] += *p;
    }
  }
  if (read == 2) pairs.emplace_back(parts[0], parts[1]);
  return pairs;
}

}  // namespace

bool SetCatalogueText(pappl_system_t* system, const char* language, const std::string& key,
                      const std::string& text) {
  if (!kPapplKeepsItsOwnWords) return false;
  pappl_loc_t* loc = papplSystemFindLoc(system, language);
  if (loc == nullptr) return false;
  CataloguePair pair{const_cast<char*>(key.c_str()), const_cast<char*>(text.c_str())};
  pthread_rwlock_wrlock(&loc->rwlock);
  // The array copies what it adds and frees what it removes.
  void* old = cupsArrayFind(loc->pairs, &pair);
  if (old != nullptr) cupsArrayRemove(loc->pairs, old);
  const bool added = cupsArrayAdd(loc->pairs, &pair) != 0;
  pthread_rwlock_unlock(&loc->rwlock);
  return added;
}

void AddAppStrings(pappl_system_t* system) {
  for (const AppStrings& strings : kAppStrings) {
    const std::string path = std::string("/qv46-") + strings.language + ".strings";
    papplSystemAddStringsData(system, path.c_str(), strings.language, strings.data);
    // Ours in place of PAPPL's where both have a key.
    for (const auto& [key, text] : ParseStrings(strings.data))
      SetCatalogueText(system, strings.language, key, text);
    // The catalogue keeps its copy of the strings; only the resource that
    // names the language goes.
    if (kPapplRepeatsStringsLanguages) papplSystemRemoveResource(system, path.c_str());
  }
}
