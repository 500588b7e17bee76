#pragma once
#include <QRect>
#include <QRectF>
#include <QTransform>
#include <cmath>

// Frames in the app's layout tables are given y-up (origin at the bottom left of the parent), the way
// the design was drawn. Qt widgets are y-down. Every conversion goes through here.
inline QRectF yUpF(double parentH, double x, double y, double w, double h) {
    return QRectF(x, parentH - y - h, w, h);
}
inline QRect yUp(double parentH, double x, double y, double w, double h) {
    const QRectF r = yUpF(parentH, x, y, w, h);
    return QRect(int(std::lround(r.x())), int(std::lround(r.y())), int(std::lround(r.width())),
                 int(std::lround(r.height())));
}

// A painter transform for drawing y-up in a view h high: (0, 0) at the bottom left. Angles turn
// counter-clockwise on screen under it, so arcs built from cos/sin keep their drawn direction.
inline QTransform yUpTransform(double h) {
    return QTransform(1, 0, 0, -1, 0, h);
}
