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

// Called once PAPPL authorised an IPP request, before it runs the
// operation. A PWG or Apple raster document, which PAPPL prints as it
// arrives and refuses while it holds new jobs, waits up to a minute for its
// turn: until the jobs sent before it printed and the printer can print,
// when new jobs are no longer held for it and PAPPL streams it next. Before
// an administrator's Release-Held-New-Jobs or an owner's Release-Job the
// worker keeps the printer's device, so PAPPL starts none of the released
// jobs, and holds them again for their turn. After an administrator's
// Hold-New-Jobs the worker starts no job until the Release-Held-New-Jobs
// (which its own holding would otherwise undo).
void BeforeOperation(pappl_client_t* client);
// Called by a job's thread before PAPPL ends the job and starts the next
// pending one: jobs released out of turn meanwhile (an administrator's
// Release-Held-New-Jobs, an owner's Release-Job) are held again.
void JobEnding(pappl_printer_t* printer);

}  // namespace JobQueue
