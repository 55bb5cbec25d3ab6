// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "daemon/LibcupsPort.h"

#include <cups/cups.h>

namespace {

CupsQueue FromDest(const cups_dest_t* dest) {
  CupsQueue queue;
  queue.hasName = dest->name != nullptr;
  if (queue.hasName) queue.name = dest->name;
  const char* uri = cupsGetOption("device-uri", dest->num_options, dest->options);
  queue.hasDeviceUri = uri != nullptr;
  if (uri != nullptr) queue.deviceUri = uri;
  return queue;
}

struct EnumTarget {
  CupsPort::EnumCallback callback;
  void* user;
};

// The signature is libcups's cups_dest_cb_t.
// cppcheck-suppress [constParameterCallback, constParameterCallback]
int ForwardDest(void* target, unsigned flags, cups_dest_t* dest) {
  const EnumTarget* t = static_cast<const EnumTarget*>(target);
  return t->callback(t->user, flags, FromDest(dest));
}

}  // namespace

void LibcupsPort::EnumDests(EnumCallback callback, void* user) {
  EnumTarget target{callback, user};
  cupsEnumDests(0, 0, nullptr, 0, 0, ForwardDest, &target);
}

int LibcupsPort::GetDests(std::vector<CupsQueue>* destinations) {
  destinations->clear();
  cups_dest_t* dests = nullptr;
  const int count = cupsGetDests(&dests);
  for (int i = 0; i < count; ++i) destinations->push_back(FromDest(&dests[i]));
  cupsFreeDests(count, dests);
  return count;
}
