#include "platform/Keys.h"
#include "common/TestEnv.h"
#include "platform/Prefs.h"
#include "platform/SingleInstance.h"
#include <QElapsedTimer>
#include <QFile>
#include <QSysInfo>
#include <QProcess>
#include <QtTest>

class TstSingleInstance : public QObject {
    Q_OBJECT
private slots:
    void secondLaunchRaisesFirstAndWritesNothing();
    void lockOfADeadProcessIsTakenOver();
    void sigtermRunsTheQuitPath();
};

// The test process plays the running instance; the real app binary is the second launch.
void TstSingleInstance::secondLaunchRaisesFirstAndWritesNothing() {
    SingleInstance first(QString::fromLatin1(kBundleId));
    QVERIFY(first.claim());
    QSignalSpy raised(&first, &SingleInstance::activationRequested);

    QProcess second;
    second.setProcessChannelMode(QProcess::ForwardedChannels);
    QElapsedTimer t;
    t.start();
    second.start(QStringLiteral(MIVO_BIN), {});
    QVERIFY(second.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 10000);
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QVERIFY2(t.elapsed() < 5000, qPrintable(QString::number(t.elapsed())));
    QCOMPARE(raised.count(), 1);
    QVERIFY2(!QFile::exists(Prefs::defaultPath()), "the second launch created the preferences database");
}

void TstSingleInstance::lockOfADeadProcessIsTakenOver() {
    const QString id = QStringLiteral("com.mivo.test-stale");
    SingleInstance probe(id);
    // A lock file naming a pid that no longer runs, as a killed instance leaves it.
    QFile f(probe.lockPath());
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("999999\nmivo\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    f.close();
    QVERIFY(probe.claim());
    SingleInstance again(id);
    QVERIFY(!again.claim());
}

void TstSingleInstance::sigtermRunsTheQuitPath() {
    QProcess app;
    app.setProcessChannelMode(QProcess::ForwardedChannels);
    app.start(QStringLiteral(MIVO_BIN), {});
    QVERIFY(app.waitForStarted());
    SingleInstance probe(QString::fromLatin1(kBundleId));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(probe.socketPath()), 10000); // it is up and listening
    app.terminate();
    QVERIFY(app.waitForFinished(10000));
    QCOMPARE(app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(app.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TstSingleInstance)
#include "tst_single_instance.moc"
