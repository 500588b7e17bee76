#include "ui/sounds/ToneOutputPlugin.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

namespace {
class EffectTone : public Tone {
public:
    explicit EffectTone(const QString &url) {
        effect_.setSource(QUrl(url));
        effect_.setVolume(0.8f);
    }
    void play() override { effect_.play(); }
    bool settled() const override { return effect_.status() != QSoundEffect::Loading; }

private:
    QSoundEffect effect_;
};
} // namespace

bool ToneOutputPlugin::hasOutput() {
    return !QMediaDevices::audioOutputs().isEmpty();
}

std::unique_ptr<Tone> ToneOutputPlugin::makeTone(const QString &url) {
    return std::make_unique<EffectTone>(url);
}
