// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The app's own strings for PAPPL's web pages, per language (strings files
// made by strings/make-strings, compiled in).
#pragma once

struct AppStrings {
  const char* language;
  const char* data;
};

extern const AppStrings kAppStrings[6];
