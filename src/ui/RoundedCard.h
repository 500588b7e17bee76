#pragma once
#include <QColor>
#include <QRectF>

class QPainter;

// A card's rounded rectangle: filled, and outlined when lineWidth is above zero (the line centred on
// the rectangle's edge), antialiased, as QPainter::fillPath and drawPath give it.
//
// Qt's raster engine hands a fill of many spans at once to a pool of paint threads; the first such
// fill of a page starts those threads, which costs the window's thread more than the fill itself.
// The card is painted here in bands of rows, each band few spans, so the window's thread paints it
// alone, to the same pixels.
namespace RoundedCard {
void paint(QPainter &p, const QRectF &r, double radius, const QColor &fill, const QColor &line = {},
           double lineWidth = 0);
// QPainter::fillRect, in bands likewise: a translucent fill over many rows (a tall row's background,
// a column line) would be handed to the paint threads just the same.
void fillRect(QPainter &p, const QRectF &r, const QColor &color);
} // namespace RoundedCard
