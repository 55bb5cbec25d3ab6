// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// What each status code of the printer means to a person and to IPP: the
// status monitor's word and instruction, its picture and the IPP reason.
// Every page, the IPP attributes and the monitor say the same.
#pragma once

#include <pappl/pappl.h>

struct StatusWords {
  long status;
  pappl_preason_t reason;
  const char* word;         // the monitor's English, a key of the app's catalogue
  const char* instruction;  // what to do; "" when nothing needs doing
  const char* picture;      // the monitor's picture, without its extension
  bool rollUsedUp;          // no print is left, whatever the count says
  bool canPrint;            // the printer takes jobs and goes on by itself
};

// The words for `status`; every code the table lacks is a system error.
const StatusWords& WordsForStatus(long status);
