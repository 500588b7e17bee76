#pragma once
#include "exercises/RunnerLogic.h"
#include <QColor>
#include <QWidget>

class QPainter;
class Ticker;

// A small looping line figure of the movement a built-in step asks for, drawn in the accent at
// several opacities on a 140 × 140 design canvas scaled to the view. One loop is 76 frames of
// 0.033 s; frames run only while the view is visible and a kind is set.
class ExerciseAnimView : public QWidget {
    Q_OBJECT
public:
    explicit ExerciseAnimView(QWidget *parent = nullptr);

    AnimKind kind() const { return kind_; }
    // Every set restarts the loop at phase 0, also for the same kind.
    void setKind(AnimKind k);
    QColor accent() const { return accent_; }
    void setAccent(const QColor &c) { accent_ = c; } // used from the next frame

    double phase() const { return phase_; }
    void setPhase(double p) { phase_ = p; } // for tests and still renders
    // One frame: phase moves on by 0.0132 and wraps to 0 at 1.
    void tick();
    bool frameTimerActive() const;

    // Draws the figure of kind at phase into a w × h area (y-down painter at the area's top left).
    static void drawFigure(QPainter &p, AnimKind kind, double phase, const QColor &accent, double w, double h);

protected:
    void paintEvent(QPaintEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void hideEvent(QHideEvent *e) override;

private:
    void updateTimer();

    AnimKind kind_ = AnimKind::none;
    QColor accent_;
    double phase_ = 0;
    Ticker *frames_ = nullptr;
};
