// What a save costs the window's thread: a 4 MB document, a save while another program holds the
// database's write lock, opening a database that holds a 40 MB document, and a save that replaces
// more of that document than splices may wait with. Beside each, what the
// same commit costs when waited for (flush()), as every save did when it ran on the window's thread.
#include "BenchUtil.h"
#include "platform/Prefs.h"
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <sqlite3.h>

namespace {
double msSince(const QElapsedTimer &t) {
    return double(t.nsecsElapsed()) / 1e6;
}

// One save as the app makes it: the write, then the end of the event-loop turn.
double windowThreadSave(const std::function<void()> &write) {
    QElapsedTimer t;
    t.start();
    write();
    QCoreApplication::processEvents();
    return msSince(t);
}
} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("mivo.sqlite3"));
    std::printf("bench_prefs_writes\n");
    {
        Prefs p(path);
        double worst = 0, waited = 0;
        for (int i = 0; i < 10; ++i) {
            const QByteArray doc(4 * 1024 * 1024, char('a' + i));
            worst = std::max(worst, windowThreadSave([&] { p.setData(QStringLiteral("doc"), doc); }));
            QElapsedTimer t;
            t.start();
            p.flush();
            waited = std::max(waited, msSince(t));
        }
        report("window thread: 4 MB save (longest of 10)", worst);
        report("the same commit waited for (longest of 10)", waited);

        sqlite3 *other = nullptr;
        sqlite3_open(path.toUtf8().constData(), &other);
        sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        worst = 0;
        for (int i = 0; i < 20; ++i) {
            worst = std::max(worst, windowThreadSave([&] { p.setInt(QStringLiteral("n"), i); }));
            QThread::msleep(50);
        }
        report("window thread: save while another program holds the lock (longest of 20)", worst);
        QElapsedTimer t;
        t.start();
        p.flush();
        report("the same save waited for (fails when the busy wait ends)", msSince(t));
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        t.restart();
        p.flush();
        report("flush once the lock is gone", msSince(t));
        p.setData(QStringLiteral("notes"), QByteArray(40 * 1024 * 1024, 'n'));
        p.close();
    }
    QElapsedTimer t;
    t.start();
    Prefs p(path);
    report("window thread: open with a 40 MB document stored", msSince(t));
    t.restart();
    const QByteArray notes = p.data(QStringLiteral("notes"));
    report("reading the 40 MB document back (a loader thread's job)", msSince(t));
    std::vector<PrefsSplice> pastBound{PrefsSplice{0, 1, QByteArray(41 * 1024 * 1024, 's')}};
    const quint64 version = *p.version(QStringLiteral("notes"));
    report("window thread: a 41 MB splice into it, past the bound for waiting splices",
           windowThreadSave([&] { p.spliceData(QStringLiteral("notes"), version, std::move(pastBound)); }));
    p.flush();
    return notes.size() == 40 * 1024 * 1024 ? 0 : 1;
}
