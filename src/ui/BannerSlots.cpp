#include "ui/BannerSlots.h"

#include <algorithm>

namespace BannerSlots {
int lowestFree(const std::vector<int> &held) {
    int slot = 0;
    while (std::find(held.begin(), held.end(), slot) != held.end())
        ++slot;
    return slot;
}

QRect frame(const QRect &available, int slot) {
    const int right = available.x() + available.width(); // one past the last column
    return QRect(right - kWidth - kMargin, available.y() + kMargin + kStep * slot, kWidth, kHeight);
}
} // namespace BannerSlots
