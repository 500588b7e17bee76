// What a save costs the window's thread: a 4 MB document, a save while another program holds the
// database's write lock, opening a database that holds a 40 MB document, and a save that replaces
// more of that document than splices may wait with. Beside each, what the
// same commit costs when waited for (flush()), as every save did when it ran on the window's thread.
// Last, what one record spliced into a 140 MB document of records costs the writer: its time, and
// the peak resident memory of the process over what it held before.
#include "BenchUtil.h"
#include "platform/Prefs.h"
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <sqlite3.h>

namespace {
double msSince(const QElapsedTimer &t) {
    return double(t.nsecsElapsed()) / 1e6;
}

// The process's resident memory (VmRSS) or its peak (VmHWM), in MB.
double residentMb(const char *field) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').front().toDouble() / 1024;
    return -1;
}

// Starts the peak resident memory (VmHWM) again from what is resident now.
void resetPeak() {
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly)) f.write("5");
}

// A document of JSON records of about 4 KB each, as the notes page stores its notes.
QByteArray records(qint64 bytes, int *count) {
    QByteArray doc("[");
    const QByteArray text =
        QByteArray("Lorem ipsum dolor sit amet, consectetur adipiscing elit. ").repeated(68);
    for (*count = 0; doc.size() < bytes; ++*count) {
        if (*count) doc += ',';
        doc += "{\"id\":\"note-" + QByteArray::number(*count) + "\",\"title\":\"Note " +
               QByteArray::number(*count) + "\",\"text\":\"" + text + "\"}";
    }
    return doc + "]";
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
    p.close();

    // One record of a 140 MB document spliced, as a note's save is: the writer's time, and the peak
    // memory of the process (every thread) over what it held before the save.
    const QString bigPath = dir.filePath(QStringLiteral("big.sqlite3"));
    const QString key = QStringLiteral("savedNotes");
    int count = 0;
    qint64 size = 0;
    {
        Prefs big(bigPath);
        QByteArray doc = records(140 * 1000 * 1000, &count);
        size = doc.size();
        const double before = residentMb("VmRSS:");
        resetPeak();
        big.setData(key, std::move(doc));
        big.close();
        std::printf("  %-60s %8.1f MB\n", "140 MB document written whole: peak resident over before",
                    residentMb("VmHWM:") - before);
    }
    Prefs big(bigPath);
    double worstMs = 0, worstMb = 0;
    for (int i = 0; i < 3; ++i) {
        const double before = residentMb("VmRSS:");
        resetPeak();
        QElapsedTimer w;
        w.start();
        // Bytes near the middle (a record there) grow by a few, as a note typed into does.
        std::vector<PrefsSplice> one{PrefsSplice{size / 2, 16, QByteArray("edited record ").repeated(2 + i)}};
        big.spliceData(key, *big.version(key), std::move(one));
        for (int tries = 0; !big.flush() && tries < 20; ++tries) {
        } // each flush waits a bounded time
        worstMs = std::max(worstMs, msSince(w));
        worstMb = std::max(worstMb, residentMb("VmHWM:") - before);
        size += 14 * (2 + i) - 16;
    }
    std::printf("  %-60s %8.1f MB\n", "140 MB document, one record spliced: peak resident over before",
                worstMb);
    report("the same splice written by the writer (longest of 3)", worstMs);
    big.close();
    return notes.size() == 40 * 1024 * 1024 ? 0 : 1;
}
