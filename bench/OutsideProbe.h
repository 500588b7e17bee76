#pragma once
// A program's launch measured from outside, as a user runs it: no build option and no code of ours
// in the measured process.
//  - CPU to quiet: the run time of every thread (/proc/PID/task/*/schedstat), sampled every 2 ms from
//    the spawn until one second adds less than 10 ms;
//  - the window's thread before its event loop first waits, and its longest stretch between two waits
//    until quiet, from ../shared/tools/window-stalls when it is there (a preloaded library that logs
//    the main thread's stretches between polls); without it those figures are left out;
//  - resident memory a while after quiet (VmRSS) and its peak (VmHWM).
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cmath>
#include <csignal>
#include <ctime>
#include <deque>
#include <memory>

namespace OutsideProbe {

// A home of its own for a measured program: HOME and the XDG folders (the data folder with the
// app's own in it), the runtime one private as the session's is.
inline std::unique_ptr<QTemporaryDir> makeHome() {
    auto home = std::make_unique<QTemporaryDir>();
    for (const char *d : {"home", "data/mivo", "config", "cache", "runtime"})
        QDir(home->path()).mkpath(QString::fromLatin1(d));
    QFile::setPermissions(home->filePath(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return home;
}

// The environment that gives a program that home.
inline QProcessEnvironment homeEnv(const QTemporaryDir &home) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.filePath(QStringLiteral("home")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
    return env;
}

struct Launch {
    double cpuMs = -1;       // every thread, until quiet
    double firstWaitMs = -1; // from the spawn to the event loop's first wait
    double longestMs = -1;   // the longest stretch after that, until quiet
    double rssMb = -1, hwmMb = -1;
    bool ok() const { return cpuMs >= 0; }
};

inline double monotonicMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// The window-stalls tool: MIVO_WINDOW_STALLS, else shared/tools beside the source tree; empty when
// neither exists (then the window's-thread figures are skipped).
inline QString windowStallsTool() {
    QStringList candidates;
    if (qEnvironmentVariableIsSet("MIVO_WINDOW_STALLS")) candidates << qEnvironmentVariable("MIVO_WINDOW_STALLS");
#ifdef MIVO_SOURCE_DIR
    candidates << QStringLiteral(MIVO_SOURCE_DIR "/../shared/tools/window-stalls");
#endif
    for (const QString &c : candidates)
        if (QFileInfo(c).isFile()) return QFileInfo(c).absoluteFilePath();
    return {};
}

// Sum of every thread's time on a CPU, in ms; below zero once the process is gone.
inline double taskCpuMs(qint64 pid) {
    QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    const QStringList ids = tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    if (ids.isEmpty()) return -1;
    double ns = 0;
    for (const QString &id : ids) {
        QFile f(tasks.filePath(id + QStringLiteral("/schedstat")));
        if (f.open(QIODevice::ReadOnly)) ns += f.readAll().split(' ').value(0).toDouble();
    }
    return ns / 1e6;
}

inline double statusMb(qint64 pid, const char *field) {
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key)) return line.mid(key.size()).trimmed().split(' ').value(0).toDouble() / 1024;
    return -1;
}

// The bytes a process has written to disk so far (write_bytes of /proc/PID/io).
inline qint64 writeBytes(qint64 pid = 0) {
    QFile f(pid ? QStringLiteral("/proc/%1/io").arg(pid) : QStringLiteral("/proc/self/io"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("write_bytes:")) return line.mid(12).trimmed().toLongLong();
    return -1;
}

// The child of a process that runs program (the tool may run a compiler first), waiting up to a few
// seconds for it.
inline qint64 childRunning(qint64 pid, const QString &program) {
    const QString want = QFileInfo(program).canonicalFilePath();
    for (int i = 0; i < 5000; ++i) {
        QFile f(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
        if (f.open(QIODevice::ReadOnly))
            for (const QByteArray &c : f.readAll().trimmed().split(' '))
                if (!c.isEmpty() && QFileInfo(QStringLiteral("/proc/%1/exe").arg(QString::fromLatin1(c))).canonicalFilePath() == want)
                    return c.toLongLong();
        QThread::usleep(1000);
    }
    return 0;
}

// Runs program until its CPU has gone quiet and settleS seconds more, then ends it.
inline Launch measure(const QString &program, const QStringList &args, const QProcessEnvironment &env,
                      int settleS) {
    Launch out;
    const QString tool = windowStallsTool();
    QTemporaryDir logDir;
    const QString log = logDir.filePath(QStringLiteral("stalls.log"));
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
    if (tool.isEmpty()) {
        p.start(program, args);
    } else {
        p.start(QStringLiteral("python3"), QStringList{tool, QStringLiteral("--min-ms"), QStringLiteral("1"),
                                                       QStringLiteral("--log"), log, QStringLiteral("--")} +
                                               QStringList{program} + args);
    }
    if (!p.waitForStarted(10000)) return out;
    const qint64 pid = tool.isEmpty() ? p.processId() : childRunning(p.processId(), program);
    if (pid <= 0) {
        p.kill();
        p.waitForFinished();
        return out;
    }
    std::deque<std::pair<double, double>> seen; // (ms, cpu ms), the last second of samples
    const double start = monotonicMs();
    double quietAt = -1, cpu = 0;
    while (monotonicMs() - start < 60000) {
        const double now = monotonicMs(), c = taskCpuMs(pid);
        if (c < 0) break;
        cpu = c;
        seen.emplace_back(now, c);
        while (seen.size() > 1 && seen[1].first <= now - 1000) seen.pop_front();
        if (now - start >= 1000 && seen.front().first <= now - 1000 && c - seen.front().second < 10) {
            quietAt = now;
            break;
        }
        QThread::usleep(2000);
    }
    if (quietAt >= 0) out.cpuMs = cpu;
    for (int i = 0; i < settleS * 10 && taskCpuMs(pid) >= 0; ++i) QThread::msleep(100);
    out.rssMb = statusMb(pid, "VmRSS");
    out.hwmMb = statusMb(pid, "VmHWM");
    ::kill(pid_t(pid), SIGTERM);
    if (!p.waitForFinished(15000)) {
        ::kill(pid_t(pid), SIGKILL);
        p.kill();
        p.waitForFinished();
    }
    QFile f(log);
    if (!tool.isEmpty() && f.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : f.readAll().split('\n')) {
            const QList<QByteArray> parts = line.split(' ');
            if (parts.size() == 3 && parts[2] == "start") {
                out.firstWaitMs = parts[1].toDouble();
            } else if (parts.size() == 2 && (quietAt < 0 || parts[0].toDouble() <= quietAt)) {
                out.longestMs = std::max(out.longestMs, parts[1].toDouble());
            }
        }
        out.longestMs = std::max(out.longestMs, 0.0);
    }
    return out;
}

} // namespace OutsideProbe
