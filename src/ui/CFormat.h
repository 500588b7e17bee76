#pragma once
#include <QString>
#include <cstdarg>
#include <cstdio>
#include <vector>

// Formats as C's printf does. Where a text is given as a printf format ("%.0f%%"), use this rather
// than QString::asprintf or arg(): Qt rounds halves away from zero (12.5 → "13"), C rounds the
// binary value to even (12.5 → "12"), and the texts follow C.
[[gnu::format(printf, 1, 2)]] inline QString cformat(const char *format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (n < 0) {
        va_end(again);
        return {};
    }
    std::vector<char> buf(size_t(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), format, again);
    va_end(again);
    return QString::fromUtf8(buf.data(), n);
}
