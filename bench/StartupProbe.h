#pragma once
// What the start-up benchmark measures inside a starting program: the time from process start to
// the first moment its event loop waits with nothing to do, resident memory once it has settled,
// and which of the heavy libraries are mapped. Shared by the app's launch and the bare tray app,
// so both are measured the same way.
#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QFile>
#include <QTimer>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace StartupProbe {

inline double processAgeMs() {
    // Process start time from /proc, so the figure includes loading the libraries.
    QFile f(QStringLiteral("/proc/self/stat"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QByteArray stat = f.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    const double startTicks = fields.value(19).toDouble();
    QFile up(QStringLiteral("/proc/uptime"));
    if (!up.open(QIODevice::ReadOnly)) return -1;
    const double uptime = up.readAll().split(' ').value(0).toDouble();
    return (uptime - startTicks / double(sysconf(_SC_CLK_TCK))) * 1000.0;
}

// CLOCK_MONOTONIC in nanoseconds: the benchmark's driver reads the same clock just before it starts
// a program, which times start-up finer than /proc's 10-ms ticks.
inline qint64 monotonicNs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// CPU time the process has used (all threads): steadier than the wall clock on a busy machine.
inline double cpuMs() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

inline long statusKiB(const char *field) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key)) return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
    return -1;
}

struct Mapped {
    bool webEngine = false, quick = false, qml = false, glDriver = false, multimedia = false, tls = false,
         libcrypto = false, cjkFont = false;
};

inline Mapped mapped() {
    Mapped m;
    QFile f(QStringLiteral("/proc/self/maps"));
    if (!f.open(QIODevice::ReadOnly)) return m;
    const QByteArray maps = f.readAll();
    m.webEngine = maps.contains("libQt6WebEngine");
    m.quick = maps.contains("libQt6Quick");
    m.qml = maps.contains("libQt6Qml");
    // The dispatch libraries Qt Gui links (libGLX, libEGL, libOpenGL) are small; a driver is not.
    m.glDriver = maps.contains("libLLVM") || maps.contains("_dri.so") || maps.contains("libGLX_mesa") ||
                 maps.contains("libEGL_mesa") || maps.contains("libgallium");
    m.multimedia = maps.contains("libQt6Multimedia");
    // TLS proper: OpenSSL's TLS library or Qt's TLS back end. (libcrypto alone is linked by libzip
    // and mapped from the start, but not set up: it is reported apart.)
    m.tls = maps.contains("libssl.so") || maps.contains("plugins/tls/");
    m.libcrypto = maps.contains("libcrypto");
    m.cjkFont = maps.contains("DroidSansFallback");
    return m;
}

// At the first idle moment notes the time, lets the program settle for settleMs (pending replies,
// the tray host's answers), then prints one line of figures and quits.
inline void reportAtIdle(int settleMs) {
    auto *dispatcher = QAbstractEventDispatcher::instance();
    auto *once = new QObject(QCoreApplication::instance());
    QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, once, [once, settleMs] {
        const qint64 idleAt = monotonicNs();
        const double cpuAtIdle = cpuMs();
        const double idleMs = processAgeMs();
        const long idleRss = statusKiB("VmRSS");
        once->deleteLater();
        QTimer::singleShot(settleMs, QCoreApplication::instance(), [idleAt, cpuAtIdle, idleMs, idleRss] {
            const Mapped m = mapped();
            std::printf(
                "idle_ms=%.1f idle_at_ns=%lld cpu_ms=%.1f idle_rss_kib=%ld rss_kib=%ld hwm_kib=%ld webengine=%d quick=%d "
                "qml=%d gldriver=%d multimedia=%d tls=%d libcrypto=%d cjkfont=%d\n",
                idleMs, (long long)idleAt, cpuAtIdle, idleRss, statusKiB("VmRSS"), statusKiB("VmHWM"), m.webEngine,
                m.quick, m.qml, m.glDriver, m.multimedia, m.tls, m.libcrypto, m.cjkFont);
            std::fflush(stdout);
            // exit(), not quit(): quit() first asks the windows to close, and the app's main window
            // answers by hiding, which would cancel it while the window is shown.
            QCoreApplication::exit(0);
        });
    });
}

} // namespace StartupProbe
