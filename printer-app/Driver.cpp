// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printer-app/Driver.h"

#include <cstring>

#include "printer-app/Icons.h"
#include "printer-app/Identify.h"
#include "printer-app/JobQueue.h"
#include "printer-app/PapplFaults.h"
#include "printer-app/PrinterStatus.h"
#include "printer-app/RasterJob.h"
#include "printer-app/UsbScheme.h"

namespace {

// PAPPL asks for the status from the thread of an IPP client; the printer's
// own worker reads it, and the client gets what was read last.
bool AskForStatus(pappl_printer_t* printer) {
  JobQueue::Ask(printer);
  return true;
}

// One size of the media table, portrait, named as PWG 5101.1 names it (its
// standard name where it has one, else a self-describing name with the short
// side first and no '.' in the name part), with the classic queue's page
// sizes. The sizes the filter turns have a page size for each orientation.
struct MediaRow {
  const char* pwgName;
  int width, length;          // hundredths of a millimetre
  const char* portraitSize;   // the classic queue's page size
  const char* landscapeSize;  // the same stock printed unturned, or null
};

// The first is the default: the classic queue's 6 x 4 in.
constexpr MediaRow kMedia[] = {
    {"na_index-4x6_4x6in", 10160, 15240, "102x153mm", "153x102mm"},
    {"oe_photo-l_3.5x5in", 8890, 12700, "89x127mm", "127x89mm"},
    {"oe_square-photo_5x5in", 12700, 12700, "127x127mm", nullptr},
    {"na_5x7_5x7in", 12700, 17780, "127x178mm", nullptr},
    {"custom_4-5x6in_4.5x6in", 11430, 15240, "115x153mm", "153x115mm"},
    {"custom_6x6in_6x6in", 15240, 15240, "153x153mm", nullptr},
    {"na_index-4x6-ext_6x8in", 15240, 20320, "153x204mm", nullptr},
    {"na_6x9_6x9in", 15240, 22860, "153x229mm", nullptr},
};

// Sizes a millimetre apart are the same stock: "102x153mm" is 4 x 6 in.
constexpr int kSizeSlack = 100;

bool SameSize(int a, int b) { return a > b - kSizeSlack && a < b + kSizeSlack; }

const MediaRow* RowForSize(int width, int length) {
  for (const MediaRow& row : kMedia) {
    if ((SameSize(width, row.width) && SameSize(length, row.length)) ||
        (SameSize(width, row.length) && SameSize(length, row.width)))
      return &row;
  }
  return nullptr;
}

constexpr LoadedStock kLoadedMedia[] = {
    {"00210", "na_5x7_5x7in", "5x7in"},
    {"00301", "na_index-4x6_4x6in", "6x4in"},
    {"00310", "na_index-4x6-ext_6x8in", "6x8in"},
    {"00400", "na_6x9_6x9in", "6x9in"},
};

using Kind = VendorKind;

constexpr VendorOption kVendor[] = {
    {"overcoat-finish", "ZelOvercoatFinish", Kind::kKeyword, "glossy", 0, 0},
    {"border", "ZelBorder", Kind::kBoolean, "false", 0, 0},
    {"two-inch-cut", "Zel2InchCut", Kind::kBoolean, "false", 0, 0},
    {"print-retry", "ZelPrintRetry", Kind::kBoolean, "true", 0, 0},
    {"high-speed", "ZelPrintSpeed", Kind::kBoolean, "false", 0, 0},
    {"color-adjustment", "ZelColorAdjustment", Kind::kBoolean, "false", 0, 0},
    {"sharpness", "ZelSharpness", Kind::kRange, "0", -2, 8},
    {"saturation", "ZelChroma", Kind::kRange, "0", -100, 100},
    {"gamma-red", "ZelGammaR", Kind::kRange, "0", -100, 100},
    {"gamma-green", "ZelGammaG", Kind::kRange, "0", -100, 100},
    {"gamma-blue", "ZelGammaB", Kind::kRange, "0", -100, 100},
    {"brightness-red", "ZelBrightnessR", Kind::kRange, "0", -500, 500},
    {"brightness-green", "ZelBrightnessG", Kind::kRange, "0", -500, 500},
    {"brightness-blue", "ZelBrightnessB", Kind::kRange, "0", -500, 500},
    {"contrast-red", "ZelContrastR", Kind::kRange, "0", -100, 100},
    {"contrast-green", "ZelContrastG", Kind::kRange, "0", -100, 100},
    {"contrast-blue", "ZelContrastB", Kind::kRange, "0", -100, 100},
};

// overcoat-finish keywords and the classic queue's choices, in order.
constexpr const char* kFinishes[][2] = {
    {"glossy", "Glossy"}, {"matte", "Matte"}, {"fine-matte", "FineMatte"}, {"luster", "Luster"}};

std::string ClassicChoice(const VendorOption& option, const std::string& value) {
  if (option.kind == Kind::kBoolean) return value == "true" ? "Enable" : "Disable";
  if (option.kind == Kind::kRange) return value;
  for (const auto& finish : kFinishes) {
    if (value == finish[0]) return finish[1];
  }
  return kFinishes[0][1];
}

void AddVendorAttributes(ipp_t* attrs) {
  for (const VendorOption& option : kVendor) {
    const std::string supported = std::string(option.name) + "-supported";
    const std::string fallback = std::string(option.name) + "-default";
    switch (option.kind) {
      case Kind::kKeyword: {
        const char* keywords[sizeof kFinishes / sizeof kFinishes[0]];
        for (size_t i = 0; i < sizeof kFinishes / sizeof kFinishes[0]; ++i)
          keywords[i] = kFinishes[i][0];
        ippAddStrings(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, supported.c_str(),
                      sizeof keywords / sizeof keywords[0], nullptr, keywords);
        ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, fallback.c_str(), nullptr,
                     option.ppdDefault);
        break;
      }
      case Kind::kBoolean:
        ippAddBoolean(attrs, IPP_TAG_PRINTER, supported.c_str(), 1);
        ippAddBoolean(attrs, IPP_TAG_PRINTER, fallback.c_str(),
                      std::strcmp(option.ppdDefault, "true") == 0);
        break;
      case Kind::kRange:
        ippAddRange(attrs, IPP_TAG_PRINTER, supported.c_str(), option.lower, option.upper);
        ippAddInteger(attrs, IPP_TAG_PRINTER, IPP_TAG_INTEGER, fallback.c_str(),
                      std::atoi(option.ppdDefault));
        break;
    }
  }
}

}  // namespace

const char* PageSizeForMedia(int width, int length) {
  const MediaRow* row = RowForSize(width, length);
  if (row == nullptr) return kMedia[0].landscapeSize;
  return width > length && row->landscapeSize != nullptr ? row->landscapeSize : row->portraitSize;
}

bool HasLandscapeForm(int width, int length) {
  const MediaRow* row = RowForSize(width, length);
  return row != nullptr && row->landscapeSize != nullptr;
}

const LoadedStock* StockForCode(const char* mediaCode) {
  for (const LoadedStock& row : kLoadedMedia) {
    if (std::strcmp(mediaCode, row.code) == 0) return &row;
  }
  return nullptr;
}

const VendorOption* VendorOptions(size_t* count) {
  *count = sizeof kVendor / sizeof kVendor[0];
  return kVendor;
}

std::vector<const char*> FinishKeywords() {
  std::vector<const char*> keywords;
  for (const auto& finish : kFinishes) keywords.push_back(finish[0]);
  return keywords;
}

const LoadedStock* LoadedStocks(size_t* count) {
  *count = sizeof kLoadedMedia / sizeof kLoadedMedia[0];
  return kLoadedMedia;
}

std::vector<std::pair<std::string, std::string>> FilterOptions(const pappl_media_col_t& media,
                                                               int xResolution, int yResolution,
                                                               int numVendor,
                                                               const cups_option_t* vendor,
                                                               ipp_t* driverAttrs) {
  std::vector<std::pair<std::string, std::string>> options;
  options.emplace_back("PageSize", PageSizeForMedia(media.size_width, media.size_length));
  options.emplace_back("Resolution",
                       std::to_string(xResolution) + "x" + std::to_string(yResolution) + "dpi");
  for (const VendorOption& option : kVendor) {
    const char* value = cupsGetOption(option.name, numVendor, const_cast<cups_option_t*>(vendor));
    std::string text = value != nullptr ? value : option.ppdDefault;
    const std::string fallback = std::string(option.name) + "-default";
    ipp_attribute_t* attr = value == nullptr && driverAttrs != nullptr
                                ? ippFindAttribute(driverAttrs, fallback.c_str(), IPP_TAG_ZERO)
                                : nullptr;
    if (attr != nullptr) {
      char buffer[256];
      ippAttributeString(attr, buffer, sizeof buffer);
      text = buffer;
    }
    options.emplace_back(option.option, ClassicChoice(option, text));
  }
  return options;
}

bool DriverCallback(pappl_system_t* system, const char* driverName, const char* deviceUri,
                    const char*, pappl_pr_driver_data_t* data, ipp_t** attrs, void*) {
  if (std::strcmp(driverName, kDriverName) != 0) return false;
  // Create-Printer, the web page's form and the saved state all come here.
  if (!IsOurDeviceUri(deviceUri)) {
    papplLog(system, PAPPL_LOGLEVEL_ERROR,
             "Refused the device \"%s\": only qv46:// devices are QV-46 printers.",
             deviceUri != nullptr ? deviceUri : "");
    return false;
  }

  data->printfile_cb = PrintRawFile;
  data->rstartjob_cb = StartRasterJob;
  data->rstartpage_cb = StartRasterPage;
  data->rwriteline_cb = WriteRasterLine;
  data->rendpage_cb = EndRasterPage;
  data->rendjob_cb = EndRasterJob;
  data->status_cb = AskForStatus;
  data->identify_cb = IdentifyPrinter;
  data->identify_supported = kIdentifyActions;
  data->identify_default = kIdentifyActions;
  data->format = kRawFormat;

  std::snprintf(data->make_and_model, sizeof data->make_and_model, "%s", kMakeAndModel);
  for (int i = 0; i < 3; ++i) {
    data->icons[i].data = kPrinterIcons[i].data;
    data->icons[i].datalen = kPrinterIcons[i].size;
  }
  data->ppm = 1;
  data->ppm_color = 1;
  data->kind = PAPPL_KIND_PHOTO;
  data->has_supplies = true;
  data->color_supported = PAPPL_COLOR_MODE_COLOR;
  data->color_default = PAPPL_COLOR_MODE_COLOR;
  data->content_default = PAPPL_CONTENT_PHOTO;
  // Draft is the classic queue's default resolution, 300 x 300 dpi (the
  // standard look); normal and high give the fine look, 300 x 600 dpi: the
  // printer prints no other, and PAPPL picks the last resolution for high.
  data->quality_default = IPP_QUALITY_DRAFT;
  data->scaling_default = PAPPL_SCALING_AUTO;
  data->raster_types = PAPPL_PWG_RASTER_TYPE_SRGB_8;
  data->force_raster_type = PAPPL_PWG_RASTER_TYPE_SRGB_8;
  data->duplex = PAPPL_DUPLEX_NONE;
  data->sides_supported = PAPPL_SIDES_ONE_SIDED;
  data->sides_default = PAPPL_SIDES_ONE_SIDED;
  data->orient_default = IPP_ORIENT_NONE;

  constexpr int kResolutions[][2] = {{300, 300}, {300, 600}};
  data->num_resolution = 2;
  for (int i = 0; i < data->num_resolution; ++i) {
    data->x_resolution[i] = kResolutions[i][0];
    data->y_resolution[i] = kResolutions[i][1];
  }
  data->x_default = 300;
  data->y_default = 300;

  data->borderless = true;
  data->left_right = 0;
  data->bottom_top = 0;
  data->num_media = static_cast<int>(sizeof kMedia / sizeof kMedia[0]);
  for (int i = 0; i < data->num_media; ++i) data->media[i] = kMedia[i].pwgName;
  data->num_source = 1;
  data->source[0] = "main-roll";
  pwg_media_t* media = pwgMediaForPWG(kMedia[0].pwgName);
  pappl_media_col_t& fallback = data->media_default;
  std::snprintf(fallback.size_name, sizeof fallback.size_name, "%s", kMedia[0].pwgName);
  // Not the roll's source: PAPPL would otherwise make the loaded stock the
  // default size, where the classic queue defaults to 6 x 4 in.
  std::snprintf(fallback.source, sizeof fallback.source, "%s", "auto");
  std::snprintf(fallback.type, sizeof fallback.type, "%s", "photographic-glossy");
  fallback.size_width = media->width;
  fallback.size_length = media->length;
  data->media_ready[0] = fallback;
  std::snprintf(data->media_ready[0].source, sizeof fallback.source, "%s", data->source[0]);
  data->num_type = 1;
  data->type[0] = "photographic-glossy";

  data->num_vendor = static_cast<int>(sizeof kVendor / sizeof kVendor[0]);
  for (int i = 0; i < data->num_vendor; ++i) data->vendor[i] = kVendor[i].name;
  *attrs = ippNew();
  AddVendorAttributes(*attrs);
  AddStringsAttributes(system, *attrs);
  // Get-Printer-Attributes is all there is: no preferred values per job.
  ippAddBoolean(*attrs, IPP_TAG_PRINTER, "preferred-attributes-supported", 0);
  return true;
}
