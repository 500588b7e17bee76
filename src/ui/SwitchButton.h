#pragma once
#include <QCheckBox>

// An on/off switch: a rounded track, filled with the theme's accent when on, and a round white knob
// that sits at the track's right end when on and at its left end when off. It stays a check box for
// its signals and state, but has no title or indicator box, and the whole frame takes the click.
class SwitchButton : public QCheckBox {
    Q_OBJECT
public:
    explicit SwitchButton(QWidget *parent = nullptr);
    QSize sizeHint() const override;
    // The track's rectangle inside the frame: as tall as the frame (22 at most), 1.75 times as wide,
    // at the frame's right.
    QRectF trackRect() const;

protected:
    void paintEvent(QPaintEvent *e) override;
    bool hitButton(const QPoint &pos) const override;
};
