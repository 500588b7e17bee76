// Quitting has one deadline, shared by every wait in it: a wait that takes all it is given leaves the
// ones after it less, never more, and the changes another program's lock keeps out are still kept
// beside the database before it passes.
#include "app/AppDelegate.h"
#include "common/Fakes.h"
#include "common/HeldPool.h"
#include "common/TestEnv.h"
#include "notes/NoteStore.h"
#include "platform/Prefs.h"
#include "platform/UnsavedAtQuit.h"
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
};

QTEST_MAIN(TstQuitDeadline)
#include "tst_quit_deadline.moc"
