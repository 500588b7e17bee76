#include "app/AppDelegate.h"
#include "exercises/ExerciseHistory.h"
#include "exercises/ExerciseStore.h"
#include "exercises/Playlist.h"
#include "finance/FinanceStore.h"
#include "notes/NoteExport.h"
#include "notes/NoteStore.h"

#include "app/DataNoticeAlert.h"
#include "app/MainTabVC.h"
#include "app/MainWindow.h"
#include "app/StatusItem.h"
#include "health/CustomReminderStore.h"
#include "health/HealthManager.h"
#include "platform/Background.h"
#include "platform/DataNotices.h"
#include "platform/Deadline.h"
#include "platform/Dialogs.h"
#include "platform/Keys.h"
#include "platform/Notifier.h"
#include "platform/Prefs.h"
#include "platform/SharedObjects.h"
#include "platform/SingleInstance.h"
#include "platform/UnixSignals.h"
#include "pomodoro/PomodoroTimer.h"
#include "pomodoro/ProjectStore.h"
#include "pomodoro/TaskStore.h"
#include "ui/BannerWindow.h"
#include "ui/Fonts.h"
#include "ui/Lang.h"
#include "ui/NoFocusRingStyle.h"
#include "ui/QtTexts.h"
#include "ui/Theme.h"
#include "ui/ToneSoundPlayer.h"
#include "ui/WidgetDialogs.h"
#include <QApplication>
#include <QClipboard>
#include <QShortcut>
#include <QSystemTrayIcon>
#include <QTimer>
#include <cstdio>
#include <unistd.h>

namespace {
constexpr int kOwnerAnswerMs = 4000;
// From the request to quit to the exit, every wait included: a desktop's logout may kill Mivo soon
// after it asks it to end, and the changes must be committed or kept beside the database by then.
// What is left after it is the process's own ending.
constexpr int kQuitMs = 4500;
// What the waits for the notes' saves leave of it, for the final commit and for keeping what it
// cannot commit.
constexpr int kQuitCommitMs = 2500;

// The language for a launch that must not open the preferences (another process owns them): read
// from the file without taking part in it.
QString inStoredLanguage(const Tr &tr) {
    const auto raw = Prefs::peekString(Prefs::defaultPath(), QString::fromLatin1(kLanguage));
    return L::t(tr, AppLangs::fromRaw(raw.value_or(QString())).value_or(AppLang::en));
}
} // namespace

AppDelegate::AppDelegate() = default;

AppDelegate::~AppDelegate() {
    beginQuitting();
    Sound::install(nullptr); // the player is our child and goes with us
    delete statusItem_;
    delete mainWin_;
    // The stores go at quit, after the window that shows them and before the application object.
    // A load dropped now may find the loader idle, which would show the notices: they are kept.
    SharedObjects::get().freeAll();
    if (terminated_) keepNoticesForNextStart();
}

// From the first step of quitting on, no dialog opens: nobody may be there to answer it (a logout
// kills a Mivo that waits), and what it would tell is kept for the next start instead.
void AppDelegate::beginQuitting() {
    quitting_ = true;
    if (notices_) notices_->stop();
    if (saveWait_) saveWait_->stop();
}

namespace {
std::function<void(int)> g_exit; // tests
} // namespace

void AppDelegate::setExitForTests(std::function<void(int)> exit) {
    g_exit = std::move(exit);
}

// Once the quit has run, what is left of the process is memory and threads: the changes are committed
// or kept beside the database, which is closed, and the notices are kept. Freeing the windows, the
// stores' documents and the static objects would only be waits past the quit's deadline (where a
// logout may kill Mivo anyway): frees of tens of megabytes, and work that no longer matters ending
// first (a document read again after another program wrote it, a copy of it being written). Under a
// sanitizer the whole teardown runs, so that it is still checked; so it does while this program owns
// the clipboard, which only the teardown hands over.
void AppDelegate::endProcess(int code) {
    if (!terminated_) return;
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    if (!g_exit) return;
#endif
    // What the user copied here last is handed to a clipboard manager in the window system's own
    // teardown; without it the copy would end with the process.
    if (!g_exit && QApplication::clipboard()->ownsClipboard()) return;
    // A later launch finds no socket of ours to try; the lock goes with the process.
    instance_.reset();
    std::fflush(stdout);
    std::fflush(stderr);
    if (g_exit)
        g_exit(code);
    else
        ::_exit(code);
}

// Only the owner of the data keeps its notices; they are written after everything that could add
// one (the final commit, the stores going away).
void AppDelegate::keepNoticesForNextStart() {
    DataNotices::get().keepPending(DataNotices::keptPath(Prefs::get().path()));
}

bool AppDelegate::launch() {
    if (!Dialogs::isInstalled()) WidgetDialogs::installAsDefault();
    // A second instance leaves before it creates a window, a store or an engine, and without writing
    // to the preferences: the running one owns them. The guard belongs to the database, so launches
    // from different sessions or runtime directories still find each other.
    instance_ = std::make_unique<SingleInstance>(QString::fromLatin1(kBundleId), Prefs::defaultPath());
    switch (instance_->claim()) {
    case SingleInstance::Claim::Owner:
        break;
    case SingleInstance::Claim::Running:
        // The owner may itself still be starting: give it a few seconds to answer.
        if (instance_->signalRunning(kOwnerAnswerMs)) return false; // its window comes forward
        reportCannotStart(
            inStoredLanguage({.en = "Mivo is already running with your data, but it does not answer.",
                              .es = "Mivo ya se está ejecutando con tus datos, pero no responde.",
                              .de = "Mivo läuft bereits mit deinen Daten, antwortet aber nicht.",
                              .fr = "Mivo est déjà lancé avec tes données, mais ne répond pas.",
                              .uk = "Mivo вже працює з вашими даними, але не відповідає.",
                              .pl = "Mivo już działa z twoimi danymi, ale nie odpowiada."}),
            instance_->ownerPid() > 0
                ? QStringLiteral("process %1, lock %2").arg(instance_->ownerPid()).arg(instance_->lockPath())
                : QStringLiteral("lock %1 is held by another program").arg(instance_->lockPath()));
        return false;
    case SingleInstance::Claim::Failed:
        reportCannotStart(
            inStoredLanguage(
                {.en = "Mivo cannot start: the lock that guards your data cannot be taken.",
                 .es = "Mivo no puede iniciarse: no se puede tomar el bloqueo que protege tus datos.",
                 .de =
                     "Mivo kann nicht starten: Die Sperre, die deine Daten schützt, lässt sich nicht setzen.",
                 .fr = "Mivo ne peut pas démarrer : le verrou qui protège tes données ne peut pas être pris.",
                 .uk = "Mivo не може запуститися: не вдається взяти блокування, що захищає ваші дані.",
                 .pl = "Mivo nie może się uruchomić: nie można założyć blokady chroniącej twoje dane."}),
            instance_->errorString());
        return false;
    }

    // What the last run could not tell before it ended is told in this run's first alert.
    DataNotices::get().restoreKept(DataNotices::keptPath(Prefs::get().path()));
    signals_ = new UnixSignals(this);
    connect(signals_, &UnixSignals::terminationRequested, this,
            [this](int, qint64 msAgo) { quitApp(msAgo); });
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { willTerminate(); });
    // Quitting closes the preferences itself, within its deadline: their own flush at the end of the
    // loop would be a wait outside it.
    disconnect(qApp, &QCoreApplication::aboutToQuit, &Prefs::get(), nullptr);
    // The user must learn when their changes are not on disk.
    connect(&Prefs::get(), &Prefs::writeFailed, this, [this](const QString &message) {
        QTimer::singleShot(0, this, [this, message] { reportSaveFailure(message); });
    });
    // A session that cannot save says so once, before the user changes anything. (One that waits for
    // another program's lock is told by the save notice below, without blocking the window.)
    if (Prefs::get().access() == Prefs::Access::ReadOnly)
        QTimer::singleShot(0, this, [this] { reportCannotSave(); });
    NoFocusRingStyle::install();
    QtTexts::follow(this);
    Fonts::applyAppFont(VF::fontScale());
    // Engines announce through the seams; these live as long as the process.
    static BannerWindowPresenter banners;
    Banners::install(&banners);
    Sound::install(new ToneSoundPlayer(this));

    // Every store starts loading its document now, so each is checked at every start: the large ones
    // decode on worker threads while the window and the tray are built (a use of a store waits for
    // its load; pages hold their redraws until every store is in), and an unreadable document is kept
    // aside and named in the one alert below.
    TaskStore::shared();
    CustomReminderStore::shared();
    ExerciseStore::shared();
    ProjectStore::shared();
    NoteStore::shared();
    FinanceStore::shared();
    ExerciseHistory::shared();
    PlaylistModel::checkStored();

    mainWin_ = new MainWindow;
    // Data found unreadable (the database, the stores' documents) is told once, from the event loop
    // once every store has loaded, never from inside the code that found it.
    notices_ = new DataNoticePresenter(mainWin_, this);
    // While another program holds the database, a notice says the changes wait and goes once saved.
    saveWait_ = new SaveWaitNotice(Prefs::get(), mainWin_, this);
    // The status item reads the timer, which restores its state (and catches up) on first use.
    statusItem_ = new StatusItem(mainWin_, PomodoroTimer::shared());
    connect(statusItem_, &StatusItem::quitRequested, this, [this] { quitApp(); });
    // There is no menu bar to carry "Quit Mivo": its shortcut works in the window.
    auto *quit = new QShortcut(QKeySequence::Quit, mainWin_);
    quit->setContext(Qt::ApplicationShortcut);
    connect(quit, &QShortcut::activated, this, [this] { quitApp(); });
    Notifier::get().observe(QLatin1String(Notify::pomodoroChanged), statusItem_,
                            [this](QObject *) { statusItem_->onPomChanged(); });
    // The tooltip carries the phase label: relabel at once, also while the timer is paused.
    Notifier::get().observe(QLatin1String(Notify::languageChanged), statusItem_,
                            [this](QObject *) { statusItem_->onPomChanged(); });
    connect(instance_.get(), &SingleInstance::activationRequested, mainWin_, &MainWindow::bringToFront);
    // What pages' settings need at every launch (autostart's first-start default) runs now: pages
    // are built when first shown, and a user may never open one.
    MainTabVC::prepareAtLaunch();

    // The status menu switches the health reminders through their engine.
    statusItem_->setReminders(
        [] {
            std::vector<ReminderRow> rows;
            for (const HReminder &r : HealthManager::shared().list())
                rows.push_back({r.emoji, r.name, r.onKey, r.soundKey});
            return rows;
        },
        [](const QString &onKey, bool on) {
            auto &hm = HealthManager::shared();
            for (const HReminder &r : hm.list())
                if (r.onKey == onKey) return hm.setOn(on, r);
        });

    // The reminders' timers start with their engine.
    HealthManager::shared();
    // Every alarm that is enabled and not done is armed.
    CustomReminderStore::shared().scheduleAll();

    // Without a tray to click, the window is the only way in.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) mainWin_->showInFront();

    // The timer runs after every launch, whether or not it ran when the app last ended.
    PomodoroTimer::shared().start();
    return true;
}

void AppDelegate::quitApp(qint64 askedMsAgo) {
    if (!quitBy_) quitBy_ = Deadline(kQuitMs - askedMsAgo);
    beginQuitting();
    PomodoroTimer::shared().saveState();
    // exit(), not quit(): quit() first asks every window to close, and the main window answers a
    // close by hiding, which would cancel the quit while the window is shown.
    QCoreApplication::exit(0);
}

// Runs on every way out (quit item, SIGTERM via quitApp, session end): the timer's state is written,
// committed and the database closed before the process exits; when that fails the user's last
// changes are not on disk, so the process says so and ends with a failure code.
void AppDelegate::willTerminate() {
    if (terminated_) return;
    terminated_ = true;
    // One deadline for every wait below, from the request to quit (a session's end comes here
    // directly): each gets what the ones before it left.
    const Deadline deadline = quitBy_.value_or(Deadline(kQuitMs));
    const Deadline saves = deadline.before(kQuitCommitMs);
    // The saves handed back below may pile up splices of a large value: close() reads it whole once.
    Prefs::get().beginClosing();
    // An export still being written stops now, while the saves below run, and leaves no file: no
    // dialog may tell of its end any more, and its layout must not outlive the application. It has
    // what the saves leave of the deadline to stop.
    if (NoteExport::stopAll() > 0)
        std::fprintf(stderr,
                     "mivo: an export was still being written when Mivo quit; its file is not written\n");
    beginQuitting();
    PomodoroTimer::shared().saveState();
    // A note saved just before quitting is still being read or encoded on a worker: it reaches the
    // store now, in the order the saves were made, or the edit would be lost with the closed database.
    // One a worker is making is waited for however long it takes; one that cannot be had otherwise
    // is named to the user at the next start.
    for (const QString &what : Background::finishAll(saves, Background::AtQuit::handBack))
        std::fprintf(stderr,
                     "mivo: %s was still under way when Mivo quit; its last edit is lost (named at the next "
                     "start)\n",
                     qPrintable(what));
    // A large note's bytes made meanwhile are written with the rest.
    NoteStore::shared().settle(saves);
    Prefs &prefs = Prefs::get();
    // A save a worker was making may be waited for past the saves' share (the machine is loaded).
    // Then a commit tried in what is left could not write its bytes in time, and cut short, it only
    // delays keeping them: the changes are kept beside the database at once, whole, and written at
    // the next start.
    const bool savesLate = deadline.remainingMs() < kQuitCommitMs;
    if (!prefs.close(savesLate ? Deadline(0) : deadline)) {
        if (!prefs.keptUnsavedIn().isEmpty()) {
            // On disk all the same, and written into the database at the next start.
            std::fprintf(stderr,
                         "mivo: your last changes could not be saved to %s (%s): nothing of them was written "
                         "to it or its -wal file; they are kept in %s and saved at the next start\n",
                         qPrintable(prefs.path()), qPrintable(prefs.lastError()),
                         qPrintable(prefs.keptUnsavedIn()));
        } else {
            std::fprintf(stderr, "mivo: your last changes could not be saved to %s: %s\n",
                         qPrintable(prefs.path()), qPrintable(prefs.lastError()));
            exitCode_ = kExitSaveFailed;
        }
    }
    // What must end before the application goes (an export, a layout) has what is left.
    for (const QString &what : Background::finishAll(deadline, Background::AtQuit::end))
        std::fprintf(stderr, "mivo: %s had not stopped when Mivo quit\n", qPrintable(what));
    keepNoticesForNextStart();
}

void AppDelegate::reportCannotStart(const QString &message, const QString &detail) {
    exitCode_ = kExitCannotStart;
    std::fprintf(stderr, "mivo: %s (%s)\n", qPrintable(message), qPrintable(detail));
    Dialogs::Alert a;
    a.warning = true;
    a.title = message;
    a.text = detail;
    Dialogs::get().alert(nullptr, a);
}

void AppDelegate::reportSaveFailure(const QString &message) {
    // Once per run: the next changes would only repeat it. At quit the final commit says it.
    if (saveFailureShown_ || quitting_) return;
    saveFailureShown_ = true;
    Dialogs::Alert a;
    a.warning = true;
    a.title = L::t({.en = "Mivo could not save your data",
                    .es = "Mivo no pudo guardar tus datos",
                    .de = "Mivo konnte deine Daten nicht speichern",
                    .fr = "Mivo n'a pas pu enregistrer tes données",
                    .uk = "Mivo не вдалося зберегти дані",
                    .pl = "Mivo nie mogło zapisać danych"});
    a.text =
        L::t(
            {.en = "Your latest changes could not be written to disk. Check the free space and the "
                   "permissions of:",
             .es = "Tus últimos cambios no se pudieron escribir en el disco. Comprueba el espacio libre y "
                   "los permisos de:",
             .de = "Deine letzten Änderungen konnten nicht auf die Festplatte geschrieben werden. Prüfe den "
                   "freien Platz und die Rechte von:",
             .fr = "Tes dernières modifications n'ont pas pu être écrites sur le disque. Vérifie l'espace "
                   "libre et les droits de :",
             .uk = "Останні зміни не вдалося записати на диск. Перевірте вільне місце та права доступу до:",
             .pl =
                 "Ostatnich zmian nie udało się zapisać na dysku. Sprawdź wolne miejsce i uprawnienia do:"}) +
        QLatin1Char('\n') + Prefs::get().path() + QStringLiteral("\n\n") + message;
    Dialogs::get().alert(mainWin_, a);
}

void AppDelegate::reportCannotSave() {
    if (quitting_) return;
    saveFailureShown_ = true; // the reason is told here; a failed save would only repeat it
    Dialogs::Alert a;
    a.warning = true;
    a.title = L::t({.en = "Mivo cannot save changes",
                    .es = "Mivo no puede guardar los cambios",
                    .de = "Mivo kann keine Änderungen speichern",
                    .fr = "Mivo ne peut pas enregistrer les modifications",
                    .uk = "Mivo не може зберігати зміни",
                    .pl = "Mivo nie może zapisywać zmian"});
    a.text = L::t(
        {.en = "Your data is shown, but the folder that holds it cannot be written to, so changes you "
               "make now are lost when Mivo quits. To keep a copy, use Export JSON in Settings.",
         .es = "Tus datos se muestran, pero no se puede escribir en la carpeta que los contiene, así que "
               "los cambios que hagas ahora se perderán al cerrar Mivo. Para guardar una copia, usa "
               "Exportar JSON en Ajustes.",
         .de = "Deine Daten werden angezeigt, aber in ihren Ordner kann nicht geschrieben werden. "
               "Änderungen gehen daher beim Beenden von Mivo verloren. Um eine Kopie zu behalten, nutze "
               "„JSON exportieren“ in den Einstellungen.",
         .fr = "Tes données sont affichées, mais le dossier qui les contient n'est pas accessible en "
               "écriture : les modifications faites maintenant seront perdues à la fermeture de Mivo. "
               "Pour garder une copie, utilise Exporter JSON dans les Paramètres.",
         .uk = "Ваші дані показано, але до теки, де вони зберігаються, не можна записувати, тож зміни, "
               "зроблені зараз, буде втрачено після виходу з Mivo. Щоб зберегти копію, скористайтеся "
               "«Експортувати JSON» у Налаштуваннях.",
         .pl = "Twoje dane są widoczne, ale do ich folderu nie można zapisywać, więc zmiany wprowadzone "
               "teraz przepadną po zamknięciu Mivo. Aby zachować kopię, użyj „Eksportuj JSON” w "
               "Ustawieniach."});
    a.text += QStringLiteral("\n\n") + Prefs::get().path();
    Dialogs::get().alert(mainWin_, a);
}
