#pragma once
#include <QWidget>

// A small up/down stepper holding a double value, so that a stored 2.5 minutes stays 2.5 and steps
// to 3.5. A click on the upper half steps up, on the lower half down; the value stays within
// minimum…maximum (no wrapping). A value handed in is kept as given, even outside the range.
class Stepper : public QWidget {
    Q_OBJECT
public:
    Stepper(double minimum, double maximum, double increment, QWidget *parent = nullptr);

    double value() const { return value_; }
    void setValue(double v) { value_ = v; update(); }
    double minimum() const { return min_; }
    double maximum() const { return max_; }

    void stepUp() { stepBy(+1); }
    void stepDown() { stepBy(-1); }

signals:
    // Only for changes made by the user.
    void valueChanged(double value);

protected:
    void paintEvent(QPaintEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;

private:
    void stepBy(int dir);
    double min_, max_, inc_;
    double value_ = 0;
};
