#include "common/Fakes.h"
#include "common/Files.h"
#include "common/TestEnv.h"
#include "finance/FinanceFile.h"
#include "notes/Note.h"
#include "notes/NoteExport.h"
#include "platform/AtomicFile.h"
#include "platform/DataNotices.h"
#include "platform/Prefs.h"
#include "platform/UnsavedAtQuit.h"
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <cstring>
#include <sqlite3.h>
#include <sys/mount.h>

namespace {
// Every way the app writes a file the user asked for, each given far more than fits.
struct Writer {
    const char *name;
    std::function<QString(const QString &path)> write; // the error, empty on success
};
std::vector<Writer> writers() {
    const QString text =
        QStringLiteral("A line of the report that is long enough to fill pages\n").repeated(4000);
    Note table(NoteType::table, QStringLiteral("📝"), QStringLiteral("Big"));
    table.columns = {NoteTableColumn(QStringLiteral("A"))};
    for (int i = 0; i < 4000; ++i)
        table.rows.emplace_back(QStringList{text.left(60)});
    return {
        {"JSON, CSV and text exports and the backup",
         [text](const QString &p) { return AtomicFile::write(p, text.toUtf8()).error; }},
        {"finance and statistics PDF",
         [text](const QString &p) { return FinanceFile::writePdf(p, text, QStringLiteral("t")).error; }},
        {"note as CSV",
         [table](const QString &p) {
             return NoteExport::writeText(p, table, NoteExport::Format::csv).error;
         }},
        {"note as PDF", [table](const QString &p) { return NoteExport::writePdf(p, table).error; }},
    };
}
} // namespace

// A disk that fills part-way through an export: the user is told why, not "Unknown error".
class TstFullDisk : public QObject {
    Q_OBJECT
public:
    static void initMain() { useOffscreenWhenHeadless(); }
private slots:
    void aFileSystemThatFillsUpSaysNoSpaceLeft() {
        QTemporaryDir dir;
        // A tiny file system of its own, so only this test's writes fill it.
        if (::mount("tmpfs", QFile::encodeName(dir.path()).constData(), "tmpfs", 0, "size=48k") != 0)
            QSKIP("cannot mount a small file system here (needs root)");
        struct Unmount {
            QByteArray at;
            ~Unmount() { ::umount2(at.constData(), MNT_DETACH); }
        } unmount{QFile::encodeName(dir.path())};
        const QString noSpace = QString::fromLocal8Bit(std::strerror(ENOSPC));
        for (const Writer &w : writers()) {
            const QString path = dir.filePath(QStringLiteral("out"));
            QCOMPARE(w.write(path), noSpace);
            QVERIFY2(QDir(dir.path()).isEmpty(), w.name); // nothing half-written left behind
        }
    }

    // Another program holds the database at quit and no file may grow, so the changes can be kept
    // nowhere: the quit fails, and the next start tells the user once that they were lost. A quit
    // that commits its changes leaves nothing to tell.
    void aLockedQuitOnAFullDiskIsToldAtTheNextStart() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("mivo.sqlite3"));
        {
            Prefs p(path);
            p.setInt(QStringLiteral("x"), 1);
        }
        DataNotices::get().take();
        {
            Prefs p(path);
            QVERIFY(DataNotices::get().take().empty());
            sqlite3 *other = nullptr;
            sqlite3_open(QFile::encodeName(path).constData(), &other);
            QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
            p.setData(QStringLiteral("doc"), QByteArray(256 * 1024, 'd'));
            SteppedTime time; // the quit's tries take no time
            QVERIFY(!withFileSizeLimit(1, [&] { return p.close(); }));
            QVERIFY(p.keptUnsavedIn().isEmpty());
            sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close(other);
        }
        QVERIFY(!QFile::exists(UnsavedAtQuit::pathFor(path)));
        for (int start = 0; start < 2; ++start) {
            Prefs p(path);
            QVERIFY(!p.contains(QStringLiteral("doc")));
            const std::vector<DataNotice> told = DataNotices::get().take();
            QCOMPARE(told.size(), size_t(start == 0 ? 1 : 0));
            if (start == 0) QCOMPARE(told[0].kind, DataNotice::Kind::lostAtQuit);
        }
    }

    void aFileSizeLimitSaysTooLarge() {
        QTemporaryDir dir;
        const QString tooLarge = QString::fromLocal8Bit(std::strerror(EFBIG));
        for (const Writer &w : writers()) {
            const QString path = dir.filePath(QStringLiteral("out"));
            QCOMPARE(withFileSizeLimit(4096, [&] { return w.write(path); }), tooLarge);
        }
    }
};

QTEST_MAIN(TstFullDisk)
#include "tst_full_disk.moc"
