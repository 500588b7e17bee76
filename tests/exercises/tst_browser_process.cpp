#include "common/Processes.h"
#include "common/TestEnv.h"
#include "common/TinyServer.h"
#include "exercises/BrowserWindowHost.h"
#include <QtTest>
#include <csignal>
#include <unistd.h>

namespace {
// The browser window's process among pids.
int windowProcess(const QList<int> &pids) {
    for (int p : pids) {
        QFile f(QStringLiteral("/proc/%1/cmdline").arg(p));
        if (f.open(QIODevice::ReadOnly) && f.readAll().split('\0').contains("--browser-window")) return p;
    }
    return 0;
}

bool engineMappedHere() {
    QFile f(QStringLiteral("/proc/self/maps"));
    return f.open(QIODevice::ReadOnly) && f.readAll().contains("libQt6WebEngineCore");
}
} // namespace

// The exercises' browser window runs in a process of its own, with the real web engine: the app's
// handle opens it, hears when its countdown ends, and when the handle goes the window's process and
// the engine's helper processes end. The app's process never maps the engine.
class TstBrowserProcess : public QObject {
    Q_OBJECT
private slots:
    static void initMain() { useOffscreenWhenHeadless(); }

    void windowReportsItsEndAndGoesWithItsHandle() {
        TempPrefs prefs;
        TinyServer server(200, "<h1>Stretch along</h1>");
        for (bool runOut : {true, false}) {
            auto *host = new BrowserWindowHost;
            QVERIFY2(host->isRemote(), "the app's binary was not found beside the test");
            int finished = 0;
            host->onFinished = [&finished] { ++finished; };
            QVERIFY(!host->load(QStringLiteral("file:///etc/passwd"), 2));
            QVERIFY(host->load(server.root().toString(), runOut ? 2 : 600));
            host->bringToFront();
            // The page was asked for: the engine and its helpers are up in the window's process.
            QTRY_VERIFY_WITH_TIMEOUT(server.request.startsWith("GET / "), 60000);
            const QList<int> procs = descendants(int(::getpid()));
            QVERIFY(procs.size() >= 2);
            if (runOut)
                QTRY_COMPARE_WITH_TIMEOUT(finished, 1, 30000);
            else
                host->stopAndClose();
            delete host;
            for (int p : procs)
                QTRY_VERIFY2_WITH_TIMEOUT(!alive(p), qPrintable(QStringLiteral("process %1 lives on").arg(p)), 15000);
            QCOMPARE(finished, runOut ? 1 : 0);
            server.request.clear();
        }
        QVERIFY(!engineMappedHere());
    }

    // A window whose process is killed counts as closed: the step's "Open again" starts a new
    // process with the same address and the time that was left.
    void aKilledWindowOpensAgainInANewProcess() {
        TempPrefs prefs;
        TinyServer server(200, "<h1>Stretch along</h1>");
        BrowserWindowHost host;
        QVERIFY(host.isRemote());
        int finished = 0, lost = 0;
        host.onFinished = [&finished] { ++finished; };
        connect(&host, &BrowserWindowHost::windowLost, this, [&lost] { ++lost; });
        QVERIFY(host.load(server.root().toString(), 600));
        host.bringToFront();
        QTRY_VERIFY_WITH_TIMEOUT(server.request.startsWith("GET / "), 60000);
        QTRY_VERIFY(host.secondsLeft() < 600); // the window reports its countdown
        const int first = windowProcess(descendants(int(::getpid())));
        QVERIFY(first > 0);

        QVERIFY(::kill(first, SIGKILL) == 0);
        QTRY_COMPARE_WITH_TIMEOUT(lost, 1, 15000);
        QVERIFY(!host.hasWindow());
        QCOMPARE(finished, 0);
        const qint64 left = host.secondsLeft();
        QVERIFY(left > 500 && left < 600);

        server.request.clear();
        host.bringToFront();
        QVERIFY(host.hasWindow());
        QTRY_VERIFY_WITH_TIMEOUT(server.request.startsWith("GET / "), 60000);
        const int second = windowProcess(descendants(int(::getpid())));
        QVERIFY(second > 0 && second != first);
        QTRY_VERIFY(host.secondsLeft() < left); // counting on from where it was
        QVERIFY(host.secondsLeft() > left - 60);
        QCOMPARE(lost, 1);
    }
};

QTEST_MAIN(TstBrowserProcess)
#include "tst_browser_process.moc"
