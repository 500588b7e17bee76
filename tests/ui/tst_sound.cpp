#include "common/TestEnv.h"
#include "ui/ToneSoundPlayer.h"
#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

class TestSound : public QObject {
    Q_OBJECT
public:
    static void initMain() { useOffscreenWhenHeadless(); }

private slots:
    void everyNameHasAShortToneOfItsOwn() {
        QSet<QByteArray> seen;
        for (const char *name : {"Glass", "Ping", "Pop", "Tink"}) {
            QFile f(ToneSoundPlayer::resourceFor(QString::fromLatin1(name)));
            QVERIFY2(f.open(QIODevice::ReadOnly), name);
            const QByteArray wav = f.readAll();
            QVERIFY(wav.startsWith("RIFF") && wav.mid(8, 8) == "WAVEfmt ");
            const qint64 data = wav.size() - 44;
            const double seconds = data / 2.0 / 44100.0;
            QVERIFY2(seconds > 0.05 && seconds < 1.0, name);
            // Not silence.
            const auto *s = reinterpret_cast<const qint16 *>(wav.constData() + 44);
            int loud = 0;
            for (qint64 i = 0; i < data / 2; ++i)
                loud = std::max(loud, std::abs(int(s[i])));
            QVERIFY(loud > 8000);
            seen.insert(wav);
        }
        QCOMPARE(seen.size(), 4);
        QVERIFY(ToneSoundPlayer::resourceFor("Basso").isEmpty());
    }

    void withoutAnOutputNothingPlaysAndNothingWaits() {
        ToneSoundPlayer player(false, nullptr);
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 20; ++i)
            player.play(QStringLiteral("Glass"));
        QCOMPARE(player.started(), 0);
        QVERIFY(t.elapsed() < 500);
    }

    void unknownNamesPlayNothing() {
        ToneSoundPlayer player(true, nullptr);
        player.play(QStringLiteral("Sosumi"));
        QCOMPARE(player.started(), 0);
    }

    void theSeamReachesTheInstalledPlayer() {
        RecordingSound rec;
        Sound::play(QStringLiteral("Tink"));
        QCOMPARE(rec.played, QStringList{"Tink"});
    }
};

QTEST_MAIN(TestSound)
#include "tst_sound.moc"
