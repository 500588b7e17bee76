#include "exercises/ExerciseAnimView.h"

#include "platform/Clock.h"
#include "ui/Geometry.h"
#include "ui/Theme.h"
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace {
QColor at(const QColor &c, double a) {
    QColor o = c;
    o.setAlphaF(float(a));
    return o;
}
QPen pen(const QColor &c, double w, bool round = false) {
    QPen p(c, w);
    p.setCapStyle(round ? Qt::RoundCap : Qt::FlatCap);
    return p;
}
// An arc in y-up coordinates, angles in degrees, counter-clockwise or clockwise from start to end.
QPainterPath arc(QPointF c, double r, double startDeg, double endDeg, bool clockwise) {
    if (clockwise)
        while (endDeg > startDeg) endDeg -= 360;
    else
        while (endDeg < startDeg) endDeg += 360;
    QPainterPath path;
    const int n = std::max(2, int(std::abs(endDeg - startDeg) / 3) + 1);
    for (int i = 0; i <= n; ++i) {
        const double a = (startDeg + (endDeg - startDeg) * i / n) * M_PI / 180;
        const QPointF pt(c.x() + r * std::cos(a), c.y() + r * std::sin(a));
        if (i == 0)
            path.moveTo(pt);
        else
            path.lineTo(pt);
    }
    return path;
}
void strokeOval(QPainter &p, QRectF r, const QColor &c, double w) {
    p.setBrush(Qt::NoBrush);
    p.setPen(pen(c, w));
    p.drawEllipse(r);
}
void fillCircle(QPainter &p, QPointF c, double r, const QColor &col) {
    p.setPen(Qt::NoPen);
    p.setBrush(col);
    p.drawEllipse(c, r, r);
}
void line(QPainter &p, QPointF a, QPointF b, const QColor &c, double w, bool round) {
    p.setPen(pen(c, w, round));
    p.drawLine(a, b);
}

void drawHeadTilt(QPainter &p, const QColor &ac, double angle) {
    p.translate(0, -16);
    p.rotate(angle * 180 / M_PI); // counter-clockwise in y-up coordinates
    strokeOval(p, QRectF(-18, 16, 36, 40), at(ac, 0.7), 2);
    QPainterPath neck;
    neck.moveTo(-8, 16);
    neck.lineTo(-8, 2);
    neck.lineTo(8, 2);
    neck.lineTo(8, 16);
    p.setBrush(Qt::NoBrush);
    p.setPen(pen(at(ac, 0.4), 2));
    p.drawPath(neck);
    QPainterPath sh;
    sh.moveTo(-40, 0);
    sh.cubicTo(-20, -8, 20, -8, 40, 0);
    p.setPen(pen(at(ac, 0.55), 2.5));
    p.drawPath(sh);
    p.setPen(pen(at(ac, 0.45), 1.5));
    p.drawPath(angle >= 0 ? arc({0, 36}, 30, 80, 140, false) : arc({0, 36}, 30, 80, 40, true));
}
} // namespace

ExerciseAnimView::ExerciseAnimView(QWidget *parent) : QWidget(parent), accent_(VF::accent()) {
    frames_ = Clock::get().makeTicker(this);
    connect(frames_, &Ticker::timeout, this, &ExerciseAnimView::tick);
}

void ExerciseAnimView::setKind(AnimKind k) {
    kind_ = k;
    phase_ = 0;
    frames_->stop();
    updateTimer();
    update();
}

void ExerciseAnimView::tick() {
    phase_ += 0.0132;
    if (phase_ >= 1.0) phase_ = 0;
    update();
}

bool ExerciseAnimView::frameTimerActive() const {
    return frames_->isActive();
}

void ExerciseAnimView::updateTimer() {
    const bool run = kind_ != AnimKind::none && isVisible();
    if (run && !frames_->isActive())
        frames_->start(33);
    else if (!run && frames_->isActive())
        frames_->stop();
}

void ExerciseAnimView::showEvent(QShowEvent *) {
    updateTimer();
}
void ExerciseAnimView::hideEvent(QHideEvent *) {
    updateTimer();
}

void ExerciseAnimView::paintEvent(QPaintEvent *) {
    if (kind_ == AnimKind::none) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    drawFigure(p, kind_, phase_, accent_, width(), height());
}

void ExerciseAnimView::drawFigure(QPainter &p, AnimKind kind, double phase, const QColor &ac, double W, double H) {
    if (kind == AnimKind::none) return;
    p.save();
    p.setTransform(yUpTransform(H), true);
    const double s = std::min(W, H) / 140;
    p.translate(W / 2, H / 2);
    p.scale(s, s);
    const double t = 2 * M_PI * phase;
    switch (kind) {
    case AnimKind::none: break;
    case AnimKind::eyeTarget: {
        const double radii[] = {14 + 5 * std::sin(t), 28 + 5 * std::sin(t + 0.6), 44 + 5 * std::sin(t + 1.2),
                                58 + 5 * std::sin(t + 1.8)};
        const double alphas[] = {0.9, 0.55, 0.28, 0.13};
        p.setBrush(Qt::NoBrush);
        for (int i = 0; i < 4; ++i) {
            p.setPen(pen(at(ac, alphas[i]), 1.5));
            p.drawEllipse(QPointF(0, 0), radii[i], radii[i]);
        }
        fillCircle(p, {0, 0}, 6, at(ac, 0.9));
        line(p, {-64, 0}, {64, 0}, at(ac, 0.2), 0.5, false);
        line(p, {0, -64}, {0, 64}, at(ac, 0.2), 0.5, false);
        break;
    }
    case AnimKind::neckTiltRight: drawHeadTilt(p, ac, phase * M_PI / 8); break;
    case AnimKind::neckTiltLeft: drawHeadTilt(p, ac, -phase * M_PI / 8); break;
    case AnimKind::shoulderRoll:
        fillCircle(p, {-50 + 12 * std::sin(t), 8 * std::cos(t)}, 10, at(ac, 0.65));
        fillCircle(p, {50 + 12 * std::sin(t + M_PI), 8 * std::cos(t + M_PI)}, 10, at(ac, 0.65));
        strokeOval(p, QRectF(-8, 10, 16, 22), at(ac, 0.3), 2);
        line(p, {-50, 0}, {50, 0}, at(ac, 0.22), 3, false);
        break;
    case AnimKind::wristRotate:
        line(p, {0, 40}, {0, 0}, at(ac, 0.3), 10, true);
        fillCircle(p, {0, 0}, 6, at(ac, 0.7));
        p.setPen(Qt::NoPen);
        p.setBrush(at(ac, 0.5));
        p.drawEllipse(QRectF(28 * std::cos(t) - 12, 18 * std::sin(t) - 8, 24, 16));
        p.setBrush(Qt::NoBrush);
        p.setPen(pen(at(ac, 0.35), 1.5));
        p.drawPath(arc({0, 0}, 34, 0, 270, true));
        break;
    case AnimKind::fingerSpread: {
        const double g = RunnerLogic::fingerSpread(phase);
        const double L[] = {38, 46, 50, 46, 40};
        const double A[] = {-M_PI / 2 - g * M_PI / 5, -M_PI / 2 - g * M_PI / 10, -M_PI / 2, -M_PI / 2 + g * M_PI / 10,
                            -M_PI / 2 + g * M_PI / 5};
        for (int i = 0; i < 5; ++i)
            line(p, {0, 0}, {L[i] * std::cos(A[i]), L[i] * std::sin(A[i]) + 10}, at(ac, 0.6), 6, true);
        fillCircle(p, {0, 0}, 16, at(ac, 0.4));
        break;
    }
    case AnimKind::backWave: {
        QPainterPath sp;
        sp.moveTo(0, 50);
        sp.cubicTo(14 * std::sin(t), 20, -14 * std::sin(t), -20, 0, -50);
        p.setBrush(Qt::NoBrush);
        p.setPen(pen(at(ac, 0.7), 5, true));
        p.drawPath(sp);
        strokeOval(p, QRectF(-12, 48, 24, 28), at(ac, 0.5), 2);
        break;
    }
    case AnimKind::backTwist: {
        const double u = 30 * std::sin(t);
        p.fillRect(QRectF(-28, -18, 56, 10), at(ac, 0.2));
        line(p, {0, -8}, {0, 50}, at(ac, 0.55), 5, true);
        line(p, {-30 + u / 2, 30}, {30 + u / 2, 30}, at(ac, 0.7), 4, true);
        p.setBrush(Qt::NoBrush);
        p.setPen(pen(at(ac, 0.4), 2));
        p.drawPath(u > 0 ? arc({0, 30}, 38, 160, 60, true) : arc({0, 30}, 38, 20, 120, false));
        strokeOval(p, QRectF(-10, 44, 20, 22), at(ac, 0.45), 2);
        break;
    }
    case AnimKind::catCow: {
        const double b = 20 * std::sin(t);
        QPainterPath back;
        back.moveTo(-60, 0);
        back.cubicTo(-20, b, 20, b, 60, 0);
        p.setBrush(Qt::NoBrush);
        p.setPen(pen(at(ac, 0.7), 4, true));
        p.drawPath(back);
        for (double x : {-50.0, -20.0, 20.0, 50.0}) line(p, {x, 0}, {x, -22}, at(ac, 0.3), 3, true);
        strokeOval(p, QRectF(50, -8, 20, 18), at(ac, 0.5), 2);
        break;
    }
    case AnimKind::forwardBend: {
        const double th = (M_PI / 3) * std::sin(M_PI * phase) + M_PI / 6 - M_PI / 2;
        const QPointF P(55 * std::cos(th), 55 * std::sin(th));
        line(p, {0, 0}, P, at(ac, 0.7), 5, true);
        line(p, P, P + QPointF(30 * std::cos(th), 30 * std::sin(th)), at(ac, 0.5), 3, true);
        line(p, {-12, 0}, {-12, -50}, at(ac, 0.35), 4, true);
        line(p, {12, 0}, {12, -50}, at(ac, 0.35), 4, true);
        strokeOval(p, QRectF(-10, 2, 20, 22), at(ac, 0.45), 2);
        break;
    }
    }
    p.restore();
}
