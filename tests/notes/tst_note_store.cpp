#include "common/TestEnv.h"
#include "common/Files.h"
#include "common/NoteJson.h"
#include "common/NoteTables.h"
#include "common/NotesImport.h"
#include "common/Posts.h"
#include "notes/NoteCodec.h"
#include "notes/NoteStore.h"
#include "platform/DataNotices.h"
#include "platform/Keys.h"
#include <QRandomGenerator>
#include <sqlite3.h>
#include <QtTest>

// The notes store: what it writes, holds, lends and lets go of, and the notes list's import.

namespace {
// A string with what the encoder must escape, and text in other scripts.
QString oddText(QRandomGenerator &rng) {
    static const QStringList parts{"a", "Zeile", "\"", "\\", "\n", "\t", QString(QChar(1)), "/", "ü", "червоний",
                                   "🙂", "{\"x\":[1]}", " ", "\u2028"};
    QString s;
    for (int i = int(rng.bounded(4)); i > 0; --i) s += parts[rng.bounded(parts.size())];
    return s;
}

Note randomNote(QRandomGenerator &rng, int serial) {
    const bool table = rng.bounded(2);
    Note n(table ? NoteType::table : NoteType::text, oddText(rng), oddText(rng));
    n.id = QStringLiteral("N%1").arg(serial);
    n.createdInterval = 788918400 + serial * 0.25;
    n.modifiedInterval = n.createdInterval;
    if (!table) {
        n.body = oddText(rng);
        if (rng.bounded(2)) n.bodyRTF = oddText(rng).toUtf8();
        return n;
    }
    for (int c = int(rng.bounded(4)); c > 0; --c) n.columns.emplace_back(oddText(rng));
    for (int r = int(rng.bounded(6)); r > 0; --r) {
        QStringList cells;
        for (size_t c = 0; c < n.columns.size(); ++c) cells << oddText(rng);
        NoteRow row(cells);
        if (rng.bounded(3) == 0) row.cellsRTF[int(rng.bounded(12))] = oddText(rng).toUtf8();
        n.rows.push_back(row);
    }
    return n;
}

// One change as the notes page makes it, to a copy of a note.
void randomEdit(QRandomGenerator &rng, Note &n) {
    const size_t cols = n.columns.size(), rows = n.rows.size();
    switch (rng.bounded(8)) {
    case 0:
        n.title = oddText(rng);
        break;
    case 1:
        n.body = oddText(rng);
        n.bodyRTF = rng.bounded(2) ? std::optional<QByteArray>(oddText(rng).toUtf8()) : std::nullopt;
        break;
    case 2: // a cell, with or without rich text
        if (rows && cols) {
            NoteRow &r = n.rows[rng.bounded(quint32(rows))];
            const int c = int(rng.bounded(quint32(cols)));
            while (r.cells.size() <= c) r.cells << QString();
            r.cells[c] = oddText(rng);
            if (rng.bounded(2))
                r.cellsRTF[c] = oddText(rng).toUtf8();
            else
                r.cellsRTF.erase(c);
        }
        break;
    case 3: { // a row inserted
        QStringList cells;
        for (size_t c = 0; c < cols; ++c) cells << oddText(rng);
        n.rows.insert(n.rows.begin() + rng.bounded(quint32(rows + 1)), NoteRow(cells));
        break;
    }
    case 4:
        if (rows) n.rows.erase(n.rows.begin() + rng.bounded(quint32(rows)));
        break;
    case 5: // rows moved
        if (rows > 1) std::swap(n.rows[rng.bounded(quint32(rows))], n.rows[rng.bounded(quint32(rows))]);
        break;
    case 6: // a column added
        n.columns.emplace_back(oddText(rng));
        for (NoteRow &r : n.rows) r.cells << oddText(rng);
        break;
    default: // a column deleted
        if (cols) {
            const int c = int(rng.bounded(quint32(cols)));
            n.columns.erase(n.columns.begin() + c);
            for (NoteRow &r : n.rows)
                if (c < r.cells.size()) r.cells.removeAt(c);
        }
    }
}
} // namespace

class TestNoteStore : public QObject {
    Q_OBJECT
public:
    static void initMain() { useOffscreenWhenHeadless(); }

private slots:
    void storeOperationsWriteThenPost() {
        TempPrefs prefs;
        TestClock clock(QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC));
        NoteStore store;
        Posts posts(Notify::notesChanged);
        Note a = stampedNote(QStringLiteral("A"));
        store.add(a);
        QCOMPARE(posts.count, 1);
        QCOMPARE(store.notes().at(0).createdInterval, 788918400.0); // add keeps the note's stamps
        QCOMPARE(decodeNotes(prefs.prefs().data(QString::fromLatin1(kNotes)))->size(), size_t(1));

        a.title = QStringLiteral("changed");
        store.update(a);
        QCOMPARE(posts.count, 2);
        QCOMPARE(store.notes().at(0).title, QStringLiteral("changed"));
        QCOMPARE(store.notes().at(0).modifiedInterval, clock.refSeconds());

        Note ghost = stampedNote(QStringLiteral("nobody"));
        store.update(ghost);
        QCOMPARE(posts.count, 2);

        store.remove(QStringLiteral("nobody"));
        QCOMPARE(posts.count, 3); // also when nothing matched
        store.add(stampedNote(QStringLiteral("A")));
        store.add(stampedNote(QStringLiteral("B")));
        store.remove(QStringLiteral("A"));
        QCOMPARE(store.notes().size(), size_t(1)); // every twin goes
        QCOMPARE(store.notes().at(0).id, QStringLiteral("B"));

        NoteStore reloaded;
        QCOMPARE(reloaded.notes(), store.notes());
        // A removal that finds nothing writes nothing, also where a save would splice.
        QVERIFY(prefs.prefs().flush());
        const auto stored = prefs.prefs().version(QString::fromLatin1(kNotes));
        reloaded.remove(QStringLiteral("nobody"));
        QVERIFY(!prefs.prefs().hasPending());
        QCOMPARE(prefs.prefs().version(QString::fromLatin1(kNotes)), stored);
    }

    // Whatever the page does, the bytes a save writes are those of encoding every note anew, and a
    // note decoded again from its bytes is the note.
    void incrementalSavesWriteWhatAFullEncodeWrites() {
        TempPrefs prefs;
        TestClock clock(QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC));
        QRandomGenerator rng(26);
        auto store = std::make_unique<NoteStore>();
        std::vector<Note> model;
        int serial = 0;
        for (int step = 0; step < 600; ++step) {
            const quint32 op = model.empty() ? 0 : rng.bounded(20);
            if (op < 3) {
                model.push_back(randomNote(rng, serial++));
                store->add(model.back());
            } else if (op < 4) {
                const QString id = model[rng.bounded(quint32(model.size()))].id;
                std::erase_if(model, [&](const Note &n) { return n.id == id; });
                store->remove(id);
            } else if (op < 5) { // another launch: the store loads what was saved
                store = std::make_unique<NoteStore>();
                QCOMPARE(store->decodedCount(), 0);
            } else if (op < 6) { // the store lets go of notes no longer in use
                for (const Note &n : model) store->find(n.id);
                QCoreApplication::processEvents();
                QVERIFY(store->decodedCount() <= 3);
            } else {
                if (op < 9) // the preferences let go of the document once it is written: this save goes in
                            // its place
                    prefs.prefs().flush();
                const size_t i = rng.bounded(quint32(model.size()));
                Note copy = *store->find(model[i].id);
                QVERIFY(copy == model[i]);
                for (int k = int(rng.bounded(3)); k >= 0; --k) randomEdit(rng, copy);
                store->update(copy);
                model[i] = copy;
                model[i].modifiedInterval = clock.refSeconds();
            }
            QCOMPARE(prefs.prefs().data(QString::fromLatin1(kNotes)), encodeNotes(model));
            QCOMPARE(store->notes(), std::vector<NoteHead>(model.begin(), model.end()));
            clock.advance(1.5);
        }
    }

    // After a relaunch the preferences no longer hold the document's bytes, so a save may go in their
    // place: a note removed or added then still changes the document's layout.
    void notesComeAndGoAfterARelaunch() {
        TempPrefs prefs;
        TestClock clock(QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC));
        QRandomGenerator rng(36);
        std::vector<Note> model;
        for (int i = 0; i < 40; ++i)
            model.push_back(randomNote(rng, i));
        prefs.prefs().setData(QString::fromLatin1(kNotes), encodeNotes(model));
        const auto relaunch = [&] {
            QVERIFY(prefs.prefs().flush());
            prefs.reopen();
            NoteStore::resetForTests();
            QCOMPARE(NoteStore::shared().notes().size(), model.size());
            QCoreApplication::processEvents(); // the load's clean-up runs
        };
        for (int round = 0; round < 3; ++round) {
            relaunch();
            // Each note's bytes come back from the database when it is asked for.
            for (size_t k = 0; k < model.size(); k += 7)
                QCOMPARE(*NoteStore::shared().find(model[k].id), model[k]);
            const QString gone = model[rng.bounded(quint32(model.size()))].id;
            std::erase_if(model, [&](const Note &n) { return n.id == gone; });
            NoteStore::shared().remove(gone);
            QVERIFY(prefs.prefs().flush());
            QCOMPARE(prefs.prefs().data(QString::fromLatin1(kNotes)), encodeNotes(model));

            relaunch();
            model.push_back(randomNote(rng, 100 + round));
            NoteStore::shared().add(model.back());
            QVERIFY(prefs.prefs().flush());
            QCOMPARE(prefs.prefs().data(QString::fromLatin1(kNotes)), encodeNotes(model));
        }
        // A write the preferences do not take (frozen after a restore) leaves the store its own copy.
        relaunch();
        prefs.prefs().setFrozen(true);
        Note edited = *NoteStore::shared().find(model[3].id);
        edited.title = QStringLiteral("kept in memory");
        NoteStore::shared().update(edited);
        NoteStore::shared().remove(model[5].id);
        QCOMPARE(NoteStore::shared().find(model[3].id)->title, QStringLiteral("kept in memory"));
        for (size_t k = 6; k < model.size(); k += 5)
            QCOMPARE(*NoteStore::shared().find(model[k].id), model[k]);
        model[3] = *NoteStore::shared().find(model[3].id);
        model.erase(model.begin() + 5);
        QCOMPARE(NoteStore::shared().document(), encodeNotes(model));
        prefs.prefs().setFrozen(false);
        NoteStore::resetForTests();
    }

    // The document read back at a save is not the one the store let go of (here another program wrote
    // an empty list over it): the store writes nothing spliced from it, shows what is stored, and keeps
    // the change aside as a notes list of its own.
    void aSaveNeverSplicesIntoBytesItDidNotLetGoOf() {
        TempPrefs prefs;
        TestClock clock(QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC));
        QRandomGenerator rng(7);
        std::vector<Note> model;
        for (int i = 0; i < 30; ++i) {
            model.push_back(randomNote(rng, i));
            model.back().body = QString(4000, QChar(u'a' + i % 26)); // the document is kept on disk
        }
        prefs.prefs().setData(QString::fromLatin1(kNotes), encodeNotes(model));
        QVERIFY(prefs.prefs().flush());
        prefs.reopen();
        NoteStore::resetForTests();
        QCOMPARE(NoteStore::shared().notes().size(), model.size());
        QCoreApplication::processEvents();

        Note edited = *NoteStore::shared().find(model[4].id);
        sqlite3 *other = nullptr;
        QCOMPARE(sqlite3_open(qPrintable(prefs.path()), &other), SQLITE_OK);
        sqlite3_busy_timeout(other, 10000); // as any program, it waits while Mivo's writer commits
        QCOMPARE(sqlite3_exec(other, "UPDATE prefs SET value = CAST('[]' AS BLOB) WHERE key = 'savedNotes'",
                              nullptr, nullptr, nullptr),
                 SQLITE_OK);
        sqlite3_close(other);
        edited.title = QStringLiteral("kept aside");
        NoteStore::shared().update(edited);
        QVERIFY(prefs.prefs().flush());
        QCOMPARE(prefs.prefs().data(QString::fromLatin1(kNotes)), QByteArray("[]"));
        QVERIFY(NoteStore::shared().notes().empty());
        QStringList copies;
        for (const QString &k : prefs.prefs().keys())
            if (k.startsWith(QStringLiteral("savedNotes.unreadable-"))) copies << k;
        QCOMPARE(copies.size(), 1);
        const auto kept = decodeNotes(prefs.prefs().data(copies.front()));
        QVERIFY(kept && kept->size() == model.size()); // every note held, with the edit
        QCOMPARE(kept->at(4).title, edited.title);
        DataNotices::get().take();
        NoteStore::resetForTests();
    }

    // A document not in the written form (spaces, other key order, escapes, members the notes do not
    // have, rich text keys out of order) loads as the general decoder reads it; the first save
    // writes it in the written form, and a document in the written form is kept as it is.
    void documentsInAnotherFormLoadAsDecoded() {
        const QByteArray row = "{\"cellsRTF\":{\"10\":\"eQ==\",\"01\":\"eB==\",\"1\":\"eA==\"},"
                               "\"extra\":[{}],\"cells\":[\"a\\u00e9\\/\",\"\\ud83d\\ude42\"],\"id\":\"R\"}";
        const QByteArray doc = "[ " + noteJson("rows=[" + row + ", {\"id\":\"S\",\"cells\":null}]",
                                               ", \"bodyRTF\" : \"eR==\", \"more\":{\"x\":1}") +
                               " ,\n" + noteJson("id=\"B\"") + "]\n";
        const auto decoded = decodeNotes(doc);
        QVERIFY(decoded);
        QCOMPARE(decoded->at(0).rows.at(0).cellsRTF, (std::map<int, QByteArray>{{1, "x"}, {10, "y"}}));
        TempPrefs prefs;
        prefs.prefs().setData(QString::fromLatin1(kNotes), doc);
        NoteStore store;
        QCOMPARE(store.document(), encodeNotes(*decoded));
        QCOMPARE(*store.find(QStringLiteral("A")), decoded->at(0));
        QCOMPARE(store.notes().at(1), NoteHead(decoded->at(1)));

        const QByteArray written = encodeNotes({tableNote(QStringLiteral("T"), 2, {{"a", "b"}, {"c"}})});
        prefs.prefs().setData(QString::fromLatin1(kNotes), written);
        QVERIFY(NoteCodec::index(written)->doc.constData() == written.constData()); // no copy made
    }

    // The store holds a document it loaded from another form: a change to one note moves every note
    // after it, changed or not, and each is found where it lies now.
    void aSaveOfAHeldDocumentMovesEveryNoteAfterTheChange() {
        TempPrefs prefs;
        std::vector<Note> model;
        for (int i = 0; i < 4; ++i) {
            model.push_back(stampedNote(QStringLiteral("N%1").arg(i)));
            model.back().body = QString(300, QChar(u'a' + i));
        }
        QByteArray spaced = encodeNotes(model);
        spaced.replace("},{", "}, {"); // as another writer spaces it: the store holds it re-encoded
        QCOMPARE(spaced.count("}, {"), 3);
        prefs.prefs().setData(QString::fromLatin1(kNotes), spaced);
        QVERIFY(prefs.prefs().flush());
        prefs.reopen();
        NoteStore store;
        Note longer = *store.find(model[0].id);
        longer.body += QString(500, QChar(u'z'));
        store.update(longer);
        model[0] = *store.find(model[0].id);
        const Note *third = store.find(model[2].id);
        QVERIFY(third);
        Note moved = *third;
        moved.title = QStringLiteral("moved");
        store.update(moved);
        model[2] = *store.find(model[2].id);
        QVERIFY(prefs.prefs().flush());
        for (const Note &n : model) {
            const Note *found = store.find(n.id);
            QVERIFY2(found, qPrintable(n.id));
            QCOMPARE(*found, n);
        }
        QCOMPARE(prefs.prefs().data(QString::fromLatin1(kNotes)), encodeNotes(model));
    }

    // save() writes the document at once, with a note whose bytes are still being made on a worker.
    void aSaveWaitsForTheNotesBeingEncoded() {
        TempPrefs prefs;
        NoteStore store;
        Note large = stampedNote(QStringLiteral("L"));
        large.body = QString(400 * 1024, QChar(u'l')); // encoded on a worker
        store.add(large);
        store.save();
        const auto stored = decodeNotes(prefs.prefs().data(QString::fromLatin1(kNotes)));
        QVERIFY(stored);
        QCOMPARE(stored->size(), size_t(1));
        QCOMPARE(stored->front(), large);
    }

    // A large text is held once, decoded, and only while it is the note in use: not beside its bytes,
    // not once another note is used, and its saved bytes not once the disk holds them.
    void aLargeTextIsHeldOnlyWhileInUse() {
        TempPrefs prefs;
        TestClock clock(QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC));
        Note large = stampedNote(QStringLiteral("L"));
        large.body = QString(400 * 1024, QChar(u'l'));
        large.bodyRTF = QByteArray(100 * 1024, 'r');
        Note table = tableNote(QStringLiteral("T"), 2, {{QStringLiteral("a"), QStringLiteral("b")}});
        prefs.prefs().setData(QString::fromLatin1(kNotes),
                              encodeNotes({stampedNote(QStringLiteral("S")), large, table}));
        QVERIFY(prefs.prefs().flush());
        prefs.reopen();
        NoteStore::resetForTests();
        NoteStore &store = NoteStore::shared();
        QCoreApplication::processEvents(); // the load's clean-up runs

        QCOMPARE(*store.find(QStringLiteral("L")), large);
        QCOMPARE(store.heldBytes(), qsizetype(0));
        // A table keeps its bytes while decoded: a change copies its unchanged rows from them.
        QVERIFY(store.find(QStringLiteral("T")));
        QVERIFY(store.heldBytes() > 0);
        QVERIFY(store.find(QStringLiteral("S")));
        QCoreApplication::processEvents();
        QCOMPARE(store.decodedCount(), 2); // the small note and the table; the large text goes
        QCOMPARE(*store.find(QStringLiteral("L")), large); // decoded again when asked for

        // Saved, its new bytes are kept till the disk holds them, then let go of, though it is shown.
        Note edited = large;
        edited.body += QStringLiteral(" and more");
        store.update(edited);
        QVERIFY(store.settle(10000));
        QVERIFY(store.heldBytes() >= edited.body.size());
        QVERIFY(prefs.prefs().flush());
        QTRY_VERIFY(store.heldBytes() < 1024);
        QCOMPARE(store.find(QStringLiteral("L"))->body, edited.body);
        NoteStore::resetForTests();
        prefs.reopen();
        NoteStore reloaded;
        QCOMPARE(reloaded.find(QStringLiteral("L"))->body, edited.body);
    }

    // A table's version follows its cells, as a text note's follows its text: a page that measured its
    // rows tells by it whether they changed. A new title keeps it; a cell changed, a row added or moved
    // gives another.
    void aTablesVersionFollowsItsCells() {
        TempPrefs prefs;
        NoteStore::resetForTests();
        NoteStore &store = NoteStore::shared();
        const QString id = QStringLiteral("T");
        store.replaceAll({tableNote(id, 2, {{QStringLiteral("a"), QStringLiteral("b")}, {QStringLiteral("c")}})});
        quint64 v = store.textVersion(id);
        QVERIFY(v != 0);

        Note n = *store.find(id);
        n.title = QStringLiteral("New title");
        store.update(n);
        QCOMPARE(store.textVersion(id), v);
        store.update(*store.find(id)); // the same rows again
        QCOMPARE(store.textVersion(id), v);

        n = *store.find(id);
        n.rows[1].cells[0] = QStringLiteral("changed");
        store.update(n);
        QVERIFY(store.textVersion(id) != v);
        v = store.textVersion(id);

        n = *store.find(id);
        std::swap(n.rows[0], n.rows[1]);
        store.update(n);
        QVERIFY(store.textVersion(id) != v);
        v = store.textVersion(id);

        n = *store.find(id);
        n.rows.push_back(NoteRow(QStringList{QStringLiteral("new")}));
        store.update(n);
        QVERIFY(store.textVersion(id) != v);
    }

    // A page that holds a large text in a document of its own has the store let go of its decoded
    // copy; asked again, the store gives back the very note, and nothing stored changes. A change
    // lent while it is still being encoded is neither lost nor read from a half-made note.
    void aLentTextComesBackWhole() {
        TempPrefs prefs;
        Note large = stampedNote(QStringLiteral("L"));
        large.body = QString(300 * 1024, QChar(u'l'));
        large.bodyRTF = QByteArray(100 * 1024, 'r');
        Note small = stampedNote(QStringLiteral("S"));
        small.body = QStringLiteral("short");
        prefs.prefs().setData(QString::fromLatin1(kNotes), encodeNotes({small, large}));
        QVERIFY(prefs.prefs().flush());
        prefs.reopen();
        NoteStore::resetForTests();
        NoteStore &store = NoteStore::shared();
        const QString id = QStringLiteral("L");

        QVERIFY(store.find(id));
        const quint64 v = store.textVersion(id);
        QVERIFY(v != 0);
        QVERIFY(!store.lendText(id, v + 1));                  // a document made of another version
        QVERIFY(store.find(QStringLiteral("S")));
        QVERIFY(!store.lendText(QStringLiteral("S"), store.textVersion(QStringLiteral("S")))); // small
        QVERIFY(store.lendText(id, v));
        QVERIFY(store.textLent(id));
        const Note *fields = store.findFields(id);
        QVERIFY(fields && fields->body.isEmpty() && !fields->bodyRTF);
        QCOMPARE(fields->title, large.title);
        QCOMPARE(store.textVersion(id), v);

        QCOMPARE(*store.find(id), large); // decoded again, whole
        QVERIFY(!store.textLent(id));
        QCOMPARE(store.textVersion(id), v); // the same text
        Note retitled = *store.find(id);
        retitled.title = QStringLiteral("New title");
        store.update(retitled);
        QCOMPARE(store.textVersion(id), v); // only the title changed

        // Lent again while its change is being encoded.
        Note edited = *store.find(id);
        edited.body += QStringLiteral(" and more");
        store.update(edited);
        const quint64 w = store.textVersion(id);
        QVERIFY(w != v);
        QVERIFY(store.lendText(id, w));
        edited = Note(); // the store's encode holds the only copy now
        QCOMPARE(store.find(id)->body.size(), large.body.size() + 9);
        QVERIFY(store.lendText(id, w));
        store.save();
        QVERIFY(prefs.prefs().flush());
        const auto stored = decodeNotes(prefs.prefs().data(QString::fromLatin1(kNotes)));
        QVERIFY(stored && stored->size() == 2);
        QCOMPARE(stored->at(1).body, large.body + QStringLiteral(" and more"));
        QCOMPARE(stored->at(1).bodyRTF, large.bodyRTF);
        QCOMPARE(stored->at(1).title, QStringLiteral("New title"));

        // A page that no longer holds it has it decoded on a worker.
        QVERIFY(store.textLent(id));
        bool done = false;
        QVERIFY(store.decodeInBackground(id, &store, [&] { done = true; }));
        QTRY_VERIFY(done);
        QCOMPARE(store.find(id)->body, large.body + QStringLiteral(" and more"));
        NoteStore::resetForTests();
    }

    void anUnreadableDocumentIsKeptAsideBeforeAnySave() {
        TempPrefs prefs;
        const QByteArray bad = '[' + noteJson("link=DROP") + ']';
        prefs.prefs().setData(QString::fromLatin1(kNotes), bad);
        NoteStore store;
        QVERIFY(store.notes().empty());
        QVERIFY(store.loadReport().existed);
        QVERIFY(!store.loadReport().decoded);
        QVERIFY(!store.loadReport().keptAsideKey.isEmpty());
        store.add(stampedNote(QStringLiteral("new")));
        QCOMPARE(prefs.prefs().data(store.loadReport().keptAsideKey), bad);
    }

    void importReplacesEverythingAfterConfirmation() {
        TempPrefs prefs;
        TestDialogs dialogs;
        QTemporaryDir dir;
        NoteStore store;
        store.add(stampedNote(QStringLiteral("old")));
        Posts posts(Notify::notesChanged);
        // Twins in the file: later ones get fresh ids, so removing one cannot take the other along.
        const QString path =
            putFile(dir.filePath("n.json"), '[' + noteJson() + ',' + noteJson() + ',' + noteJson("id=\"B\"") + ']');

        dialogs.openPathAnswers = {path};
        dialogs.alertAnswers = {1}; // Cancel
        QVERIFY(!runNotesImport(store));
        QCOMPARE(store.notes().at(0).id, QStringLiteral("old"));
        QCOMPARE(dialogs.alertsShown.last(),
                 QStringLiteral(
                     "Replace all notes?|3 notes will be imported. All current notes will be replaced."));

        dialogs.openPathAnswers = {path};
        dialogs.alertAnswers = {0};
        QVERIFY(runNotesImport(store));
        QCOMPARE(posts.count, 1);
        QCOMPARE(store.notes().size(), size_t(3));
        QCOMPARE(store.notes().at(0).id, QStringLiteral("A"));
        QVERIFY(store.notes().at(1).id != QStringLiteral("A"));
        QCOMPARE(store.notes().at(2).id, QStringLiteral("B"));
        store.remove(QStringLiteral("A"));
        QCOMPARE(store.notes().size(), size_t(2));

        const QString empty = putFile(dir.filePath("e.json"), "[]");
        dialogs.openPathAnswers = {empty};
        dialogs.alertAnswers = {0};
        QVERIFY(runNotesImport(store));
        QVERIFY(store.notes().empty());
    }

    void unreadableOrInvalidImportsSayImportError_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("exists");
        QTest::newRow("missing file") << QByteArray() << false;
        QTest::newRow("object, not array") << noteJson() << true;
        QTest::newRow("garbage") << QByteArray("\x00\xff", 2) << true;
    }
    void unreadableOrInvalidImportsSayImportError() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, exists);
        TempPrefs prefs;
        TestDialogs dialogs;
        QTemporaryDir dir;
        NoteStore store;
        store.add(stampedNote(QStringLiteral("keep")));
        dialogs.openPathAnswers = {exists ? putFile(dir.filePath("x.json"), bytes) : dir.filePath("none.json")};
        QVERIFY(!runNotesImport(store));
        QCOMPARE(dialogs.alertsShown, QStringList{"Import error|Invalid Mivo Notes JSON."});
        QCOMPARE(store.notes().size(), size_t(1));
    }

    void oversizedImportFilesAreRefusedUnread() {
        QTemporaryDir dir;
        const QString path = putFile(dir.filePath("big.json"), "[" + QByteArray(100, ' ') + "]");
        QCOMPARE(NoteListImport::read(path, 50).error, NoteListImport::ReadError::tooLarge);
        QCOMPARE(NoteListImport::read(path, 500).error, NoteListImport::ReadError::none);
    }
};

QTEST_MAIN(TestNoteStore)
#include "tst_note_store.moc"