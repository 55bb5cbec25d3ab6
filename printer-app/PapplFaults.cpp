// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printer-app/PapplFaults.h"

#include <dlfcn.h>
#include <pthread.h>

#include <cstring>
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

// A key of each catalogue whose text is the catalogue's language.
constexpr char kLanguageKey[] = "qv46-language";

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

namespace {

constexpr char kNegotiatedStrings[] = "/qv46.strings";

const AppStrings& StringsFor(const char* language) {
  for (const AppStrings& strings : kAppStrings) {
    if (language != nullptr && std::strncmp(language, strings.language, 2) == 0) return strings;
  }
  for (const AppStrings& strings : kAppStrings) {
    if (std::strcmp(strings.language, "en") == 0) return strings;
  }
  return kAppStrings[0];
}

// The strings file of the language the client asks for: the IPP request's
// or the browser's.
bool ServeNegotiatedStrings(pappl_client_t* client, void*) {
  pappl_loc_t* loc = papplClientGetLoc(client);
  const AppStrings& strings =
      StringsFor(loc != nullptr ? papplLocGetString(loc, kLanguageKey) : nullptr);
  const size_t length = std::strlen(strings.data);
  if (!papplClientRespond(client, HTTP_STATUS_OK, nullptr, "text/strings", 0, length)) return false;
  papplClientHTMLPuts(client, strings.data);
  return true;
}

}  // namespace

void AddAppStrings(pappl_system_t* system) {
  for (const AppStrings& strings : kAppStrings) {
    const std::string path = std::string("/qv46-") + strings.language + ".strings";
    papplSystemAddStringsData(system, path.c_str(), strings.language, strings.data);
    // Ours in place of PAPPL's where both have a key.
    for (const auto& [key, text] : ParseStrings(strings.data))
      SetCatalogueText(system, strings.language, key, text);
    SetCatalogueText(system, strings.language, kLanguageKey, strings.language);
    if (kPapplRepeatsStringsLanguages) {
      // The catalogue keeps its copy of the strings; the file stays, without
      // the language PAPPL would repeat.
      papplSystemRemoveResource(system, path.c_str());
      papplSystemAddResourceString(system, path.c_str(), "text/strings", strings.data);
    }
  }
  if (kPapplRepeatsStringsLanguages)
    papplSystemAddResourceCallback(system, kNegotiatedStrings, "text/strings",
                                   ServeNegotiatedStrings, nullptr);
}

void AddStringsAttributes(pappl_system_t* system, ipp_t* driverAttrs) {
  if (!kPapplRepeatsStringsLanguages) return;
  std::vector<const char*> languages;
  for (const AppStrings& strings : kAppStrings) languages.push_back(strings.language);
  ippAddStrings(driverAttrs, IPP_TAG_PRINTER, IPP_TAG_LANGUAGE,
                "printer-strings-languages-supported", static_cast<int>(languages.size()), nullptr,
                languages.data());
  char host[256];
  if (papplSystemGetHostName(system, host, sizeof host) == nullptr) return;
  char uri[1024];
  httpAssembleURI(HTTP_URI_CODING_ALL, uri, sizeof uri, "http", nullptr, host,
                  papplSystemGetHostPort(system), kNegotiatedStrings);
  ippAddString(driverAttrs, IPP_TAG_PRINTER, IPP_TAG_URI, "printer-strings-uri", nullptr, uri);
}

PapplPage FindPapplPage(const char* name) {
  if (!kPapplAnswersBare401) return nullptr;
  // PAPPL's resources call these through the same cast.
  return reinterpret_cast<PapplPage>(dlsym(RTLD_DEFAULT, name));
}
