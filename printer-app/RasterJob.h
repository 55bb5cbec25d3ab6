// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Jobs on the QV-46: PAPPL's raster callbacks, the PDF filter and raw job
// streams, all into the page processing and job stream of rastertoqv46.
#pragma once

#include <pappl/pappl.h>

// A job stream already in the printer's format.
constexpr char kRawFormat[] = "application/vnd.valdren.qv46";

bool StartRasterJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);
bool StartRasterPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                     unsigned page);
bool WriteRasterLine(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                     unsigned y, const unsigned char* line);
// The page StartRasterPage made, bottom-up as the pipeline takes it, for a
// document the app draws itself instead of writing it line by line; null
// outside a page.
char* RasterPageBuffer(pappl_job_t* job);
bool EndRasterPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                   unsigned page);
bool EndRasterJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);

// application/pdf: Ghostscript renders PWG raster for the same pipeline.
bool PrintPdf(pappl_job_t* job, pappl_device_t* device, void* data);

// kRawFormat: checked whole, then sent packet by packet.
bool PrintRawFile(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);
