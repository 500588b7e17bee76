#pragma once
#include <QColor>
#include <QWidget>

// A plain box painted with a fill, an optional border and rounded corners: the strips, bars, rules
// and cards of the Pomodoro page. Children are clipped to the box's rectangle as Qt does anyway.
class PomBox : public QWidget {
    Q_OBJECT
public:
    explicit PomBox(const QColor &fill, double radius = 0, QWidget *parent = nullptr)
        : QWidget(parent), fill_(fill), radius_(radius) {}
    void setFill(const QColor &c) { fill_ = c; update(); }
    void setBorder(const QColor &c, double width) { border_ = c; borderW_ = width; update(); }
    QColor fill() const { return fill_; }

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    QColor fill_;
    QColor border_;
    double borderW_ = 0;
    double radius_;
};
