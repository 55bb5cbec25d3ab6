// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#pragma once

#include "printersource.h"

// A printer list the test edits between steps, standing in for CUPS.
class FakePrinters : public PrinterSource
{
public:
    QList<PrinterDestination> destinations() override
    {
        ++queries;
        return list;
    }
    void add(const QString &name, const QString &deviceUri)
    {
        list.append(PrinterDestination {name, deviceUri});
    }
    void addQv46(const QString &name, const QString &serial)
    {
        add(name, "valdren-zelbackend://VALDREN/QV-46?serial=" + serial);
    }

    QList<PrinterDestination> list;
    int queries = 0;
};
