#include "stats/ChartGeometry.h"
#include <algorithm>
#include <cmath>

namespace ChartGeometry {
namespace {
long long at(const std::vector<long long> &v, int i) {
    return i < int(v.size()) ? v[size_t(i)] : 0;
}
long long maxOf(std::initializer_list<const std::vector<long long> *> series) {
    long long m = 1;
    for (const auto *s : series)
        for (long long v : *s) m = std::max(m, v);
    return m;
}
void labelSlot(Slot &s, int i, double x, int month, int year, const QDate &today) {
    s.day = i + 1;
    s.today = today.day() == i + 1 && today.month() == month && today.year() == year;
    s.label = (i + 1) % 5 == 0 || s.today;
    s.labelAt = QPointF(x, 2);
}
} // namespace

std::vector<Wedge> donut(const std::vector<double> &values) {
    double sum = 0;
    for (double v : values) sum += v;
    if (values.empty() || !(sum > 0) || !std::isfinite(sum)) return {};
    std::vector<Wedge> out;
    double angle = -90;
    for (double v : values) {
        const double sweep = std::isfinite(v) ? v / sum * 360.0 : 0.0;
        out.push_back({angle, sweep});
        angle += sweep;
    }
    return out;
}

double donutRadius(double w, double h) {
    return std::min(w, h) / 2 - 4;
}

std::vector<Slot> bars(const std::vector<long long> &totals, const std::vector<long long> &highs, int n, int month,
                       int year, double w, double h, const QDate &today) {
    if (n <= 0) return {};
    const double M = double(maxOf({&totals}));
    const double b = std::max((w - 2.0 * n) / n, 2.0);
    std::vector<Slot> out(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        Slot &s = out[size_t(i)];
        const double x = (b + 2) * i;
        const long long t = at(totals, i), o = at(highs, i);
        const double barH = (h - 16) * double(t) / M;
        const double overH = t > 0 ? barH * double(o) / double(t) : 0;
        if (t > 0) s.bar = QRectF(x, 16, b, barH);
        if (overH > 0) s.overlay = QRectF(x, 16, b, overH);
        labelSlot(s, i, x, month, year, today);
    }
    return out;
}

std::vector<Slot> dualBars(const std::vector<long long> &bars1, const std::vector<long long> &bars2, int n, int month,
                           int year, double w, double h, const QDate &today) {
    if (n <= 0) return {};
    const double M = double(maxOf({&bars1, &bars2}));
    const double g = std::max((w - 2.0 * n) / n, 2.0);
    const double k = std::max((g - 1) * 0.5, 1.0);
    std::vector<Slot> out(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        Slot &s = out[size_t(i)];
        const double x = (g + 2) * i;
        const double h1 = (h - 16) * double(at(bars1, i)) / M, h2 = (h - 16) * double(at(bars2, i)) / M;
        if (h1 > 0) s.bar = QRectF(x, 16, k, h1);
        if (h2 > 0) s.overlay = QRectF(x + k + 1, 16, k, h2);
        labelSlot(s, i, x, month, year, today);
    }
    return out;
}
} // namespace ChartGeometry
