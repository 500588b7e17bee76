#pragma once
#include <QDate>
#include <QRectF>
#include <vector>

// The drawing plans of the three chart views, worked out apart from painting so they can be checked.
// Rectangles are y-up: the origin at the bottom left of the view, as the charts were designed.
namespace ChartGeometry {

// One donut slice: start and sweep in degrees, counter-clockwise from the positive x axis; the first
// slice starts straight below the centre (−90°). Slices of no weight get a sweep of 0.
struct Wedge {
    double startDeg = 0, sweepDeg = 0;
};
// Nothing when there are no values or their sum is not above zero (or not finite).
std::vector<Wedge> donut(const std::vector<double> &values);
// The ring's radius in a w × h view and the hole's radius.
double donutRadius(double w, double h);
inline double holeRadius(double radius) { return 0.42 * radius; }

// One day slot of a bar chart: the day's bar (empty when it has none), its overlay part, and the day
// number's label when it is shown (every fifth day and today).
struct Slot {
    int day = 0;
    QRectF bar, overlay;  // second bar of the dual chart in overlay
    bool label = false, today = false;
    QPointF labelAt;
};
// totals and highs: index 0 is day 1; missing days count 0. The scale covers the whole of totals.
std::vector<Slot> bars(const std::vector<long long> &totals, const std::vector<long long> &highs, int daysInMonth,
                       int month, int year, double w, double h, const QDate &today);
// Two series side by side per day, scaled by their common maximum.
std::vector<Slot> dualBars(const std::vector<long long> &bars1, const std::vector<long long> &bars2, int daysInMonth,
                           int month, int year, double w, double h, const QDate &today);
} // namespace ChartGeometry
