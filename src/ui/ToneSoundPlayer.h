#pragma once
#include "platform/Announce.h"
#include <QObject>
#include <map>
#include <memory>
#include <optional>

class Tone;

// The named sounds "Glass", "Ping", "Pop" and "Tink": short tones of our own, built into the
// program as resources, played without waiting. With no audio output it plays nothing (a sound
// effect without a device would claim to play and never end); an unknown name plays nothing.
// Without the sound module nothing plays either (said once on stderr).
class ToneSoundPlayer : public QObject, public SoundPlayer {
    Q_OBJECT
public:
    // outputAvailable: whether an audio output exists; by default the system is asked at each play,
    // not at start-up, so an idle app never loads the audio back end.
    explicit ToneSoundPlayer(QObject *parent = nullptr);
    ToneSoundPlayer(bool outputAvailable, QObject *parent);
    ~ToneSoundPlayer() override;

    void play(const QString &name) override;

    // The resource path of a name's tone, empty for an unknown name.
    static QString resourceFor(const QString &name);
    bool hasOutput() const;
    int started() const { return started_; }
    // Whether every tone made so far has its file read.
    bool settled() const;

private:
    std::optional<bool> forced_;
    int started_ = 0;
    std::map<QString, std::unique_ptr<Tone>> tones_;
};
