#include "ui/ToneSoundPlayer.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

ToneSoundPlayer::ToneSoundPlayer(QObject *parent) : QObject(parent) {}

ToneSoundPlayer::ToneSoundPlayer(bool outputAvailable, QObject *parent)
    : QObject(parent), forced_(outputAvailable) {}

bool ToneSoundPlayer::hasOutput() const {
    return forced_ ? *forced_ : !QMediaDevices::audioOutputs().isEmpty();
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
    QSoundEffect *&fx = effects_[name];
    if (!fx) {
        // Made on first use and kept: loading decodes the file once, later plays start at once.
        fx = new QSoundEffect(this);
        fx->setSource(QUrl(QStringLiteral("qrc") + res));
        fx->setVolume(0.8f);
    }
    fx->play();
    ++started_;
}
