// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <vector>

// The little picture drawn at the lower right of some status pictures.
enum class Badge { None, WasteBin, Paper, RibbonSpools, PaperJam };

struct StatusArt
{
    const char *fileName;
    QColor sphere;
    Badge badge;
};

// The twelve status pictures, in the order the monitor's resources list them.
const std::vector<StatusArt> &statusArtTable();

// A 346 x 346 opaque picture: glossy sphere, white printer, optional badge.
QImage drawStatusPicture(const StatusArt &art);

// The 256 x 256 application icon with a transparent background.
QImage drawPrinterIcon();

// Sides of the scaled copies of the icon, printer_icon_<side>.png.
const int kSmallIconSizes[] = {16, 22, 24, 32, 48, 64, 128};

// Side of the status pictures' PNG copies for the printer application's pages.
const int kWebPictureSize = 128;

// Writes every picture into `dir` (24-bit BMPs with a smaller PNG copy each,
// printer_icon.png and its scaled copies).
// Returns 0 on success, 1 when a file could not be written.
int writeStatusArt(const QString &dir);
