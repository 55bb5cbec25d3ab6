// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Gives every printer a CUPS queue that reaches it by serial number:
// VALDREN-QV-46 for the first, VALDREN-QV-46-<N> for the others.
#pragma once

#include <string>
#include <vector>

#include "daemon/DaemonContext.h"
#include "daemon/PrinterRecord.h"

// Destination callback: marks the record registered when the destination's
// device URI names exactly its serial. Always returns 1 (go on).
int enum_cb(void* record, unsigned flags, const CupsQueue& destination);

// N of a name "VALDREN-QV-46-N"; 0 when the name lacks that prefix.
long getRNumber(const char* name);

// Number for a new queue given the names of the other printers' queues.
long ChooseQueueNumber(const std::vector<std::string>& otherQueues);

// The lpadmin argument vectors; `number` 1 means the first queue. The URI
// carries the serial %XX-encoded where a URI cannot carry it raw.
std::vector<std::string> QueueCommand(long number, const char* serial);

// Finds or creates the record's queue; sets queueRegistered on success.
void RegisterQueue(DaemonContext& ctx, thdata* record);
