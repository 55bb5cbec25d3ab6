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

// The classic queue's page size for media of `width` x `length` hundredths of
// a millimetre, in that orientation (either name of a size is found); the
// classic queue's default for an unknown size.
const char* PageSizeForMedia(int width, int length);
// True for the sizes the classic queue also prints as a landscape page
// (6 x 4, 5 x 3.5 and 6 x 4.5 in), which the filter prints unturned.
bool HasLandscapeForm(int width, int length);
// A media size code the printer reports ("00310"): its PWG media name and
// the status monitor's words for it.
struct LoadedStock {
  const char* code;
  const char* pwgName;
  const char* text;
};
// Null for an unknown code.
const LoadedStock* StockForCode(const char* mediaCode);
// Every stock the printer can report; *count of them.
const LoadedStock* LoadedStocks(size_t* count);

// The vendor options: each an IPP attribute with -supported and -default.
enum class VendorKind { kKeyword, kBoolean, kRange };
struct VendorOption {
  const char* name;    // IPP attribute
  const char* option;  // the classic queue's option
  VendorKind kind;
  const char* ppdDefault;  // IPP form
  int lower, upper;        // kRange
};
const VendorOption* VendorOptions(size_t* count);
// The keywords of the one keyword option, overcoat-finish, in order.
std::vector<const char*> FinishKeywords();

// The job options as the classic queue would pass them, from a job's media
// (the page's orientation is its size's), resolution and vendor options (each vendor option missing
// from `vendor` takes the printer's default from `driverAttrs`, then the PPD's default).
std::vector<std::pair<std::string, std::string>> FilterOptions(const pappl_media_col_t& media,
                                                               int xResolution, int yResolution,
                                                               int numVendor,
                                                               const cups_option_t* vendor,
                                                               ipp_t* driverAttrs);

bool DriverCallback(pappl_system_t* system, const char* driverName, const char* deviceUri,
                    const char* deviceId, pappl_pr_driver_data_t* data, ipp_t** attrs,
                    void* context);
