// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printersource.h"

#include "common/TmpFiles.h"

#include <cups/cups.h>

QList<PrinterDestination> CupsPrinterSource::destinations()
{
    QList<PrinterDestination> list;
    cups_dest_t *dests = nullptr;
    const int count = cupsGetDests(&dests);
    for (int i = 0; i < count; ++i) {
        const char *uri = cupsGetOption("device-uri", dests[i].num_options, dests[i].options);
        list.append({QString::fromUtf8(dests[i].name ? dests[i].name : ""),
            QString::fromUtf8(uri ? uri : "")});
    }
    cupsFreeDests(count, dests);
    return list;
}

bool isQv46Queue(const PrinterDestination &destination)
{
    return !destination.name.isEmpty()
        && destination.deviceUri.contains(QLatin1String(kDeviceUriPrefix));
}
