#include "exercises/BreathingCircleView.h"
#include "ui/TextFit.h"

#include "exercises/RunnerTexts.h"
#include "platform/Clock.h"
#include "ui/Fonts.h"
#include "ui/Geometry.h"
#include "ui/Theme.h"
#include <QEasingCurve>
#include <QLabel>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {
double nowMs() {
    return double(Clock::get().now().toMSecsSinceEpoch());
}
struct PhaseAnim {
    double scaleFrom, scaleTo, glowFrom, glowTo;
};
PhaseAnim animFor(BreathePhase p) {
    switch (p) {
    case BreathePhase::inhale: return {0.55, 1.0, 0.12, 0.24};
    case BreathePhase::hold: return {1.0, 1.03, 0.22, 0.1};
    case BreathePhase::exhale: return {1.0, 0.55, 0.22, 0.1};
    case BreathePhase::none: break;
    }
    return {0.75, 0.75, 0.22, 0.1};
}
} // namespace

BreathingCircleView::BreathingCircleView(QWidget *parent) : QWidget(parent), accent_(VF::accent()) {
    phaseLbl_ = new FitLabel(this);
    phaseLbl_->setAlignment(Qt::AlignCenter);
    phaseLbl_->setFont(Fonts::scaledFont(15, QFont::DemiBold));
    QPalette pal = phaseLbl_->palette();
    pal.setColor(QPalette::WindowText, QColor::fromRgbF(1, 1, 1, 0.8f));
    phaseLbl_->setPalette(pal);
    frames_ = Clock::get().makeTicker(this);
    connect(frames_, &Ticker::timeout, this, [this] {
        // A frame that would draw the same picture is not drawn: in a long phase the circle grows
        // by a hundredth of a pixel a frame. A quarter of a pixel, or a step of the glow's opacity,
        // is drawn.
        if (std::abs(shownScale() * radius_ - drawnRadius_) >= 0.25 || glowStep() != drawnGlowStep_) update();
        if (progress() >= 1) updateTimer();
    });
}

void BreathingCircleView::animatePhase(BreathePhase phase, const QColor &accent, double durationSecs) {
    phase_ = phase;
    accent_ = accent;
    duration_ = durationSecs;
    QColor word = accent;
    switch (phase) {
    case BreathePhase::inhale:
        stroke_ = accent;
        phaseLbl_->setText(RunnerTexts::inhaleWord());
        break;
    case BreathePhase::hold:
        stroke_ = word = QColor::fromRgbF(1.0f, 0.8f, 0.2f);
        phaseLbl_->setText(RunnerTexts::holdWord());
        break;
    case BreathePhase::exhale:
        stroke_ = word = QColor::fromRgbF(0.35f, 0.9f, 0.6f);
        phaseLbl_->setText(RunnerTexts::exhaleWord());
        break;
    case BreathePhase::none:
        stroke_ = accent;
        phaseLbl_->clear();
        word = QColor();
        break;
    }
    if (word.isValid()) {
        QPalette pal = phaseLbl_->palette();
        pal.setColor(QPalette::WindowText, word);
        phaseLbl_->setPalette(pal);
    }
    applyScaleAnimation(phase, durationSecs, true);
}

void BreathingCircleView::applyScaleAnimation(BreathePhase phase, double duration, bool restart) {
    const PhaseAnim a = animFor(phase);
    scaleFrom_ = restart ? a.scaleFrom : shownScale();
    scaleTo_ = a.scaleTo;
    glowFrom_ = a.glowFrom;
    glowTo_ = a.glowTo;
    animStartMs_ = nowMs();
    animLenMs_ = std::max(0.0, duration * 0.92 * 1000);
    updateTimer();
    update();
}

double BreathingCircleView::progress() const {
    if (animLenMs_ <= 0) return 1;
    return std::clamp((nowMs() - animStartMs_) / animLenMs_, 0.0, 1.0);
}

double BreathingCircleView::shownScale() const {
    const double t = QEasingCurve(QEasingCurve::InOutQuad).valueForProgress(progress());
    return scaleFrom_ + (scaleTo_ - scaleFrom_) * t;
}

double BreathingCircleView::shownGlow() const {
    const double t = QEasingCurve(QEasingCurve::InOutQuad).valueForProgress(progress());
    return glowFrom_ + (glowTo_ - glowFrom_) * t;
}

int BreathingCircleView::glowStep() const {
    return int(std::lround(std::clamp(shownGlow(), 0.0, 1.0) * 255));
}

bool BreathingCircleView::frameTimerActive() const {
    return frames_->isActive();
}

void BreathingCircleView::updateTimer() {
    // Frames only while something moves and someone can see it.
    const bool run = isVisible() && stroke_.isValid() && progress() < 1;
    if (run && !frames_->isActive())
        frames_->start(33);
    else if (!run && frames_->isActive())
        frames_->stop();
}

void BreathingCircleView::resizeEvent(QResizeEvent *) {
    const double W = width(), H = height();
    const double r = std::min(W, H) / 2 - 18;
    if (r > 4) radius_ = r; // a view too small keeps its old circle
    phaseLbl_->setGeometry(yUp(H, 0, H / 2 - 12, W, 22));
    // After a resize the circle goes on from the scale it shows now.
    if (phase_ != BreathePhase::none) applyScaleAnimation(phase_, duration_, false);
}

void BreathingCircleView::showEvent(QShowEvent *) {
    updateTimer();
}
void BreathingCircleView::hideEvent(QHideEvent *) {
    updateTimer();
}

void BreathingCircleView::paintEvent(QPaintEvent *) {
    if (!stroke_.isValid() || radius_ <= 0) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setTransform(yUpTransform(height()));
    const QPointF c(width() / 2.0, height() / 2.0);
    const double s = shownScale();
    drawnRadius_ = s * radius_;
    drawnGlowStep_ = glowStep();
    p.translate(c);
    p.scale(s, s);
    p.setBrush(Qt::NoBrush);
    QColor glow = stroke_;
    glow.setAlphaF(float(std::clamp(shownGlow(), 0.0, 1.0)));
    p.setPen(QPen(glow, 14));
    p.drawEllipse(QPointF(0, 0), radius_ + 4, radius_ + 4);
    p.setPen(QPen(stroke_, 6));
    p.drawEllipse(QPointF(0, 0), radius_, radius_);
}
