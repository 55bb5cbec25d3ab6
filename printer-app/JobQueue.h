// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Each printer's own worker: it reads the printer's status, stops the
// printer while it cannot print (paper end, ribbon end, door open, jam,
// unplugged, ...) and resumes it once it can, and hands PAPPL the printer's
// jobs one at a time, oldest first. A printer that answers slowly delays
// only its own worker.
#pragma once

#include <pappl/pappl.h>

#include <chrono>

namespace JobQueue {

// How often a ready printer with nothing to do is read (2 s unless set;
// before the first Manage).
void SetIdleReadInterval(std::chrono::milliseconds interval);

// Starts the worker of `printer` (once per printer; later calls do nothing).
void Manage(pappl_printer_t* printer);
// Has the worker of `printer` read the printer's status soon.
void Ask(pappl_printer_t* printer);
// Ends and joins every worker; none starts again.
void StopAll();

}  // namespace JobQueue
