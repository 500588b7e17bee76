#include "common/Files.h"
#include "common/PageTest.h"
#include "common/TestEnv.h"
#include "health/HealthManager.h"
#include "platform/Keys.h"
#include "platform/LongText.h"
#include "platform/Notifier.h"
#include "pomodoro/PomodoroTimer.h"
#include "settings/Autostart.h"
#include "settings/Backup.h"
#include "settings/SettingsView.h"
#include "settings/SupportView.h"
#include "ui/EmojiPrep.h"
#include "ui/Lang.h"
#include "ui/Theme.h"
#include "ui/WebLinks.h"
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QApplication>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>
#include <QTemporaryDir>
#include <QTimer>
#include "platform/ImportFile.h"
#include <QtTest>
#include <sys/stat.h>
#include <sqlite3.h>

// The settings page as a user drives it, with the dialogs scripted and time faked.
class TstSettingsPage : public QObject {
    Q_OBJECT
    std::unique_ptr<PageEnv<>> env;
    std::unique_ptr<QTemporaryDir> config;
    ShownPage<SettingsView> page;

    template <class T> T *find(const QString &name) { return page->content()->findChild<T *>(name); }

private slots:
    static void initMain() { useOffscreenWhenHeadless(); }
    void init() {
        env = std::make_unique<PageEnv<>>(QDateTime(QDate(2026, 3, 5), QTime(10, 0)));
        config = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", config->path().toUtf8());
        PomodoroTimer::shared().reset();
        (void)HealthManager::shared();
    }
    void cleanup() {
        page.close();
        HealthManager::resetShared();
        env.reset();
    }

    // A language change rebuilds the page where the user was and the wheel still scrolls it (the
    // content stays where the scroll bar says); a theme change, which builds the page anew, too.
    void rebuildsKeepTheScrollPlace() {
        QVERIFY(page.open(900, 700));
        auto *scroll = page->findChild<QScrollArea *>();
        QScrollBar *bar = scroll->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        bar->setValue(bar->maximum());
        const int bottom = bar->value();
        find<QPushButton>("langButton_de")->click();
        settle();
        QCOMPARE(L::lang(), AppLang::de);
        QCOMPARE(bar->value(), bottom);
        QCOMPARE(page->content()->y(), -bottom);
        const QPointF at(400, 300);
        QWheelEvent up(at, scroll->viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                       Qt::NoScrollPhase, false);
        QApplication::sendEvent(scroll->viewport(), &up);
        QVERIFY(bar->value() < bottom);
        QCOMPARE(page->content()->y(), -bar->value());

        const int place = bar->value();
        page->clearContent();
        page->setup();
        settle();
        QCOMPARE(page->findChild<QScrollArea *>()->verticalScrollBar()->value(), place);
    }

    // The switch shows the entry; the once-only default belongs to the launch, not to the page's build,
    // and a switch turned off stays off at the next launch.
    void autostartSwitchShowsTheLaunchDefault() {
        QVERIFY(page.open(900, 700));
        QVERIFY(!find<QCheckBox>("autostartSwitch")->isChecked());
        QVERIFY(!QFile::exists(Autostart::filePath()));
        QVERIFY(!env->prefs.prefs().contains(kAutostartDefaultSet));
        SettingsView::prepareAtLaunch();
        QVERIFY(Autostart::isOn());
        page->refresh();
        settle();
        QVERIFY(find<QCheckBox>("autostartSwitch")->isChecked());
        find<QCheckBox>("autostartSwitch")->click();
        QVERIFY(!QFile::exists(Autostart::filePath()));
        SettingsView::prepareAtLaunch(); // the next launch
        page->refresh();
        settle();
        QVERIFY(!find<QCheckBox>("autostartSwitch")->isChecked());
        QVERIFY(!QFile::exists(Autostart::filePath())); // turned off stays off
    }

    void disableAllSwitchesTheTimerAndEveryReminder() {
        QVERIFY(page.open(900, 700));
        QVERIFY(!find<QCheckBox>("disableAllSwitch")->isChecked());
        find<QCheckBox>("disableAllSwitch")->click();
        QVERIFY(!PomodoroTimer::shared().notificationsEnabled());
        HealthManager &h = HealthManager::shared();
        for (const HReminder &r : h.list()) QVERIFY(!h.isOn(r));
        find<QCheckBox>("disableAllSwitch")->click();
        QVERIFY(PomodoroTimer::shared().notificationsEnabled());
        for (const HReminder &r : h.list()) QVERIFY(h.isOn(r));
        QVERIFY(!SettingsView::disableAllShownOn());
        // One reminder switched off elsewhere shows the switch on; a non-Boolean value does not count.
        env->prefs.prefs().setString(kEyesOn, QStringLiteral("no"));
        QVERIFY(!SettingsView::disableAllShownOn());
        env->prefs.prefs().setBool(kEyesOn, false);
        QVERIFY(SettingsView::disableAllShownOn());
    }

    void muteWritesAllFiveSoundKeys() {
        QVERIFY(page.open(900, 700));
        find<QCheckBox>("muteSwitch")->click();
        for (const char *k : {kSoundOn, kWaterSnd, kEyesSnd, kPostureSnd, kStretchSnd}) {
            QVERIFY(env->prefs.prefs().isBool(k));
            QVERIFY(!env->prefs.prefs().boolValue(k));
        }
    }

    // The first show builds the page once, from what setup() read just before; a later show reads
    // everything again, and shows what changed while the page was hidden.
    void aShowBuildsOnceAndALaterShowReadsAgain() {
        QVERIFY(page.open(900, 700));
        QCOMPARE(page->rebuildCount(), 0);
        QVERIFY(!find<QCheckBox>("muteSwitch")->isChecked());
        page->hide();
        PomodoroTimer::shared().setSoundEnabled(false);
        MainTabVC::putPageInPlace(page.get(), QRect(0, 0, 900, 700));
        settle();
        QCOMPARE(page->rebuildCount(), 1);
        QVERIFY(find<QCheckBox>("muteSwitch")->isChecked());
    }

    void resizingBuildsAgainOnlyBeyondTwoPoints() {
        QVERIFY(page.open(900, 700));
        const int before = page->rebuildCount();
        page->resize(902, 700);
        settle();
        QCOMPARE(page->rebuildCount(), before);
        for (int w = 903; w < 910; ++w) page->resize(w, 700); // many layout passes, one build
        settle();
        QCOMPARE(page->rebuildCount(), before + 1);
        QCOMPARE(page->content()->width(), 909);
        page->resize(300, 700);
        settle();
        QCOMPARE(page->content()->width(), 480);
    }

    void currentThemeFontAndLanguageChangeNothing() {
        QVERIFY(page.open(900, 700));
        int posts = 0;
        QObject ctx;
        for (const char *n : {Notify::themeChanged, Notify::fontScaleChanged, Notify::languageChanged})
            Notifier::get().observe(n, &ctx, [&posts](QObject *) { ++posts; });
        auto click = [](QWidget *w) { QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(10, 10)); };
        click(find<QWidget>("themeCard_silver"));
        click(find<QWidget>("scaleCard_0"));
        find<QPushButton>("langButton_en")->click();
        settle();
        QCOMPARE(posts, 0);
        click(find<QWidget>("scaleCard_1"));
        QCOMPARE(env->prefs.prefs().doubleValue(kFontScale), 1.15);
        QCOMPARE(posts, 1);
        settle();
        find<QPushButton>("langButton_uk")->click();
        QCOMPARE(L::lang(), AppLang::uk);
        settle();
        QVERIFY(find<QPushButton>("exportButton")->text().startsWith(QStringLiteral("Експорт")));
    }

    void resetStoresDefaultsAndRestartsTheReminders() {
        Prefs &p = env->prefs.prefs();
        p.setDouble(kWaterMins, 5);
        p.setDouble(kWorkMins, 50);
        p.setInt(kCyclesBeforeLong, 2);
        p.setBool(kPostureOn, false);
        QVERIFY(page.open(900, 700));
        env->dialogs.alertAnswers = {1}; // Cancel
        find<QPushButton>("resetButton")->click();
        QCOMPARE(p.doubleValue(kWaterMins), 5.0);
        QCOMPARE(p.doubleValue(kWorkMins), 50.0);
        env->dialogs.alertAnswers = {0};
        find<QPushButton>("resetButton")->click();
        QCOMPARE(p.doubleValue(kWaterMins), 60.0);
        QCOMPARE(p.doubleValue(kEyesMins), 18.0);
        QCOMPARE(p.doubleValue(kPostureMins), 36.0);
        QCOMPARE(p.doubleValue(kStretchMins), 72.0);
        for (const char *k : {kWorkMins, kBreakMins, kLongBreakMins, kCyclesBeforeLong}) QVERIFY(!p.contains(k));
        QCOMPARE(PomodoroTimer::shared().remaining(), 25 * 60);
        HealthManager &h = HealthManager::shared();
        for (const HReminder &r : h.list()) {
            if (r.onKey == QLatin1String(kPostureOn))
                QCOMPARE(h.remaining(r), -1.0);
            else
                QCOMPARE(h.remaining(r), r.defaultMins * 60);
        }
    }

    void eraseLeavesOnlyTheTimerStateEvenIfTimersFireDuringTheLastAlert() {
        Prefs &p = env->prefs.prefs();
        p.setData(kTasks, "[]");
        p.setString(kTheme, QStringLiteral("dark"));
        p.setDouble(kFontScale, 1.3);
        L::setLang(AppLang::uk);
        QVERIFY(page.open(900, 700));
        PomodoroTimer::shared().start();
        // While "Data erased" is shown the focus ends and reminders fire. The alert still speaks the
        // session's language in its theme and scale, though their keys are gone.
        env->dialogs.fills = {[](const Dialogs::Alert &) {},
                          [this](const Dialogs::Alert &a) {
                              QCOMPARE(a.title, QStringLiteral("Дані видалено"));
                              QCOMPARE(a.text, QStringLiteral("All data has been deleted. The app will now quit."));
                              QVERIFY(!env->prefs.prefs().contains(kLanguage));
                              QCOMPARE(VF::theme(), AppTheme::dark);
                              QCOMPARE(VF::fontScale(), 1.3);
                              env->clock.advance(3 * 3600);
                          }};
        env->dialogs.alertAnswers = {0, 0};
        find<QPushButton>("eraseButton")->click();
        QTRY_VERIFY(p.isFrozen()); // the window went on while the writer erased
        QStringList keys = p.keys();
        keys.sort();
        QStringList timerKeys = {kPhase, kWasRunning, kRemaining, kTimestamp, kCycleCount};
        timerKeys.sort();
        QCOMPARE(keys, timerKeys);
        QVERIFY(p.isFrozen());
        // The hold ends with the alert.
        QCOMPARE(L::lang(), AppLang::en);
        QCOMPARE(VF::theme(), AppTheme::silver);
        QCOMPARE(VF::fontScale(), 1.0);
    }

    // A database that refuses the erase keeps the data, and the user is told so, not "Data erased".
    void eraseThatFailsSaysSoAndKeepsRunning() {
        Prefs &p = env->prefs.prefs();
        p.setData(kTasks, "[]");
        p.flush();
        QVERIFY(page.open(900, 700));
        sqlite3 *other = nullptr;
        QCOMPARE(sqlite3_open(env->prefs.path().toUtf8().constData(), &other), SQLITE_OK);
        sqlite3_busy_timeout(other, 10000); // as any program, it waits while Mivo's writer commits
        QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        env->dialogs.alertAnswers = {0, 0};
        find<QPushButton>("eraseButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(env->dialogs.alertsShown.last().startsWith(
                                     QStringLiteral("Data not erased|Your data could not be deleted: ")),
                                 15000);
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        QCOMPARE(p.data(kTasks), QByteArray("[]"));
        QVERIFY(!p.isFrozen());
    }

    void restoreRefusesABadFileAndChangesNothing() {
        QTemporaryDir dir;
        const QString path = putFile(dir.filePath("b.json"), "{\"appLanguage\": \"de\", \"savedTasks\": \"not base64!\"}");
        Prefs &p = env->prefs.prefs();
        p.setData(kNotes, "[1]");
        QVERIFY(page.open(900, 700));
        env->dialogs.alertAnswers = {0};
        env->dialogs.openPathAnswers = {path};
        const qsizetype shown = env->dialogs.alertsShown.size();
        find<QPushButton>("importButton")->click();
        QVERIFY(env->dialogs.waitForAlertsAfter(shown + 1)); // the question, then what was wrong
        QVERIFY(env->dialogs.alertsShown.last().startsWith(QStringLiteral("Import failed|")));
        QCOMPARE(p.data(kNotes), QByteArray("[1]"));
        QVERIFY(!p.contains(kLanguage));
        QVERIFY(!p.isFrozen());
        // Cancel in the question opens no panel.
        env->dialogs.alertAnswers = {1};
        env->dialogs.openPathAnswers = {path};
        find<QPushButton>("importButton")->click();
        QCOMPARE(env->dialogs.openPathAnswers.size(), 1);
    }

    void restoreReplacesTheDomainButKeepsTheAutostartFlag() {
        QTemporaryDir dir;
        const QString path = putFile(dir.filePath("b.json"), "{\"appLanguage\": \"pl\", \"savedNotes\": \"" +
                                                                 QByteArray("[]").toBase64() + "\", \"appTheme\": \"dark\"}");
        Prefs &p = env->prefs.prefs();
        p.setData(QStringLiteral("savedTasks.unreadable-1"), "junk");
        p.setBool(kAutostartDefaultSet, true); // set by the first launch
        p.setString(kTheme, QStringLiteral("pink"));
        p.setDouble(kFontScale, 1.15);
        QVERIFY(page.open(900, 700));
        p.setData(kTasks, "[]");
        env->dialogs.alertAnswers = {0, 0};
        env->dialogs.openPathAnswers = {path};
        // The last alert keeps the session's look: the restored domain has no theme and no scale.
        env->dialogs.fills = {[](const Dialogs::Alert &) {}, [](const Dialogs::Alert &) {
                                  QVERIFY(!Prefs::get().contains(kFontScale));
                                  QCOMPARE(VF::theme(), AppTheme::pink);
                                  QCOMPARE(VF::fontScale(), 1.15);
                              }};
        find<QPushButton>("importButton")->click();
        QTRY_VERIFY(env->dialogs.alertsShown.last().startsWith(QStringLiteral("Import complete|")));
        QCOMPARE(p.string(kLanguage).value(), QStringLiteral("pl"));
        QCOMPARE(VF::theme(), AppTheme::silver);
        QCOMPARE(p.data(kNotes), QByteArray("[]"));
        QVERIFY(!p.contains(kTasks));
        QVERIFY(!p.contains(kTheme)); // not a backed-up key
        QVERIFY(p.boolValue(kAutostartDefaultSet));
        QCOMPARE(p.data(QStringLiteral("savedTasks.unreadable-1")), QByteArray("junk"));
        QVERIFY(p.contains(kPhase)); // the timer's last state
    }

    // A row of a type this version does not know, and the copy kept of it when tasks were saved over
    // it, both survive a restore; so does an unknown row no backup member touches.
    void restoreKeepsRowsOfUnknownTypeAndTheirCopies() {
        const QString db = env->prefs.path();
        sqlite3 *raw = nullptr;
        QCOMPARE(sqlite3_open(db.toUtf8().constData(), &raw), SQLITE_OK);
        QCOMPARE(sqlite3_exec(raw,
                              "INSERT INTO prefs VALUES('savedTasks', 'json', '[{\"id\":1}]');"
                              "INSERT INTO prefs VALUES('futureSetting', 'blob', x'0102')",
                              nullptr, nullptr, nullptr),
                 SQLITE_OK);
        sqlite3_close(raw);
        env->prefs.reopen();
        Prefs &p = env->prefs.prefs();
        p.setData(kTasks, "[]"); // saved over the unknown row: it is kept aside first
        QVERIFY(p.flush());
        QTemporaryDir dir;
        const QString path = putFile(dir.filePath("b.json"), "{\"savedTasks\": \"" + QByteArray("[1]").toBase64() + "\"}");
        QVERIFY(page.open(900, 700));
        env->dialogs.alertAnswers = {0, 0};
        env->dialogs.openPathAnswers = {path};
        find<QPushButton>("importButton")->click();
        QTRY_VERIFY(env->dialogs.alertsShown.last().startsWith(QStringLiteral("Import complete|")));
        QStringList rows;
        QCOMPARE(sqlite3_open(db.toUtf8().constData(), &raw), SQLITE_OK);
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(raw, "SELECT key, type, CAST(value AS TEXT) FROM prefs WHERE type NOT IN ('bool', 'int', "
                                "'double', 'string') ORDER BY key", -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW)
            rows << QStringLiteral("%1 %2 %3").arg(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)),
                                                   reinterpret_cast<const char *>(sqlite3_column_text(st, 1)),
                                                   reinterpret_cast<const char *>(sqlite3_column_text(st, 2)));
        sqlite3_finalize(st);
        sqlite3_close(raw);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0], QStringLiteral("futureSetting blob \x01\x02"));
        QCOMPARE(rows[1], QStringLiteral("savedTasks data [1]"));
        QVERIFY2(rows[2].startsWith("savedTasks.unreadable-") && rows[2].endsWith(" json [{\"id\":1}]"),
                 qPrintable(rows[2]));
    }

    // Another program holds the database while a good backup is restored: the window's thread keeps
    // running while the writer tries, a second restore cannot start meanwhile, and the user is told
    // the real reason; nothing changed.
    void restoreUnderAnotherProgramsLockSaysWhyAndKeepsTheWindowResponsive() {
        QTemporaryDir dir;
        const QString path = putFile(dir.filePath("b.json"), "{\"appLanguage\": \"pl\"}");
        Prefs &p = env->prefs.prefs();
        p.setData(kNotes, "[1]");
        QVERIFY(p.flush());
        QVERIFY(page.open(900, 700));
        sqlite3 *other = nullptr;
        QCOMPARE(sqlite3_open(env->prefs.path().toUtf8().constData(), &other), SQLITE_OK);
        sqlite3_busy_timeout(other, 10000); // as any program, it waits while Mivo's writer commits
        QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        env->dialogs.alertAnswers = {0};
        env->dialogs.openPathAnswers = {path};
        const int shownBefore = int(env->dialogs.alertsShown.size());
        find<QPushButton>("importButton")->click();
        QTRY_VERIFY(p.isReplacing()); // the file is in, the click returned while the writer still tries
        int turns = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, this, [&] { ++turns; });
        tick.start(10);
        env->dialogs.alertAnswers = {0};
        env->dialogs.openPathAnswers = {path};
        find<QPushButton>("importButton")->click(); // nothing: one restore at a time
        QCOMPARE(env->dialogs.openPathAnswers.size(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!p.isReplacing(), 10000);
        QVERIFY2(turns > 3, qPrintable(QString::number(turns)));
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        QTRY_COMPARE(env->dialogs.alertsShown.size(), shownBefore + 2);
        QCOMPARE(env->dialogs.alertsShown.last(),
                 QStringLiteral("Import failed|The backup could not be restored; your current data is unchanged: "
                                "database is locked"));
        QVERIFY(!p.isFrozen());
        QVERIFY(!p.contains(kLanguage));
        QCOMPARE(p.data(kNotes), QByteArray("[1]"));
    }

    void backupExportThroughTheDialogs() {
        QTemporaryDir dir;
        env->prefs.prefs().setString(kLanguage, QStringLiteral("en"));
        QVERIFY(page.open(900, 700));
        env->dialogs.savePaths = {dir.filePath("mivo-backup.json")};
        find<QPushButton>("exportButton")->click();
        QCOMPARE(fileBytes(dir.filePath("mivo-backup.json")), Backup::exportJson(env->prefs.prefs())->bytes);
        QCOMPARE(env->dialogs.alertsShown.last(), QStringLiteral("Export complete|All settings and data saved to mivo-backup.json."));
        // What the backup could not carry is named, in the user's language.
        env->prefs.prefs().setData(kExerciseHistory, "[oops");
        env->prefs.prefs().setData(kFinances, "{}");
        env->prefs.prefs().setDouble(kBreakMins, qInf());
        env->dialogs.savePaths = {dir.filePath("mivo-backup.json")};
        find<QPushButton>("exportButton")->click();
        QCOMPARE(
            env->dialogs.alertsShown.last(),
            QStringLiteral(
                "Export complete|All settings and data saved to mivo-backup.json.\n\n"
                "Left out because it could not be read: Finances, Exercise history.\n\n"
                "Saved with the default value because the stored one was not a valid number: breakMins."));
        QVERIFY(Backup::parseRestore(fileBytes(dir.filePath("mivo-backup.json"))));
        env->dialogs.savePaths = {dir.filePath("missing/dir/x.json")};
        find<QPushButton>("exportButton")->click();
        QVERIFY(env->dialogs.alertsShown.last().startsWith(QStringLiteral("Export failed|")));
    }

    void backupWriteFailureInEachLanguage_data() {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QString>("start");
        QTest::newRow("en") << "en" << "Export failed|Could not write file: ";
        QTest::newRow("de") << "de" << "Export fehlgeschlagen|Datei konnte nicht geschrieben werden: ";
        QTest::newRow("fr") << "fr" << "Exportation échouée|Impossible d'écrire le fichier : ";
        QTest::newRow("es") << "es" << "Export fallido|No se pudo escribir el archivo: ";
        QTest::newRow("uk") << "uk" << "Помилка експорту|Не вдалося записати файл: ";
        QTest::newRow("pl") << "pl" << "Eksport nieudany|Nie można zapisać pliku: ";
    }

    // A backup that cannot be written says so in the backup's own words, followed by the reason.
    void backupWriteFailureInEachLanguage() {
        QFETCH(QString, lang);
        QFETCH(QString, start);
        QTemporaryDir dir;
        env->prefs.prefs().setString(kLanguage, lang);
        QVERIFY(page.open(900, 700));
        const QString target = dir.filePath("missing/dir/mivo-backup.json");
        env->dialogs.savePaths = {target};
        find<QPushButton>("exportButton")->click();
        QCOMPARE(env->dialogs.alertsShown.size(), 1);
        const QString shown = env->dialogs.alertsShown.last();
        QVERIFY2(shown.startsWith(start) && shown.size() > start.size() + 3, qPrintable(shown));
        QVERIFY(!QFile::exists(target));
    }

    void supportButtonsOpenTheMakersPages() {
        RecordingLinks links;
        const SupportLinks pages{QUrl("https://example.org/"), QUrl("https://example.org/donate")};
        SupportView support(pages);
        support.resize(0, 0);
        support.setup();
        QCOMPARE(support.content()->width(), 700);
        support.resize(800, 600);
        support.show();
        settle();
        support.content()->findChild<QPushButton *>("donateButton")->click();
        support.content()->findChild<QPushButton *>("visitButton")->click();
        QCOMPARE(links.opened, QList<QUrl>({pages.donate, pages.home}));
        QVERIFY(support.content()->height() >= 601);

        // A build without the addresses shows neither button.
        SupportView bare(SupportLinks{});
        bare.resize(800, 600);
        bare.setup();
        QVERIFY(!bare.content()->findChild<QPushButton *>("donateButton"));
        QVERIFY(!bare.content()->findChild<QPushButton *>("visitButton"));
    }

    // A named pipe froze the window for good, /dev/zero was read without end: each is refused at once
    // with its own words, nothing changes, and the page takes the next restore.
    void restoreRefusesWhatIsNotARegularFile() {
        QTemporaryDir dir;
        const QString pipe = dir.filePath("pipe.json");
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        Prefs &p = env->prefs.prefs();
        p.setData(kNotes, "[1]");
        QVERIFY(page.open(900, 700));
        const QString notAFile = QStringLiteral("Import failed|") + ImportFile::message(ImportFile::Error::notAFile);
        for (const QString &path : {pipe, QStringLiteral("/dev/zero"), dir.path()}) {
            env->dialogs.alertAnswers = {0};
            env->dialogs.openPathAnswers = {path};
            const qsizetype shown = env->dialogs.alertsShown.size();
            find<QPushButton>("importButton")->click();
            QVERIFY(env->dialogs.waitForAlertsAfter(shown + 1));
            QCOMPARE(env->dialogs.alertsShown.last(), notAFile);
        }
        QCOMPARE(p.data(kNotes), QByteArray("[1]"));
        QVERIFY(!p.isFrozen());
        env->dialogs.alertAnswers = {0, 0};
        env->dialogs.openPathAnswers = {putFile(dir.filePath("b.json"), "{\"appLanguage\": \"pl\"}")};
        find<QPushButton>("importButton")->click();
        QTRY_VERIFY(env->dialogs.alertsShown.last().startsWith(QStringLiteral("Import complete|")));
        QCOMPARE(p.string(kLanguage).value(), QStringLiteral("pl"));
    }

    // A backup whose notes hold a cell of more than a table cell's bound: refused, the field named.
    void restoreNamesATextTooLong() {
        QTemporaryDir dir;
        const QByteArray notes = "[{\"id\":\"A\",\"type\":\"table\",\"emoji\":\"e\",\"title\":\"t\",\"body\":\"\","
                                 "\"link\":\"\",\"columns\":[],\"rows\":[{\"id\":\"R\",\"cells\":[\"" +
                                 QByteArray(LongText::kMaxChars + 1, 'x') +
                                 "\"],\"cellsRTF\":{}}],\"createdInterval\":1,\"modifiedInterval\":2}]";
        const QString path = putFile(dir.filePath("b.json"), "{\"appLanguage\": \"de\", \"savedNotes\": \"" +
                                                                 notes.toBase64() + "\"}");
        QVERIFY(page.open(900, 700));
        env->dialogs.alertAnswers = {0};
        env->dialogs.openPathAnswers = {path};
        const qsizetype shown = env->dialogs.alertsShown.size();
        find<QPushButton>("importButton")->click();
        QVERIFY(env->dialogs.waitForAlertsAfter(shown + 1));
        QCOMPARE(env->dialogs.alertsShown.last(),
                 QStringLiteral("Import failed|Nothing was imported: “Notes › rows › cells” in item 1 holds more "
                                "than 1048576 characters."));
        QVERIFY(!env->prefs.prefs().contains(kLanguage));
    }
    // The texts with emoji the page is known to show are drawn ahead on a worker (the window's thread
    // then decodes no emoji for the page's first show): the page draws every one from its copy, and
    // looks as it did when it drew them itself.
    void theEmojiItShowsAreCopiedFromADrawingMadeAhead() {
        QVERIFY(page.open(900, 1500)); // every row on screen
        EmojiCache &cache = EmojiCache::shared();
        cache.clear();
        const QImage drawnHere = page->grab().toImage();
        const QList<EmojiPrep::Text> texts = SettingsView::emojiShown();
        EmojiPrep::prepareNow(texts);
        const int before = cache.preparedDrawn();
        const QImage copied = page->grab().toImage();
        QCOMPARE(cache.preparedDrawn() - before, texts.size());
        QCOMPARE(copied.size(), drawnHere.size());
        int worst = 0;
        for (int y = 0; y < copied.height(); ++y)
            for (int x = 0; x < copied.width(); ++x) {
                const QRgb a = drawnHere.pixel(x, y), b = copied.pixel(x, y);
                worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                  std::abs(qBlue(a) - qBlue(b))});
            }
        QVERIFY2(worst <= 3, qPrintable(QString::number(worst)));
    }
};

QTEST_MAIN(TstSettingsPage)
#include "tst_page.moc"
