// Start-up of the app against a bare Qt tray app (bare_tray, built beside this program), run in
// turns, each side in a temporary home of its own after one uncounted start. First both measured
// from outside as a user runs them (the real program and bare_tray with no probe of ours inside: CPU
// of every thread until quiet, resident memory, see OutsideProbe.h); then from inside (the launch
// sequence in this program and bare_tray with the probe): time from process start to an idle event
// loop with the window hidden, and resident memory then. Under X with a tray host
// (startup-under-x.sh) both sit hidden in the tray.
// Prints each side's medians, the ratios, and whether the web engine, Quick, Qml, a GL driver,
// QtMultimedia, TLS or the CJK fallback font were mapped. Then, in processes of their own: the
// runner's CPU over 10 s with text only, the breathing circle and a body animation; and memory
// (main process and web helpers) before, during and after one open and close of the browser window.
//
//   bench_startup [rounds]            everything (default 5 rounds)
//   bench_startup --child [--shown]   one launch of the app, figures on one line (used by the above)
//   bench_startup --runner KIND       the runner's CPU (text, breathing, body)
//   bench_startup --browser           the browser window's memory
//   bench_startup --pages             the first show of every page, in ms
#include "OutsideProbe.h"
#include "StartupProbe.h"
#include "app/AppDelegate.h"
#include "app/MainWindow.h"
#include "common/Processes.h"
#include "common/TinyServer.h"
#include "exercises/BuiltInExercises.h"
#include "exercises/ExerciseRunnerPanel.h"
#include <QApplication>
#include <QEventLoop>
#include "app/MainTabVC.h"
#include "app/SidebarView.h"
#include "ui/Page.h"
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

// Sleeps in the event loop.
void settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The runner playing a one-minute step of the given kind, shown (the ring's arc moves at every frame);
// its CPU share over 10 s once the step's fade-in is over.
int runRunner(int argc, char **argv, const QByteArray &kind) {
    QApplication app(argc, argv);
    std::vector<Exercise> all = BuiltInExercises::make(AppLang::en);
    const char *id = kind == "breathing" ? "builtin-breath" : kind == "body" ? "builtin-neck" : nullptr;
    Exercise e;
    if (id) {
        for (const Exercise &x : all)
            if (x.id == QLatin1String(id)) e = x;
    } else {
        e = all.front();
        e.id = QStringLiteral("own");
        e.isBuiltIn = false; // no picture: the ring, the clock and the texts
    }
    e.steps.resize(1);
    e.steps[0].durationSecs = 60;
    auto *panel = new ExerciseRunnerPanel({e}, 0, std::nullopt, nullptr);
    panel->showAndRaise();
    settle(1500);
    const double cpu0 = StartupProbe::cpuMs(), wall0 = StartupProbe::monotonicNs() / 1e6;
    settle(10000);
    const double cpu = StartupProbe::cpuMs() - cpu0, wall = StartupProbe::monotonicNs() / 1e6 - wall0;
    std::printf("runner_cpu_pct=%.2f\n", 100 * cpu / wall);
    panel->close();
    return 0;
}

// Each page's first show: built, set up, redrawn from the stores and painted.
int runPages(int argc, char **argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    AppDelegate delegate;
    if (!delegate.launch()) return 1;
    MainWindow *w = delegate.mainWin();
    w->show();
    settle(1000);
    QStringList parts;
    double worst = 0;
    for (const QString &id : MainTabVC::pageIds()) {
        const double t0 = StartupProbe::monotonicNs() / 1e6;
        w->tabs()->sidebar()->select(id);
        Page *pg = w->tabs()->page(id);
        while (pg && pg->rebuildPending())
            QCoreApplication::processEvents();
        w->repaint();
        const double ms = StartupProbe::monotonicNs() / 1e6 - t0;
        worst = std::max(worst, ms);
        parts << QStringLiteral("%1 %2").arg(id).arg(ms, 0, 'f', 1);
        settle(200);
    }
    std::printf("pages: first show (ms): %s; slowest %.1f\n", qPrintable(parts.join(QStringLiteral(", "))), worst);
    return 0;
}

// Proportional set size in KiB (shared pages split between the processes that map them).
long pssKiB(int pid) {
    QFile f(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("Pss:")) return line.mid(4).trimmed().split(' ').value(0).toLong();
    return 0;
}

QString memoryLine() {
    long helpers = 0;
    const QList<int> kids = descendants(int(::getpid()));
    for (int p : kids)
        helpers += pssKiB(p);
    return QStringLiteral("main %1 MB resident, %2 helper processes %3 MB (PSS)")
        .arg(StartupProbe::statusKiB("VmRSS") / 1024.0, 0, 'f', 1)
        .arg(kids.size())
        .arg(helpers / 1024.0, 0, 'f', 1);
}

// One open and close of the exercises' browser window, as a step with a web link opens it, on a page
// served from here: the runner is on a plain step before, goes to the web step, and on to another
// plain step after.
int runBrowser(int argc, char **argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    TinyServer server(200, "<html><body><h1>Stretch along</h1><p>A page for the browser window.</p></body></html>");
    Exercise e = BuiltInExercises::make(AppLang::en).front();
    e.id = QStringLiteral("own");
    e.isBuiltIn = false;
    e.steps.resize(3);
    for (ExerciseStep &s : e.steps)
        s.durationSecs = 600;
    e.steps[1].videoURL = server.root().toString();
    auto *panel = new ExerciseRunnerPanel({e}, 0, std::nullopt, nullptr);
    panel->showAndRaise();
    settle(3000);
    std::printf("browser: before: %s\n", qPrintable(memoryLine()));
    panel->skipStep();
    settle(8000);
    std::printf("browser: during: %s\n", qPrintable(memoryLine()));
    panel->skipStep();
    settle(6000);
    std::printf("browser: after: %s\n", qPrintable(memoryLine()));
    std::fflush(stdout);
    panel->close();
    return 0;
}

using Figures = std::map<QString, double>;

// A home for one side's runs: the app finds its preferences from the previous run, as it does
// when it starts with the session.
using OutsideProbe::homeEnv;
using OutsideProbe::makeHome;

// One run of a program in the given home; its figures line parsed.
Figures runOnce(const QString &program, const QStringList &args, const QTemporaryDir &home) {
    const QProcessEnvironment env = homeEnv(home);
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

// The real program and the bare tray app, launched as a user does and measured from outside, in
// turns, each in a home of its own.
void outsideComparison(int rounds) {
    const QString mivo = QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("../mivo"));
    const QString bare = QCoreApplication::applicationDirPath() + QStringLiteral("/bare_tray");
    if (!QFileInfo(mivo).isExecutable() || !QFileInfo(bare).isExecutable()) {
        std::printf("startup, from outside: %s or %s is not built; skipped\n", qPrintable(mivo), qPrintable(bare));
        return;
    }
    const int settleS = qEnvironmentVariableIsSet("MIVO_BENCH_SETTLE_S")
                            ? qEnvironmentVariableIntValue("MIVO_BENCH_SETTLE_S")
                            : 5;
    const auto mivoHome = makeHome(), trayHome = makeHome();
    // Not counted: the first start creates the preferences and fills the system's file caches.
    OutsideProbe::measure(mivo, {}, homeEnv(*mivoHome), 0);
    OutsideProbe::measure(bare, {}, homeEnv(*trayHome), 0);
    std::vector<double> mCpu, bCpu, mRss, bRss, mHwm, bHwm, mFirst, bFirst;
    for (int i = 0; i < rounds; ++i) {
        const OutsideProbe::Launch m = OutsideProbe::measure(mivo, {}, homeEnv(*mivoHome), settleS);
        const OutsideProbe::Launch b = OutsideProbe::measure(bare, {}, homeEnv(*trayHome), settleS);
        if (!m.ok() || !b.ok()) continue;
        mCpu.push_back(m.cpuMs), bCpu.push_back(b.cpuMs);
        mRss.push_back(m.rssMb), bRss.push_back(b.rssMb);
        mHwm.push_back(m.hwmMb), bHwm.push_back(b.hwmMb);
        if (m.firstWaitMs >= 0 && b.firstWaitMs >= 0) mFirst.push_back(m.firstWaitMs), bFirst.push_back(b.firstWaitMs);
    }
    if (mCpu.empty()) {
        std::printf("startup, from outside: no run went quiet\n");
        return;
    }
    const double mc = median(mCpu), bc = median(bCpu);
    std::printf("startup, from outside (%s, median of %d, memory %d s after quiet): CPU to quiet, every thread: "
                "app %.1f ms, bare tray app %.1f ms: ratio %.2f (aim <= 2)\n",
                qPrintable(platformLabel()), int(mCpu.size()), settleS, mc, bc, bc > 0 ? mc / bc : 0);
    std::printf("startup, from outside: resident after quiet: app %.1f MB, bare tray app %.1f MB (+%.1f MB); "
                "peak %.1f MB vs %.1f MB\n",
                median(mRss), median(bRss), median(mRss) - median(bRss), median(mHwm), median(bHwm));
    if (!mFirst.empty())
        std::printf("startup, from outside: window's thread before its event loop first waits: app %.1f ms, bare "
                    "tray app %.1f ms\n",
                    median(mFirst), median(bFirst));
    std::fflush(stdout);
}

int runComparison(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const int rounds = std::max(1, argc > 1 ? QByteArray(argv[1]).toInt() : 5);
    outsideComparison(rounds);
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
    // From inside: the launch sequence in this program, and the bare tray app with the probe in it
    // (the probe's own work weighs on the small side more).
    std::printf("startup, from inside (%s, median of %d): app %.1f ms to idle, bare tray app %.1f ms: ratio %.2f\n",
                qPrintable(platformLabel()), rounds, mIdle, bIdle, bIdle > 0 ? mIdle / bIdle : 0);
    std::printf("startup, from inside: CPU time to idle: app %.1f ms, bare tray app %.1f ms: ratio %.2f\n", mCpu, bCpu,
                bCpu > 0 ? mCpu / bCpu : 0);
    std::printf("startup, from inside: resident at idle (window hidden): app %.1f MB, bare tray app %.1f MB: ratio %.2f, "
                "difference %.1f MB\n",
                mRss / 1024, bRss / 1024, bRss > 0 ? mRss / bRss : 0, (mRss - bRss) / 1024);
    std::printf("startup, from inside: peak resident: app %.1f MB, bare tray app %.1f MB\n", mHwm / 1024, bHwm / 1024);
    auto libs = [](const Figures &f) {
        auto v = [&f](const char *k) {
            const auto it = f.find(QString::fromLatin1(k));
            return yesNo(it == f.end() ? 0 : it->second);
        };
        return QStringLiteral("web engine %1, Quick %2, Qml %3, GL driver %4, QtMultimedia %5, TLS %6 "
                              "(libcrypto %7), CJK fallback font %8")
            .arg(v("webengine"), v("quick"), v("qml"), v("gldriver"), v("multimedia"), v("tls"), v("libcrypto"),
                 v("cjkfont"));
    };
    std::printf("startup: mapped at idle, window hidden: %s\n", qPrintable(libs(lastMivo)));
    std::printf("startup: mapped at idle, window shown: %s\n", qPrintable(libs(shown)));

    // The runner under way, and the browser window, each in a process of its own.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), mivoHome->filePath(QStringLiteral("home")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), mivoHome->filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), mivoHome->filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), mivoHome->filePath(QStringLiteral("runtime")));
    auto output = [&](const QStringList &args) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(self, args);
        if (!p.waitForFinished(90000)) p.kill();
        return p.readAllStandardOutput();
    };
    for (const char *kind : {"text", "breathing", "body"}) {
        const QByteArray out = output({QStringLiteral("--runner"), QString::fromLatin1(kind)});
        const int at = out.indexOf("runner_cpu_pct=");
        std::printf("runner: CPU over 10 s, %s: %s %% of a core\n", kind,
                    at < 0 ? "?" : out.mid(at + 15).trimmed().constData());
    }
    std::printf("%s", output({QStringLiteral("--pages")}).constData());
    std::printf("%s", output({QStringLiteral("--browser")}).constData());
    return 0;
}
} // namespace

int main(int argc, char **argv) {
    if (argc > 1 && qstrcmp(argv[1], "--child") == 0)
        return runChild(argc, argv, argc > 2 && qstrcmp(argv[2], "--shown") == 0);
    if (argc > 2 && qstrcmp(argv[1], "--runner") == 0) return runRunner(argc, argv, argv[2]);
    if (argc > 1 && qstrcmp(argv[1], "--browser") == 0) return runBrowser(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--pages") == 0) return runPages(argc, argv);
    return runComparison(argc, argv);
}
