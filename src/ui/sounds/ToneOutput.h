#pragma once
#include <QObject>
#include <QString>
#include <memory>

// One tone, decoded once, ready to start again and again without waiting.
class Tone {
public:
    virtual ~Tone() = default;
    virtual void play() = 0;
    // Whether its file has been read (or found unreadable): until then the back end reads it on a
    // thread of its own, and what that thread holds is not given back if the process ends first.
    virtual bool settled() const { return true; }
};

// What the sound module offers: the audio back end, which the app does not link (linking it alone
// doubles a bare tray app's start-up). ToneSoundPlayer loads the module on the first sound.
class ToneOutput {
public:
    virtual ~ToneOutput() = default;
    // Whether an audio output exists now.
    virtual bool hasOutput() = 0;
    // A tone from a file (a "qrc:" address).
    virtual std::unique_ptr<Tone> makeTone(const QString &url) = 0;
};
#define MIVO_TONE_OUTPUT_IID "com.mivo.ToneOutput/1"
Q_DECLARE_INTERFACE(ToneOutput, MIVO_TONE_OUTPUT_IID)
