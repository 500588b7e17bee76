#include "ui/ToneSoundPlayer.h"

#include "ui/ModuleLoader.h"
#include "ui/sounds/ToneOutput.h"
#include <QHash>
#include <algorithm>
#include <cstdio>

#ifndef MIVO_SOUND_MODULE_FILE
#define MIVO_SOUND_MODULE_FILE "mivo_sound.so"
#endif

namespace {
// The module, loaded on the first question about sound; nullptr when it cannot be.
ToneOutput *toneOutput() {
    static ToneOutput *const output = [] {
        QString problem;
        QObject *entry = loadAppModule(QStringLiteral(MIVO_SOUND_MODULE_FILE), &problem);
        auto *out = qobject_cast<ToneOutput *>(entry);
        if (entry && !out) problem = QStringLiteral("not a sound module");
        if (!out) std::fprintf(stderr, "mivo: no sounds: %s\n", qPrintable(problem));
        return out;
    }();
    return output;
}
} // namespace

ToneSoundPlayer::ToneSoundPlayer(QObject *parent) : QObject(parent) {}

ToneSoundPlayer::ToneSoundPlayer(bool outputAvailable, QObject *parent)
    : QObject(parent), forced_(outputAvailable) {}

ToneSoundPlayer::~ToneSoundPlayer() = default;

bool ToneSoundPlayer::hasOutput() const {
    if (forced_) return *forced_;
    ToneOutput *out = toneOutput();
    return out && out->hasOutput();
}

QString ToneSoundPlayer::resourceFor(const QString &name) {
    static const QHash<QString, QString> files = {
        {QStringLiteral("Glass"), QStringLiteral(":/sounds/glass.wav")},
        {QStringLiteral("Ping"), QStringLiteral(":/sounds/ping.wav")},
        {QStringLiteral("Pop"), QStringLiteral(":/sounds/pop.wav")},
        {QStringLiteral("Tink"), QStringLiteral(":/sounds/tink.wav")},
    };
    return files.value(name);
}

void ToneSoundPlayer::play(const QString &name) {
    const QString res = resourceFor(name);
    if (res.isEmpty() || !hasOutput()) return;
    ToneOutput *out = toneOutput();
    if (!out) return;
    std::unique_ptr<Tone> &tone = tones_[name];
    // Made on first use and kept: loading decodes the file once, later plays start at once.
    if (!tone) tone = out->makeTone(QStringLiteral("qrc") + res);
    tone->play();
    ++started_;
}

bool ToneSoundPlayer::settled() const {
    return std::all_of(tones_.begin(), tones_.end(),
                       [](const auto &named) { return !named.second || named.second->settled(); });
}
