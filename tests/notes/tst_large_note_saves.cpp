// Saving a note of megabytes: its bytes are made on a worker while the store shows the change at
// once. Whatever happens before they are in (another change, a removal, an import, another
// program's write, quitting), the stored document always decodes, ends up exactly what encoding
// every note anew gives, and never holds a change that was superseded or removed.
#include "common/NoteTables.h"
#include "common/StoredNotes.h"
#include "common/TestEnv.h"
#include "notes/NoteStore.h"
#include "platform/DataNotices.h"
#include "platform/Keys.h"
#include <QRandomGenerator>
#include <QtTest>
#include <algorithm>
#include <sqlite3.h>

namespace {
const QString kKey = QString::fromLatin1(kNotes);

Note textNote(const QString &id, qsizetype length, QChar fill = u'a') {
    Note n(NoteType::text, QStringLiteral("📝"), QStringLiteral("Note ") + id);
    n.id = id;
    n.body = QString(length, fill);
    n.createdInterval = n.modifiedInterval = 788918400;
    return n;
}

// A table of about 700 KB: rows of short cells, some with quotes and other scripts.
Note bigTable() {
    QList<QStringList> rows(3000);
    for (int r = 0; r < 3000; ++r)
        for (int c = 0; c < 12; ++c) rows[r] << (c % 5 ? QStringLiteral("v%1").arg(r * 12 + c) : QStringLiteral("\"ü\" 🙂"));
    return tableNote(QStringLiteral("T"), 12, rows);
}

// The note as the store holds it after update().
Note stamped(Note n) {
    n.modifiedInterval = Clock::get().refSeconds();
    return n;
}

QByteArray stored(TempPrefs &prefs) { return prefs.prefs().data(kKey); }
} // namespace

class TestLargeNoteSaves : public QObject {
    Q_OBJECT
public:
    static void initMain() { useOffscreenWhenHeadless(); }

private slots:
    // Edits to a large table (rows copied from its old bytes, on the worker) and to a large text: the
    // store answers with each change at once, the stored document always decodes, and document()
    // right after update() or the stored document once the worker is done equal a whole encode.
    void asyncSavesWriteWhatAWholeEncodeWrites() {
        TempPrefs prefs;
        TestClock clock(QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC));
        NoteStore store;
        std::vector<Note> model{textNote(QStringLiteral("S"), 10), bigTable(), textNote(QStringLiteral("L"), 400000)};
        for (const Note &n : model) store.add(n);
        QCOMPARE(store.find(QStringLiteral("T"))->rows.size(), size_t(3000)); // before its bytes are in
        QCOMPARE(store.document(), encodeNotes(model));
        QRandomGenerator rng(11);
        for (int step = 0; step < 24; ++step) {
            clock.advance(2);
            const size_t which = step % 3 == 2 ? 2 : 1;
            Note copy = *store.find(model[which].id);
            const int r = int(rng.bounded(3000));
            switch (which == 2 ? 4 : step % 4) {
            case 0: copy.rows[r].cells[r % 12] = QStringLiteral("edited %1 \\ \u2028").arg(step); break;
            case 1: copy.rows[r].cellsRTF[3] = QByteArray("{\\rtf1 x}"); break;
            case 2: copy.rows.insert(copy.rows.begin() + 7, NoteRow(QStringList(12, QStringLiteral("new")))); break;
            case 3: std::swap(copy.rows[1], copy.rows[r]); break;
            default: copy.body[r * 100] = QChar(u'Ж');
            }
            store.update(copy);
            model[which] = stamped(copy);
            QCOMPARE(*store.find(copy.id), model[which]);
            QCOMPARE(store.notes().at(which), NoteHead(model[which]));
            QVERIFY(decodeNotes(stored(prefs))); // never written without the note's bytes
            if (step % 2)
                QCOMPARE(store.document(), encodeNotes(model));
            else
                QTRY_COMPARE(stored(prefs), encodeNotes(model));
        }
    }

    // A large text note handed over as its bytes is stored as they are, stamped anew; the store holds
    // it lent and decodes it from them when asked; its head shows the preview given.
    void aNoteHandedOverAsItsBytesIsStoredAsTheyAre() {
        TempPrefs prefs;
        TestClock clock(QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC));
        NoteStore store;
        std::vector<Note> model{textNote(QStringLiteral("S"), 10), textNote(QStringLiteral("L"), 400000)};
        store.replaceAll(model);
        QTRY_COMPARE(stored(prefs), encodeNotes(model));
        clock.advance(60);
        Note saved = textNote(QStringLiteral("L"), 500000, u'ж');
        saved.title = QStringLiteral("Saved");
        saved.bodyRTF = QByteArray(300000, 'r');
        QByteArray record;
        NoteCodec::encodeNote(record, saved);
        Note fields = saved;
        fields.body.clear();
        fields.bodyRTF.reset();
        QVERIFY(store.updateEncoded(fields, NoteHead::previewOf(saved.body), std::move(record)));
        model[1] = stamped(saved);
        QVERIFY(store.textLent(saved.id));
        QCOMPARE(store.notes().at(1), NoteHead(model[1]));
        QTRY_COMPARE(stored(prefs), encodeNotes(model));
        QCOMPARE(*store.find(saved.id), model[1]);
        QVERIFY(!store.updateEncoded(textNote(QStringLiteral("X"), 1), QString(), QByteArray("{}")));
        QVERIFY(!store.updateEncoded(fields, QString(), QByteArray("{\"id\":\"L\"}")));
        QCOMPARE(*store.find(saved.id), model[1]);

        // A note of kilobytes handed over the same way is held whole, as after update(): only a large
        // one is decoded again on a worker once a page lets go of it, so a small one held lent would
        // be asked for there in vain.
        clock.advance(60);
        Note small = textNote(QStringLiteral("S"), 60000, u'k');
        small.bodyRTF = QByteArray(20000, 'r');
        QByteArray smallRecord;
        NoteCodec::encodeNote(smallRecord, small);
        Note smallFields = small;
        smallFields.body.clear();
        smallFields.bodyRTF.reset();
        QVERIFY(store.updateEncoded(smallFields, NoteHead::previewOf(small.body), std::move(smallRecord)));
        model[0] = stamped(small);
        QVERIFY(!store.textLent(small.id));
        QCOMPARE(*store.findFields(small.id), model[0]);
        QTRY_COMPARE(stored(prefs), encodeNotes(model));
    }

    // A second change to the same note before the first one's bytes are in is the one stored, also
    // when the first takes the worker much longer, so its bytes come last.
    void theLastOfQuickChangesWins_data() {
        QTest::addColumn<qsizetype>("second");
        QTest::addRow("large, then small") << qsizetype(100);
        QTest::addRow("larger, then large") << qsizetype(300000);
    }
    void theLastOfQuickChangesWins() {
        QFETCH(qsizetype, second);
        TempPrefs prefs;
        TestClock clock(QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC));
        NoteStore store;
        std::vector<Note> model{textNote(QStringLiteral("A"), 300000), textNote(QStringLiteral("B"), 10)};
        store.replaceAll(model);
        store.update(textNote(QStringLiteral("A"), 20 << 20, u'1'));
        store.update(textNote(QStringLiteral("A"), second, u'2'));
        model[0] = stamped(textNote(QStringLiteral("A"), second, u'2'));
        QCOMPARE(*store.find(QStringLiteral("A")), model[0]);
        // The 20 MB change is encoded on a worker first, however slow the machine.
        QTRY_COMPARE_WITH_TIMEOUT(stored(prefs), encodeNotes(model), 60000);
        QVERIFY(store.settle(10000)); // the first change's bytes, whenever they come, take no place
        QCoreApplication::processEvents();
        QCOMPARE(stored(prefs), encodeNotes(model));
    }

    // A note removed, or every note replaced by an import, before a change's bytes are in stays so:
    // the bytes go nowhere (not into the note now at its place or with its id), and the save still
    // happens. Another note's change meanwhile is saved with the rest, never with the pending one's
    // bytes missing; and quitting (settle) writes what is pending before the database closes.
    void whatComesBeforeTheBytesStands() {
        TempPrefs prefs;
        TestClock clock(QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC));
        NoteStore store;
        std::vector<Note> model{textNote(QStringLiteral("A"), 10), textNote(QStringLiteral("Big"), 10),
                                textNote(QStringLiteral("C"), 10)};
        store.replaceAll(model);
        store.update(textNote(QStringLiteral("Big"), 8 << 20));
        model[1] = stamped(textNote(QStringLiteral("Big"), 8 << 20));
        store.update(textNote(QStringLiteral("C"), 20, u'c'));
        model[2] = stamped(textNote(QStringLiteral("C"), 20, u'c'));
        QVERIFY(decodeNotes(stored(prefs)));
        QTRY_COMPARE(stored(prefs), encodeNotes(model));

        store.update(textNote(QStringLiteral("Big"), 9 << 20, u'x'));
        store.remove(QStringLiteral("Big"));
        model.erase(model.begin() + 1);
        QVERIFY(!store.find(QStringLiteral("Big")));
        QTRY_COMPARE(stored(prefs), encodeNotes(model));
        QVERIFY(store.settle(10000));
        QCOMPARE(stored(prefs), encodeNotes(model));

        store.update(textNote(QStringLiteral("C"), 9 << 20, u'x'));
        const std::vector<Note> imported{textNote(QStringLiteral("C"), 30, u'i'), textNote(QStringLiteral("D"), 5)};
        store.replaceAll(imported);
        QVERIFY(store.settle(10000));
        QCoreApplication::processEvents();
        QCOMPARE(stored(prefs), encodeNotes(imported));

        // An import of megabytes in many notes: stored whole, its notes not all kept decoded after.
        std::vector<Note> many;
        for (int i = 0; i < 40; ++i) many.push_back(textNote(QStringLiteral("M%1").arg(i), 20000, QChar(u'a' + i % 26)));
        store.replaceAll(many);
        QCOMPARE(*store.find(QStringLiteral("M39")), many.back());
        QTRY_COMPARE(stored(prefs), encodeNotes(many));
        QTRY_VERIFY(store.decodedCount() <= 3);

        Note t = bigTable();
        store.add(t);
        t.rows[2999].cells[0] = QStringLiteral("the last edit");
        store.update(t);
        many.push_back(stamped(t));
        QVERIFY(store.settle(10000));
        prefs.reopen();
        QCOMPARE(stored(prefs), encodeNotes(many));
    }

    // Another program writes the notes while a large note's bytes are still being made (the store
    // let go of its document after a relaunch): what it wrote stays and is shown, and every note held,
    // the change with them, is kept aside, once, whole.
    void anotherProgramsWriteMeanwhileKeepsTheChangeAside() {
        TempPrefs prefs;
        TestClock clock(QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC));
        std::vector<Note> model;
        for (int i = 0; i < 10; ++i) model.push_back(textNote(QStringLiteral("N%1").arg(i), 3000));
        model.push_back(textNote(QStringLiteral("Big"), 600000));
        NoteStore *loaded = relaunchWithNotes(prefs, encodeNotes(model));
        QVERIFY(loaded);
        NoteStore &store = *loaded;
        QCOMPARE(store.notes().size(), model.size());
        QCoreApplication::processEvents();

        Note mine = *store.find(QStringLiteral("Big"));
        mine.title = QStringLiteral("kept aside");
        const QByteArray theirs = encodeNotes({textNote(QStringLiteral("Theirs"), 40)});
        sqlite3 *other = nullptr;
        QCOMPARE(sqlite3_open(qPrintable(prefs.path()), &other), SQLITE_OK);
        sqlite3_busy_timeout(other, 10000); // as any program, it waits while Mivo's writer commits
        const QByteArray sql = "UPDATE prefs SET value = CAST('" + theirs + "' AS BLOB) WHERE key = 'savedNotes'";
        QCOMPARE(sqlite3_exec(other, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(other);
        store.update(mine);
        QTRY_COMPARE(store.notes().size(), size_t(1));
        QVERIFY(store.settle(10000));
        QVERIFY(prefs.prefs().flush());
        QCOMPARE(stored(prefs), theirs);
        const QStringList copies = prefs.prefs().keys().filter(kKey + QStringLiteral(".unreadable-"));
        QCOMPARE(copies.size(), 1);
        const auto kept = decodeNotes(prefs.prefs().data(copies.front()));
        QVERIFY(kept && kept->size() == model.size()); // every note held, with the change
        model.back() = stamped(mine);
        QCOMPARE(*kept, model);
        DataNotices::get().take();
        NoteStore::resetForTests();
    }

    // Notes too many to be held whole in memory beside the stored document: when another program
    // replaces them, every note held is still kept aside with the change, as the notice says.
    void everyNoteIsKeptOfNotesTooLargeToHoldInMemory() {
        TempPrefs prefs;
        TestClock clock(QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC));
        std::vector<Note> model;
        for (int i = 0; i < 9; ++i) model.push_back(textNote(QStringLiteral("N%1").arg(i), 2 << 20));
        NoteStore *loaded = relaunchWithNotes(prefs, encodeNotes(model));
        QVERIFY(loaded);
        NoteStore &store = *loaded;
        QCOMPARE(store.notes().size(), model.size());
        Note mine = *store.find(QStringLiteral("N0"));
        mine.title = QStringLiteral("kept aside");
        sqlite3 *other = nullptr;
        QCOMPARE(sqlite3_open(qPrintable(prefs.path()), &other), SQLITE_OK);
        sqlite3_busy_timeout(other, 10000);
        QCOMPARE(sqlite3_exec(other, "UPDATE prefs SET value = 7 WHERE key = 'savedNotes'", nullptr, nullptr, nullptr),
                 SQLITE_OK);
        sqlite3_close(other);
        store.update(mine);
        QVERIFY(store.settle(10000));
        QVERIFY(prefs.prefs().flush());
        QTRY_VERIFY(store.notes().empty());
        std::optional<DataNotice> mineTold;
        for (const DataNotice &n : DataNotices::get().take())
            if (n.kind == DataNotice::Kind::ownChangesKept) mineTold = n;
        QVERIFY(mineTold);
        const auto kept = decodeNotes(prefs.prefs().data(mineTold->keptAs));
        // Every note held, not only the one changed: the other program's document replaced them all.
        QVERIFY(kept);
        QCOMPARE(kept->size(), model.size());
        QVERIFY(std::find(kept->begin(), kept->end(), stamped(mine)) != kept->end());
        NoteStore::resetForTests();
    }
};

QTEST_MAIN(TestLargeNoteSaves)
#include "tst_large_note_saves.moc"
