// A long note's save whose bytes go beside the database as they are encoded, never held whole: they
// are what the encode in memory makes, byte for byte; the stored notes read back as saved while the
// disk does not hold them yet; a quit another program's lock holds back keeps them whole, and the
// next start writes them; and where no file can be made, the save is made in memory.
#include "common/Fakes.h"
#include "common/PrefsRaw.h"
#include "common/TestEnv.h"
#include "notes/NoteCodec.h"
#include "notes/NoteDocument.h"
#include "notes/NoteStore.h"
#include "platform/Deadline.h"
#include "platform/Keys.h"
#include "platform/UnsavedAtQuit.h"
#include <QRandomGenerator>
#include <QTextCursor>
#include <QTextDocument>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>

namespace {
const QString kKey = QString::fromLatin1(kNotes);

Note textNote(const QString &id, qsizetype length) {
    Note n(NoteType::text, QStringLiteral("📝"), QStringLiteral("Note ") + id);
    n.id = id;
    n.body = QString(length, u'a');
    n.createdInterval = n.modifiedInterval = 788918400;
    return n;
}

// Lines of text, every third bold: a record of a few megabytes, most of it the rich text.
std::unique_ptr<QTextDocument> longDocument() {
    auto doc = std::make_unique<QTextDocument>();
    QTextCursor c(doc.get());
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    for (int i = 0; i < 3000; ++i) {
        c.insertText(QString(200, QChar(u'ж' + i % 7)) + QString::number(i),
                     i % 3 ? QTextCharFormat() : bold);
        c.insertBlock();
    }
    return doc;
}

Note fieldsOf(Note n) {
    n.body.clear();
    n.bodyRTF.reset();
    return n;
}

// The note the store holds once the record is handed over: its text from the record, stamped now.
Note savedNote(const QByteArray &record) {
    auto held = NoteCodec::decodeHeld(record);
    Note n = held ? held->note : Note();
    n.modifiedInterval = Clock::get().refSeconds();
    return n;
}
} // namespace

class TestSpooledSaves : public QObject {
    Q_OBJECT
public:
    static void initMain() { useOffscreenWhenHeadless(); }

private slots:
    void cleanup() {
        NoteStore::resetForTests();
        QCoreApplication::processEvents();
    }

    // Made beside the database, the record is the one made in memory, read back whole or by any
    // stretch (across where the file's bytes end and those in memory begin). Handed to the store
    // while another program holds the lock, the stored notes read back as saved before the disk holds
    // them; the quit keeps them beside the database, whole, and the next start writes them.
    void aRecordMadeInAFileIsStoredAsMadeInMemoryAndKeptAtALockedQuit() {
        TempPrefs t;
        TestClock clock(QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC));
        // Large enough that the preferences keep it on disk only: a save reaches it as splices.
        std::vector<Note> model{textNote(QStringLiteral("S"), 10),
                                textNote(QStringLiteral("L"), 2 * Prefs::kLargeBytes),
                                textNote(QStringLiteral("E"), 20)};
        NoteStore::shared().replaceAll(model);
        QTRY_COMPARE(t.prefs().data(kKey), encodeNotes(model));
        QVERIFY(t.prefs().flush());

        const auto doc = longDocument();
        const Note fields = fieldsOf(model[1]);
        const QByteArray inMemory = NoteDocument::encodeSaved(*doc, fields);
        QString preview;
        SpooledBytes record =
            NoteDocument::encodeSpooled(*doc, fields, QFile::encodeName(t.path()), 0, &preview);
        QVERIFY(inMemory.size() > 3 * SpooledBytes::Spooler::kStretch);
        QVERIFY(record.inFile());
        QVERIFY(record.tail().size() <= SpooledBytes::Spooler::kStretch + SpooledBytes::Spooler::kKeep);
        QCOMPARE(record.whole(), std::optional<QByteArray>(inMemory));
        const qint64 inFile = record.size() - record.tail().size();
        QRandomGenerator rng(5);
        for (int i = 0; i < 40; ++i) {
            const qint64 at = i % 4 ? rng.bounded(int(record.size())) : inFile - 1 - i;
            const qint64 len = std::min<qint64>(rng.bounded(3 << 20), record.size() - at);
            QCOMPARE(record.read(at, len), std::optional<QByteArray>(inMemory.mid(at, len)));
        }
        QVERIFY(!record.read(record.size() - 1, 2));
        QCOMPARE(preview, NoteHead::previewOf(doc->toPlainText()));

        // Written by the writer from the file, a stretch at a time, into the stored notes.
        clock.advance(60);
        model[1] = savedNote(inMemory);
        QVERIFY(NoteStore::shared().updateEncoded(fields, preview, SpooledBytes(record)));
        NoteStore::shared().save();
        QVERIFY(t.prefs().flush());
        QCOMPARE(Prefs(t.path()).data(kKey), encodeNotes(model));

        // Saved again while another program holds the lock: read back before the disk holds it.
        clock.advance(60);
        model[1] = savedNote(inMemory);
        HeldLock other(t.path(), "BEGIN IMMEDIATE");
        QVERIFY(other.held);
        QVERIFY(NoteStore::shared().updateEncoded(fields, preview, std::move(record)));
        NoteStore::shared().save();
        const QByteArray now = encodeNotes(model);
        QCOMPARE(t.prefs().data(kKey), now);
        const quint64 version = t.prefs().version(kKey).value_or(0);
        for (const qint64 at : {qint64(1), now.size() / 3, now.size() - 300000, now.size() - 70000}) {
            const qint64 len = std::min<qint64>(200000, now.size() - at);
            QCOMPARE(t.prefs().readRange(kKey, at, len, version),
                     std::optional<QByteArray>(now.mid(at, len)));
        }
        QCOMPARE(NoteStore::shared().readLater(model[1].id)(), std::optional<Note>(model[1]));
        QCOMPARE(*NoteStore::shared().find(model[1].id), model[1]);
        {
            SteppedTime time;
            const Deadline quit(100);
            time.advance(200);
            QVERIFY(!t.prefs().close(quit));
            QCOMPARE(t.prefs().keptUnsavedIn(), UnsavedAtQuit::pathFor(t.path()));
        }
        other.release();
        NoteStore::resetForTests();
        t.reopen();
        QVERIFY(t.prefs().flush());
        QCOMPARE(t.prefs().data(kKey), encodeNotes(model));
        QVERIFY(!QFile::exists(UnsavedAtQuit::pathFor(t.path())));
    }

    // No file can be made where the database lies (no such folder), or the database has no folder:
    // the record is made in memory, the same bytes, and saved.
    void withoutAFileTheRecordIsMadeInMemoryAndSaved() {
        TempPrefs t;
        TestClock clock(QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC));
        std::vector<Note> model{textNote(QStringLiteral("L"), 4000)};
        NoteStore::shared().replaceAll(model);
        QTRY_COMPARE(t.prefs().data(kKey), encodeNotes(model));
        const auto doc = longDocument();
        const Note fields = fieldsOf(model[0]);
        const QByteArray inMemory = NoteDocument::encodeSaved(*doc, fields);
        for (const QByteArray &beside : {QByteArray("/no/such/folder/mivo.sqlite3"), QByteArray()}) {
            SpooledBytes record = NoteDocument::encodeSpooled(*doc, fields, beside, 0);
            QVERIFY(!record.inFile());
            QCOMPARE(record.tail(), inMemory);
            clock.advance(60);
            model[0] = savedNote(inMemory);
            QVERIFY(NoteStore::shared().updateEncoded(fields, QString(), std::move(record)));
            QTRY_COMPARE(t.prefs().data(kKey), encodeNotes(model));
        }
    }

    // The disk fills up after part of the record went to its file: the record is made again in
    // memory, whole, never the part the file holds and the rest.
    void aFileThatFailsMidwayLeavesTheRecordMadeInMemory() {
        TempPrefs t;
        const auto doc = longDocument();
        const Note fields = fieldsOf(textNote(QStringLiteral("L"), 10));
        const QByteArray inMemory = NoteDocument::encodeSaved(*doc, fields);
        QVERIFY(inMemory.size() > 3 * SpooledBytes::Spooler::kStretch);
        // A file may not grow past 1.5 stretches: the second stretch written to it fails (EFBIG).
        rlimit was{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &was) == 0);
        const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = was;
        small.rlim_cur = rlim_t(SpooledBytes::Spooler::kStretch * 3 / 2);
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        SpooledBytes record = NoteDocument::encodeSpooled(*doc, fields, QFile::encodeName(t.path()), 0);
        setrlimit(RLIMIT_FSIZE, &was);
        std::signal(SIGXFSZ, oldSignal);
        QVERIFY(!record.inFile());
        QCOMPARE(record.size(), qint64(inMemory.size()));
        QCOMPARE(record.tail(), inMemory);
    }
};

QTEST_MAIN(TestSpooledSaves)
#include "tst_spooled_saves.moc"
