// What the user is told when a save cannot be written: another program's lock is a notice that does
// not block the window and goes once everything is saved; a real failure (the database refuses the
// write) is still the alert that asks the user to act.
#include "app/AppDelegate.h"
#include "app/DataNoticeAlert.h"
#include "common/PrefsRaw.h"
#include "common/TestEnv.h"
#include "platform/Prefs.h"
#include "ui/Lang.h"
#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>
#include <sqlite3.h>

namespace {
QWidget *visibleNotice() {
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("saveWaitNotice") && w->isVisible()) return w;
    return nullptr;
}

// Another program's connection, holding the write lock until it goes.
struct OtherProgram {
    sqlite3 *db = nullptr;
    explicit OtherProgram(const QString &path, const char *sql = "BEGIN IMMEDIATE") {
        sqlite3_open(path.toUtf8().constData(), &db);
        sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    }
    void letGo() {
        if (db) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        db = nullptr;
    }
    ~OtherProgram() { letGo(); }
};

qint64 storedInt(const QString &path, const char *key) {
    sqlite3 *db = nullptr;
    qint64 v = -1;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db, "SELECT value FROM prefs WHERE key = ?1", -1, &st, nullptr);
    sqlite3_bind_text(st, 1, key, -1, SQLITE_STATIC);
    if (sqlite3_step(st) == SQLITE_ROW) v = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return v;
}

bool anyAlertStartsWith(const QStringList &shown, const char *title) {
    return std::any_of(shown.begin(), shown.end(), [&](const QString &s) { return s.startsWith(title); });
}
} // namespace

class TstSaveNotice : public QObject {
    Q_OBJECT
public:
    static void initMain() { useOffscreenWhenHeadless(); }
private slots:
    void cleanup() { L::setLang(AppLang::en); }
    void aLockIsANoticeThatGoesOnceEverythingIsSaved();
    void aDatabaseLockedAtStartShowsTheSameNotice();
    void aRefusedWriteIsStillAnAlert();
    void noticeSaysItInEveryLanguage_data();
    void noticeSaysItInEveryLanguage();
};

void TstSaveNotice::aLockIsANoticeThatGoesOnceEverythingIsSaved() {
    TempPrefs t;
    TestDialogs dialogs;
    Prefs &p = t.prefs();
    AppDelegate app;
    QVERIFY(app.launch());
    QTRY_VERIFY(!p.hasPending()); // the launch's own writes are on disk
    OtherProgram other(t.path());
    QSignalSpy failed(&p, &Prefs::writeFailed);
    p.setInt("n", 1);
    QTRY_VERIFY_WITH_TIMEOUT(visibleNotice() != nullptr, 10000);
    QWidget *notice = visibleNotice();
    QVERIFY(!notice->isModal());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QVERIFY(p.isSaveWaiting());
    p.setInt("n", 2); // the user goes on working
    QCoreApplication::processEvents();
    other.letGo();
    QTRY_VERIFY_WITH_TIMEOUT(visibleNotice() == nullptr, 10000);
    QVERIFY(!p.isSaveWaiting());
    QCOMPARE(storedInt(t.path(), "n"), 2);
    QCOMPARE(failed.count(), 0);
    QVERIFY2(!anyAlertStartsWith(dialogs.alertsShown, "Mivo could not save your data"),
             qPrintable(dialogs.alertsShown.join('\n')));
}

// A database another program holds (a rollback journal, as other tools leave it) when Mivo starts:
// the same notice, no alert, and it goes once the changes are saved.
void TstSaveNotice::aDatabaseLockedAtStartShowsTheSameNotice() {
    QTemporaryDir dir;
    const QString path = dir.filePath("mivo.sqlite3");
    {
        Prefs first(path);
        first.setInt("n", 1);
        QVERIFY(first.close());
    }
    QVERIFY(rawExec(path, "PRAGMA journal_mode=DELETE"));
    OtherProgram other(path, "BEGIN IMMEDIATE; UPDATE prefs SET value = 5 WHERE key = 'n';");
    TestDialogs dialogs;
    Prefs p(path);
    QCOMPARE(p.access(), Prefs::Access::Locked);
    Prefs::install(&p);
    {
        AppDelegate app;
        QVERIFY(app.launch());
        QTRY_VERIFY(visibleNotice() != nullptr);
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        p.setInt("n", 3);
        other.letGo();
        QTRY_VERIFY_WITH_TIMEOUT(visibleNotice() == nullptr, 10000);
        QCOMPARE(storedInt(path, "n"), 3);
        QVERIFY2(dialogs.alertsShown.isEmpty(), qPrintable(dialogs.alertsShown.join('\n')));
    }
    Prefs::install(nullptr);
}

void TstSaveNotice::aRefusedWriteIsStillAnAlert() {
    TempPrefs t;
    TestDialogs dialogs;
    Prefs &p = t.prefs();
    AppDelegate app;
    QVERIFY(app.launch());
    QTRY_VERIFY(!p.hasPending());
    sqlite3 *db = nullptr;
    sqlite3_open(t.path().toUtf8().constData(), &db);
    QCOMPARE(sqlite3_exec(db,
                          "CREATE TRIGGER refuse BEFORE INSERT ON prefs BEGIN SELECT RAISE(ABORT, 'disk I/O "
                          "error'); END",
                          nullptr, nullptr, nullptr),
             SQLITE_OK);
    sqlite3_close(db);
    p.setInt("n", 1);
    QTRY_VERIFY_WITH_TIMEOUT(anyAlertStartsWith(dialogs.alertsShown, "Mivo could not save your data|"),
                             10000);
    QVERIFY(dialogs.alertsShown.last().contains("Check the free space and the permissions"));
    QVERIFY(visibleNotice() == nullptr);
    QVERIFY(!p.isSaveWaiting());
}

void TstSaveNotice::noticeSaysItInEveryLanguage_data() {
    QTest::addColumn<AppLang>("lang");
    QTest::addColumn<QString>("start");
    QTest::newRow("en") << AppLang::en << "Another program is using Mivo's data; your changes are kept";
    QTest::newRow("es") << AppLang::es << "Otro programa está usando los datos de Mivo";
    QTest::newRow("de") << AppLang::de << "Ein anderes Programm verwendet gerade die Daten von Mivo";
    QTest::newRow("fr") << AppLang::fr << "Un autre programme utilise les données de Mivo";
    QTest::newRow("uk") << AppLang::uk << "Інша програма зараз використовує дані Mivo";
    QTest::newRow("pl") << AppLang::pl << "Inny program używa danych Mivo";
}

void TstSaveNotice::noticeSaysItInEveryLanguage() {
    QFETCH(AppLang, lang);
    QFETCH(QString, start);
    L::setLang(lang);
    const Dialogs::Alert a = SaveWaitNotice::alert("/d/mivo.sqlite3");
    QVERIFY2(a.text.startsWith(start), qPrintable(a.text));
    QVERIFY(a.text.endsWith("\n\n/d/mivo.sqlite3"));
    QVERIFY(!a.title.isEmpty());
}

QTEST_MAIN(TstSaveNotice)
#include "tst_save_notice.moc"
