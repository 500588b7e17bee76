#include "app/DataNoticeAlert.h"

#include "platform/AtomicFile.h"
#include "platform/Background.h"
#include "platform/Keys.h"
#include "platform/StoreLoader.h"
#include "ui/AlertDialog.h"
#include "ui/CommonAlerts.h"
#include "ui/Lang.h"
#include "ui/Page.h"
#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <optional>
#include <sys/stat.h>

namespace {
// What the user calls the data of a store's key; nothing for a key of no store (a setting).
std::optional<QString> storeDataName(const QString &key) {
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
    for (const Name &n : names)
        if (key == QLatin1String(n.key)) return L::t(n.name);
    return std::nullopt;
}
} // namespace

QString unreadableDataName(const QString &key) {
    if (key.isEmpty())
        return L::t({.en = "All settings and data (the database)",
                     .es = "Todos los ajustes y datos (la base de datos)",
                     .de = "Alle Einstellungen und Daten (die Datenbank)",
                     .fr = "Tous les réglages et données (la base de données)",
                     .uk = "Усі налаштування та дані (база даних)",
                     .pl = "Wszystkie ustawienia i dane (baza danych)"});
    if (auto name = storeDataName(key)) return *name;
    return QStringLiteral("“%1”").arg(key); // a store added later still gets a line of its own
}

namespace {
// When the copy a notice names was made, in the current language's short form, from the stamp its
// name carries; empty when it has none.
QDateTime keptAt(const DataNotice &n) {
    const qsizetype at = n.keptAs.lastIndexOf(QLatin1String(".unreadable-"));
    if (at < 0) return {};
    return QDateTime::fromString(n.keptAs.mid(at + 12, 15), QStringLiteral("yyyyMMdd-HHmmss"));
}

QString keptWhen(const DataNotice &n) {
    const QDateTime made = keptAt(n);
    if (!made.isValid()) return {};
    return QLocale(AppLangs::regionLocaleId(L::lang())).toString(made, QLocale::ShortFormat);
}

// The data a notice is about, with when its copy was made: "Notes (09/12/2026 19:04)".
QString subject(const DataNotice &n) {
    const QString when = keptWhen(n);
    const QString name = unreadableDataName(n.key);
    return when.isEmpty() ? name : QStringLiteral("%1 (%2)").arg(name, when);
}

// What another program changed while Mivo ran, and which version is kept as a copy.
QStringList changedElsewhereLines(const std::vector<DataNotice> &notices) {
    QStringList lines;
    bool partly = false;
    for (const DataNotice &n : notices) {
        if (n.kind == DataNotice::Kind::otherProgramsValueKept)
            lines
                << L::t({.en = "• %1: your version is in use; the other program's version is kept as a copy "
                               "with Mivo's data",
                         .es = "• %1: se usa tu versión; la versión del otro programa se guardó como copia "
                               "con los datos de Mivo",
                         .de =
                             "• %1: deine Fassung wird verwendet; die Fassung des anderen Programms ist als "
                             "Kopie bei den Daten von Mivo aufbewahrt",
                         .fr = "• %1 : ta version est utilisée ; celle de l'autre programme est conservée en "
                               "copie avec les données de Mivo",
                         .uk = "• %1: використовується ваша версія; версію іншої програми збережено як копію "
                               "разом із даними Mivo",
                         .pl = "• %1: używana jest twoja wersja; wersję innego programu zachowano jako kopię "
                               "razem z danymi Mivo"})
                       .arg(subject(n));
        else if (n.kind == DataNotice::Kind::ownChangesKept)
            lines << L::t({.en =
                               "• %1: the other program's version is in use; your version, with your latest "
                               "changes, is kept as a copy with Mivo's data",
                           .es = "• %1: se usa la versión del otro programa; tu versión, con tus últimos "
                                 "cambios, se guardó como copia con los datos de Mivo",
                           .de = "• %1: die Fassung des anderen Programms wird verwendet; deine Fassung mit "
                                 "deinen letzten Änderungen ist als Kopie bei den Daten von Mivo aufbewahrt",
                           .fr = "• %1 : la version de l'autre programme est utilisée ; ta version, avec tes "
                                 "dernières modifications, est conservée en copie avec les données de Mivo",
                           .uk = "• %1: використовується версія іншої програми; вашу версію з останніми "
                                 "змінами збережено як копію разом із даними Mivo",
                           .pl = "• %1: używana jest wersja innego programu; twoją wersję z ostatnimi "
                                 "zmianami zachowano jako kopię razem z danymi Mivo"})
                         .arg(subject(n));
        else if (n.kind == DataNotice::Kind::ownChangedRecordsKept) {
            partly = true;
            lines << L::t(
                         {.en = "• %1: the other program's version is in use; only what you changed since "
                                "your last save is kept as a copy with Mivo's data (the rest of your version "
                                "was replaced by the other program's)",
                          .es = "• %1: se usa la versión del otro programa; solo lo que cambiaste desde tu "
                                "último guardado se guardó como copia con los datos de Mivo (el resto de tu "
                                "versión fue reemplazado por la del otro programa)",
                          .de = "• %1: die Fassung des anderen Programms wird verwendet; nur was du seit "
                                "dem letzten Speichern geändert hast, ist als Kopie bei den Daten von Mivo "
                                "aufbewahrt (der Rest deiner Fassung wurde durch die des anderen Programms "
                                "ersetzt)",
                          .fr = "• %1 : la version de l'autre programme est utilisée ; seul ce que tu as "
                                "modifié depuis ton dernier enregistrement est conservé en copie avec les "
                                "données de Mivo (le reste de ta version a été remplacé par celle de l'autre "
                                "programme)",
                          .uk = "• %1: використовується версія іншої програми; як копію разом із даними "
                                "Mivo збережено лише те, що ви змінили після останнього збереження (решту "
                                "вашої версії замінила версія іншої програми)",
                          .pl = "• %1: używana jest wersja innego programu; jako kopię razem z danymi Mivo "
                                "zachowano tylko to, co zmieniłeś od ostatniego zapisu (resztę twojej wersji "
                                "zastąpiła wersja innego programu)"})
                         .arg(subject(n));
        }
    }
    // Only when something was kept: a value another program put in place of ours, with nothing of
    // the user's waiting, has no second version.
    if (!lines.isEmpty())
        lines.prepend(partly
                          ? L::t({.en = "Another program changed this data while Mivo was running.",
                                  .es = "Otro programa cambió estos datos mientras Mivo estaba abierto.",
                                  .de = "Ein anderes Programm hat diese Daten geändert, während Mivo lief.",
                                  .fr = "Un autre programme a modifié ces données pendant que Mivo était "
                                        "ouvert.",
                                  .uk = "Інша програма змінила ці дані, поки працював Mivo.",
                                  .pl = "Inny program zmienił te dane, gdy Mivo było uruchomione."})
                          : L::t({.en = "Another program changed this data while Mivo was running. Nothing "
                                        "was lost: both versions are kept.",
                                  .es = "Otro programa cambió estos datos mientras Mivo estaba abierto. No "
                                        "se perdió nada: se conservan ambas versiones.",
                                  .de = "Ein anderes Programm hat diese Daten geändert, während Mivo lief. "
                                        "Nichts ging verloren: beide Fassungen sind aufbewahrt.",
                                  .fr = "Un autre programme a modifié ces données pendant que Mivo était "
                                        "ouvert. Rien n'a été perdu : les deux versions sont conservées.",
                                  .uk = "Інша програма змінила ці дані, поки працював Mivo. Нічого не "
                                        "втрачено: обидві версії збережено.",
                                  .pl = "Inny program zmienił te dane, gdy Mivo było uruchomione. Nic nie "
                                        "zostało utracone: zachowano obie wersje."}));
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

// When a file Mivo kept beside its data was written: it keeps that time when it is set aside.
std::optional<QDateTime> writtenAt(const QString &path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return std::nullopt;
    return QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec);
}

QString dayAndTime(const QDateTime &at) {
    const AppLang lang = L::lang();
    return L::weekdayDayMonth(at.date(), lang) + QStringLiteral(", ") +
           QLocale(AppLangs::regionLocaleId(lang)).toString(at.time(), QLocale::ShortFormat);
}

// The pages whose changes a damaged file seemed to hold, as " (Notes, Settings)"; empty when none
// could be made out. Any key of no store is a setting.
QString seemedToHold(const QStringList &keys) {
    QStringList names;
    for (const QString &key : keys) {
        const QString name = storeDataName(key).value_or(L::t({.en = "Settings",
                                                               .es = "Ajustes",
                                                               .de = "Einstellungen",
                                                               .fr = "Réglages",
                                                               .uk = "Налаштування",
                                                               .pl = "Ustawienia"}));
        if (!names.contains(name)) names << name;
    }
    return names.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(names.join(QStringLiteral(", ")));
}

// Files of Mivo's own beside the database that were not whole at this start: nothing of them was
// taken, and each is kept where the user can find it, named by what it held and when.
QStringList sideFileLines(const std::vector<DataNotice> &notices) {
    QStringList lines;
    for (const DataNotice &n : notices) {
        if (n.kind == DataNotice::Kind::unsavedUnreadable) {
            const QString what = seemedToHold(n.held);
            if (const auto at = writtenAt(n.keptAs))
                lines
                    << L::t(
                           {.en =
                                "The changes you made%3 before Mivo quit on %1 could not be saved then. The "
                                "file that kept them could not be read back safely, so none of them were "
                                "applied; it is kept as %2.",
                            .es =
                                "Los cambios%3 que hiciste antes de que Mivo se cerrara el %1 no se pudieron "
                                "guardar entonces. El archivo que los conservaba no se pudo leer de forma "
                                "segura, así que no se aplicó ninguno; se conserva como %2.",
                            .de = "Die Änderungen%3, die du vor dem Beenden von Mivo am %1 gemacht hast, "
                                  "konnten damals nicht gespeichert werden. Die Datei, die sie aufbewahrte, "
                                  "ließ sich nicht sicher lesen, daher wurde keine davon übernommen; sie ist "
                                  "als %2 aufbewahrt.",
                            .fr = "Les modifications faites%3 avant la fermeture de Mivo le %1 n'ont pas pu "
                                  "être enregistrées alors. Le fichier qui les conservait n'a pas pu être "
                                  "relu de façon sûre : aucune n'a donc été appliquée ; il est conservé sous "
                                  "%2.",
                            .uk = "Зміни%3, зроблені перед виходом з Mivo (%1), тоді не вдалося зберегти. "
                                  "Файл, у якому їх було збережено, не вдалося надійно прочитати, тому "
                                  "жодну з них не застосовано; його збережено як %2.",
                            .pl = "Zmian%3 wprowadzonych przed zamknięciem Mivo (%1) nie udało się wtedy "
                                  "zapisać. Pliku, w którym je zachowano, nie udało się bezpiecznie "
                                  "odczytać, więc żadnej z nich nie zastosowano; zachowano go jako %2."})
                           .arg(dayAndTime(*at), n.keptAs, what);
            else
                lines
                    << L::t(
                           {.en = "The changes you made%2 before Mivo last quit could not be saved then. The "
                                  "file that kept them could not be read back safely, so none of them were "
                                  "applied; it is kept as %1.",
                            .es = "Los cambios%2 que hiciste antes del último cierre de Mivo no se pudieron "
                                  "guardar entonces. El archivo que los conservaba no se pudo leer de forma "
                                  "segura, así que no se aplicó ninguno; se conserva como %1.",
                            .de = "Die Änderungen%2, die du vor dem letzten Beenden von Mivo gemacht hast, "
                                  "konnten damals nicht gespeichert werden. Die Datei, die sie aufbewahrte, "
                                  "ließ sich nicht sicher lesen, daher wurde keine davon übernommen; sie ist "
                                  "als %1 aufbewahrt.",
                            .fr = "Les modifications faites%2 avant la dernière fermeture de Mivo n'ont pas "
                                  "pu être enregistrées alors. Le fichier qui les conservait n'a pas pu être "
                                  "relu de façon sûre : aucune n'a donc été appliquée ; il est conservé sous "
                                  "%1.",
                            .uk = "Зміни%2, зроблені перед останнім виходом з Mivo, тоді не вдалося "
                                  "зберегти. Файл, у якому їх було збережено, не вдалося надійно прочитати, "
                                  "тому жодну з них не застосовано; його збережено як %1.",
                            .pl = "Zmian%2 wprowadzonych przed ostatnim zamknięciem Mivo nie udało się wtedy "
                                  "zapisać. Pliku, w którym je zachowano, nie udało się bezpiecznie "
                                  "odczytać, więc żadnej z nich nie zastosowano; zachowano go jako %1."})
                           .arg(n.keptAs, what);
        } else if (n.kind == DataNotice::Kind::noticesUnreadable) {
            lines
                << L::t({.en = "Mivo had messages for you from its last run (about copies of your data it "
                               "kept), but the file that held them could not be read back safely. It is kept "
                               "as %1.",
                         .es = "Mivo tenía mensajes para ti de su última ejecución (sobre copias de tus "
                               "datos que guardó), pero el archivo que los contenía no se pudo leer de forma "
                               "segura. Se conserva como %1.",
                         .de = "Mivo hatte Meldungen aus seinem letzten Lauf für dich (über Kopien deiner "
                               "Daten, die es aufbewahrt hat), aber die Datei mit diesen Meldungen ließ sich "
                               "nicht sicher lesen. Sie ist als %1 aufbewahrt.",
                         .fr =
                             "Mivo avait des messages pour toi de sa dernière exécution (sur des copies "
                             "de tes données qu'il a conservées), mais le fichier qui les contenait n'a pas "
                             "pu être relu de façon sûre. Il est conservé sous %1.",
                         .uk = "Mivo мав для вас повідомлення з попереднього запуску (про копії ваших "
                               "даних, які він зберіг), але файл із ними не вдалося надійно прочитати. Його "
                               "збережено як %1.",
                         .pl = "Mivo miało dla ciebie komunikaty z poprzedniego uruchomienia (o kopiach "
                               "twoich danych, które zachowało), ale pliku z nimi nie udało się bezpiecznie "
                               "odczytać. Zachowano go jako %1."})
                       .arg(n.keptAs);
        }
    }
    return lines;
}

// Changes the last quit could neither write nor keep: the user must look for them. An edit named by
// the page that keeps it (the note's title, when it was saved) gets a line of its own.
QStringList lostAtQuitLines(const std::vector<DataNotice> &notices) {
    QStringList lines;
    for (const DataNotice &n : notices) {
        if (n.kind != DataNotice::Kind::editLostAtQuit) continue;
        const QString when = n.at.isValid() ? dayAndTime(n.at.toLocalTime()) : QString();
        lines
            << L::t(
                   {.en = "• %1, “%2”: the edit you saved on %3, just before Mivo quit, could not be written "
                          "in time and is lost; the note is as it was before that edit.",
                    .es = "• %1, «%2»: la edición que guardaste el %3, justo antes de que Mivo se cerrara, "
                          "no se pudo escribir a tiempo y se perdió; la nota está como antes de esa edición.",
                    .de = "• %1, „%2“: Die Änderung, die du am %3 kurz vor dem Beenden von Mivo gespeichert "
                          "hast, konnte nicht rechtzeitig geschrieben werden und ist verloren; die Notiz ist "
                          "wie vor dieser Änderung.",
                    .fr = "• %1, « %2 » : la modification enregistrée le %3, juste avant la fermeture de "
                          "Mivo, n'a pas pu être écrite à temps et est perdue ; la note est telle qu'avant "
                          "cette modification.",
                    .uk = "• %1, «%2»: зміну, збережену %3 безпосередньо перед виходом з Mivo, не вдалося "
                          "вчасно записати, і її втрачено; нотатка така, як була до цієї зміни.",
                    .pl = "• %1, „%2”: zmiany zapisanej %3, tuż przed zamknięciem Mivo, nie udało się "
                          "zapisać na czas i przepadła; notatka jest taka, jak przed tą zmianą."})
                   .arg(unreadableDataName(n.key), n.what, when);
    }
    for (const DataNotice &n : notices)
        if (n.kind == DataNotice::Kind::lostAtQuit)
            return lines + QStringList{L::t(
                               {.en = "The changes you made just before Mivo last quit could not be saved, "
                                      "nor kept for later "
                                      "(the disk may have been full, or Mivo was stopped before it was "
                                      "done). Check your "
                                      "latest entries and make them again if they are missing.",
                                .es = "Los cambios que hiciste justo antes de la última vez que se cerró "
                                      "Mivo no se pudieron "
                                      "guardar ni conservar para más tarde (puede que el disco estuviera "
                                      "lleno o que Mivo se "
                                      "detuviera antes de terminar). Revisa tus últimas entradas y vuelve a "
                                      "hacerlas si "
                                      "faltan.",
                                .de = "Die Änderungen kurz vor dem letzten Beenden von Mivo konnten weder "
                                      "gespeichert noch "
                                      "für später aufbewahrt werden (vielleicht war die Festplatte voll, "
                                      "oder Mivo wurde "
                                      "beendet, bevor es fertig war). Prüfe deine letzten Einträge und gib "
                                      "sie erneut ein, "
                                      "falls sie fehlen.",
                                .fr = "Les modifications faites juste avant la dernière fermeture de Mivo "
                                      "n'ont pu être ni "
                                      "enregistrées ni conservées pour plus tard (le disque était peut-être "
                                      "plein, ou Mivo a "
                                      "été arrêté avant d'avoir fini). Vérifie tes dernières saisies et "
                                      "refais-les si elles "
                                      "manquent.",
                                .uk = "Зміни, зроблені перед останнім виходом з Mivo, не вдалося ні "
                                      "зберегти, ні відкласти на "
                                      "потім (можливо, диск був заповнений або Mivo зупинили раніше, ніж він "
                                      "завершив). "
                                      "Перевірте останні записи і внесіть їх знову, якщо їх немає.",
                                .pl = "Zmian wprowadzonych tuż przed ostatnim zamknięciem Mivo nie udało się "
                                      "ani zapisać, ani "
                                      "zachować na później (dysk mógł być pełny albo Mivo zatrzymano, zanim "
                                      "skończyło). "
                                      "Sprawdź ostatnie wpisy i wprowadź je ponownie, jeśli ich brakuje."})};
    return lines;
}
} // namespace

namespace {
Dialogs::Alert noticesAlert(const std::vector<DataNotice> &notices) {
    Dialogs::Alert a;
    a.warning = true;
    std::vector<DataNotice> unreadable;
    for (const DataNotice &n : notices)
        if (n.kind == DataNotice::Kind::unreadable) unreadable.push_back(n);
    const QStringList changed = changedElsewhereLines(notices);
    const QStringList lost = lostAtQuitLines(notices);
    const QStringList saved = savedAtStartLines(notices);
    const QStringList sideFiles = sideFileLines(notices);
    if (unreadable.empty() && sideFiles.isEmpty() && changed.isEmpty() && !lost.isEmpty()) {
        a.title = L::t({.en = "Your last changes could not be saved",
                        .es = "No se pudieron guardar tus últimos cambios",
                        .de = "Deine letzten Änderungen konnten nicht gespeichert werden",
                        .fr = "Tes dernières modifications n'ont pas pu être enregistrées",
                        .uk = "Ваші останні зміни не вдалося зберегти",
                        .pl = "Nie udało się zapisać twoich ostatnich zmian"});
        a.text = (saved.isEmpty() ? lost : lost + QStringList{QString()} + saved).join(QLatin1Char('\n'));
        return a;
    }
    if (unreadable.empty() && sideFiles.isEmpty() && changed.isEmpty()) {
        a.title = L::t({.en = "Your last changes are saved",
                        .es = "Tus últimos cambios están guardados",
                        .de = "Deine letzten Änderungen sind gespeichert",
                        .fr = "Tes dernières modifications sont enregistrées",
                        .uk = "Ваші останні зміни збережено",
                        .pl = "Twoje ostatnie zmiany są zapisane"});
        a.text = saved.join(QLatin1Char('\n'));
        return a;
    }
    if (unreadable.empty() && sideFiles.isEmpty()) {
        a.title = L::t({.en = "Some of your data was changed by another program",
                        .es = "Otro programa cambió algunos de tus datos",
                        .de = "Ein anderes Programm hat einige deiner Daten geändert",
                        .fr = "Un autre programme a modifié certaines de tes données",
                        .uk = "Інша програма змінила деякі ваші дані",
                        .pl = "Inny program zmienił część twoich danych"});
        QStringList lines = changed;
        for (const QStringList &more : {lost, saved})
            if (!more.isEmpty()) lines << QString() << more;
        a.text = lines.join(QLatin1Char('\n'));
        return a;
    }
    a.title = L::t({.en = "Some of your data could not be read",
                    .es = "Algunos de tus datos no se pudieron leer",
                    .de = "Einige deiner Daten konnten nicht gelesen werden",
                    .fr = "Certaines de tes données n'ont pas pu être lues",
                    .uk = "Деякі ваші дані не вдалося прочитати",
                    .pl = "Nie udało się odczytać części danych"});
    QStringList lines;
    if (!unreadable.empty())
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
            lines << L::t({.en = "• %1: an untouched copy is kept with Mivo's data",
                           .es = "• %1: se guardó una copia intacta con los datos de Mivo",
                           .de = "• %1: eine unveränderte Kopie ist bei den Daten von Mivo aufbewahrt",
                           .fr = "• %1 : une copie intacte est conservée avec les données de Mivo",
                           .uk = "• %1: незмінну копію збережено разом із даними Mivo",
                           .pl = "• %1: nienaruszoną kopię zachowano razem z danymi Mivo"})
                         .arg(subject(n));
    }
    for (const QString &line : sideFiles)
        lines << QString() << line;
    if (!changed.isEmpty()) lines << QString() << changed;
    if (!lost.isEmpty()) lines << QString() << lost;
    if (!saved.isEmpty()) lines << QString() << saved;
    if (!lines.isEmpty() && lines.first().isEmpty()) lines.removeFirst();
    a.text = lines.join(QLatin1Char('\n'));
    return a;
}

// Whether the page of key imports a file in the form its document is stored in.
bool importsItsDocument(const QString &key) {
    for (const char *k : {kNotes, kTasks, kFinances, kExerciseLibrary})
        if (key == QLatin1String(k)) return true;
    return false;
}
} // namespace

std::vector<DataNotice> savableCopies(const std::vector<DataNotice> &notices) {
    std::vector<DataNotice> out;
    for (const DataNotice &n : notices)
        if ((n.kind == DataNotice::Kind::ownChangesKept ||
             n.kind == DataNotice::Kind::ownChangedRecordsKept ||
             n.kind == DataNotice::Kind::otherProgramsValueKept) &&
            !n.keptAs.isEmpty() && importsItsDocument(n.key))
            out.push_back(n);
    return out;
}

QString keptCopyFileName(const DataNotice &n) {
    QString name = L::t({.en = "%1 copy",
                         .es = "Copia de %1",
                         .de = "%1 – Kopie",
                         .fr = "Copie de %1",
                         .uk = "%1 — копія",
                         .pl = "%1 — kopia"})
                       .arg(unreadableDataName(n.key));
    // When the copy was made, as a date reads (and sorts), not the stamp of the key it is kept under;
    // to the second, and with its number when more were made in that second, so that two copies are
    // never offered the same file.
    if (const QDateTime made = keptAt(n); made.isValid()) {
        name += QLatin1Char(' ') + made.toString(QStringLiteral("yyyy-MM-dd HH.mm.ss"));
        const qsizetype more = n.keptAs.lastIndexOf(QLatin1String(".unreadable-")) + 12 + 15;
        if (n.keptAs.size() > more + 1 && n.keptAs.at(more) == QLatin1Char('-'))
            name += QStringLiteral(" (%1)").arg(n.keptAs.mid(more + 1));
    }
    name.replace(QLatin1Char('/'), QLatin1Char('-'));
    return name + QStringLiteral(".json");
}

namespace {
// What saving a copy is called: the alert's button (with "…") and the title of its save panel.
QString saveCopyLabel(const DataNotice &n) {
    return L::t({.en = "Save the %1 copy",
                 .es = "Guardar la copia de %1",
                 .de = "Kopie von %1 speichern",
                 .fr = "Enregistrer la copie de %1",
                 .uk = "Зберегти копію «%1»",
                 .pl = "Zapisz kopię: %1"})
        .arg(unreadableDataName(n.key));
}
} // namespace

Dialogs::Alert unreadableDataAlert(const std::vector<DataNotice> &notices) {
    Dialogs::Alert a = noticesAlert(notices);
    for (const DataNotice &n : notices)
        if (!n.keptAs.isEmpty() && a.text.contains(n.keptAs) && !a.paths.contains(n.keptAs)) a.paths << n.keptAs;
    const std::vector<DataNotice> copies = savableCopies(notices);
    if (copies.empty()) return a;
    a.text +=
        QStringLiteral("\n\n") +
        L::t({.en = "To take a copy back, save it as a file and open that file with Import on its page.",
              .es = "Para recuperar una copia, guárdala como archivo y abre ese archivo con Importar en "
                    "su página.",
              .de = "Um eine Kopie zurückzuholen, speichere sie als Datei und öffne diese Datei mit "
                    "Importieren auf ihrer Seite.",
              .fr = "Pour reprendre une copie, enregistre-la dans un fichier et ouvre ce fichier avec "
                    "Importer sur sa page.",
              .uk = "Щоб повернути копію, збережіть її як файл і відкрийте цей файл через Імпорт на її "
                    "сторінці.",
              .pl = "Aby odzyskać kopię, zapisz ją jako plik i otwórz ten plik przez Import na jej "
                    "stronie."});
    // Import replaces everything on its page: a copy of only the changed records would leave nothing
    // else there.
    if (std::any_of(copies.begin(), copies.end(),
                    [](const DataNotice &n) { return n.kind == DataNotice::Kind::ownChangedRecordsKept; }))
        a.text +=
            QLatin1Char(' ') +
            L::t({.en = "A copy that holds only what you changed replaces everything on its page when "
                        "imported: export the page first to keep what it shows now.",
                  .es = "Una copia que solo contiene lo que cambiaste reemplaza todo lo de su página al "
                        "importarla: exporta antes la página para conservar lo que muestra ahora.",
                  .de = "Eine Kopie, die nur deine Änderungen enthält, ersetzt beim Importieren alles auf "
                        "ihrer Seite: exportiere die Seite vorher, um zu behalten, was sie jetzt zeigt.",
                  .fr = "Une copie qui ne contient que tes modifications remplace tout le contenu de sa "
                        "page à l'import : exporte d'abord la page pour garder ce qu'elle affiche.",
                  .uk = "Копія, що містить лише ваші зміни, під час імпорту замінює все на своїй "
                        "сторінці: щоб зберегти те, що там є зараз, спершу експортуйте сторінку.",
                  .pl = "Kopia zawierająca tylko twoje zmiany zastępuje przy imporcie wszystko na swojej "
                        "stronie: najpierw wyeksportuj stronę, aby zachować to, co teraz pokazuje."});
    a.buttons << QStringLiteral("OK");
    for (const DataNotice &n : copies)
        a.buttons << saveCopyLabel(n) + QStringLiteral("…");
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
    // What the stores still loading find belongs in the same alert. Shown from the event loop after
    // the stores are in: the pages waiting for the same moment redraw first.
    if (StoreLoader::get().loading()) {
        StoreLoader::get().whenIdle(
            this, [this] { QTimer::singleShot(0, this, &DataNoticePresenter::showPending); });
        return;
    }
    if (waitForWindow()) return;
    scheduled_ = false;
    const std::vector<DataNotice> notices = DataNotices::get().take();
    if (notices.empty()) return;
    show(notices);
}

// A modal alert holds the redraws of the pages behind it until it is answered: shown over a window
// whose page has not drawn yet, it leaves that page blank. The alert waits for the page to be drawn
// and the window painted with it. A window that is not shown has nothing to draw first; behind
// another modal window the page cannot draw before it is answered anyway; and a page that still has
// not drawn after a few paints (held by a drag) is not waited for any longer.
bool DataNoticePresenter::waitForWindow() {
    constexpr int kMostPaints = 8;
    const QWindow *handle = window_ ? window_->windowHandle() : nullptr;
    if (!handle || !window_->isVisible() || window_->isMinimized() || !handle->isExposed() ||
        QApplication::activeModalWidget() || paintsWaited_ >= kMostPaints) {
        paintsWaited_ = 0;
        return false;
    }
    const auto pages = window_->findChildren<Page *>();
    const bool drawing = std::any_of(pages.begin(), pages.end(),
                                     [](const Page *p) { return p->isVisible() && p->rebuildPending(); });
    if (!drawing && painted_) {
        paintsWaited_ = 0;
        return false;
    }
    painted_ = false;
    ++paintsWaited_;
    if (!watching_) {
        watching_ = true;
        window_->installEventFilter(this);
    }
    window_->update();
    return true;
}

bool DataNoticePresenter::eventFilter(QObject *watched, QEvent *e) {
    // The window paints while it handles this event: the alert comes after it.
    if (watched == window_ && e->type() == QEvent::UpdateRequest && watching_) {
        watching_ = false;
        window_->removeEventFilter(this);
        QTimer::singleShot(0, this, [this] {
            painted_ = true;
            showPending();
        });
    }
    return QObject::eventFilter(watched, e);
}

void DataNoticePresenter::show(const std::vector<DataNotice> &notices) {
    if (stopped_) return;
    // Shown from the event loop, never from a page's handler: the pages draw behind it (a window
    // opened from the tray while it waits for its answer shows its page, not a blank one).
    const Page::OutsidePagesGuard outside;
    const int chosen = Dialogs::get().alert(window_, unreadableDataAlert(notices));
    const std::vector<DataNotice> copies = savableCopies(notices);
    if (chosen < 1 || chosen > int(copies.size())) return;
    const DataNotice &copy = copies[size_t(chosen - 1)];
    const QString path = Dialogs::get().savePath(window_, saveCopyLabel(copy), keptCopyFileName(copy),
                                                 {QStringLiteral("JSON (*.json)")});
    // Cancelled: the notice comes back, its copies still to be had.
    if (path.isEmpty()) return show(notices);
    const QString gone = L::t({.en = "the copy is no longer in Mivo's data.",
                               .es = "la copia ya no está en los datos de Mivo.",
                               .de = "die Kopie ist nicht mehr in den Daten von Mivo.",
                               .fr = "la copie n'est plus dans les données de Mivo.",
                               .uk = "копії більше немає в даних Mivo.",
                               .pl = "kopii nie ma już w danych Mivo."});
    // Read and written on a worker: a copy may be tens of megabytes.
    Background::run<AtomicFile::WriteResult>(
        this,
        [read = Prefs::get().readLater(copy.keptAs), path, gone] {
            const std::optional<Prefs::Value> v = read();
            const auto *bytes = v ? std::get_if<QByteArray>(&*v) : nullptr;
            if (!bytes) return AtomicFile::WriteResult{false, gone};
            return AtomicFile::write(path, *bytes);
        },
        [this, notices, more = copies.size() > 1](AtomicFile::WriteResult r) {
            if (!r.ok) alertExportFailed(window_, r.error);
            if (!r.ok || more) show(notices);
        });
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
    a.paths = {databasePath};
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
