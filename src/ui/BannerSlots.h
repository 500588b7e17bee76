#pragma once
#include <QRect>
#include <vector>

// Where banners go on screen. Slot 0 is the top place, 12 points from the top right corner of the
// available area; each further slot lies 84 points lower (76 high plus 8 of gap).
namespace BannerSlots {
inline constexpr int kWidth = 340;
inline constexpr int kHeight = 76;
inline constexpr int kMargin = 12;
inline constexpr int kStep = 84;

// The lowest slot that no open banner holds. Open banners never move, so after an older banner has
// closed its place is free again while later ones keep theirs.
int lowestFree(const std::vector<int> &held);
// The banner's frame in screen coordinates (y down), from the screen's available geometry.
QRect frame(const QRect &available, int slot);
} // namespace BannerSlots
