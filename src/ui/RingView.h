#pragma once
#include <QColor>
#include <QWidget>

// A progress ring: a faint full circle and, over it, an arc whose length is the progress. The arc
// starts at the bottom of the circle and grows clockwise. Both strokes are 10 points wide. The
// track colour is taken from the theme when the ring is made.
class RingView : public QWidget {
    Q_OBJECT
public:
    static constexpr double kLineWidth = 10;
    static const QColor kSystemBlue;

    explicit RingView(QWidget *parent = nullptr);

    double progress() const { return progress_; } // as set, unclamped
    void setProgress(double p);
    // The part of the circle shown: progress clamped to 0…1, 0 for a value that is not a number.
    // (The picture follows it to within half a pixel of the arc's end.)
    double shownFraction() const { return shown_; }

    QColor color() const { return color_; }
    void setColor(const QColor &c);
    QColor trackColor() const { return track_; }

    // The circle both strokes follow, from the current size.
    double radius() const;
    QPointF centre() const;
    // What a change of the shown fraction from one value to another repaints: the stretch of the
    // ring between the two ends, or the whole view when the arc appears, vanishes or closes.
    QRect changedArea(double from, double to) const;

protected:
    void paintEvent(QPaintEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;

private:
    double progress_ = 0;
    double shown_ = 0;
    double painted_ = 0; // what the picture shows: within half a pixel of shown_
    QColor color_ = kSystemBlue;
    QColor track_;
};
