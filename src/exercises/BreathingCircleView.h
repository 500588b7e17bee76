#pragma once
#include "exercises/BreathPhase.h"
#include <QColor>
#include <QWidget>

class QLabel;
class Ticker;

// The breathing guide: a stroked circle with a glow ring that grows while breathing in, swells a
// little while holding and shrinks while breathing out, the phase's word in its middle. One step
// is one phase; the scale reaches its target at 0.92 of the step's length. Time comes from the
// clock seam; frames are drawn at 30 per second only while the view is visible.
class BreathingCircleView : public QWidget {
    Q_OBJECT
public:
    explicit BreathingCircleView(QWidget *parent = nullptr);

    void animatePhase(BreathePhase phase, const QColor &accent, double durationSecs);

    BreathePhase currentPhase() const { return phase_; }
    QColor currentAccent() const { return accent_; }
    double currentDuration() const { return duration_; }
    QLabel *phaseLabel() const { return phaseLbl_; }
    // The scale and glow opacity shown now.
    double shownScale() const;
    double shownGlow() const;
    double circleRadius() const { return radius_; }
    bool frameTimerActive() const;

protected:
    void paintEvent(QPaintEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void hideEvent(QHideEvent *e) override;

private:
    void applyScaleAnimation(BreathePhase phase, double duration, bool restart);
    double progress() const;
    void updateTimer();
    int glowStep() const; // the glow's opacity as drawn, 0…255

    QLabel *phaseLbl_ = nullptr;
    BreathePhase phase_ = BreathePhase::none;
    QColor accent_;
    QColor stroke_; // invalid until the first phase
    double duration_ = 4.0;
    double radius_ = 0;
    double scaleFrom_ = 1, scaleTo_ = 1, glowFrom_ = 0.18, glowTo_ = 0.18;
    double animStartMs_ = 0, animLenMs_ = 0;
    Ticker *frames_ = nullptr;
    double drawnRadius_ = -1; // what the last paint drew
    int drawnGlowStep_ = -1;
};
