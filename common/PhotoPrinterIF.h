// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Text helpers shared by the filter, the daemon and the backend.
#pragma once

// Decimal value of the first `count` characters of `text` (strtol rules), or
// -1 when `count` is above 511 taken as unsigned.
int _TextToInt(const char* text, int count);

// Copies `count` bytes and terminates them; `destination` holds count + 1 bytes.
int _CutText(char* destination, const char* source, int count);

// Removes, in place, every character of the NUL-terminated `text` that is not
// printable ASCII, and every double quote: printer text then fits one
// KEY="value" line. Returns the new length.
int StripToPlainText(char* text);
