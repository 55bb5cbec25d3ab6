// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printer-app/StatusWords.h"

#include "common/TmpFiles.h"

namespace {

constexpr char kRestart[] =
    "Restart the printer and computer. If the printer does not recover after the restart, "
    "contact the service center.";
constexpr char kNewMedia[] = "Load new media. (Replace the paper and ribbon as a set.)";

constexpr StatusWords kRows[] = {
    // Waiting, printing, cooling and power saving: the printer takes jobs and
    // goes on by itself; every other code needs a person.
    {0, PAPPL_PREASON_NONE, "Waiting", "", "PrtStsIdle", false, true},
    {1, PAPPL_PREASON_NONE, "Printing", "", "PrtStsPrinting", false, true},
    {500, PAPPL_PREASON_NONE, "Cooling head",
     "Please wait a while. Printing will resume automatically.", "PrtStsCooling", false, true},
    {900, PAPPL_PREASON_NONE, "Waiting (Power saving mode)", "", "PrtStsIdle", false, true},
    // PAPPL drops door-open; cover-open is what clients show.
    {1000, PAPPL_PREASON_COVER_OPEN, "Door open", "Close the printer.", "PrtStsCoverOpen", false,
     false},
    {1010, PAPPL_PREASON_OTHER, "No Scrap box", "Attach the scrap box.", "PrtStsNoScrapBox", false,
     false},
    {1100, PAPPL_PREASON_MEDIA_EMPTY, "Paper end", kNewMedia, "PrtStsPaperEnd", true, false},
    {1200, PAPPL_PREASON_MARKER_SUPPLY_EMPTY, "Ribbon end", kNewMedia, "PrtStsRibbonEnd", true,
     false},
    {1300, PAPPL_PREASON_MEDIA_JAM, "Paper jam", "Remove the paper and reload it properly.",
     "PrtStsPaperJam", false, false},
    {1400, PAPPL_PREASON_OTHER, "Ribbon error", "Reload the ribbon properly.", "PrtStsRibbonErr",
     false, false},
    {1500, PAPPL_PREASON_OTHER, "Paper size setting error",
     "Check the paper size setting and ribbon size.", "PrtStsPaperErr", false, false},
    {kOfflineStatus, PAPPL_PREASON_OFFLINE, "Offline",
     "Connect the printer and computer, and turn on the power.", "PrtStsOffline", false, false},
};
constexpr StatusWords kSystemError = {
    -1, PAPPL_PREASON_OTHER, "System error", kRestart, "PrtStsSystemErr01", false, false};

}  // namespace

const StatusWords& WordsForStatus(long status) {
  for (const StatusWords& row : kRows) {
    if (row.status == status) return row;
  }
  return kSystemError;
}
