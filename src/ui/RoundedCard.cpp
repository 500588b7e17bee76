#include "ui/RoundedCard.h"

#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace {
// Qt hands a blend to its paint threads from about 96 spans on. A row of the straight sides gives at
// most three spans of the fill (two edge pixels and the inside) and a few of the line; a row through
// a corner's curve more, about one per partly covered pixel on each side.
constexpr int kSideBand = 15;
constexpr int kCornerBand = 6;

// Runs paint once per band of device rows over box (device pixels), clipped to the band.
template <class Paint> void bandsOver(QPainter &p, QRectF box, int corner, Paint paint) {
    // Only the rows that can be painted: a tall shape is mostly outside the region being repainted.
    QRectF visible = box;
    // The region being repainted is in the device's coordinates, which for a widget are its window's
    // (the painter's world transform leaves that offset out); the bands are cut in the world's.
    if (const QPaintEngine *engine = p.paintEngine(); engine && !engine->systemClip().isEmpty())
        visible &= p.transform().mapRect(
            p.deviceTransform().inverted().mapRect(QRectF(engine->systemClip().boundingRect())));
    if (p.hasClipping()) visible &= p.transform().mapRect(p.clipBoundingRect());
    const int shapeTop = int(std::floor(box.top())), shapeBottom = int(std::ceil(box.bottom()));
    box = visible;
    if (box.isEmpty()) return;
    const int top = int(std::floor(box.top())), bottom = int(std::ceil(box.bottom()));
    const int left = int(std::floor(box.left())), width = int(std::ceil(box.right())) - left;
    const QTransform device = p.transform();
    for (int y = top; y < bottom;) {
        // Rows within a corner's reach of the top or the bottom are cut finer.
        const bool nearEdge = y < shapeTop + corner || y >= shapeBottom - corner;
        const int h = std::min(nearEdge ? kCornerBand : kSideBand, bottom - y);
        p.save();
        p.resetTransform();
        p.setClipRect(QRect(left, y, width, h), Qt::IntersectClip);
        p.setTransform(device);
        paint();
        p.restore();
        y += h;
    }
}
} // namespace

namespace RoundedCard {
void fillRect(QPainter &p, const QRectF &r, const QColor &color) {
    if (r.isEmpty()) return;
    const QRectF box = p.transform().mapRect(r.adjusted(-1, -1, 1, 1));
    bandsOver(p, box, 0, [&] { p.fillRect(r, color); });
}

void paint(QPainter &p, const QRectF &r, double radius, const QColor &fill, const QColor &line,
           double lineWidth) {
    if (r.isEmpty()) return;
    QPainterPath path;
    if (radius > 0)
        path.addRoundedRect(r, radius, radius);
    else
        path.addRect(r);
    const bool filled = fill.isValid() && fill.alpha() > 0;
    const bool outline = lineWidth > 0 && line.isValid() && line.alpha() > 0;
    const QPen pen(line, lineWidth);
    const double reach = outline ? lineWidth / 2 + 1 : 1;
    const QRectF box = p.transform().mapRect(r.adjusted(-reach, -reach, reach, reach));
    const int corner = int(std::ceil(std::max(radius, 0.0) * std::max(p.transform().m22(), 1.0) + reach)) + 1;
    bandsOver(p, box, corner, [&] {
        if (filled) p.fillPath(path, fill);
        if (outline) p.strokePath(path, pen);
    });
}
} // namespace RoundedCard
