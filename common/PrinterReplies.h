// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The printer's queries and the values their replies carry. Every program
// that asks the printer something takes the command words and the reading
// of the answer from here, so a reply means the same in the status file, the
// job information file and over IPP.
//
// A reply's text is the reply packet's value (DeviceRecv). Some replies put
// characters before the value that are not part of it, and not always
// digits: the media size code starts at the third character, the three
// quantities at the fifth, the total count at the third. Status, firmware
// version and serial number are the whole text.
#pragma once

#include <cstdint>
#include <string>

// One query: a command packet without payload, answered by one reply packet
// of `replyLength` data bytes (DeviceRecv's expected length; -1: variable).
struct PrinterQuery {
  const char* command;
  const char* parameter;  // null: none
  int replyLength;
};

constexpr PrinterQuery kQueryStatus{"STATUS", nullptr, 8};
constexpr PrinterQuery kQuerySerial{"INFO", "SERIAL_NUMBER", -1};
constexpr PrinterQuery kQueryMedia{"INFO", "MEDIA", -1};
constexpr PrinterQuery kQueryMediaClass{"INFO", "MEDIA_CLASS_RFID", -1};
constexpr PrinterQuery kQueryMediaInitial{"INFO", "MQTY_DEFAULT", -1};  // prints per new roll
constexpr PrinterQuery kQueryMediaRemain{"INFO", "MQTY", -1};           // prints left
constexpr PrinterQuery kQueryMediaRemainHalf{"INFO", "RQTY", -1};       // half panels left
constexpr PrinterQuery kQueryFirmware{"INFO", "FVER", -1};
constexpr PrinterQuery kQueryTotalCount{"MNT_RD", "COUNTER_LIFE", -1};

// The status code: the decimal number the text starts with (blanks and a
// sign before it allowed). False when the text holds no number there: a
// garbled answer is no status, least of all "ready".
bool StatusFromReply(const std::string& text, int32_t* status);

// The media size code ("00310"): the text from its third character on;
// empty when the text is not longer than that.
std::string MediaSizeFromReply(const std::string& text);

// A quantity (MQTY_DEFAULT, MQTY, RQTY) as text, from its fifth character
// on; empty when the text is not longer than that.
std::string QuantityTextFromReply(const std::string& text);
// The same quantity as a number; -1 when no number starts there, or it is
// negative or does not fit 32 bits.
int32_t QuantityFromReply(const std::string& text);

// The total count: the decimal number that starts at the third character.
// False when none does, or it does not fit 32 bits.
bool TotalCountFromReply(const std::string& text, int32_t* count);
