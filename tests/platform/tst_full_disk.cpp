#include "common/Files.h"
#include "common/TestEnv.h"
#include "finance/FinanceFile.h"
#include "notes/Note.h"
#include "notes/NoteExport.h"
#include "platform/AtomicFile.h"
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <cstring>
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
