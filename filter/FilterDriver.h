// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The filter's job loop: command line, job information wait, settings, and the
// page loop that stores one image per copy and sends them in batches.
#pragma once

#include <cups/cups.h>
#include <cups/raster.h>

#include <csignal>

#include "filter/JobPipeline.h"
#include "filter/PhotoPrinterDevice.h"

// Set by the SIGTERM handler, polled through SigtermSeen.
extern volatile sig_atomic_t Canceled;

void CancelJob(int signal);

// Waits for the job information file: as long as the backend says it still
// waits for its printer, otherwise up to 120 s; always returns 0.
int PrinterStatusCheck(const char* jobId, int numOptions, cups_option_s* options);

// Sleeps that long; the filter's only pauses go through one of these.
using SleepFunction = void (*)(unsigned milliseconds);
void SleepMilliseconds(unsigned milliseconds);

// PrinterStatusCheck with an injectable sleep.
int WaitForPrInfoFile(const char* jobId, SleepFunction sleepFor);

// The cancel check of the filter's one job: SIGTERM seen.
bool SigtermSeen();

// The loaded media as the job information file for `jobId` gives it.
LoadedMedia ReadLoadedMedia(DeviceEntry& device, const char* jobId);

// Reads every page of `raster` into the batcher. A page too large to keep
// ends the reading; the images stored before it still go out.
void RunPageLoop(cups_raster_t* raster, PageSink& sink, JobLayout layout,
                 const CancelCheck& canceled);

// Applies the job's settings to `device`, then runs the page loop with the
// loaded media read for `jobId`.
void RunJob(DeviceEntry& device, cups_raster_t* raster, const char* jobId, int numOptions,
            cups_option_s* options, ppdfile_s* ppd);

// The whole filter; returns the exit status.
int RunFilter(int argc, char* argv[], SleepFunction sleepFor);
