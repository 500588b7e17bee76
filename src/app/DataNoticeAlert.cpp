#include "app/DataNoticeAlert.h"

#include "platform/Keys.h"
#include "platform/StoreLoader.h"
#include "ui/AlertDialog.h"
#include "ui/Lang.h"
#include <QTimer>
#include <QWidget>

QString unreadableDataName(const QString &key) {
    struct Name {
        const char *key;
        Tr name;
    };
    static const Name names[] = {
        {kTasks,
         {.en = "Tasks",
          .es = "Tareas",
          .de = "Aufgaben",
          .fr = "Tâches",
          .uk = "Завдання",
          .pl = "Zadania"}},
        {kProjects,
         {.en = "Projects",
          .es = "Proyectos",
          .de = "Projekte",
          .fr = "Projets",
          .uk = "Проєкти",
          .pl = "Projekty"}},
        {kCustomReminders,
         {.en = "Alarms",
          .es = "Alarmas",
          .de = "Alarme",
          .fr = "Alarmes",
          .uk = "Будильники",
          .pl = "Alarmy"}},
        {kNotes,
         {.en = "Notes", .es = "Notas", .de = "Notizen", .fr = "Notes", .uk = "Нотатки", .pl = "Notatki"}},
        {kFinances,
         {.en = "Finances",
          .es = "Finanzas",
          .de = "Finanzen",
          .fr = "Finances",
          .uk = "Фінанси",
          .pl = "Finanse"}},
        {kExerciseLibrary,
         {.en = "Your exercises",
          .es = "Tus ejercicios",
          .de = "Deine Übungen",
          .fr = "Tes exercices",
          .uk = "Ваші вправи",
          .pl = "Twoje ćwiczenia"}},
        {kExerciseHistory,
         {.en = "Exercise history",
          .es = "Historial de ejercicios",
          .de = "Übungsverlauf",
          .fr = "Historique des exercices",
          .uk = "Історія вправ",
          .pl = "Historia ćwiczeń"}},
        {kPlaylistState,
         {.en = "Playlist",
          .es = "Lista de reproducción",
          .de = "Playlist",
          .fr = "Liste de lecture",
          .uk = "Список відтворення",
          .pl = "Playlista"}},
    };
    if (key.isEmpty())
        return L::t({.en = "All settings and data (the database)",
                     .es = "Todos los ajustes y datos (la base de datos)",
                     .de = "Alle Einstellungen und Daten (die Datenbank)",
                     .fr = "Tous les réglages et données (la base de données)",
                     .uk = "Усі налаштування та дані (база даних)",
                     .pl = "Wszystkie ustawienia i dane (baza danych)"});
    for (const Name &n : names)
        if (key == QLatin1String(n.key)) return L::t(n.name);
    return QStringLiteral("“%1”").arg(key); // a store added later still gets a line of its own
}

namespace {
// What another program changed while Mivo ran, and which version is kept where.
QStringList changedElsewhereLines(const std::vector<DataNotice> &notices) {
    QStringList lines;
    for (const DataNotice &n : notices) {
        if (n.kind == DataNotice::Kind::otherProgramsValueKept)
            lines << L::t({.en = "• %1: your version is in use; the other program's is kept as “%2” in %3",
                           .es = "• %1: se usa tu versión; la del otro programa se guardó como «%2» en %3",
                           .de = "• %1: deine Fassung wird verwendet; die des anderen Programms ist als „%2“ "
                                 "in %3 aufbewahrt",
                           .fr = "• %1 : ta version est utilisée ; celle de l'autre programme est conservée "
                                 "sous « %2 » dans %3",
                           .uk = "• %1: використовується ваша версія; версію іншої програми збережено як "
                                 "«%2» у %3",
                           .pl = "• %1: używana jest twoja wersja; wersję innego programu zachowano jako "
                                 "„%2” w %3"})
                         .arg(unreadableDataName(n.key), n.keptAs, n.database);
        else if (n.kind == DataNotice::Kind::ownChangesKept)
            lines << L::t({.en = "• %1: the other program's version is in use; your latest changes are kept as "
                                 "“%2” in %3",
                           .es = "• %1: se usa la versión del otro programa; tus últimos cambios se guardaron "
                                 "como «%2» en %3",
                           .de = "• %1: die Fassung des anderen Programms wird verwendet; deine letzten "
                                 "Änderungen sind als „%2“ in %3 aufbewahrt",
                           .fr = "• %1 : la version de l'autre programme est utilisée ; tes dernières "
                                 "modifications sont conservées sous « %2 » dans %3",
                           .uk = "• %1: використовується версія іншої програми; ваші останні зміни збережено "
                                 "як «%2» у %3",
                           .pl = "• %1: używana jest wersja innego programu; twoje ostatnie zmiany zachowano "
                                 "jako „%2” w %3"})
                         .arg(unreadableDataName(n.key), n.keptAs, n.database);
    }
    // Only when something was kept: a value another program put in place of ours, with nothing of
    // the user's waiting, has no second version.
    if (!lines.isEmpty())
        lines.prepend(
            L::t({.en = "Another program changed this data while Mivo was running. Nothing was lost: "
                        "both versions are kept.",
                  .es = "Otro programa cambió estos datos mientras Mivo estaba abierto. No se perdió "
                        "nada: se conservan ambas versiones.",
                  .de = "Ein anderes Programm hat diese Daten geändert, während Mivo lief. Nichts ging "
                        "verloren: beide Fassungen sind aufbewahrt.",
                  .fr = "Un autre programme a modifié ces données pendant que Mivo était ouvert. Rien "
                        "n'a été perdu : les deux versions sont conservées.",
                  .uk = "Інша програма змінила ці дані, поки працював Mivo. Нічого не втрачено: "
                        "обидві версії збережено.",
                  .pl = "Inny program zmienił te dane, gdy Mivo było uruchomione. Nic nie zostało "
                        "utracone: zachowano obie wersje."}));
    for (const DataNotice &n : notices)
        if (n.kind == DataNotice::Kind::otherProgramsValueInUse)
            lines
                << L::t({.en = "• %1: another program replaced this data while Mivo was running; its version "
                               "is in use (none of your changes were waiting to be saved)",
                         .es =
                             "• %1: otro programa reemplazó estos datos mientras Mivo estaba abierto; se usa "
                             "su versión (ninguno de tus cambios estaba pendiente de guardar)",
                         .de = "• %1: Ein anderes Programm hat diese Daten ersetzt, während Mivo lief; seine "
                               "Fassung wird verwendet (keine deiner Änderungen wartete aufs Speichern)",
                         .fr = "• %1 : un autre programme a remplacé ces données pendant que Mivo était "
                               "ouvert ; "
                               "sa version est utilisée (aucune de tes modifications n'attendait d'être "
                               "enregistrée)",
                         .uk =
                             "• %1: інша програма замінила ці дані, поки працював Mivo; використовується її "
                             "версія (жодна ваша зміна не чекала на збереження)",
                         .pl = "• %1: inny program zastąpił te dane, gdy Mivo było uruchomione; używana jest "
                               "jego wersja (żadna z twoich zmian nie czekała na zapis)"})
                       .arg(unreadableDataName(n.key));
    return lines;
}

// Changes the last quit could not write (another program held the database), written at this start.
QStringList savedAtStartLines(const std::vector<DataNotice> &notices) {
    QStringList lines;
    for (const DataNotice &n : notices) {
        if (n.kind != DataNotice::Kind::savedAtStart) continue;
        lines
            << L::t({.en = "The changes you made just before Mivo last quit could not be saved then, because "
                           "another program was using Mivo's data. They were kept in %1 and are saved now.",
                     .es = "Los cambios que hiciste justo antes de la última vez que se cerró Mivo no se "
                           "pudieron guardar entonces, porque otro programa estaba usando los datos de Mivo. "
                           "Se conservaron en %1 y ya están guardados.",
                     .de = "Die Änderungen kurz vor dem letzten Beenden von Mivo konnten damals nicht "
                           "gespeichert werden, weil ein anderes Programm die Daten von Mivo verwendete. Sie "
                           "wurden in %1 aufbewahrt und sind jetzt gespeichert.",
                     .fr = "Les modifications faites juste avant la dernière fermeture de Mivo n'ont pas pu "
                           "être enregistrées alors, car un autre programme utilisait les données de Mivo. "
                           "Elles ont été conservées dans %1 et sont enregistrées maintenant.",
                     .uk = "Зміни, зроблені перед останнім виходом з Mivo, тоді не вдалося зберегти, бо інша "
                           "програма використовувала дані Mivo. Їх було збережено в %1, і тепер вони "
                           "записані.",
                     .pl = "Zmian wprowadzonych tuż przed ostatnim zamknięciem Mivo nie udało się wtedy "
                           "zapisać, bo inny program używał danych Mivo. Zachowano je w %1 i teraz są "
                           "zapisane."})
                   .arg(n.keptAs);
        break; // one run's changes: one line
    }
    return lines;
}
} // namespace

Dialogs::Alert unreadableDataAlert(const std::vector<DataNotice> &notices) {
    Dialogs::Alert a;
    a.warning = true;
    std::vector<DataNotice> unreadable;
    for (const DataNotice &n : notices)
        if (n.kind == DataNotice::Kind::unreadable) unreadable.push_back(n);
    const QStringList changed = changedElsewhereLines(notices);
    const QStringList saved = savedAtStartLines(notices);
    if (unreadable.empty() && changed.isEmpty()) {
        a.title = L::t({.en = "Your last changes are saved",
                        .es = "Tus últimos cambios están guardados",
                        .de = "Deine letzten Änderungen sind gespeichert",
                        .fr = "Tes dernières modifications sont enregistrées",
                        .uk = "Ваші останні зміни збережено",
                        .pl = "Twoje ostatnie zmiany są zapisane"});
        a.text = saved.join(QLatin1Char('\n'));
        return a;
    }
    if (unreadable.empty()) {
        a.title = L::t({.en = "Some of your data was changed by another program",
                        .es = "Otro programa cambió algunos de tus datos",
                        .de = "Ein anderes Programm hat einige deiner Daten geändert",
                        .fr = "Un autre programme a modifié certaines de tes données",
                        .uk = "Інша програма змінила деякі ваші дані",
                        .pl = "Inny program zmienił część twoich danych"});
        a.text =
            (saved.isEmpty() ? changed : changed + QStringList{QString()} + saved).join(QLatin1Char('\n'));
        return a;
    }
    a.title = L::t({.en = "Some of your data could not be read",
                    .es = "Algunos de tus datos no se pudieron leer",
                    .de = "Einige deiner Daten konnten nicht gelesen werden",
                    .fr = "Certaines de tes données n'ont pas pu être lues",
                    .uk = "Деякі ваші дані не вдалося прочитати",
                    .pl = "Nie udało się odczytać części danych"});
    QStringList lines;
    lines << L::t({.en = "Mivo kept an untouched copy and started without it:",
                   .es = "Mivo guardó una copia intacta y empezó sin ellos:",
                   .de = "Mivo hat eine unveränderte Kopie aufbewahrt und ohne sie gestartet:",
                   .fr = "Mivo en a gardé une copie intacte et a démarré sans elles :",
                   .uk = "Mivo зберіг незмінну копію і запустився без них:",
                   .pl = "Mivo zachowało nienaruszoną kopię i uruchomiło się bez nich:"});
    for (const DataNotice &n : unreadable) {
        if (n.key.isEmpty())
            lines << L::t({.en = "• %1: copy kept as %2",
                           .es = "• %1: copia guardada como %2",
                           .de = "• %1: Kopie aufbewahrt als %2",
                           .fr = "• %1 : copie conservée sous %2",
                           .uk = "• %1: копію збережено як %2",
                           .pl = "• %1: kopię zachowano jako %2"})
                         .arg(unreadableDataName(n.key), n.keptAs);
        else
            lines << L::t({.en = "• %1: copy kept as “%2” in %3",
                           .es = "• %1: copia guardada como «%2» en %3",
                           .de = "• %1: Kopie als „%2“ in %3 aufbewahrt",
                           .fr = "• %1 : copie conservée sous « %2 » dans %3",
                           .uk = "• %1: копію збережено як «%2» у %3",
                           .pl = "• %1: kopię zachowano jako „%2” w %3"})
                         .arg(unreadableDataName(n.key), n.keptAs, n.database);
    }
    if (!changed.isEmpty()) lines << QString() << changed;
    if (!saved.isEmpty()) lines << QString() << saved;
    a.text = lines.join(QLatin1Char('\n'));
    return a;
}

DataNoticePresenter::DataNoticePresenter(QWidget *window, QObject *parent)
    : QObject(parent), window_(window) {
    connect(&DataNotices::get(), &DataNotices::added, this, &DataNoticePresenter::schedule);
    // What was found before we existed (the database, the stores created at launch).
    if (DataNotices::get().hasPending()) schedule();
}

void DataNoticePresenter::schedule() {
    if (scheduled_ || stopped_) return;
    scheduled_ = true;
    QTimer::singleShot(0, this, &DataNoticePresenter::showPending);
}

void DataNoticePresenter::stop() {
    stopped_ = true;
    disconnect(&DataNotices::get(), nullptr, this, nullptr);
}

void DataNoticePresenter::showPending() {
    if (stopped_) return; // kept for the next start
    // What the stores still loading find belongs in the same alert.
    if (StoreLoader::get().loading()) {
        StoreLoader::get().whenIdle(this, [this] { showPending(); });
        return;
    }
    scheduled_ = false;
    const std::vector<DataNotice> notices = DataNotices::get().take();
    if (notices.empty()) return;
    Dialogs::get().alert(window_, unreadableDataAlert(notices));
}

Dialogs::Alert SaveWaitNotice::alert(const QString &databasePath) {
    Dialogs::Alert a;
    a.title = L::t({.en = "Saving is waiting for another program",
                    .es = "El guardado espera a otro programa",
                    .de = "Speichern wartet auf ein anderes Programm",
                    .fr = "L'enregistrement attend un autre programme",
                    .uk = "Збереження чекає на іншу програму",
                    .pl = "Zapis czeka na inny program"});
    a.text =
        L::t({.en =
                  "Another program is using Mivo's data; your changes are kept and will be saved as soon as "
                  "it lets go. You can keep working.",
              .es = "Otro programa está usando los datos de Mivo; tus cambios se conservan y se guardarán en "
                    "cuanto los suelte. Puedes seguir trabajando.",
              .de = "Ein anderes Programm verwendet gerade die Daten von Mivo; deine Änderungen bleiben "
                    "erhalten und werden gespeichert, sobald es sie freigibt. Du kannst weiterarbeiten.",
              .fr = "Un autre programme utilise les données de Mivo ; tes modifications sont conservées et "
                    "seront enregistrées dès qu'il les libérera. Tu peux continuer à travailler.",
              .uk = "Інша програма зараз використовує дані Mivo; ваші зміни не втрачено, їх буде збережено, "
                    "щойно та програма звільнить дані. Можна працювати далі.",
              .pl = "Inny program używa danych Mivo; twoje zmiany są zachowane i zostaną zapisane, gdy tylko "
                    "je zwolni. Możesz dalej pracować."}) +
        QStringLiteral("\n\n") + databasePath;
    return a;
}

SaveWaitNotice::SaveWaitNotice(Prefs &prefs, QWidget *window, QObject *parent)
    : QObject(parent), prefs_(prefs), window_(window) {
    connect(&prefs, &Prefs::saveWaiting, this, &SaveWaitNotice::update);
    // Waiting from the start (the database was locked when Mivo opened it): told once the loop runs.
    if (prefs.isSaveWaiting()) QTimer::singleShot(0, this, [this] { update(prefs_.isSaveWaiting()); });
}

SaveWaitNotice::~SaveWaitNotice() {
    delete dialog_;
}

QWidget *SaveWaitNotice::shown() const {
    return dialog_ && dialog_->isVisible() ? dialog_.data() : nullptr;
}

void SaveWaitNotice::stop() {
    stopped_ = true;
    if (dialog_) dialog_->hide(); // no event loop may run to delete it later
    update(false);
}

void SaveWaitNotice::update(bool waiting) {
    if (!waiting || stopped_) {
        if (dialog_) dialog_->deleteLater();
        dialog_ = nullptr;
        return;
    }
    if (dialog_) return;
    Dialogs::Alert a = alert(prefs_.path());
    a.warning = true;
    auto *d = new AlertDialog(a, window_);
    d->setObjectName(QStringLiteral("saveWaitNotice"));
    d->setWindowModality(Qt::NonModal);
    d->setAttribute(Qt::WA_ShowWithoutActivating);
    connect(d, &QDialog::finished, d, &QObject::deleteLater);
    dialog_ = d;
    d->show();
}
