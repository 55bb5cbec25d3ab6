// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "daemon/QueueRegistration.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "common/Serial.h"

namespace {

constexpr char kQueuePrefix[] = "VALDREN-QV-46";
constexpr char kNumberedPrefix[] = "VALDREN-QV-46-";
constexpr char kVariantQueue[] = "VALDREN-QV-46W";
bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

// The queue's URI is ours and names exactly `serial`.
bool UriSerialIs(const CupsQueue& destination, const char* serial) {
  std::string named;
  return destination.hasDeviceUri && SerialFromBackendUri(destination.deviceUri, &named) &&
         named == serial;
}

// Any URI whose first "serial=" names exactly `serial`: a queue of our name
// that reaches this printer through another backend is taken over.
bool AnyUriSerialIs(const CupsQueue& destination, const char* serial) {
  const size_t at = destination.deviceUri.find("serial=");
  std::string named;
  return destination.hasDeviceUri && at != std::string::npos &&
         DecodeSerial(std::string_view(destination.deviceUri).substr(at + 7), &named) &&
         named == serial;
}

}  // namespace

int enum_cb(void* record, unsigned /*flags*/, const CupsQueue& destination) {
  thdata* printer = static_cast<thdata*>(record);
  if (UriSerialIs(destination, printer->serial)) printer->queueRegistered = true;
  return 1;
}

long getRNumber(const char* name) {
  if (name == nullptr || std::strstr(name, kNumberedPrefix) == nullptr) return 0;
  char digits[64] = {};
  std::strncpy(digits, name + std::strlen(kNumberedPrefix), sizeof digits - 1);
  return std::strtol(digits, nullptr, 10);
}

long ChooseQueueNumber(const std::vector<std::string>& otherQueues) {
  std::vector<long> numbers;
  for (const std::string& name : otherQueues) {
    if (name == kQueuePrefix) continue;
    // Hand-made names such as VALDREN-QV-46-1 must not lead us to redefine
    // VALDREN-QV-46-2.
    const long number = getRNumber(name.c_str());
    if (number >= 2) numbers.push_back(number);
  }
  if (numbers.empty()) return 2;
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
  if (numbers.front() != 2) return 2;
  long gap = 0;
  for (size_t i = 0; i + 1 < numbers.size(); ++i)
    if (numbers[i] + 1 != numbers[i + 1]) gap = numbers[i] + 1;
  return gap != 0 ? gap : numbers.back() + 1;
}

std::vector<std::string> QueueCommand(long number, const char* serial) {
  const std::string n = std::to_string(number);
  const std::string name = number <= 1 ? kQueuePrefix : std::string(kNumberedPrefix) + n;
  const std::string description = number <= 1 ? "VALDREN QV-46" : "VALDREN QV-46 " + n;
  return {"lpadmin", "-p",
          name,      "-E",
          "-D",      description,
          "-m",      "VALDREN_QV-46.ppd",
          "-v",      MakeBackendUri(serial),
          "-o",      "printer-is-shared=false"};
}

void RegisterQueue(DaemonContext& ctx, thdata* record) {
  ctx.cups.EnumDests(enum_cb, record);
  if (record->queueRegistered) return;

  std::vector<CupsQueue> destinations;
  // A failed or empty list counts as no queues at all.
  if (ctx.cups.GetDests(&destinations) <= 0) destinations.clear();

  long number = 1;  // the first queue unless other printers have queues
  std::vector<std::string> others;
  bool ours = false;
  for (const CupsQueue& destination : destinations) {
    if (!destination.hasName || !Contains(destination.name, kQueuePrefix) ||
        Contains(destination.name, kVariantQueue))
      continue;
    // Matched exactly: a serial that is only part of another printer's serial
    // must not claim that printer's queue.
    if (AnyUriSerialIs(destination, record->serial)) {
      ours = true;
      break;
    }
    others.push_back(destination.name);
  }
  if (ours && !others.empty()) return;  // a later queue is ours; enumeration may find it
  if (!ours && !others.empty()) number = ChooseQueueNumber(others);

  if (ctx.commands.Run(QueueCommand(number, record->serial)) == 0) record->queueRegistered = true;
}
