// Fixed-width text helpers shared by the filter and the daemon.
#pragma once

// Decimal value of the first `count` characters of `text` (strtol rules), or
// -1 when `count` is above 511 taken as unsigned.
int _TextToInt(const char* text, int count);

// Copies `count` bytes and terminates them; `destination` holds count + 1 bytes.
int _CutText(char* destination, const char* source, int count);
