// Printers that come and go: one PAPPL printer per QV-46 serial, named like
// the classic queues, offline while unplugged, and the status of idle
// printers refreshed on a timer.
#pragma once

#include <pappl/pappl.h>

#include <map>
#include <set>
#include <string>

class HotPlug {
 public:
  // Looks at the bus every `intervalSeconds`.
  static void Start(pappl_system_t* system, int intervalSeconds);

  // One look: adds new printers, marks missing ones offline, refreshes the
  // status of the others.
  void Scan(pappl_system_t* system);

 private:
  // Serials of the printers seen on the bus, by bus and address.
  std::map<std::pair<int, int>, std::string> known_;
};

// "VALDREN-QV-46", then "VALDREN-QV-46-2" and so on: the first name free.
std::string FreePrinterName(pappl_system_t* system);
