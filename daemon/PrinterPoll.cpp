// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "daemon/PrinterPoll.h"

#include <algorithm>
#include <cstring>

#include "common/Serial.h"
#include "daemon/Queries.h"
#include "daemon/QueueRegistration.h"
#include "daemon/StatusFile.h"
#include "daemon/Transport.h"

static_assert(kSerialSize > kMaxSerialLength, "a usable serial fits the record with its NUL");

namespace {

constexpr int kSerialAttempts = 10;
constexpr unsigned kSerialRetryMs = 1000;
constexpr int kProductStringSize = 256;
constexpr size_t kDeviceIdSize = 2048;

void ReadSerial(DaemonContext& ctx, thdata* record) {
  for (int attempt = 0; attempt < kSerialAttempts && !record->exitRequested; ++attempt) {
    char reply[kMaxReplyText + 1];
    const long length = GetSerialNo(ctx, record->handle, reply, sizeof reply);
    if (length < 0) {
      ctx.sleeper.SleepMs(kSerialRetryMs);
      continue;
    }
    // An unusable serial counts as none read, like an empty answer.
    if (!IsUsableSerial(std::string_view(reply, static_cast<size_t>(length)))) continue;
    std::memcpy(record->serial, reply, static_cast<size_t>(length) + 1);
    record->serialKnown = true;
    return;
  }
}

bool ReadModel(DaemonContext& ctx, thdata* record) {
  UsbDeviceDescriptor descriptor;
  if (ctx.usb.GetDeviceDescriptor(record->device, &descriptor) < 0) return false;
  unsigned char product[kProductStringSize + 1] = {};
  const int productLength =
      ctx.usb.GetStringAscii(record->handle, descriptor.iProduct, product, kProductStringSize);
  if (productLength < 0) return false;
  product[std::min(productLength, kProductStringSize)] = '\0';
  if (std::strstr(reinterpret_cast<char*>(product), "Photo Printer") == nullptr) return false;

  char deviceId[kDeviceIdSize] = {};
  if (get_device_id(ctx, record->handle, deviceId, sizeof deviceId) != 0) return false;
  std::string manufacturer;
  std::string model;
  ParseDeviceId(deviceId, &manufacturer, &model);
  // The variant QV-46W matches too and is treated alike.
  if (manufacturer.find("VALDREN") == std::string::npos || model.find("QV-46") == std::string::npos)
    return false;

  const size_t length = std::min(model.size(), kModelSize - 1);
  std::memcpy(record->model, model.data(), length);
  record->model[length] = '\0';
  return true;
}

}  // namespace

void ParseDeviceId(const char* deviceId, std::string* manufacturer, std::string* model) {
  manufacturer->clear();
  model->clear();
  const std::string id = deviceId;
  size_t start = 0;
  while (start < id.size()) {
    size_t end = id.find(';', start);
    if (end == std::string::npos) end = id.size();
    const std::string field = id.substr(start, end - start);
    const size_t colon = field.find(':');
    if (colon != std::string::npos) {
      if (field.find("MANUFACTURER") != std::string::npos)
        *manufacturer = field.substr(colon + 1);
      else if (field.find("MODEL") != std::string::npos)
        *model = field.substr(colon + 1);
    }
    start = end + 1;
  }
}

void getPrinterInfo(DaemonContext& ctx, thdata* record) {
  if (!record->serialKnown) ReadSerial(ctx, record);
  if (!record->modelMatched) record->modelMatched = ReadModel(ctx, record);
  if (!record->serialKnown || !record->modelMatched) return;
  if (!record->queueRegistered) RegisterQueue(ctx, record);
  WriteFile(ctx, record->handle, record);
}
