// Another program (python's sqlite3, a sync tool) writes a store's document while Mivo runs, in each
// form that trips a splice: longer (other spacing and one record more), the same size (a record moved
// to the front), shorter (a one-record list), and the same records with other spacing; at once, or
// while it holds the write lock with Mivo's changes waiting. Whatever it wrote and what the user
// changed both survive, one as the stored value and one kept aside once, the stored value always
// decodes, the user is told which data, and every later change reaches the disk.
#include "common/Fakes.h"
#include "common/StoredNotes.h"
#include "common/TestEnv.h"
#include "notes/Note.h"
#include "notes/NoteStore.h"
#include "platform/DataNotices.h"
#include "platform/DocumentCopy.h"
#include "platform/Keys.h"
#include "platform/PrefsGate.h"
#include "platform/UnsavedAtQuit.h"
#include "pomodoro/Task.h"
#include "pomodoro/TaskStore.h"
#include <QtTest>
#include <atomic>
#include <functional>
#include <memory>
#include <set>
#include <sqlite3.h>

namespace {
enum class Form { longer, sameSize, shorter, respaced };

// Elements of an array document as encode() writes them, joined with the other program's spacing.
template <class T>
QByteArray respaced(const std::vector<T> &records, QByteArray (*encode)(const std::vector<T> &)) {
    QByteArray out("[\n  ");
    for (size_t i = 0; i < records.size(); ++i) {
        if (i) out += " ,\n  ";
        const QByteArray one = encode({records[i]});
        out += one.mid(1, one.size() - 2);
    }
    return out + "\n]\n";
}

// What the other program stores in place of the document that holds `now`.
template <class T>
QByteArray otherDocument(Form form, std::vector<T> now, const T &added,
                         QByteArray (*encode)(const std::vector<T> &)) {
    switch (form) {
    case Form::longer:
        now.push_back(added);
        return respaced(now, encode);
    case Form::sameSize:
        std::rotate(now.begin(), now.end() - 1, now.end());
        return encode(now);
    case Form::shorter:
        return encode({added});
    case Form::respaced:
        return respaced(now, encode);
    }
    return {};
}

// The other program's connection: its own transactions, and its write lock while it holds one.
class OtherProgram {
public:
    explicit OtherProgram(const QString &path) {
        sqlite3_open(qPrintable(path), &db_);
        sqlite3_busy_timeout(db_, 10000);
    }
    ~OtherProgram() { sqlite3_close(db_); }
    bool exec(const char *sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }
    // asText: as Python's sqlite3 stores a str.
    bool write(const char *key, const QByteArray &bytes, bool asText = false) {
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(db_, "UPDATE prefs SET value = ?1 WHERE key = ?2", -1, &st, nullptr);
        if (asText)
            sqlite3_bind_text(st, 1, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
        else
            sqlite3_bind_blob(st, 1, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, key, -1, SQLITE_STATIC);
        const bool ok = sqlite3_step(st) == SQLITE_DONE && sqlite3_changes(db_) == 1;
        sqlite3_finalize(st);
        return ok;
    }
    // Every row of the table as another program reads it: key -> value bytes.
    std::map<QString, QByteArray> rows() {
        std::map<QString, QByteArray> out;
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(db_, "SELECT key, CAST(value AS BLOB) FROM prefs", -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW)
            out[QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)))] =
                QByteArray(static_cast<const char *>(sqlite3_column_blob(st, 1)), sqlite3_column_bytes(st, 1));
        sqlite3_finalize(st);
        return out;
    }

private:
    sqlite3 *db_ = nullptr;
};

// The copies kept aside of key.
std::map<QString, QByteArray> copiesOf(OtherProgram &other, const char *key) {
    std::map<QString, QByteArray> out;
    const QString prefix = QString::fromLatin1(key) + QStringLiteral(".unreadable-");
    for (const auto &[k, v] : other.rows())
        if (k.startsWith(prefix)) out[k] = v;
    return out;
}

// The other program writes `theirs` while Mivo makes the change `mine`: at once, or while it holds the
// write lock and Mivo's change waits for it. Mivo then saves everything it has.
void otherProgramWritesWhile(TempPrefs &prefs, OtherProgram &other, bool underLock, const char *key,
                             const QByteArray &theirs, const std::function<void()> &mine) {
    if (underLock) {
        QVERIFY(other.exec("BEGIN IMMEDIATE"));
        mine();
        QVERIFY(!prefs.prefs().flush()); // waits for the lock
        QVERIFY(other.write(key, theirs));
        QVERIFY(other.exec("COMMIT"));
    } else {
        QVERIFY(other.write(key, theirs));
        mine();
    }
    QTRY_VERIFY(prefs.prefs().flush());
}

DataNotice takeOneNotice() {
    const std::vector<DataNotice> notices = DataNotices::get().take();
    return notices.size() == 1 ? notices.front() : DataNotice{};
}

void forms() {
    QTest::addColumn<Form>("form");
    QTest::addColumn<bool>("underLock");
    for (bool lock : {false, true}) {
        const char *how = lock ? " under the lock" : "";
        QTest::addRow("longer%s", how) << Form::longer << lock;
        QTest::addRow("same size%s", how) << Form::sameSize << lock;
        QTest::addRow("shorter%s", how) << Form::shorter << lock;
        QTest::addRow("respaced%s", how) << Form::respaced << lock;
    }
}

// forms(), with the copy of the notes Mivo handed over held in memory, or (a document over the bound)
// in a file.
void notesForms() {
    QTest::addColumn<Form>("form");
    QTest::addColumn<bool>("underLock");
    QTest::addColumn<bool>("inFile");
    for (bool file : {false, true})
        for (bool lock : {false, true}) {
            const char *how = lock ? " under the lock" : "";
            const char *where = file ? ", over the bound" : "";
            QTest::addRow("longer%s%s", how, where) << Form::longer << lock << file;
            QTest::addRow("same size%s%s", how, where) << Form::sameSize << lock << file;
            QTest::addRow("shorter%s%s", how, where) << Form::shorter << lock << file;
            QTest::addRow("respaced%s%s", how, where) << Form::respaced << lock << file;
        }
}

Note textNote(int serial, int bodyLength) {
    Note n(NoteType::text, QStringLiteral("📝"), QStringLiteral("note %1").arg(serial));
    n.body = QString(bodyLength, QChar(u'a' + serial % 26));
    n.id = QStringLiteral("N%1").arg(serial);
    n.createdInterval = 788918400 + serial;
    n.modifiedInterval = n.createdInterval;
    return n;
}

// Ten notes loaded as a launch loads them, a change to the second one saved, and the third as the
// page holds it: the other program writes next.
struct SavedOnce {
    std::vector<Note> model;
    NoteStore *store = nullptr;
    Note first, mine;
};
void saveOnce(TempPrefs &prefs, SavedOnce &s) {
    for (int i = 0; i < 10; ++i) s.model.push_back(textNote(i, 8000));
    s.store = relaunchWithNotes(prefs, encodeNotes(s.model));
    QVERIFY(s.store);
    QCOMPARE(s.store->notes().size(), s.model.size());
    s.first = *s.store->find(s.model[1].id);
    s.first.title = QStringLiteral("saved");
    s.store->update(s.first);
    QVERIFY(prefs.prefs().flush());
    s.mine = *s.store->find(s.model[2].id);
}

Task task(int serial) {
    Task t;
    t.id = QStringLiteral("T%1").arg(serial);
    t.title = QStringLiteral("task \"%1\" ✓").arg(serial);
    t.category = QStringLiteral("work");
    t.day = 1 + serial % 28;
    t.month = 3;
    t.year = 2026;
    return t;
}
} // namespace

class TestOtherProgram : public QObject {
    Q_OBJECT
private slots:
    void init() { DataNotices::get().take(); }
    void cleanup() { DocumentCopy::setMemoryBoundForTests(0); }

    // Notes lie in the stored document, not in memory: the other program's document is the only
    // whole one left, so it stays and the store reads it again; every note Mivo held, with the one
    // changed meanwhile, is kept aside as a notes list of its own, a document too large to be copied
    // in memory (the bound lowered here) as well.
    void notesOfBothSurvive_data() { notesForms(); }
    void notesOfBothSurvive() {
        QFETCH(Form, form);
        QFETCH(bool, underLock);
        QFETCH(bool, inFile);
        if (inFile) DocumentCopy::setMemoryBoundForTests(16 * 1024); // the document is ~90 KB
        TempPrefs prefs;
        TestClock clock(QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC));
        std::vector<Note> model;
        for (int i = 0; i < 30; ++i) model.push_back(textNote(i, 3000)); // kept on disk, not in memory
        NoteStore *loaded = relaunchWithNotes(prefs, encodeNotes(model));
        QVERIFY(loaded);
        NoteStore &store = *loaded;
        QCOMPARE(store.notes().size(), model.size());
        QCoreApplication::processEvents();

        // A change the disk takes, made for the document as loaded.
        Note first = *store.find(model[4].id);
        first.title = QStringLiteral("mine, saved");
        store.update(first);
        QVERIFY(prefs.prefs().flush());
        OtherProgram other(prefs.path());
        const auto now = decodeNotes(other.rows()[QString::fromLatin1(kNotes)]);
        QVERIFY(now && now->at(4).title == first.title);

        const QByteArray theirs = otherDocument(form, *now, textNote(99, 533 - 150), encodeNotes);
        QVERIFY(decodeNotes(theirs));
        Note mine = *store.find(model[20].id);
        mine.title = QStringLiteral("mine, made while the other program wrote");
        mine.body = QStringLiteral("typed \"here\" \u2028 🙂");
        otherProgramWritesWhile(prefs, other, underLock, kNotes, theirs, [&] { store.update(mine); });

        // The other program's document is stored exactly as it wrote it, and shown.
        QCOMPARE(other.rows()[QString::fromLatin1(kNotes)], theirs);
        const auto shown = decodeNotes(theirs);
        QTRY_COMPARE(store.notes().size(), shown->size());
        for (size_t i = 0; i < shown->size(); ++i) QCOMPARE(*store.find(shown->at(i).id), shown->at(i));
        // Every note held, with the change made meanwhile, is kept aside, once, as notes that decode;
        // and told.
        const auto copies = copiesOf(other, kNotes);
        QCOMPARE(copies.size(), size_t(1));
        const auto kept = decodeNotes(copies.begin()->second);
        QVERIFY(kept);
        std::vector<Note> held = *now;
        held[20].title = mine.title;
        held[20].body = mine.body;
        QCOMPARE(kept->size(), held.size());
        for (size_t i = 0; i < held.size(); ++i) {
            if (i == 20) held[i].modifiedInterval = kept->at(i).modifiedInterval; // stamped by the store
            QCOMPARE(kept->at(i), held[i]);
        }
        const DataNotice told = takeOneNotice();
        QCOMPARE(told.key, QString::fromLatin1(kNotes));
        QCOMPARE(told.keptAs, copies.begin()->first);
        QCOMPARE(told.kind, DataNotice::Kind::ownChangesKept);

        // Every later change reaches the disk, into the other program's document.
        Note later = shown->back();
        later.title = QStringLiteral("later");
        store.update(later);
        store.add(textNote(77, 10));
        QVERIFY(prefs.prefs().flush());
        prefs.reopen();
        NoteStore::resetForTests();
        const auto after = decodeNotes(prefs.prefs().data(QString::fromLatin1(kNotes)));
        QVERIFY(after);
        QCOMPARE(after->size(), shown->size() + 1);
        QCOMPARE(after->at(after->size() - 2).title, QStringLiteral("later"));
        QCOMPARE(after->back().id, QStringLiteral("N77"));
        QCOMPARE(NoteStore::shared().notes().size(), after->size());
        QCOMPARE(copiesOf(other, kNotes).size(), size_t(1));
        QVERIFY(DataNotices::get().take().empty());
        NoteStore::resetForTests();
    }

    // Another program stores something that is no notes list in place of the notes (a number, NULL,
    // another store's list) or deletes them, then the user edits a note: every note Mivo held, with
    // the edit, is kept aside as a notes list, and that is what the user is told of.
    void everyNoteHeldIsKeptWhateverTheOtherProgramWrote_data() {
        QTest::addColumn<QString>("sql");
        QTest::newRow("integer") << "UPDATE prefs SET value = 42 WHERE key = 'savedNotes'";
        QTest::newRow("real") << "UPDATE prefs SET value = 4.5 WHERE key = 'savedNotes'";
        QTest::newRow("null") << "UPDATE prefs SET value = NULL WHERE key = 'savedNotes'";
        QTest::newRow("tasks")
            << "UPDATE prefs SET value = (SELECT value FROM prefs WHERE key = 'savedTasks') "
               "WHERE key = 'savedNotes'";
        QTest::newRow("deleted") << "DELETE FROM prefs WHERE key = 'savedNotes'";
    }
    void everyNoteHeldIsKeptWhateverTheOtherProgramWrote() {
        QFETCH(QString, sql);
        TempPrefs prefs;
        TestClock clock(QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC));
        prefs.prefs().setData(QString::fromLatin1(kTasks), encodeTasks({task(1), task(2)}));
        std::vector<Note> model;
        for (int i = 0; i < 50; ++i)
            model.push_back(textNote(i, 400));
        NoteStore *loaded = relaunchWithNotes(prefs, encodeNotes(model));
        QVERIFY(loaded);
        NoteStore &store = *loaded;
        QCOMPARE(store.notes().size(), model.size());
        QCoreApplication::processEvents();
        Note saved = *store.find(model[3].id);
        saved.title = QStringLiteral("saved before");
        store.update(saved);
        QVERIFY(prefs.prefs().flush());
        model[3] = *store.find(model[3].id);

        Note mine = *store.find(model[30].id); // open on the page
        OtherProgram other(prefs.path());
        QVERIFY(other.exec(sql.toUtf8().constData()));
        mine.body = QStringLiteral("the one edit");
        store.update(mine);
        model[30] = *store.find(model[30].id);
        QTRY_VERIFY(prefs.prefs().flush());
        QTRY_VERIFY(store.notes().size() != model.size());

        const std::vector<DataNotice> told = DataNotices::get().take();
        const auto mineTold = std::find_if(told.begin(), told.end(), [](const DataNotice &n) {
            return n.kind == DataNotice::Kind::ownChangesKept;
        });
        QVERIFY(mineTold != told.end());
        QCOMPARE(mineTold->key, QString::fromLatin1(kNotes));
        const auto kept = decodeNotes(other.rows()[mineTold->keptAs]);
        QVERIFY(kept);
        QCOMPARE(*kept, model);
        NoteStore::resetForTests();
    }

    // Tasks are all held in memory: the user's list, which the window shows and later changes build
    // on, stays whole as the stored value; the other program's document is kept aside.
    void tasksOfBothSurvive_data() { forms(); }
    void tasksOfBothSurvive() {
        QFETCH(Form, form);
        QFETCH(bool, underLock);
        TempPrefs prefs;
        std::vector<Task> model;
        for (int i = 0; i < 300; ++i) model.push_back(task(i));
        prefs.prefs().setData(QString::fromLatin1(kTasks), encodeTasks(model));
        QVERIFY(prefs.prefs().flush());
        prefs.reopen();
        TaskStore::resetForTests();
        TaskStore &store = TaskStore::shared();
        QCOMPARE(store.tasks().size(), model.size());
        QCoreApplication::processEvents();

        store.toggle(model[3].id);
        model[3].completed = true;
        QVERIFY(prefs.prefs().flush());
        OtherProgram other(prefs.path());
        QCOMPARE(other.rows()[QString::fromLatin1(kTasks)], encodeTasks(model));

        const QByteArray theirs = otherDocument(form, model, task(999), encodeTasks);
        QVERIFY(decodeTasks(theirs));
        otherProgramWritesWhile(prefs, other, underLock, kTasks, theirs, [&] {
            store.toggle(model[7].id);
            store.toggle(model[8].id);
        });
        model[7].completed = model[8].completed = true;

        // The user's tasks are stored whole, exactly as encoding them gives; the other program's
        // document is kept aside, once, byte for byte; and told.
        QTRY_COMPARE(other.rows()[QString::fromLatin1(kTasks)], encodeTasks(model));
        QCOMPARE(store.tasks(), model);
        const auto copies = copiesOf(other, kTasks);
        QCOMPARE(copies.size(), size_t(1));
        QCOMPARE(copies.begin()->second, theirs);
        QTRY_VERIFY(DataNotices::get().hasPending());
        const DataNotice told = takeOneNotice();
        QCOMPARE(told.key, QString::fromLatin1(kTasks));
        QCOMPARE(told.keptAs, copies.begin()->first);
        QCOMPARE(told.kind, DataNotice::Kind::otherProgramsValueKept);

        // Every later change reaches the disk, and nothing more is kept aside.
        store.toggle(model[9].id);
        model[9].completed = true;
        QVERIFY(prefs.prefs().flush());
        prefs.reopen();
        TaskStore::resetForTests();
        QCOMPARE(prefs.prefs().data(QString::fromLatin1(kTasks)), encodeTasks(model));
        QCOMPARE(TaskStore::shared().tasks(), model);
        QCOMPARE(copiesOf(other, kTasks).size(), size_t(1));
        TaskStore::resetForTests();
    }

    // A save too large to wait as splices takes the stored document back to write it whole. When that
    // read-back does not give the document last saved (here another program removed it), nothing of
    // it is used: the tasks are encoded anew.
    void aWholeSaveUsesNoReadBackButItsOwn() {
        TempPrefs prefs;
        std::vector<Task> model;
        for (int i = 0; i < 50; ++i) model.push_back(task(i));
        prefs.prefs().setData(QString::fromLatin1(kTasks), encodeTasks(model));
        QVERIFY(prefs.prefs().flush());
        prefs.reopen();
        TaskStore::resetForTests();
        TaskStore &store = TaskStore::shared();
        QCOMPARE(store.tasks(), model);
        QVERIFY(prefs.prefs().flush());
        OtherProgram other(prefs.path());
        QVERIFY(other.exec("DELETE FROM prefs WHERE key = 'savedTasks'"));
        model[2].title = QString(9 << 20, QChar(u'é')); // 18 MB of splices: past the bound
        store.update(model[2]);
        QVERIFY(prefs.prefs().flush());
        QCOMPARE(other.rows()[QString::fromLatin1(kTasks)], encodeTasks(model));
        TaskStore::resetForTests();
    }

    // The change that finds the other program's document is the last one before quitting: it is
    // settled within the final commit, and nothing is lost.
    void aChangeSettledAtQuitIsNotLost() {
        TempPrefs prefs;
        SavedOnce saved;
        saveOnce(prefs, saved);
        if (QTest::currentTestFailed()) return;
        auto &[model, loaded, first, mine] = saved;
        NoteStore &store = *loaded;
        OtherProgram other(prefs.path());
        const QByteArray theirs = encodeNotes({textNote(50, 10)});
        QVERIFY(other.write(kNotes, theirs));
        mine.title = QStringLiteral("the last change");
        store.update(mine);
        QVERIFY(prefs.prefs().close());
        QCOMPARE(other.rows()[QString::fromLatin1(kNotes)], theirs);
        const auto copies = copiesOf(other, kNotes);
        QCOMPARE(copies.size(), size_t(1));
        const auto kept = decodeNotes(copies.begin()->second);
        QCOMPARE(kept->size(), model.size());
        QCOMPARE(kept->at(1).title, first.title);
        QCOMPARE(kept->at(2).title, mine.title);
        NoteStore::resetForTests();
    }

    // Notes another program stored as TEXT (Python's sqlite3 stores a str so) are shown as a launch
    // shows them, never as no notes at all; the change made meanwhile is kept aside, and later
    // changes land on the other program's notes.
    void notesStoredAsTextAreShownAsALaunchShowsThem() {
        TempPrefs prefs;
        SavedOnce saved;
        saveOnce(prefs, saved);
        if (QTest::currentTestFailed()) return;
        auto &[model, loaded, first, mine] = saved;
        NoteStore &store = *loaded;
        OtherProgram other(prefs.path());
        const std::vector<Note> theirs{textNote(50, 10), textNote(51, 20)};
        QVERIFY(other.write(kNotes, encodeNotes(theirs), true));
        mine.title = QStringLiteral("made meanwhile");
        store.update(mine);
        QVERIFY(prefs.prefs().flush());
        QTRY_COMPARE(store.notes().size(), theirs.size());
        for (const Note &n : theirs)
            QCOMPARE(*store.find(n.id), n);
        const auto copies = copiesOf(other, kNotes);
        QCOMPARE(copies.size(), size_t(1));
        const auto kept = decodeNotes(copies.begin()->second);
        QCOMPARE(kept->size(), model.size());
        QCOMPARE(kept->at(2).title, mine.title);
        store.add(textNote(77, 10));
        QVERIFY(prefs.prefs().flush());
        prefs.reopen();
        NoteStore::resetForTests();
        QCOMPARE(NoteStore::shared().notes().size(), theirs.size() + 1);
        NoteStore::resetForTests();
    }

    // Right after the store has read again what another program wrote, before the writer has taken
    // note of what it read, the document is there to be had, as it is stored.
    void theDocumentReadAgainIsThereAtOnce() {
        TempPrefs prefs;
        SavedOnce saved;
        saveOnce(prefs, saved);
        if (QTest::currentTestFailed()) return;
        auto &[model, loaded, first, mine] = saved;
        NoteStore &store = *loaded;
        OtherProgram other(prefs.path());
        const QByteArray theirs = encodeNotes({textNote(50, 10), textNote(51, 9000)});
        QVERIFY(other.write(kNotes, theirs));
        mine.title = QStringLiteral("made meanwhile");
        store.update(mine);
        QVERIFY(prefs.prefs().flush()); // finds the other program's document: the store reads it again
        QCOMPARE(store.document(), theirs);
        QVERIFY(prefs.prefs().flush());
        QCOMPARE(store.document(), theirs);
        DataNotices::get().take();
        NoteStore::resetForTests();
    }

    // A note read back from the stored document after another program wrote it (the same size, a
    // note moved) is never another note's bytes: it is not found for a moment, and then the store
    // shows what the other program wrote.
    void aNoteReadBackIsNeverAnotherNote() {
        TempPrefs prefs;
        std::vector<Note> model;
        for (int i = 0; i < 12; ++i) model.push_back(textNote(i, 5000));
        NoteStore *loaded = relaunchWithNotes(prefs, encodeNotes(model));
        QVERIFY(loaded);
        NoteStore &store = *loaded;
        QCOMPARE(store.notes().size(), model.size());
        // A change on disk before the other program writes is not one to keep aside later.
        model[3].title = QStringLiteral("saved before");
        store.update(model[3]);
        model[3] = *store.find(model[3].id);
        QVERIFY(prefs.prefs().flush());
        std::vector<Note> theirs = model;
        std::rotate(theirs.begin(), theirs.begin() + 1, theirs.end());
        theirs.back().body.replace(0, 1, QStringLiteral("z"));
        OtherProgram other(prefs.path());
        QVERIFY(other.write(kNotes, encodeNotes(theirs)));
        for (const Note &n : model)
            if (const Note *got = store.find(n.id)) QCOMPARE(*got, n);
        QTRY_COMPARE(store.notes().front().id, theirs.front().id);
        for (const Note &n : theirs) QCOMPARE(*store.find(n.id), n);
        QVERIFY(prefs.prefs().flush());
        QVERIFY(copiesOf(other, kNotes).empty());
        // Nothing of the user's waited, so nothing is kept aside; but the list they see is another
        // one now, and they are told so.
        const DataNotice told = takeOneNotice();
        QCOMPARE(told.key, QString::fromLatin1(kNotes));
        QCOMPARE(told.kind, DataNotice::Kind::otherProgramsValueInUse);
        NoteStore::resetForTests();
    }

    // The other program commits its tasks while Mivo's last change waits for its lock at quit: the
    // final commit keeps their tasks aside and the user is told, though no event loop runs any more
    // (the app keeps what is pending for the next start).
    void aConflictSettledAtQuitIsTold() {
        TempPrefs prefs;
        std::vector<Task> model;
        for (int i = 0; i < 40; ++i)
            model.push_back(task(i));
        prefs.prefs().setData(QString::fromLatin1(kTasks), encodeTasks(model));
        QVERIFY(prefs.prefs().flush());
        prefs.reopen();
        TaskStore::resetForTests();
        TaskStore &store = TaskStore::shared();
        QCOMPARE(store.tasks(), model);
        QVERIFY(prefs.prefs().flush());
        OtherProgram other(prefs.path());
        QVERIFY(other.exec("BEGIN IMMEDIATE"));
        store.toggle(model[5].id);
        model[5].completed = true;
        QVERIFY(!prefs.prefs().flush());
        const QByteArray theirs = encodeTasks({task(77)});
        QVERIFY(other.write(kTasks, theirs));
        QVERIFY(other.exec("COMMIT"));
        QVERIFY2(prefs.prefs().close(), qPrintable(prefs.prefs().lastError()));
        const DataNotice told = takeOneNotice(); // no event-loop turn since
        const auto copies = copiesOf(other, kTasks);
        QCOMPARE(copies.size(), size_t(1));
        QCOMPARE(copies.begin()->second, theirs);
        QCOMPARE(told.key, QString::fromLatin1(kTasks));
        QCOMPARE(told.keptAs, copies.begin()->first);
        QCOMPARE(told.kind, DataNotice::Kind::otherProgramsValueKept);
        QCOMPARE(other.rows()[QString::fromLatin1(kTasks)], encodeTasks(model));
        TaskStore::resetForTests();
    }

    // Another program holds the lock all through the quit: the last change to a note (a splice of
    // the document held on disk) is kept beside the database as the whole document, and written at
    // the next start; where the other program wrote the notes meanwhile, theirs are kept aside first.
    // The user is told once.
    void anEditKeptAtQuitIsWrittenAtTheNextStart_data() {
        QTest::addColumn<bool>("theyWrite");
        QTest::newRow("nobody wrote meanwhile") << false;
        QTest::newRow("the other program wrote the notes") << true;
    }
    void anEditKeptAtQuitIsWrittenAtTheNextStart() {
        QFETCH(bool, theyWrite);
        TempPrefs prefs;
        std::vector<Note> model;
        for (int i = 0; i < 30; ++i)
            model.push_back(textNote(i, 3000)); // kept on disk, not in memory
        NoteStore *loaded = relaunchWithNotes(prefs, encodeNotes(model));
        QVERIFY(loaded);
        QCOMPARE(loaded->notes().size(), model.size());
        QVERIFY(prefs.prefs().flush());
        const QString unsaved = UnsavedAtQuit::pathFor(prefs.path());
        OtherProgram other(prefs.path());
        QVERIFY(other.exec("BEGIN IMMEDIATE"));
        Note mine = *loaded->find(model[12].id);
        mine.title = QStringLiteral("typed just before quitting");
        loaded->update(mine);
        QVERIFY(!prefs.prefs().close());
        QCOMPARE(prefs.prefs().keptUnsavedIn(), unsaved);
        QVERIFY(QFile::exists(unsaved));
        NoteStore::resetForTests();
        const QByteArray theirs = encodeNotes({textNote(90, 10)});
        if (theyWrite) QVERIFY(other.write(kNotes, theirs));
        QVERIFY(other.exec(theyWrite ? "COMMIT" : "ROLLBACK"));

        prefs.reopen();
        const auto shown = NoteStore::shared().notes();
        QCOMPARE(shown.size(), model.size());
        QCOMPARE(NoteStore::shared().find(mine.id)->title, mine.title);
        QVERIFY(prefs.prefs().flush());
        const auto stored = decodeNotes(other.rows()[QString::fromLatin1(kNotes)]);
        QVERIFY(stored && stored->size() == model.size());
        QCOMPARE(stored->at(12).title, mine.title);
        QVERIFY(!QFile::exists(unsaved));
        const auto copies = copiesOf(other, kNotes);
        QCOMPARE(copies.size(), size_t(theyWrite ? 1 : 0));
        if (theyWrite) QCOMPARE(copies.begin()->second, theirs);
        std::vector<DataNotice> told = DataNotices::get().take();
        QCOMPARE(told.size(), size_t(theyWrite ? 2 : 1));
        QVERIFY(std::any_of(told.begin(), told.end(), [&](const DataNotice &n) {
            return n.kind == DataNotice::Kind::savedAtStart && n.keptAs == unsaved;
        }));
        if (theyWrite)
            QVERIFY(std::any_of(told.begin(), told.end(), [&](const DataNotice &n) {
                return n.kind == DataNotice::Kind::otherProgramsValueKept &&
                       n.keptAs == copies.begin()->first;
            }));

        // Written once: the next start finds nothing more to write or tell.
        NoteStore::resetForTests();
        prefs.reopen();
        QVERIFY(prefs.prefs().flush());
        QCOMPARE(copiesOf(other, kNotes).size(), size_t(theyWrite ? 1 : 0));
        QVERIFY(DataNotices::get().take().empty());
        NoteStore::resetForTests();
    }

    // The lock leaves the final commit no time, so the last edit is only kept beside the database;
    // another program wrote the notes before the quit (and holds the lock since). Their value is theirs
    // whatever the edit's splices say: it is never kept as the user's, cut where the splices of ours
    // go, and the user's notes (with the edit) are kept aside as the store keeps them. They wrote
    // before any commit of ours since the launch: what the notes were when loaded is known only to the
    // writes their lock holds back, and the quit still tells their value from ours by it.
    void aValueAnotherProgramWroteIsNotKeptAsOursUnderALock() {
        TempPrefs prefs;
        std::vector<Note> model;
        for (int i = 0; i < 30; ++i)
            model.push_back(textNote(i, 3000)); // kept on disk, not in memory
        NoteStore *loaded = relaunchWithNotes(prefs, encodeNotes(model));
        QVERIFY(loaded);
        QCOMPARE(loaded->notes().size(), model.size());
        auto commits = std::make_shared<std::atomic<int>>(0);
        setPrefsCommitHookForTests([commits](bool made) {
            if (made) ++*commits;
        });
        const auto unhook = qScopeGuard([] { setPrefsCommitHookForTests({}); });
        Note mine = *loaded->find(model[12].id); // read back before they write
        OtherProgram other(prefs.path());
        const QByteArray theirs = encodeNotes({textNote(90, 10)});
        QVERIFY(other.write(kNotes, theirs));
        QVERIFY(other.exec("BEGIN IMMEDIATE"));
        QCOMPARE(commits->load(), 0); // no event was handled since the launch: nothing of ours committed
        mine.title = QStringLiteral("typed just before quitting");
        loaded->update(mine);
        QVERIFY(loaded->settle(60000));
        QVERIFY(!prefs.prefs().flush()); // the lock is met, and no try is under way at the quit
        {
            SteppedTime time;
            prefs.prefs().close(Deadline(500)); // less than keeping takes: no try of the commit
        }
        NoteStore::resetForTests();
        QVERIFY(other.exec("ROLLBACK"));
        prefs.reopen();
        QVERIFY(prefs.prefs().flush());
        NoteStore::resetForTests();
        QCOMPARE(other.rows()[QString::fromLatin1(kNotes)], theirs);
        const auto copies = copiesOf(other, kNotes);
        QCOMPARE(copies.size(), size_t(1));
        const auto kept = decodeNotes(copies.begin()->second);
        QVERIFY(kept && kept->size() == model.size());
        QCOMPARE(kept->at(12).title, mine.title);
        DataNotices::get().take();
    }

    // Another program holds the lock when Mivo quits and writes the notes while the final commit waits
    // for it: the last edit of a 40 MB document goes nowhere near what they wrote, and is not dropped.
    // When they let go, it is committed whole with their notes kept aside; when they take the lock
    // again, it is kept whole beside the database and written at the next start, theirs kept aside
    // then.
    void anEditSurvivesAnotherProgramsCommitDuringTheQuit_data() {
        QTest::addColumn<bool>("theyHoldOn");
        QTest::newRow("they let go") << false;
        QTest::newRow("they take the lock again") << true;
    }
    void anEditSurvivesAnotherProgramsCommitDuringTheQuit() {
        QFETCH(bool, theyHoldOn);
        TempPrefs prefs;
        std::vector<Note> model;
        for (int i = 0; i < 40; ++i)
            model.push_back(textNote(i, 1 << 20));
        NoteStore *loaded = relaunchWithNotes(prefs, encodeNotes(model));
        QVERIFY(loaded);
        QCOMPARE(loaded->notes().size(), model.size());
        QVERIFY(prefs.prefs().flush());
        OtherProgram other(prefs.path());
        QVERIFY(other.exec("BEGIN IMMEDIATE"));
        Note mine = *loaded->find(model[12].id);
        mine.title = QStringLiteral("typed just before quitting");
        loaded->update(mine);
        QVERIFY(loaded->settle(60000));
        const QByteArray theirs = encodeNotes({textNote(90, 10)});
        bool wrote = false;
        bool closed = false;
        {
            SteppedTime time;
            time.onPause = [&] {
                if (!wrote)
                    wrote = other.write(kNotes, theirs) && other.exec("COMMIT") &&
                            (!theyHoldOn || other.exec("BEGIN IMMEDIATE"));
            };
            // Room for one try of the commit beside keeping the 40 MB value: a lock seen as the quit
            // begins sizes the keep first.
            closed = prefs.prefs().close(Deadline(6500));
        }
        QVERIFY(wrote);
        QCOMPARE(closed, !theyHoldOn);
        NoteStore::resetForTests();
        std::vector<DataNotice> told = DataNotices::get().take();
        if (theyHoldOn) {
            QCOMPARE(prefs.prefs().keptUnsavedIn(), UnsavedAtQuit::pathFor(prefs.path()));
            QVERIFY(other.exec("ROLLBACK"));
            QCOMPARE(other.rows()[QString::fromLatin1(kNotes)], theirs);
            prefs.reopen();
            QVERIFY(prefs.prefs().flush());
            told = DataNotices::get().take();
            QVERIFY(!QFile::exists(UnsavedAtQuit::pathFor(prefs.path())));
        }
        const auto stored = decodeNotes(other.rows()[QString::fromLatin1(kNotes)]);
        QVERIFY(stored && stored->size() == model.size());
        QCOMPARE(stored->at(12).title, mine.title);
        QCOMPARE(stored->at(13).body, model[13].body);
        const auto copies = copiesOf(other, kNotes);
        QCOMPARE(copies.size(), size_t(1));
        QCOMPARE(copies.begin()->second, theirs);
        QVERIFY(std::any_of(told.begin(), told.end(), [&](const DataNotice &n) {
            return n.kind == DataNotice::Kind::otherProgramsValueKept && n.keptAs == copies.begin()->first;
        }));
        NoteStore::resetForTests();
    }

    // The writer keeps another program's value aside just as a store keeps its own changes aside,
    // in the same second, in one round or in two: two copies, neither written over the other. A
    // row another program put under the very name chosen for a copy is kept too.
    void copiesKeptAsideAreNeverWrittenOver_data() {
        QTest::addColumn<int>("how");
        QTest::newRow("in two rounds") << 0;
        QTest::newRow("in one round") << 1;
        QTest::newRow("under a name another program took") << 2;
    }
    void copiesKeptAsideAreNeverWrittenOver() {
        QFETCH(int, how);
        TempPrefs prefs;
        Prefs &p = prefs.prefs();
        const QString key = QStringLiteral("doc");
        p.setData(key, "[\"X\"]");
        QVERIFY(p.flush());
        OtherProgram other(prefs.path());
        const QByteArray theirs = "[\"THEIRS\"]";
        QString mine;
        if (how == 2) {
            // The names a copy made now or a second from now would get.
            const QDateTime now = QDateTime::currentDateTime();
            for (int s : {0, 1}) {
                const QByteArray name =
                    "doc.unreadable-" + now.addSecs(s).toString(QStringLiteral("yyyyMMdd-HHmmss")).toUtf8();
                QVERIFY(other.exec(QByteArray("INSERT INTO prefs(key, type, value) VALUES('" + name +
                                              "', 'data', CAST('[\"THEIRS " + QByteArray::number(s) +
                                              "\"]' AS BLOB))")
                                       .constData()));
            }
            mine = p.keepAsideData(key, "[\"my changes\"]");
        } else if (how == 1) {
            QVERIFY(other.write("doc", theirs));
            mine = p.keepAsideData(key, "[\"my changes\"]");
            p.setData(key, "[\"Y\"]");
        } else {
            QVERIFY(other.write("doc", theirs));
            p.setData(key, "[\"Y\"]");
            QVERIFY(p.flush());
            mine = p.keepAsideData(key, "[\"my changes\"]");
        }
        QVERIFY(!mine.isEmpty());
        QVERIFY(p.flush());
        const auto copies = copiesOf(other, "doc");
        QCOMPARE(copies.size(), size_t(how == 2 ? 3 : 2));
        QCOMPARE(copies.at(mine), QByteArray("[\"my changes\"]"));
        QCOMPARE(p.data(mine), QByteArray("[\"my changes\"]"));
        std::set<QByteArray> kept;
        for (const auto &[k, v] : copies)
            if (k != mine) kept.insert(v);
        const std::set<QByteArray> others = how == 2
                                                ? std::set<QByteArray>{"[\"THEIRS 0\"]", "[\"THEIRS 1\"]"}
                                                : std::set<QByteArray>{theirs};
        QCOMPARE(kept, others);
        QCOMPARE(other.rows()["doc"], QByteArray(how == 2 ? "[\"X\"]" : "[\"Y\"]"));
        // The user is told where the other program's value is, and it is there.
        QTRY_VERIFY(DataNotices::get().hasPending());
        const DataNotice told = takeOneNotice();
        QCOMPARE(told.key, how == 2 ? mine : key);
        QVERIFY(copies.count(told.keptAs));
        QVERIFY(copies.at(told.keptAs) != "[\"my changes\"]");
    }
};

QTEST_GUILESS_MAIN(TestOtherProgram)
#include "tst_other_program.moc"
