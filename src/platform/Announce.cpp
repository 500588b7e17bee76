#include "platform/Announce.h"

namespace {
BannerPresenter *g_banners = nullptr;
SoundPlayer *g_sound = nullptr;
} // namespace

namespace Banners {
void show(const QString &title, const QString &body, const QColor &accent) {
    if (g_banners) g_banners->show(title, body, accent);
}
void dismissAll() {
    if (g_banners) g_banners->dismissAll();
}
void install(BannerPresenter *p) { g_banners = p; }
} // namespace Banners

namespace Sound {
void play(const QString &name) {
    if (g_sound) g_sound->play(name);
}
void install(SoundPlayer *p) { g_sound = p; }
} // namespace Sound
