// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The "VALDREN QV-46" driver: media, resolutions, vendor options, and the
// job options the shared pipeline reads, named as the classic queue names them.
#pragma once

#include <pappl/pappl.h>

#include <string>
#include <utility>
#include <vector>

constexpr char kDriverName[] = "valdren_qv46";
constexpr char kMakeAndModel[] = "VALDREN QV-46";

// The pipeline's page size name for a PWG media name; the classic queue's
// default for an unknown one.
const char* PageSizeForMedia(const char* pwgName);
// A media size code the printer reports ("00310"): its PWG media name and
// the status monitor's words for it.
struct LoadedStock {
  const char* code;
  const char* pwgName;
  const char* text;
};
// Null for an unknown code.
const LoadedStock* StockForCode(const char* mediaCode);

// The job options as the classic queue would pass them, from a job's media,
// resolution and vendor options (each vendor option missing from `vendor`
// takes the printer's default from `driverAttrs`, then the PPD's default).
std::vector<std::pair<std::string, std::string>> FilterOptions(const char* mediaName,
                                                               int xResolution, int yResolution,
                                                               int numVendor,
                                                               const cups_option_t* vendor,
                                                               ipp_t* driverAttrs);

bool DriverCallback(pappl_system_t* system, const char* driverName, const char* deviceUri,
                    const char* deviceId, pappl_pr_driver_data_t* data, ipp_t** attrs,
                    void* context);
