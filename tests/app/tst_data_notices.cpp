#include "app/AppDelegate.h"
#include "app/DataNoticeAlert.h"
#include "app/MainTabVC.h"
#include "app/MainWindow.h"
#include "app/RenderWalk.h"
#include "common/Files.h"
#include "common/TestEnv.h"
#include "exercises/ExerciseHistory.h"
#include "exercises/ExerciseStore.h"
#include "finance/FinanceStore.h"
#include "health/CustomReminderStore.h"
#include "notes/NoteCodec.h"
#include "notes/NoteListImport.h"
#include "notes/NoteStore.h"
#include "platform/Document.h"
#include "platform/Keys.h"
#include "platform/SharedObjects.h"
#include "platform/StoreLoader.h"
#include "pomodoro/ProjectStore.h"
#include "pomodoro/TaskStore.h"
#include "ui/Lang.h"
#include "ui/Page.h"
#include <QDialog>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <sqlite3.h>

namespace {
// A document still decoding when the quit begins, freed with the stores at quit (the last load to go
// leaves the loader idle, which is when waiting notices are shown).
class StalledLoad : public QObject {
public:
    StalledLoad() {
        job_ = StoreLoader::get().start(
            QStringLiteral("stalled"),
            [gate = gate_] {
                std::unique_lock l(gate->m);
                gate->cv.wait(l, [&] { return gate->open; });
            },
            [] {});
    }
    ~StalledLoad() override {
        StoreLoader::get().abandon(job_);
        std::lock_guard l(gate_->m);
        gate_->open = true;
        gate_->cv.notify_all();
    }

private:
    struct Gate {
        std::mutex m;
        std::condition_variable cv;
        bool open = false;
    };
    std::shared_ptr<Gate> gate_ = std::make_shared<Gate>();
    StoreLoader::JobPtr job_;
};

// Notes which pages were painted once they had drawn their content.
class DrawnPages : public QObject {
public:
    DrawnPages() { qApp->installEventFilter(this); }
    QSet<const QObject *> painted;

protected:
    bool eventFilter(QObject *o, QEvent *e) override {
        if (auto *page = qobject_cast<Page *>(o); page && e->type() == QEvent::Paint && page->rebuildCount() > 0)
            painted.insert(page);
        return false;
    }
};

std::optional<QStringList> decodeList(const QByteArray &b) {
    if (!b.startsWith('[')) return std::nullopt;
    return QStringList{QString::fromUtf8(b)};
}

// Every store that keeps a document, each as a store loads it.
const char *const kStoreKeys[] = {kTasks,    kProjects,        kCustomReminders, kNotes,
                                  kFinances, kExerciseLibrary, kExerciseHistory, kPlaylistState};
} // namespace

class TstDataNotices : public QObject {
    Q_OBJECT
public:
    static void initMain() { useOffscreenWhenHeadless(); }
private slots:
    void init() { DataNotices::get().take(); }
    void cleanup() { L::setLang(AppLang::en); }
    void englishAlertNamesWhatWasKeptAndWhere();
    void changesByAnotherProgramSayWhichVersionIsKept();
    void aKeptCopyIsSavedAsAFileThePageImports();
    void everyStoreIsNamedInEveryLanguage_data();
    void everyStoreIsNamedInEveryLanguage();
    void unreadableDocumentsAreToldOnceFromTheEventLoop();
    void unreadableDatabaseIsTold();
    void everyDocumentIsCheckedAtStart();
    void aNoticeAtStartComesOverADrawnPage();
    void aPageOpenedWhileANoticeWaitsIsDrawn();
    void deeplyNestedDocumentsDoNotStopTheLaunch();
    void noticesPendingAtQuitAreToldAtTheNextStart();
    void filesKeptAsideSayWhatTheyHeldAndWhere();
    void aKeptFilesPathIsReadAsOneInEveryLook();
};

void TstDataNotices::englishAlertNamesWhatWasKeptAndWhere() {
    TempPrefs t;
    const Dialogs::Alert a =
        unreadableDataAlert({{QString(), "/d/mivo.sqlite3.unreadable-20260101-090000", "/d/mivo.sqlite3"},
                             {"savedTasks", "savedTasks.unreadable-20260101-090001", "/d/mivo.sqlite3"},
                             {"somethingNew", "somethingNew.unreadable-20260101-090002", "/d/mivo.sqlite3"}});
    QCOMPARE(a.title, QStringLiteral("Some of your data could not be read"));
    const QString when =
        QLocale("en_US").toString(QDateTime(QDate(2026, 1, 1), QTime(9, 0, 1)), QLocale::ShortFormat);
    QCOMPARE(a.text, QStringLiteral("Mivo kept an untouched copy and started without it:\n"
                                    "• All settings and data (the database): copy kept as "
                                    "/d/mivo.sqlite3.unreadable-20260101-090000\n"
                                    "• Tasks (%1): an untouched copy is kept with Mivo's data\n"
                                    "• “somethingNew” (%2): an untouched copy is kept with Mivo's data")
                         .arg(when, when)); // a minute's stamps, shown to the minute
    QVERIFY(a.warning);
    QVERIFY(a.buttons.isEmpty()); // nothing there that a page imports
}

// Data another program changed while Mivo ran: which version is in use and which is kept as a copy,
// when, in the user's words (never a key of the database or its path); each copy a page imports is
// offered as a file. In one alert with what could not be read.
void TstDataNotices::changesByAnotherProgramSayWhichVersionIsKept() {
    TempPrefs t;
    using K = DataNotice::Kind;
    const DataNotice theirs{"savedTasks", "savedTasks.unreadable-20261209-190452", "/d/m",
                            K::otherProgramsValueKept};
    const DataNotice mine{"savedNotes", "savedNotes.unreadable-20261209-190453", "/d/m", K::ownChangesKept};
    const QString at =
        QLocale("en_US").toString(QDateTime(QDate(2026, 12, 9), QTime(19, 4, 52)), QLocale::ShortFormat);
    const Dialogs::Alert a = unreadableDataAlert({theirs, mine});
    QCOMPARE(a.title, QStringLiteral("Some of your data was changed by another program"));
    QCOMPARE(a.text,
             QStringLiteral("Another program changed this data while Mivo was running. Nothing was lost: "
                            "both versions are kept.\n"
                            "• Tasks (%1): your version is in use; the other program's version is kept as "
                            "a copy with Mivo's data\n"
                            "• Notes (%1): the other program's version is in use; your version, with your "
                            "latest changes, is kept as a copy with Mivo's data\n\n"
                            "To take a copy back, save it as a file and open that file with Import on its "
                            "page.")
                 .arg(at));
    QCOMPARE(a.buttons, QStringList({"OK", "Save the Tasks copy…", "Save the Notes copy…"}));
    // Only the changed notes could be kept: nothing claims that nothing was lost.
    const DataNotice part{"savedNotes", "savedNotes.unreadable-20261209-190453", "/d/m",
                          K::ownChangedRecordsKept};
    const Dialogs::Alert partly = unreadableDataAlert({part});
    QVERIFY2(partly.text.startsWith("Another program changed this data while Mivo was running.\n• Notes ("),
             qPrintable(partly.text));
    QVERIFY(partly.text.contains("only what you changed since your last save is kept as a copy"));
    QVERIFY(!partly.text.contains("Nothing was lost"));
    // Its Import would replace everything on the page with those few notes: the user is warned first.
    const char *replacesAll = "replaces everything on its page when imported";
    QVERIFY2(partly.text.contains(replacesAll), qPrintable(partly.text));
    QVERIFY(!a.text.contains(replacesAll));
    // The file a copy is saved as is named by its page and when it was made, never by the stamp of
    // the key it is kept under.
    QCOMPARE(keptCopyFileName(mine), QStringLiteral("Notes copy 2026-12-09 19.04.53.json"));
    const DataNotice second{"savedNotes", "savedNotes.unreadable-20261209-190453-2", "/d/m",
                            K::ownChangesKept};
    QCOMPARE(keptCopyFileName(second), QStringLiteral("Notes copy 2026-12-09 19.04.53 (2).json"));
    const Dialogs::Alert both =
        unreadableDataAlert({{"savedFinances", "savedFinances.unreadable-x", "/d/m"}, mine});
    QCOMPARE(both.title, QStringLiteral("Some of your data could not be read"));
    QVERIFY(both.text.contains(QStringLiteral("• Finances: an untouched copy is kept with Mivo's data")));
    QCOMPARE(both.buttons, QStringList({"OK", "Save the Notes copy…"}));
    for (const Dialogs::Alert &any : {a, partly, both})
        QVERIFY2(!any.text.contains(".unreadable-") && !any.text.contains("/d/m"), qPrintable(any.text));
    // Another program's notes in use with nothing of the user's waiting: no second version to name.
    const DataNotice inUse{"savedNotes", QString(), "/d/m", K::otherProgramsValueInUse};
    const Dialogs::Alert replaced = unreadableDataAlert({inUse});
    QCOMPARE(replaced.title, a.title);
    QCOMPARE(replaced.text,
             QStringLiteral("• Notes: another program replaced this data while Mivo was running; its "
                            "version is in use (none of your changes were waiting to be saved)"));
    QVERIFY(replaced.buttons.isEmpty());
    // The changes the last quit kept beside the database, written at this start.
    const DataNotice saved{QString(), "/d/m.unsaved", "/d/m", K::savedAtStart};
    const Dialogs::Alert written = unreadableDataAlert({saved});
    QCOMPARE(written.title, QStringLiteral("Your last changes are saved"));
    QCOMPARE(written.text,
             QStringLiteral("The changes you made just before Mivo last quit could not be saved then, "
                            "because another program was using Mivo's data. They were kept in "
                            "/d/m.unsaved and are saved now."));
    QVERIFY(unreadableDataAlert({saved, theirs}).text.contains(written.text));
    // Changes the last quit could neither write nor keep: never told as saved.
    const DataNotice lost{QString(), QString(), "/d/m", K::lostAtQuit};
    const Dialogs::Alert gone = unreadableDataAlert({lost});
    QCOMPARE(gone.title, QStringLiteral("Your last changes could not be saved"));
    QVERIFY(
        gone.text.startsWith(QStringLiteral("The changes you made just before Mivo last quit could not be "
                                            "saved, nor kept for later")));
    QVERIFY(unreadableDataAlert({theirs, lost}).text.contains(gone.text));
    QVERIFY(unreadableDataAlert({{"savedFinances", "F", "/d/m"}, lost}).text.contains(gone.text));
    for (AppLang lang : {AppLang::es, AppLang::de, AppLang::fr, AppLang::uk, AppLang::pl}) {
        L::setLang(lang);
        const Dialogs::Alert other = unreadableDataAlert({theirs, mine});
        QVERIFY(other.title != a.title);
        QCOMPARE(other.text.split('\n').size(), 5);
        QVERIFY(other.text.contains(
            QLocale(AppLangs::regionLocaleId(lang))
                .toString(QDateTime(QDate(2026, 12, 9), QTime(19, 4, 52)), QLocale::ShortFormat)));
        QCOMPARE(other.buttons.size(), 3);
        for (const QString &b : other.buttons.mid(1))
            QVERIFY(!a.buttons.contains(b));
        QVERIFY(unreadableDataAlert({part}).text != partly.text);
        QVERIFY(unreadableDataAlert({part}).text.split('\n').size() == partly.text.split('\n').size());
        QVERIFY(unreadableDataAlert({part}).text.size() > unreadableDataAlert({mine}).text.size());
        QVERIFY2(keptCopyFileName(mine).endsWith(" 2026-12-09 19.04.53.json") &&
                     keptCopyFileName(mine) != QStringLiteral("Notes copy 2026-12-09 19.04.53.json"),
                 qPrintable(keptCopyFileName(mine)));
        const Dialogs::Alert w = unreadableDataAlert({saved});
        QVERIFY(w.title != written.title && w.text != written.text);
        QVERIFY(w.text.contains(QStringLiteral("/d/m.unsaved")));
        QVERIFY(unreadableDataAlert({inUse}).text != replaced.text);
        const Dialogs::Alert g = unreadableDataAlert({lost});
        QVERIFY(g.title != gone.title && g.title != w.title && g.text != gone.text);
    }
}

// The copy the alert offers is saved as a file the page's own Import reads, off the window's thread.
void TstDataNotices::aKeptCopyIsSavedAsAFileThePageImports() {
    TempPrefs t;
    TestDialogs dialogs;
    QTemporaryDir dir;
    std::vector<Note> notes;
    for (int i = 0; i < 3; ++i) {
        Note n(NoteType::text, QStringLiteral("📝"), QStringLiteral("kept %1").arg(i));
        n.id = QStringLiteral("K%1").arg(i);
        n.body = QStringLiteral("body %1").arg(i);
        notes.push_back(n);
    }
    const QString aside = t.prefs().keepAsideData(kNotes, encodeNotes(notes));
    QVERIFY(!aside.isEmpty());
    const QString file = dir.filePath("back.json");
    dialogs.alertAnswers = {1};
    dialogs.savePaths = {file};
    DataNoticePresenter presenter(nullptr);
    DataNotices::get().add({kNotes, aside, t.path(), DataNotice::Kind::ownChangesKept});
    QTRY_VERIFY(QFile::exists(file));
    QCOMPARE(dialogs.proposed.size(), 1);
    QVERIFY2(dialogs.proposed[0].startsWith("Notes copy ") && dialogs.proposed[0].endsWith(".json"),
             qPrintable(dialogs.proposed[0]));
    const NoteListImport::ReadResult back = NoteListImport::read(file);
    QCOMPARE(back.error, NoteListImport::ReadError::none);
    QCOMPARE(back.notes, notes);
    QCOMPARE(dialogs.alertsShown.size(), 1); // one copy: saved, nothing more to offer

    // Another program's notes, which the user's saved list replaced: the writer keeps them aside in
    // its own transaction, and that copy too is saved as a file Import reads.
    t.prefs().setData(kNotes, encodeNotes({notes[0]}));
    QVERIFY(t.prefs().flush());
    const QByteArray theirs = encodeNotes({notes[1], notes[2]});
    sqlite3 *other = nullptr;
    QCOMPARE(sqlite3_open(qPrintable(t.path()), &other), SQLITE_OK);
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(other, "UPDATE prefs SET value = ?1 WHERE key = ?2", -1, &st, nullptr);
    sqlite3_bind_blob(st, 1, theirs.constData(), int(theirs.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, kNotes, -1, SQLITE_STATIC);
    QCOMPARE(sqlite3_step(st), SQLITE_DONE);
    sqlite3_finalize(st);
    sqlite3_close(other);
    presenter.stop(); // this notice is taken here, not shown
    t.prefs().setData(kNotes, encodeNotes(notes));
    QVERIFY(t.prefs().flush());
    QTRY_VERIFY(DataNotices::get().hasPending());
    const std::vector<DataNotice> told = DataNotices::get().take();
    QCOMPARE(told.size(), size_t(1));
    QCOMPARE(told[0].kind, DataNotice::Kind::otherProgramsValueKept);
    const QString theirsFile = dir.filePath("theirs.json");
    dialogs.alertAnswers = {1};
    dialogs.savePaths = {theirsFile};
    DataNoticePresenter again(nullptr);
    DataNotices::get().add(told[0]);
    QTRY_COMPARE(dialogs.alertsShown.size(), 2);
    QTRY_VERIFY(QFile::exists(theirsFile));
    QCOMPARE(dialogs.alertsShown.size(), 2); // saved, not "Export error"
    const NoteListImport::ReadResult kept = NoteListImport::read(theirsFile);
    QCOMPARE(kept.error, NoteListImport::ReadError::none);
    QCOMPARE(kept.notes, std::vector<Note>({notes[1], notes[2]}));
}

void TstDataNotices::everyStoreIsNamedInEveryLanguage_data() {
    QTest::addColumn<AppLang>("lang");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("tasksLine");
    QTest::newRow("en") << AppLang::en << "Some of your data could not be read"
                        << "• Tasks: an untouched copy is kept with Mivo's data";
    QTest::newRow("es") << AppLang::es << "Algunos de tus datos no se pudieron leer"
                        << "• Tareas: se guardó una copia intacta con los datos de Mivo";
    QTest::newRow("de") << AppLang::de << "Einige deiner Daten konnten nicht gelesen werden"
                        << "• Aufgaben: eine unveränderte Kopie ist bei den Daten von Mivo aufbewahrt";
    QTest::newRow("fr") << AppLang::fr << "Certaines de tes données n'ont pas pu être lues"
                        << "• Tâches : une copie intacte est conservée avec les données de Mivo";
    QTest::newRow("uk") << AppLang::uk << "Деякі ваші дані не вдалося прочитати"
                        << "• Завдання: незмінну копію збережено разом із даними Mivo";
    QTest::newRow("pl") << AppLang::pl << "Nie udało się odczytać części danych"
                        << "• Zadania: nienaruszoną kopię zachowano razem z danymi Mivo";
}

void TstDataNotices::everyStoreIsNamedInEveryLanguage() {
    QFETCH(AppLang, lang);
    QFETCH(QString, title);
    QFETCH(QString, tasksLine);
    TempPrefs t;
    L::setLang(lang);
    const Dialogs::Alert a = unreadableDataAlert({{"savedTasks", "K", "P"}});
    QCOMPARE(a.title, title);
    QCOMPARE(a.text.split('\n').value(1), tasksLine);
    // Each store has a name of its own in this language, none falls back to its key.
    QSet<QString> names;
    for (const char *key : kStoreKeys) {
        const QString name = unreadableDataName(QString::fromLatin1(key));
        QVERIFY2(!name.contains(QLatin1String(key)) && !name.isEmpty(), key);
        names.insert(name);
    }
    names.insert(unreadableDataName(QString()));
    QCOMPARE(names.size(), int(std::size(kStoreKeys)) + 1);
}

// Stores load their documents when first used (at launch, or when a page first opens): the user is
// told once, after the store is built, in one alert for all that was found together.
void TstDataNotices::unreadableDocumentsAreToldOnceFromTheEventLoop() {
    TempPrefs t;
    TestDialogs dialogs;
    DataNoticePresenter presenter(nullptr);
    t.prefs().setData(kTasks, "{not a list");
    t.prefs().setString(kNotes, "[stored as text]");
    t.prefs().setData(kFinances, "[fine]");
    loadDocumentNow<QStringList>(kTasks, decodeList);
    loadDocumentNow<QStringList>(kNotes, decodeList);
    loadDocumentNow<QStringList>(kFinances, decodeList);
    QVERIFY(dialogs.alertsShown.isEmpty()); // never from inside the store that found it
    QTRY_COMPARE(dialogs.alertsShown.size(), 1);
    const QString shown = dialogs.alertsShown[0];
    QVERIFY2(shown.startsWith("Some of your data could not be read|"), qPrintable(shown));
    QVERIFY(shown.contains("• Tasks ("));
    QVERIFY(shown.contains("• Notes ("));
    QCOMPARE(shown.count("an untouched copy is kept with Mivo's data"), 2);
    QVERIFY(!shown.contains(t.path()));
    QVERIFY(!shown.contains("Finances"));

    // The next launch finds the same unreadable documents: they are already kept, and were told.
    t.reopen();
    loadDocumentNow<QStringList>(kTasks, decodeList);
    loadDocumentNow<QStringList>(kNotes, decodeList);
    QTest::qWait(50);
    QCOMPARE(dialogs.alertsShown.size(), 1);
}

void TstDataNotices::unreadableDatabaseIsTold() {
    QTemporaryDir dir;
    const QString path = dir.filePath("mivo.sqlite3");
    putFile(path, QByteArray(8192, 'x'));
    TestDialogs dialogs;
    Prefs broken(path); // found before anything shows alerts: told once the presenter exists
    Prefs::install(&broken);
    DataNoticePresenter presenter(nullptr);
    QTRY_COMPARE(dialogs.alertsShown.size(), 1);
    QVERIFY2(dialogs.alertsShown[0].contains("• All settings and data (the database): copy kept as " +
                                             broken.setAsidePath()),
             qPrintable(dialogs.alertsShown[0]));
    Prefs::install(nullptr);
}

// A launch loads every store's document, also those of pages not opened yet (finances) and those no
// page shows as such (the exercise history, the playlist), and names every unreadable one in one
// alert, once the large ones have decoded off the window's thread.
void TstDataNotices::everyDocumentIsCheckedAtStart() {
    TempPrefs t;
    TestDialogs dialogs;
    t.prefs().setData(kFinances, QByteArray(Prefs::kLargeBytes, ' ') + "[{\"id\":1}]");
    t.prefs().setData(kExerciseHistory, "[{\"id\":\"x\"}]");
    t.prefs().setData(kPlaylistState, "[]");
    {
        AppDelegate app;
        QVERIFY(app.launch());
        QTRY_COMPARE(dialogs.alertsShown.size(), 1);
        const QString shown = dialogs.alertsShown[0];
        for (const char *line : {"• Finances (", "• Exercise history (", "• Playlist ("})
            QVERIFY2(shown.contains(QString::fromUtf8(line)), qPrintable(shown));
        QTest::qWait(50);
        QCOMPARE(dialogs.alertsShown.size(), 1);
    }
    QVERIFY(FinanceStore::shared().entries().empty());
}

// A modal alert holds the redraws of the page behind it until it is answered: the notice of a
// document found unreadable at start waits for the window to draw its page, or the page stays blank
// until OK.
void TstDataNotices::aNoticeAtStartComesOverADrawnPage() {
    TempPrefs t;
    TestDialogs dialogs;
    FinanceStore::resetForTests(); // loads its document again at the launch
    t.prefs().setData(kFinances, QByteArray(Prefs::kLargeBytes, ' ') + "[{\"id\":1}]"); // decoded on a worker
    DrawnPages drawn;
    AppDelegate app;
    QString behind = QStringLiteral("no alert");
    dialogs.fills << [&](const Dialogs::Alert &) {
        auto *page = qobject_cast<Page *>(app.mainWin()->tabs()->current());
        behind = !page                                               ? QStringLiteral("no page")
                 : page->rebuildCount() == 0 || page->rebuildPending() ? QStringLiteral("the page not drawn yet")
                 : !drawn.painted.contains(page)                       ? QStringLiteral("the page not painted yet")
                                                                       : QStringLiteral("the page drawn");
    };
    QVERIFY(app.launch());
    QVERIFY(app.mainWin()->isVisible()); // no tray here: the window is the way in
    QTRY_COMPARE(dialogs.alertsShown.size(), 1);
    QVERIFY2(dialogs.alertsShown[0].contains("• Finances ("), qPrintable(dialogs.alertsShown[0]));
    QCOMPARE(behind, QStringLiteral("the page drawn"));
}

// The window may be opened (from the tray) while the notice's modal alert waits for its answer: the
// page it opens is drawn behind the alert, not left blank until OK. The alert is opened from the event
// loop, never from a page's click handler, so no page widget a redraw could delete is on the stack.
void TstDataNotices::aPageOpenedWhileANoticeWaitsIsDrawn() {
    TempPrefs t;
    TestDialogs dialogs;
    FinanceStore::resetForTests(); // loads its document again at the launch
    t.prefs().setData(kFinances, QByteArray("[{\"id\":1}]"));
    AppDelegate app;
    int drawnBehind = -1;
    dialogs.fills << [&](const Dialogs::Alert &) {
        QDialog alert(app.mainWin()); // modal as the real alert is while it waits
        alert.setWindowModality(Qt::ApplicationModal);
        alert.show();
        QVERIFY(QApplication::activeModalWidget() == &alert);
        app.mainWin()->tabs()->showPage(QStringLiteral("statistics"));
        Page *page = app.mainWin()->tabs()->page(QStringLiteral("statistics"));
        QVERIFY(page && page->isVisible());
        const bool drawn = QTest::qWaitFor([&] { return page->rebuildCount() > 0; }, 5000);
        drawnBehind = drawn ? page->rebuildCount() : 0;
    };
    QVERIFY(app.launch());
    QTRY_COMPARE(dialogs.alertsShown.size(), 1);
    QVERIFY2(drawnBehind > 0, "the page opened behind the alert was not drawn before it was answered");
}

// A document nested 100 000 deep, in every store (small ones decode at once, large ones on a worker):
// Mivo starts, keeps each aside and names each once. A reader that recursed over it would end the
// program, which fails the test.
void TstDataNotices::deeplyNestedDocumentsDoNotStopTheLaunch() {
    TempPrefs t;
    TestDialogs dialogs;
    TaskStore::resetForTests();
    ProjectStore::resetForTests();
    CustomReminderStore::resetShared();
    NoteStore::resetForTests();
    FinanceStore::resetForTests();
    ExerciseStore::resetForTests();
    ExerciseHistory::resetForTests();
    const QByteArray deep = QByteArray(100000, '[') + QByteArray(100000, ']');
    bool large = false;
    for (const char *key : kStoreKeys) {
        t.prefs().setData(key, large ? QByteArray(Prefs::kLargeBytes, ' ') + deep : deep);
        large = !large;
    }
    AppDelegate app;
    QVERIFY(app.launch());
    QTRY_COMPARE(dialogs.alertsShown.size(), 1);
    const QString shown = dialogs.alertsShown[0];
    for (const char *key : kStoreKeys)
        QVERIFY2(shown.contains(QStringLiteral("• %1 (").arg(unreadableDataName(QLatin1String(key)))),
                 qPrintable(shown));
    QCOMPARE(shown.count(QStringLiteral("an untouched copy is kept")), int(std::size(kStoreKeys)));
}

// SIGTERM while a notice waits for the stores to load: no alert opens during the quit (nobody may be
// there to answer it, and the process would wait for ever); the notice is told at the next start,
// and only at that one.
void TstDataNotices::noticesPendingAtQuitAreToldAtTheNextStart() {
    TempPrefs t;
    TestDialogs dialogs;
    const DataNotice theirs{kTasks, "savedTasks.unreadable-20260101-090000", t.path(),
                            DataNotice::Kind::otherProgramsValueKept};
    {
        AppDelegate app;
        QVERIFY(app.launch());
        SharedObjects::get().of<StalledLoad>();
        DataNotices::get().add(theirs);
        QCoreApplication::processEvents(); // the alert waits for the load
        QTimer::singleShot(0, [] { ::raise(SIGTERM); });
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(t.prefs().isClosed()); // the quit ran
    }
    QVERIFY2(dialogs.alertsShown.isEmpty(), qPrintable(dialogs.alertsShown.join('\n')));
    QVERIFY(QFile::exists(DataNotices::keptPath(t.path())));
    DataNotices::get().take(); // what a new process would not hold
    for (int start = 0; start < 2; ++start) {
        t.reopen();
        AppDelegate app;
        QVERIFY(app.launch());
        if (start == 0) {
            QTRY_COMPARE(dialogs.alertsShown.size(), 1);
            QVERIFY2(
                dialogs.alertsShown[0].contains("• Tasks (") &&
                    dialogs.alertsShown[0].contains("your version is in use; the other program's version is "
                                                    "kept as a copy"),
                qPrintable(dialogs.alertsShown[0]));
        } else {
            QTest::qWait(50);
            QCOMPARE(dialogs.alertsShown.size(), 1);
        }
    }
}

// The changes a quit kept, or the notices, in a file that could not be read back whole: what it held,
// from when, and where it is now, in the user's language; with the rest of what could not be read.
void TstDataNotices::filesKeptAsideSayWhatTheyHeldAndWhere() {
    TempPrefs t;
    QTemporaryDir dir;
    const QString kept = putFile(dir.filePath("m.unsaved.unreadable-1"), "x");
    QFile file(kept);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(
        file.setFileTime(QDateTime(QDate(2026, 12, 9), QTime(20, 45)), QFileDevice::FileModificationTime));
    file.close();
    using K = DataNotice::Kind;
    const DataNotice changes{QString(), kept, "/d/m", K::unsavedUnreadable};
    const Dialogs::Alert a = unreadableDataAlert({changes});
    QCOMPARE(a.title, QStringLiteral("Some of your data could not be read"));
    QVERIFY2(
        a.text.startsWith("The changes you made before Mivo quit on Wednesday, December 9, 8:45") &&
            a.text.endsWith("could not be saved then. The file that kept them could not be read back safely, "
                            "so none of them were applied; it is kept as " +
                            kept + "."),
        qPrintable(a.text));
    const DataNotice notices{QString(), "/d/m.notices.unreadable-2", "/d/m", K::noticesUnreadable};
    const DataNotice database{QString(), "/d/m.unreadable-3", "/d/m"};
    const Dialogs::Alert all = unreadableDataAlert({database, changes, notices});
    QCOMPARE(all.title, a.title);
    const QStringList paragraphs = all.text.split("\n\n");
    QCOMPARE(paragraphs.size(), 3);
    QVERIFY(paragraphs[0].endsWith("copy kept as /d/m.unreadable-3"));
    QCOMPARE(paragraphs[1], a.text);
    QCOMPARE(paragraphs[2],
             QStringLiteral("Mivo had messages for you from its last run (about copies of your "
                            "data it kept), but the file that held them could not be read back "
                            "safely. It is kept as /d/m.notices.unreadable-2."));
    QVERIFY(QFile::remove(kept)); // gone since: said without a time
    const QString untimed = unreadableDataAlert({changes}).text;
    QVERIFY2(untimed.startsWith("The changes you made before Mivo last quit") && untimed.endsWith(kept + "."),
             qPrintable(untimed));
    // The pages the changes were to, in the user's words: a key of no store is a setting.
    DataNotice toPages = changes;
    toPages.held = QStringList({"savedNotes", "language", "savedFinances", "n"});
    QVERIFY2(unreadableDataAlert({toPages}).text.startsWith(
                 "The changes you made (Notes, Settings, Finances) before "
                 "Mivo last quit"),
             qPrintable(unreadableDataAlert({toPages}).text));
    for (AppLang lang : {AppLang::es, AppLang::de, AppLang::fr, AppLang::uk, AppLang::pl}) {
        L::setLang(lang);
        const QString text = unreadableDataAlert({changes, notices}).text;
        QVERIFY(!text.contains("Mivo quit") && text.contains(kept) &&
                text.contains("/d/m.notices.unreadable-2"));
        DataNotice edit{"savedNotes", QString(), "/d/m", K::editLostAtQuit};
        edit.what = "Diary";
        edit.at = QDateTime(QDate(2026, 12, 9), QTime(20, 45));
        const QString lost = unreadableDataAlert({edit}).text;
        QVERIFY2(lost.startsWith(QStringLiteral("• %1, ").arg(unreadableDataName("savedNotes"))) &&
                     lost.contains("Diary") && lost.contains("20:45") && !lost.contains("in time"),
                 qPrintable(lost));
        const QString named = unreadableDataAlert({toPages}).text;
        QVERIFY2(named.contains(QStringLiteral(" (%1, ").arg(unreadableDataName("savedNotes"))) &&
                     named.contains(unreadableDataName("savedFinances") + ")") && named.contains(kept),
                 qPrintable(named));
    }
}

// A kept file's path in the alert is read as one, not broken after a "/" with the sentence around
// it: on a line of its own, whole where it fits, else cut in the middle with "…", both ends kept;
// and no text of the alert is cut, in any look.
void TstDataNotices::aKeptFilesPathIsReadAsOneInEveryLook() {
    TempPrefs t;
    using K = DataNotice::Kind;
    const QString near = QStringLiteral("/home/anna/.local/share/mivo/mivo.sqlite3.unsaved.unreadable-1");
    const QString far = QStringLiteral("/home/anna/") + QStringLiteral("a-folder-with-a-long-name/").repeated(12) +
                        QStringLiteral("mivo.sqlite3.notices.unreadable-20261210-134500");
    const std::vector<DataNotice> notices{{QString(), near, "/d/m", K::unsavedUnreadable},
                                          {QString(), far, "/d/m", K::noticesUnreadable}};
    RenderWalk walk;
    for (const Look &look : allLooks()) {
        walk.look = look;
        applyLook(look);
        const Dialogs::Alert a = unreadableDataAlert(notices);
        AlertDialog d(a, nullptr);
        d.show();
        settle();
        walk.check(&d, QStringLiteral("damaged files' alert"));
        const QList<QLabel *> paths = d.findChildren<QLabel *>(QStringLiteral("alertPath"));
        QCOMPARE(paths.size(), 2);
        for (int i = 0; i < 2; ++i) {
            // The full stop after a path goes with it; a word after it (as some languages put it) does not.
            QString whole = i == 0 ? near : far;
            if (a.text.contains(whole + QLatin1Char('.'))) whole += QLatin1Char('.');
            const QString shown = paths[i]->text();
            QVERIFY(!paths[i]->wordWrap());
            if (paths[i]->fontMetrics().horizontalAdvance(whole) <= paths[i]->contentsRect().width()) {
                QCOMPARE(shown, whole);
            } else {
                const qsizetype cut = shown.indexOf(QChar(0x2026));
                QVERIFY2(cut > 8 && whole.startsWith(shown.left(cut)) && whole.endsWith(shown.mid(cut + 1)) &&
                             shown.size() > cut + 8,
                         qPrintable(look.name() + QStringLiteral(": ") + shown));
                QCOMPARE(paths[i]->toolTip(), whole);
            }
        }
        QVERIFY(paths[1]->text().contains(QChar(0x2026))); // wider than any alert
        for (QLabel *l : d.findChildren<QLabel *>(QStringLiteral("alertText")))
            QVERIFY2(!l->text().contains(QStringLiteral("/home/")), qPrintable(l->text()));
    }
    walk.verify();
}

QTEST_MAIN(TstDataNotices)
#include "tst_data_notices.moc"
