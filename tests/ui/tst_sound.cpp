#include "common/TestEnv.h"
#include "ui/ToneSoundPlayer.h"
#include <QFile>
#include <QtTest>

namespace {
// Whether the event loop ran while fn did: a call that waits for the audio back end (a load, the
// tone's end) through the loop turns it, and a zero-time timer started before it then fires.
template <class F> bool loopRanDuring(F fn) {
    bool ran = false;
    QObject context;
    QTimer::singleShot(0, &context, [&ran] { ran = true; });
    fn();
    return ran;
}
} // namespace

class TestSound : public QObject {
    Q_OBJECT
public:
    static void initMain() { useOffscreenWhenHeadless(); }

private slots:
    void everyNameHasAShortAudibleToneOfItsOwn() {
        QSet<QByteArray> seen;
        for (const char *name : {"Glass", "Ping", "Pop", "Tink"}) {
            QFile f(ToneSoundPlayer::resourceFor(QString::fromLatin1(name)));
            QVERIFY2(f.open(QIODevice::ReadOnly), name);
            const QByteArray wav = f.readAll();
            QVERIFY(wav.startsWith("RIFF") && wav.mid(8, 8) == "WAVEfmt ");
            const qint64 samples = (wav.size() - 44) / 2;
            QVERIFY2(samples > 0.05 * 44100 && samples < 44100, name);
            const auto *s = reinterpret_cast<const qint16 *>(wav.constData() + 44);
            int loud = 0;
            for (qint64 i = 0; i < samples; ++i)
                loud = std::max(loud, std::abs(int(s[i])));
            QVERIFY(loud > 8000);
            seen.insert(wav);
        }
        QCOMPARE(seen.size(), 4);
    }

    // Without an audio output a play must neither start anything nor block the caller.
    void withoutAnOutputOrAKnownNameNothingPlays() {
        ToneSoundPlayer mute(false, nullptr);
        QVERIFY(!loopRanDuring([&] {
            for (int i = 0; i < 20; ++i)
                mute.play(QStringLiteral("Glass"));
        }));
        QCOMPARE(mute.started(), 0);
        ToneSoundPlayer player(true, nullptr);
        player.play(QStringLiteral("Sosumi"));
        QCOMPARE(player.started(), 0);
    }

    // The audio back end stays out of the process until a sound plays; then the sound module,
    // found beside the program, plays it without blocking.
    void theFirstSoundLoadsTheAudioBackEnd() {
        auto multimediaMapped = [] {
            QFile f(QStringLiteral("/proc/self/maps"));
            return f.open(QIODevice::ReadOnly) && f.readAll().contains("libQt6Multimedia");
        };
        QVERIFY(!multimediaMapped());
        ToneSoundPlayer player(true, nullptr);
        QVERIFY(!loopRanDuring([&] {
            for (int i = 0; i < 3; ++i)
                player.play(QStringLiteral("Ping"));
        }));
        QCOMPARE(player.started(), 3);
        QVERIFY(multimediaMapped());
        // The back end reads the tone's file on a thread of its own; the process does not end
        // under it (a leak checker would count what that thread still holds).
        QTRY_VERIFY_WITH_TIMEOUT(player.settled(), 60000);
    }
};

QTEST_MAIN(TestSound)
#include "tst_sound.moc"
