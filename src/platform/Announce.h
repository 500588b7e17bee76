#pragma once
#include <QColor>
#include <QString>
#include <QStringList>

// What engines use to tell the user something happened: a banner at the top right of the screen and
// a short named sound ("Glass", "Ping", "Pop", "Tink"). The widget and audio implementations install
// themselves at start-up; tests install recorders. With nothing installed both do nothing.
class BannerPresenter {
public:
    virtual ~BannerPresenter() = default;
    virtual void show(const QString &title, const QString &body, const QColor &accent) = 0;
    virtual void dismissAll() = 0;
};

class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    virtual void play(const QString &name) = 0; // never blocks
};

namespace Banners {
void show(const QString &title, const QString &body, const QColor &accent);
void dismissAll();
void install(BannerPresenter *p); // takes no ownership
} // namespace Banners

namespace Sound {
void play(const QString &name);
void install(SoundPlayer *p); // takes no ownership
} // namespace Sound
