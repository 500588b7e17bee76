#pragma once
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

// Median wall time of fn over runs runs, in milliseconds.
inline double medianMs(const std::function<void()> &fn, int runs = 15) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        fn();
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

inline void report(const char *what, double ms) { std::printf("  %-60s %8.2f ms\n", what, ms); }
