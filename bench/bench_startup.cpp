// Start-up: time from process start to an idle event loop with the window hidden, and resident
// memory then, for the app's launch sequence and for a bare Qt tray app (bare_tray, built beside
// this program), run in turns, each side in a temporary home of its own after one uncounted start.
// Prints each side's medians, the ratios, and whether the web engine, Quick, Qml, a GL driver or
// QtMultimedia were mapped.
//
//   bench_startup [rounds]            the comparison (default 5 rounds)
//   bench_startup --child [--shown]   one launch of the app, figures on one line (used by the above)
#include "StartupProbe.h"
#include "app/AppDelegate.h"
#include "app/MainWindow.h"
#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <map>
#include <memory>

namespace {
constexpr int kSettleMs = 1000;

int runChild(int argc, char **argv, bool shown) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    AppDelegate delegate;
    if (!delegate.launch()) return 1;
    if (delegate.mainWin()) {
        if (shown)
            delegate.mainWin()->show();
        else
            delegate.mainWin()->hide();
    }
    StartupProbe::reportAtIdle(kSettleMs);
    return app.exec();
}

using Figures = std::map<QString, double>;

// A home for one side's runs: the app finds its preferences from the previous run, as it does
// when it starts with the session.
std::unique_ptr<QTemporaryDir> makeHome() {
    auto home = std::make_unique<QTemporaryDir>();
    for (const char *d : {"home", "data", "config", "cache", "runtime"})
        QDir(home->path()).mkpath(QString::fromLatin1(d));
    QFile::setPermissions(home->filePath(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return home;
}

// One run of a program in the given home; its figures line parsed.
Figures runOnce(const QString &program, const QStringList &args, const QTemporaryDir &home) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.filePath(QStringLiteral("home")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const qint64 startedAt = StartupProbe::monotonicNs();
    p.start(program, args);
    Figures f;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return f;
    }
    for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
        if (!line.startsWith("idle_ms=")) continue;
        for (const QByteArray &pair : line.split(' ')) {
            const int eq = pair.indexOf('=');
            if (eq > 0) f[QString::fromLatin1(pair.left(eq))] = pair.mid(eq + 1).toDouble();
        }
        // From the moment the program was started to its first idle moment.
        f[QStringLiteral("start_to_idle_ms")] = (f[QStringLiteral("idle_at_ns")] - startedAt) / 1e6;
    }
    return f;
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

QString platformLabel() {
    const QString qpa = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (!qpa.isEmpty()) return qpa;
    return qEnvironmentVariableIsSet("DISPLAY") ? QStringLiteral("xcb on ") + qEnvironmentVariable("DISPLAY")
                                                : QStringLiteral("no display");
}

QString yesNo(double v) {
    return v > 0 ? QStringLiteral("yes") : QStringLiteral("no");
}

int runComparison(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const int rounds = std::max(1, argc > 1 ? QByteArray(argv[1]).toInt() : 5);
    const QString self = QCoreApplication::applicationFilePath();
    const QString bare = QCoreApplication::applicationDirPath() + QStringLiteral("/bare_tray");
    const auto mivoHome = makeHome(), trayHome = makeHome();
    // Not counted: the first start creates the preferences and fills the system's file caches.
    runOnce(self, {QStringLiteral("--child")}, *mivoHome);
    runOnce(bare, {QString::number(kSettleMs)}, *trayHome);
    std::map<QString, std::vector<double>> mivo, tray;
    Figures lastMivo;
    for (int i = 0; i < rounds; ++i) {
        // In turns, so a busy machine weighs on both sides alike.
        const Figures m = runOnce(self, {QStringLiteral("--child")}, *mivoHome);
        const Figures b = runOnce(bare, {QString::number(kSettleMs)}, *trayHome);
        if (m.empty() || b.empty()) {
            std::fprintf(stderr, "startup: a run gave no figures (app %d, bare tray app %d)\n", int(m.size()),
                         int(b.size()));
            return 1;
        }
        for (const auto &[k, v] : m)
            mivo[k].push_back(v);
        for (const auto &[k, v] : b)
            tray[k].push_back(v);
        lastMivo = m;
    }
    const Figures shown = runOnce(self, {QStringLiteral("--child"), QStringLiteral("--shown")}, *mivoHome);
    auto med = [](auto &side, const char *k) { return median(side[QString::fromLatin1(k)]); };
    const double mIdle = med(mivo, "start_to_idle_ms"), bIdle = med(tray, "start_to_idle_ms");
    const double mCpu = med(mivo, "cpu_ms"), bCpu = med(tray, "cpu_ms");
    const double mRss = med(mivo, "rss_kib"), bRss = med(tray, "rss_kib");
    const double mHwm = med(mivo, "hwm_kib"), bHwm = med(tray, "hwm_kib");
    std::printf("startup (%s, median of %d): app %.1f ms to idle, bare tray app %.1f ms: ratio %.2f\n",
                qPrintable(platformLabel()), rounds, mIdle, bIdle, bIdle > 0 ? mIdle / bIdle : 0);
    std::printf("startup: CPU time to idle: app %.1f ms, bare tray app %.1f ms: ratio %.2f\n", mCpu, bCpu,
                bCpu > 0 ? mCpu / bCpu : 0);
    std::printf("startup: resident at idle (window hidden): app %.1f MB, bare tray app %.1f MB: ratio %.2f, "
                "difference %.1f MB\n",
                mRss / 1024, bRss / 1024, bRss > 0 ? mRss / bRss : 0, (mRss - bRss) / 1024);
    std::printf("startup: peak resident: app %.1f MB, bare tray app %.1f MB\n", mHwm / 1024, bHwm / 1024);
    auto libs = [](const Figures &f) {
        auto v = [&f](const char *k) {
            const auto it = f.find(QString::fromLatin1(k));
            return yesNo(it == f.end() ? 0 : it->second);
        };
        return QStringLiteral("web engine %1, Quick %2, Qml %3, GL driver %4, QtMultimedia %5")
            .arg(v("webengine"), v("quick"), v("qml"), v("gldriver"), v("multimedia"));
    };
    std::printf("startup: mapped at idle, window hidden: %s\n", qPrintable(libs(lastMivo)));
    std::printf("startup: mapped at idle, window shown: %s\n", qPrintable(libs(shown)));
    return 0;
}
} // namespace

int main(int argc, char **argv) {
    if (argc > 1 && qstrcmp(argv[1], "--child") == 0)
        return runChild(argc, argv, argc > 2 && qstrcmp(argv[2], "--shown") == 0);
    return runComparison(argc, argv);
}
