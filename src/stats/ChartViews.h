#pragma once
#include <QColor>
#include <QString>
#include <QWidget>
#include <vector>

// Three self-drawing charts, configured by one call with plain values. They read no store and draw
// no background, frame or axis. No page shows them yet.

// A donut of weighted slices; the label rides along and is not drawn.
class PieChartView : public QWidget {
    Q_OBJECT
public:
    struct Slice {
        double value = 0;
        QColor color;
        QString label;
    };
    using QWidget::QWidget;
    void configure(const std::vector<Slice> &slices);
    const std::vector<Slice> &slices() const { return slices_; }

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    std::vector<Slice> slices_;
};

// One bar per day of a month with an overlay part inside each bar; every fifth day and today are
// numbered below.
class BarChartView : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    void configure(const std::vector<long long> &totals, const std::vector<long long> &highs, const QColor &totalColor,
                   const QColor &highColor, int daysInMonth, int month, int year);

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    std::vector<long long> totals_, highs_;
    QColor totalColor_ = Qt::gray, highColor_ = Qt::white;
    int daysInMonth_ = 30, month_ = 1, year_ = 2024;
};

// Two bars side by side per day of a month, on one common scale.
class DualBarChartView : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    void configure(const std::vector<long long> &bars1, const std::vector<long long> &bars2, const QColor &color1,
                   const QColor &color2, int daysInMonth, int month, int year);

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    std::vector<long long> bars1_, bars2_;
    QColor color1_ = Qt::green, color2_ = Qt::red;
    int daysInMonth_ = 30, month_ = 1, year_ = 2024;
};
