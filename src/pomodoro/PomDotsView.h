#pragma once
#include <QColor>
#include <QWidget>

// A centred row of 9-point dots, 16 points apart: the first `filled` in `color`, the rest faint.
class PomDotsView : public QWidget {
    Q_OBJECT
public:
    explicit PomDotsView(QWidget *parent = nullptr);

    qint64 total() const { return total_; }
    qint64 filled() const { return filled_; }
    QColor color() const { return color_; }
    void setTotal(qint64 n) { total_ = n; update(); }
    void setFilled(qint64 n) { filled_ = n; update(); }
    void setColor(const QColor &c) { color_ = c; update(); }

    // Paints the dots for a view of the given size (paintEvent uses it; tests paint into images).
    static void paintDots(QPainter &p, const QSizeF &size, qint64 total, qint64 filled, const QColor &color);

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    qint64 total_ = 4;
    qint64 filled_ = 0;
    QColor color_;
};
