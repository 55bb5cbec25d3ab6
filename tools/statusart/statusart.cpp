// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "statusart.h"

#include <QDir>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace {

const int kPictureSize = 346;
const int kIconSize = 256;

const QColor kGreen(46, 160, 67);
const QColor kBlue(36, 110, 214);
const QColor kPurple(128, 72, 184);
const QColor kYellow(236, 184, 18);
const QColor kOrange(238, 118, 22);
const QColor kRed(208, 38, 38);
const QColor kGrey(142, 142, 142);

// Maps a point given in the unit square onto `box`.
QPointF at(const QRectF &box, qreal x, qreal y)
{
    return QPointF(box.left() + x * box.width(), box.top() + y * box.height());
}

QRectF part(const QRectF &box, qreal x0, qreal y0, qreal x1, qreal y1)
{
    return QRectF(at(box, x0, y0), at(box, x1, y1));
}

// A printer seen from the front: paper going in at the top, a sheet coming
// out at the bottom. `body` fills it, `detail` draws slots, lines and edges.
void drawPrinter(
    QPainter &p, const QRectF &box, const QBrush &body, const QColor &detail, qreal line)
{
    const qreal w = box.width();
    p.setPen(QPen(detail, line, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));

    p.setBrush(Qt::white);
    p.drawRect(part(box, 0.24, 0.02, 0.76, 0.36));

    p.setBrush(body);
    p.drawRoundedRect(part(box, 0.0, 0.28, 1.0, 0.78), 0.08 * w, 0.08 * w);

    p.setBrush(detail);
    p.drawRoundedRect(part(box, 0.14, 0.61, 0.86, 0.67), 0.02 * w, 0.02 * w);
    p.drawEllipse(at(box, 0.86, 0.40), 0.035 * w, 0.035 * w);

    p.setBrush(Qt::white);
    p.drawRect(part(box, 0.2, 0.64, 0.8, 1.0));
    p.setPen(QPen(detail, line * 0.8, Qt::SolidLine, Qt::RoundCap));
    for (qreal y : {0.76, 0.84, 0.92})
        p.drawLine(at(box, 0.3, y), at(box, 0.7, y));
}

void drawSphere(QPainter &p, const QPointF &centre, qreal radius, const QColor &colour)
{
    QRadialGradient shade(centre, radius, centre - QPointF(radius * 0.35, radius * 0.4));
    shade.setColorAt(0.0, colour.lighter(150));
    shade.setColorAt(0.55, colour);
    shade.setColorAt(1.0, colour.darker(170));
    p.setPen(Qt::NoPen);
    p.setBrush(shade);
    p.drawEllipse(centre, radius, radius);

    // The gloss: a soft white cap over the upper half.
    const QRectF cap(
        centre.x() - radius * 0.72, centre.y() - radius * 0.94, radius * 1.44, radius * 0.95);
    QLinearGradient gloss(cap.topLeft(), cap.bottomLeft());
    gloss.setColorAt(0.0, QColor(255, 255, 255, 200));
    gloss.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setBrush(gloss);
    p.drawEllipse(cap);
}

void drawBadgeSymbol(QPainter &p, const QRectF &b, Badge badge, const QColor &ink)
{
    const qreal w = b.width();
    p.setPen(QPen(ink, w * 0.06, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    switch (badge) {
    case Badge::None:
        break;
    case Badge::WasteBin: {
        p.drawLine(at(b, 0.18, 0.26), at(b, 0.82, 0.26));
        p.drawLine(at(b, 0.4, 0.26), at(b, 0.42, 0.16));
        p.drawLine(at(b, 0.42, 0.16), at(b, 0.58, 0.16));
        p.drawLine(at(b, 0.58, 0.16), at(b, 0.6, 0.26));
        QPolygonF bin;
        bin << at(b, 0.25, 0.34) << at(b, 0.75, 0.34) << at(b, 0.68, 0.86) << at(b, 0.32, 0.86);
        p.drawPolygon(bin);
        for (qreal x : {0.4, 0.5, 0.6})
            p.drawLine(at(b, x, 0.44), at(b, x, 0.76));
        break;
    }
    case Badge::Paper: {
        QPolygonF sheet;
        sheet << at(b, 0.24, 0.14) << at(b, 0.6, 0.14) << at(b, 0.76, 0.3) << at(b, 0.76, 0.86)
              << at(b, 0.24, 0.86);
        p.drawPolygon(sheet);
        p.drawPolyline(QPolygonF() << at(b, 0.6, 0.14) << at(b, 0.6, 0.3) << at(b, 0.76, 0.3));
        break;
    }
    case Badge::RibbonSpools:
        p.drawEllipse(at(b, 0.27, 0.5), w * 0.15, w * 0.3);
        p.drawEllipse(at(b, 0.73, 0.5), w * 0.15, w * 0.3);
        p.drawLine(at(b, 0.27, 0.2), at(b, 0.73, 0.2));
        p.drawLine(at(b, 0.27, 0.8), at(b, 0.73, 0.8));
        p.setBrush(ink);
        p.drawEllipse(at(b, 0.27, 0.5), w * 0.04, w * 0.04);
        p.drawEllipse(at(b, 0.73, 0.5), w * 0.04, w * 0.04);
        break;
    case Badge::PaperJam: {
        p.drawEllipse(at(b, 0.3, 0.28), w * 0.13, w * 0.13);
        p.drawEllipse(at(b, 0.7, 0.28), w * 0.13, w * 0.13);
        QPolygonF zigzag;
        zigzag << at(b, 0.12, 0.62) << at(b, 0.28, 0.78) << at(b, 0.44, 0.56) << at(b, 0.6, 0.8)
               << at(b, 0.76, 0.58) << at(b, 0.9, 0.74);
        p.drawPolyline(zigzag);
        break;
    }
    }
}

void drawBadge(QPainter &p, const QRectF &b, Badge badge, const QColor &sphere)
{
    if (badge == Badge::None)
        return;
    p.setPen(QPen(sphere.darker(160), b.width() * 0.05));
    p.setBrush(Qt::white);
    p.drawRoundedRect(b, b.width() * 0.14, b.width() * 0.14);
    drawBadgeSymbol(p,
        b.adjusted(b.width() * 0.08, b.width() * 0.08, -b.width() * 0.08, -b.width() * 0.08), badge,
        QColor(48, 48, 48));
}

} // namespace

const std::vector<StatusArt> &statusArtTable()
{
    static const std::vector<StatusArt> table = {
        {"PrtStsIdle.bmp", kGreen, Badge::None},
        {"PrtStsPrinting.bmp", kBlue, Badge::None},
        {"PrtStsCooling.bmp", kPurple, Badge::None},
        {"PrtStsCoverOpen.bmp", kYellow, Badge::None},
        {"PrtStsNoScrapBox.bmp", kOrange, Badge::WasteBin},
        {"PrtStsPaperEnd.bmp", kYellow, Badge::Paper},
        {"PrtStsRibbonEnd.bmp", kYellow, Badge::RibbonSpools},
        {"PrtStsPaperJam.bmp", kOrange, Badge::PaperJam},
        {"PrtStsRibbonErr.bmp", kOrange, Badge::RibbonSpools},
        {"PrtStsPaperErr.bmp", kOrange, Badge::Paper},
        {"PrtStsSystemErr01.bmp", kRed, Badge::None},
        {"PrtStsOffline.bmp", kGrey, Badge::None},
    };
    return table;
}

QImage drawStatusPicture(const StatusArt &art)
{
    // RGB888 has no alpha, so the BMP writer stores 24 bits per pixel.
    QImage image(kPictureSize, kPictureSize, QImage::Format_RGB888);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    const qreal radius = 158;
    const QPointF centre(kPictureSize / 2.0, kPictureSize / 2.0);
    drawSphere(p, centre, radius, art.sphere);
    drawPrinter(p, QRectF(centre.x() - 88, centre.y() - 84, 176, 168), Qt::white,
        art.sphere.darker(140), 5);
    drawBadge(p, QRectF(234, 234, 104, 104), art.badge, art.sphere);
    return image;
}

QImage drawPrinterIcon()
{
    QImage image(kIconSize, kIconSize, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    const QRectF box(16, 24, 224, 212);
    QLinearGradient body(box.topLeft(), box.bottomLeft());
    body.setColorAt(0.0, QColor(110, 132, 158));
    body.setColorAt(1.0, QColor(52, 68, 92));
    drawPrinter(p, box, body, QColor(30, 38, 52), 5);
    return image;
}

int writeStatusArt(const QString &dir)
{
    QDir().mkpath(dir);
    for (const StatusArt &art : statusArtTable()) {
        const QImage picture = drawStatusPicture(art);
        if (!picture.save(QDir(dir).filePath(art.fileName), "BMP"))
            return 1;
        // The printer application's web pages show them smaller, as PNG.
        const QString png = QString(art.fileName).replace(".bmp", ".png");
        const QImage small = picture.scaled(
            kWebPictureSize, kWebPictureSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (!small.save(QDir(dir).filePath(png), "PNG"))
            return 1;
    }
    const QImage icon = drawPrinterIcon();
    // The smaller sizes desktop menus and panels ask the icon theme for.
    for (int side : kSmallIconSizes) {
        const QString name = QString("printer_icon_%1.png").arg(side);
        const QImage small
            = icon.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (!small.save(QDir(dir).filePath(name), "PNG"))
            return 1;
    }
    return icon.save(QDir(dir).filePath("printer_icon.png"), "PNG") ? 0 : 1;
}
