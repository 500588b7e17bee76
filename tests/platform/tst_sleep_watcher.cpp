#include "common/TestEnv.h"
#include "platform/SleepWatcher.h"
#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

namespace {
// The order in which a watcher reported things.
struct Log : QObject {
    QStringList seen;
    explicit Log(SleepWatcher &w) {
        connect(&w, &SleepWatcher::willSleep, this, [this] { seen << QStringLiteral("sleep"); });
        connect(&w, &SleepWatcher::didWake, this, [this] { seen << QStringLiteral("wake"); });
        connect(&w, &SleepWatcher::clockChanged, this, [this] { seen << QStringLiteral("clock"); });
    }
};

const QDateTime kStart(QDate(2024, 5, 6), QTime(9, 0));
} // namespace

class SleepWatcherTest : public QObject {
    Q_OBJECT
public:
    static void initMain() { useOffscreenWhenHeadless(); }

private slots:
    void jumpDetectorTellsSleepFromTimePassing() {
        TestClock clock(kStart);
        SleepWatcher w;
        Log log(w);
        QVERIFY(!w.usesLogind());

        clock.advance(3600);                  // time passing, probe after probe
        clock.setNow(clock.now().addSecs(5)); // a late timer or a small correction
        w.probe();
        QVERIFY(log.seen.isEmpty());

        clock.setNow(clock.now().addSecs(2 * 3600)); // the wall clock ran ahead: a suspend nobody reported
        w.probe();
        QCOMPARE(log.seen, (QStringList{"sleep", "wake", "clock"}));

        log.seen.clear();
        clock.setNow(clock.now().addSecs(-3600)); // set back: not a sleep
        w.probe();
        QCOMPARE(log.seen, QStringList{"clock"});

        log.seen.clear();
        clock.advance(60); // the probe runs on from the new time
        QVERIFY(log.seen.isEmpty());
    }

    // logind is reached over a private bus on which a second connection plays logind.
    void logindPrepareForSleepDrivesSleepAndWake() {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty()) QSKIP("dbus-daemon is not installed");
        QProcess bus;
        bus.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                           QStringLiteral("--print-address=1")});
        QVERIFY(bus.waitForStarted());
        QTRY_VERIFY(bus.canReadLine());
        const QString address = QString::fromUtf8(bus.readLine()).trimmed();

        QDBusConnection logind = QDBusConnection::connectToBus(address, QStringLiteral("logind"));
        QDBusConnection other = QDBusConnection::connectToBus(address, QStringLiteral("other"));
        QDBusConnection mine = QDBusConnection::connectToBus(address, QStringLiteral("watcher"));
        QVERIFY(logind.isConnected() && mine.isConnected());
        QVERIFY(logind.registerService(QStringLiteral("org.freedesktop.login1")));

        TestClock clock(kStart);
        {
            SleepWatcher w(mine);
            Log log(w);
            QVERIFY(w.usesLogind());
            auto prepare = [](QDBusConnection &c, bool sleeping) {
                QDBusMessage m = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                            QStringLiteral("org.freedesktop.login1.Manager"),
                                                            QStringLiteral("PrepareForSleep"));
                m << sleeping;
                QVERIFY(c.send(m));
            };
            prepare(other, true); // only logind may say so
            prepare(logind, true);
            QTRY_COMPARE(log.seen, QStringList{"sleep"});
            prepare(logind, false);
            QTRY_COMPARE(log.seen, (QStringList{"sleep", "wake"}));

            // With logind there, a jump is only a clock change.
            clock.setNow(clock.now().addSecs(3600));
            w.probe();
            QCOMPARE(log.seen, (QStringList{"sleep", "wake", "clock"}));
        }
        for (const char *n : {"logind", "other", "watcher"})
            QDBusConnection::disconnectFromBus(QString::fromLatin1(n));
        bus.terminate();
        bus.waitForFinished(3000);
    }
};

QTEST_MAIN(SleepWatcherTest)
#include "tst_sleep_watcher.moc"
