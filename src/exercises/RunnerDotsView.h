#pragma once
#include <QColor>
#include <QWidget>

// The runner panel's step dots: one dot per step of the running exercise, the finished ones in the
// accent at half strength, the current one in the accent, the rest faint.
class RunnerDotsView : public QWidget {
    Q_OBJECT
public:
    explicit RunnerDotsView(QWidget *parent = nullptr);

    int count = 0;
    int current = 0;
    QColor accent; // the theme's accent when made

    static constexpr double kDot = 10;
    static constexpr double kGap = 8;
    // The dot rectangles for the current size, left to right.
    QList<QRectF> dotRects() const;

protected:
    void paintEvent(QPaintEvent *e) override;
};
