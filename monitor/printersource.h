// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#pragma once

#include <QList>
#include <QString>

// One CUPS destination as the monitor sees it. Instances of a queue are
// separate destinations with the same name.
struct PrinterDestination
{
    QString name;
    QString deviceUri; // empty when the destination has no device URI
};

// Where the printer list comes from. The real source asks the CUPS
// scheduler; tests may hand the window a fixed list.
class PrinterSource
{
public:
    virtual ~PrinterSource() = default;
    // Every destination, in the order CUPS returns them; empty when CUPS
    // cannot be reached.
    virtual QList<PrinterDestination> destinations() = 0;
};

class CupsPrinterSource : public PrinterSource
{
public:
    QList<PrinterDestination> destinations() override;
};

// A destination drives a QV-46 when it has a name and its device URI names
// the printer's backend.
bool isQv46Queue(const PrinterDestination &destination);
