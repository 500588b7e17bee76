// Quitting has one deadline, shared by every wait in it: a wait that takes all it is given leaves the
// ones after it less, never more, and the changes another program's lock keeps out are still kept
// beside the database before it passes.
#include "app/AppDelegate.h"
#include "app/DataNoticeAlert.h"
#include "common/Fakes.h"
#include "common/HeldPool.h"
#include "common/TestEnv.h"
#include "notes/NoteDocument.h"
#include "notes/NoteStore.h"
#include "platform/DataNotices.h"
#include "platform/Prefs.h"
#include "platform/UnsavedAtQuit.h"
#include <QTemporaryDir>
#include <QTextDocument>
#include <QtTest>
#include <sqlite3.h>

class TstQuitDeadline : public QObject {
    Q_OBJECT
public:
    static void initMain() { useOffscreenWhenHeadless(); }

private slots:
    void aWaitThatTakesItsWholeShareLeavesTheRestTheirs() {
        TempPrefs t;
        TestDialogs dialogs;
        AppDelegate app;
        QVERIFY(app.launch());
        NoteStore &notes = NoteStore::shared();
        QVERIFY(notes.notes().empty()); // loaded
        sqlite3 *other = nullptr;
        sqlite3_open(QFile::encodeName(t.path()).constData(), &other);
        QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        const QString key = QStringLiteral("changedJustBeforeQuitting");
        t.prefs().setInt(key, 42);
        {
            HeldPool pool; // the bytes of the large note below are never made
            Note big(NoteType::text, QStringLiteral("📝"), QStringLiteral("Big"));
            big.body = QString(8 << 20, u'b');
            notes.add(big);
            SteppedTime time;
            const qint64 start = time.nowMs();
            // What the end of the event loop sends, as the quit item's exit() does.
            QVERIFY(QMetaObject::invokeMethod(qApp, "aboutToQuit", Qt::DirectConnection));
            const qint64 spent = time.nowMs() - start;
            QVERIFY2(spent >= 2000, qPrintable(QString::number(spent))); // the notes' wait took its share
            QVERIFY2(spent <= 4500, qPrintable(QString::number(spent)));
        }
        QVERIFY(t.prefs().isClosed());
        QCOMPARE(t.prefs().keptUnsavedIn(), UnsavedAtQuit::pathFor(t.path()));
        const auto kept = UnsavedAtQuit::read(t.prefs().keptUnsavedIn());
        QVERIFY(kept);
        QVERIFY(std::any_of(kept->edits.begin(), kept->edits.end(), [&](const UnsavedAtQuit::Edit &e) {
            return e.key == key && e.value && *e.value == PrefsValue(qint64(42));
        }));
        QCOMPARE(app.exitCode(), 0);
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);
    }

    // The final commit is the last thing the quit waits for: moving the -wal file into the main file
    // after it would run past the deadline for a large value, and it is not needed to keep it (the
    // next open reads the -wal file). So with no time left it is not done, and the value is there.
    void nothingIsMovedIntoTheMainFileAfterTheDeadline() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("mivo.sqlite3"));
        {
            Prefs p(path);
            p.setData(QStringLiteral("doc"), QByteArray(256 * 1024, 'a'));
            QVERIFY(p.flush());
            p.setString(QStringLiteral("last"), QStringLiteral("written at quit"));
            SteppedTime time;
            const Deadline quit(100);
            time.advance(200);
            QVERIFY(p.close(quit));
        }
        QVERIFY(QFile::exists(path + QStringLiteral("-wal")));
        Prefs again(path);
        QCOMPARE(again.string(QStringLiteral("last")).value_or(QString()), QStringLiteral("written at quit"));
        QCOMPARE(again.data(QStringLiteral("doc")).size(), 256 * 1024);
    }

    // Saves the quit cannot wait for (their workers are held): a long note's text still being read
    // from its document, another one's bytes still being made. Neither edit can reach the database,
    // and the next start names each note and when it was saved, in the user's words.
    void aSaveTheQuitCannotWaitForIsNamedAtTheNextStart() {
        TempPrefs t;
        TestDialogs dialogs;
        DataNotices::get().take();
        const QString kept = DataNotices::keptPath(t.path());
        {
            AppDelegate app;
            QVERIFY(app.launch());
            NoteStore &notes = NoteStore::shared();
            QVERIFY(notes.notes().empty()); // loaded
            Note big(NoteType::text, QStringLiteral("📝"), QStringLiteral("Travel plans"));
            big.body = QString(4 << 20, u'b');
            notes.add(big);
            notes.save(); // on disk before the edit
            QObject page;
            HeldPool pool;
            big.body[0] = u'B';
            notes.update(big);
            Note fields(NoteType::text, QStringLiteral("📝"), QStringLiteral("Diary"));
            auto *doc = new QTextDocument;
            doc->setPlainText(QStringLiteral("dear diary"));
            NoteDocument::readKeeping(doc, fields, &page,
                                      [](NoteDocument::Saved &, QTextDocument *d) { delete d; });
            SteppedTime time;
            QVERIFY(QMetaObject::invokeMethod(qApp, "aboutToQuit", Qt::DirectConnection));
            QCOMPARE(app.exitCode(), 0);
        }
        // What the last run kept is all the next start has.
        DataNotices::get().take();
        DataNotices::get().restoreKept(kept);
        const std::vector<DataNotice> told = DataNotices::get().take();
        QStringList named;
        for (const DataNotice &n : told) {
            if (n.kind != DataNotice::Kind::editLostAtQuit) continue;
            named << n.what;
            QCOMPARE(n.key, QStringLiteral("savedNotes"));
            QVERIFY(n.at.isValid());
        }
        named.sort();
        QCOMPARE(named, QStringList({QStringLiteral("Diary"), QStringLiteral("Travel plans")}));
        const Dialogs::Alert a = unreadableDataAlert(told);
        QCOMPARE(a.title, QStringLiteral("Your last changes could not be saved"));
        QVERIFY2(a.text.contains(QStringLiteral("Notes, “Diary”")) &&
                     a.text.contains(QStringLiteral("“Travel plans”")),
                 qPrintable(a.text));
        QVERIFY2(!a.text.contains(t.path()), qPrintable(a.text));
        QCoreApplication::processEvents(); // the held read comes back to no one
        Background::pool().waitForDone();
    }
};

QTEST_MAIN(TstQuitDeadline)
#include "tst_quit_deadline.moc"
