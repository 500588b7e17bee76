// The settings page's actions: reset of the intervals, erase of all data, autostart, and the full
// backup and restore.
#include "app/DataNoticeAlert.h"
#include "health/HealthManager.h"
#include "notes/NoteStore.h"
#include "platform/AtomicFile.h"
#include "platform/Background.h"
#include "platform/Dialogs.h"
#include "platform/ImportFile.h"
#include "platform/Keys.h"
#include "platform/Prefs.h"
#include "pomodoro/PomodoroTimer.h"
#include "settings/Autostart.h"
#include "settings/Backup.h"
#include "settings/SettingsView.h"
#include "ui/CommonAlerts.h"
#include "ui/Lang.h"
#include "ui/Theme.h"
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

namespace {
QString ok() { return QStringLiteral("OK"); }

void importFailed(QWidget *parent, const QString &why = {}) {
    Dialogs::Alert a;
    a.title = L::t({.en = "Import failed", .es = "Importación fallida", .de = "Import fehlgeschlagen",
                    .fr = "Importation échouée", .uk = "Помилка імпорту", .pl = "Import nieudany"});
    a.text = why.isEmpty() ? QStringLiteral("Could not read the file. Make sure it is a valid Mivo JSON backup.") : why;
    a.buttons = {ok()};
    a.warning = true;
    Dialogs::get().alert(parent, a);
}

// The backup's own words for a failed write; the other exports share alertExportFailed's.
void backupWriteFailed(QWidget *parent, const QString &error) {
    Dialogs::Alert a;
    a.title = L::t({.en = "Export failed", .es = "Export fallido", .de = "Export fehlgeschlagen",
                    .fr = "Exportation échouée", .uk = "Помилка експорту", .pl = "Eksport nieudany"});
    a.text = L::t({.en = "Could not write file:", .es = "No se pudo escribir el archivo:",
                   .de = "Datei konnte nicht geschrieben werden:", .fr = "Impossible d'écrire le fichier :",
                   .uk = "Не вдалося записати файл:", .pl = "Nie można zapisać pliku:"}) +
             QLatin1Char(' ') + error;
    a.buttons = {ok()};
    a.warning = true;
    Dialogs::get().alert(parent, a);
}
// The file was good but the database did not take it (another program holds it, the disk is full):
// nothing changed, and the user is told why.
void restoreFailed(QWidget *parent, const QString &reason) {
    Dialogs::Alert a;
    a.title = L::t({.en = "Import failed", .es = "Importación fallida", .de = "Import fehlgeschlagen",
                    .fr = "Importation échouée", .uk = "Помилка імпорту", .pl = "Import nieudany"});
    a.text = L::t({.en = "The backup could not be restored; your current data is unchanged:",
                   .es = "No se pudo restaurar la copia de seguridad; tus datos actuales no han cambiado:",
                   .de = "Die Sicherung konnte nicht wiederhergestellt werden; deine aktuellen Daten sind "
                         "unverändert:",
                   .fr = "La sauvegarde n'a pas pu être restaurée ; tes données actuelles sont inchangées :",
                   .uk = "Не вдалося відновити резервну копію; ваші поточні дані не змінено:",
                   .pl = "Nie udało się przywrócić kopii zapasowej; twoje obecne dane się nie zmieniły:"}) +
             QLatin1Char(' ') + reason;
    a.buttons = {ok()};
    a.warning = true;
    Dialogs::get().alert(parent, a);
}
} // namespace

void SettingsView::setAutostart(bool on) { Autostart::set(on, QCoreApplication::applicationFilePath()); }

void SettingsView::prepareAtLaunch() {
    const QString exe = QCoreApplication::applicationFilePath();
    // Autostart starts the Mivo the user runs: the installed one, or a build folder's.
    Autostart::followExecutable(exe);
    Autostart::applyFirstStartDefault(Prefs::get(), exe);
}

void SettingsView::resetTimerDefaults() {
    Dialogs::Alert q;
    q.title = L::t({.en = "Reset notification timers?", .es = "¿Restablecer temporizadores?", .de = "Timer zurücksetzen?",
                    .fr = "Réinitialiser les minuteurs ?", .uk = "Скинути таймери сповіщень?",
                    .pl = "Zresetować timery powiadomień?"});
    // Every language says what really happens: the timer starts a fresh focus phase.
    q.text = L::t({.en = "All reminder intervals will be reset to their default values. The timer restarts with a new focus phase.",
                   .es = "Todos los intervalos de recordatorio se restablecerán a sus valores predeterminados. "
                         "El temporizador se reinicia con una nueva fase de concentración.",
                   .de = "Alle Erinnerungsintervalle werden auf Standardwerte zurückgesetzt. "
                         "Der Timer beginnt neu mit einer neuen Fokusphase.",
                   .fr = "Tous les intervalles de rappel seront réinitialisés à leurs valeurs par défaut. "
                         "Le minuteur redémarre avec une nouvelle phase de concentration.",
                   .uk = "Всі інтервали нагадувань буде скинуто до значень за замовчуванням. "
                         "Таймер почне нову фазу фокусування.",
                   .pl = "Wszystkie interwały przypomnień zostaną zresetowane do wartości domyślnych. "
                         "Timer zacznie od nowa z nową fazą skupienia."});
    q.buttons = {L::t({.en = "Reset", .es = "Restablecer", .de = "Zurücksetzen", .fr = "Réinitialiser", .uk = "Скинути",
                       .pl = "Resetuj"}),
                 cancelTitle()};
    if (Dialogs::get().alert(window(), q) != 0) return;
    Prefs &p = Prefs::get();
    HealthManager &h = HealthManager::shared();
    const auto reminders = h.list();
    for (const HReminder &r : reminders) p.remove(r.key);
    for (const char *k : {kWorkMins, kBreakMins, kLongBreakMins, kCyclesBeforeLong}) p.remove(QLatin1String(k));
    PomodoroTimer::shared().applyNewSettings();
    for (const HReminder &r : reminders) {
        p.setDouble(r.key, r.defaultMins);
        h.restart(r, 0);
    }
    requestRebuild();
}

void SettingsView::eraseAllData() {
    Dialogs::Alert q;
    q.title = L::t({.en = "⚠️  Erase all data?", .es = "⚠️  ¿Borrar todos los datos?", .de = "⚠️  Alle Daten löschen?",
                    .fr = "⚠️  Effacer toutes les données ?", .uk = "⚠️  Стерти всі дані?", .pl = "⚠️  Usunąć wszystkie dane?"});
    q.text = L::t({.en = "This will permanently delete ALL tasks, finances, exercises, reminders and settings.",
                   .es = "Eliminará permanentemente todos los datos.", .de = "Löscht dauerhaft alle Daten und Einstellungen.",
                   .fr = "Supprimera définitivement toutes les données.",
                   .uk = "Це назавжди видалить УСІ завдання, фінанси, вправи, нагадування та налаштування.",
                   .pl = "Spowoduje to trwałe usunięcie WSZYSTKICH zadań, finansów, ćwiczeń, przypomnień i ustawień."});
    q.buttons = {L::t({.en = "Erase Everything", .es = "Borrar todo", .de = "Alles löschen", .fr = "Tout effacer",
                       .uk = "Стерти все", .pl = "Wymaż wszystko"}),
                 cancelTitle()};
    q.firstButtonTint = QColor::fromRgbF(1.0f, 0.35f, 0.35f);
    if (Dialogs::get().alert(window(), q) != 0) return;
    Prefs &p = Prefs::get();
    if (p.isReplacing()) return; // a restore or an erase is already under way
    // The database may be held by another program for a while: the window stays responsive while
    // the writer tries, and the answer comes back here.
    // The keys of the language, the theme and the scale go with the rest: the last alert keeps the look
    // of the session it ends.
    p.replaceLater({}, this, [this, look = VF::look()](bool erased, const QString &error) {
        if (!erased) return eraseFailed(error);
        Prefs::get().setFrozen(true);
        const VF::HeldLook held(look);
        Dialogs::Alert done;
        done.title = L::t({.en = "Data erased", .es = "Datos borrados", .de = "Daten gelöscht", .fr = "Données effacées",
                           .uk = "Дані видалено", .pl = "Dane usunięte"});
        done.text = QStringLiteral("All data has been deleted. The app will now quit.");
        done.buttons = {ok()};
        Dialogs::get().alert(window(), done);
        quitAfterReplacingData();
    });
}

// The data is still on disk: never say it is gone.
void SettingsView::eraseFailed(const QString &error) {
    Dialogs::Alert failed;
    failed.title = L::t({.en = "Data not erased",
                         .es = "Datos no borrados",
                         .de = "Daten nicht gelöscht",
                         .fr = "Données non effacées",
                         .uk = "Дані не видалено",
                         .pl = "Dane nie zostały usunięte"});
    failed.text = L::t({.en = "Your data could not be deleted:",
                        .es = "No se pudieron borrar tus datos:",
                        .de = "Deine Daten konnten nicht gelöscht werden:",
                        .fr = "Tes données n'ont pas pu être effacées :",
                        .uk = "Не вдалося видалити ваші дані:",
                        .pl = "Nie udało się usunąć twoich danych:"}) +
                  QLatin1Char(' ') + error;
    failed.buttons = {ok()};
    failed.warning = true;
    Dialogs::get().alert(window(), failed);
}

void SettingsView::quitAfterReplacingData() {
    // Timers that fired while the last alert was open wrote nothing (the domain is frozen); the
    // timer's own state is the one thing written on the way out, as at any quit.
    Prefs &p = Prefs::get();
    p.setFrozen(false);
    PomodoroTimer::shared().saveState();
    p.flush();
    p.setFrozen(true);
    QCoreApplication::exit(0);
}

void SettingsView::exportAllData() {
    // A large note saved a moment ago may still be encoded on a worker: the snapshot holds it too.
    NoteStore::shared().settle(5000);
    const auto backup = Backup::exportJson(Prefs::get()); // the snapshot is taken before the panel opens
    if (!backup) {
        Dialogs::Alert a;
        a.title = QStringLiteral("Export failed");
        a.text = QStringLiteral("Could not serialize data to JSON.");
        a.buttons = {ok()};
        a.warning = true;
        Dialogs::get().alert(window(), a);
        return;
    }
    const QString path = Dialogs::get().savePath(window(), QString(), QLatin1String(Backup::kFileName),
                                                 {QStringLiteral("JSON (*.json)")});
    if (path.isEmpty()) return;
    if (const AtomicFile::WriteResult r = AtomicFile::write(path, backup->bytes); !r.ok) {
        backupWriteFailed(window(), r.error);
        return;
    }
    Dialogs::Alert a;
    a.title = L::t({.en = "Export complete", .es = "Exportación completa", .de = "Export abgeschlossen",
                    .fr = "Exportation terminée", .uk = "Експорт завершено", .pl = "Eksport zakończony"});
    a.text = QStringLiteral("All settings and data saved to ") + QFileInfo(path).fileName() + QStringLiteral(".");
    if (!backup->leftOut.isEmpty()) {
        QStringList names;
        for (const QString &key : backup->leftOut)
            names << unreadableDataName(key);
        a.text +=
            QStringLiteral("\n\n") + L::t({.en = "Left out because it could not be read: %1.",
                                           .es = "Se omitió porque no se pudo leer: %1.",
                                           .de = "Ausgelassen, weil es nicht gelesen werden konnte: %1.",
                                           .fr = "Laissé de côté car illisible : %1.",
                                           .uk = "Пропущено, бо не вдалося прочитати: %1.",
                                           .pl = "Pominięto, bo nie dało się odczytać: %1."})
                                         .arg(names.join(QStringLiteral(", ")));
        a.warning = true;
    }
    if (!backup->defaulted.isEmpty()) {
        a.text +=
            QStringLiteral("\n\n") +
            L::t(
                {.en = "Saved with the default value because the stored one was not a valid number: %1.",
                 .es = "Guardado con el valor predeterminado porque el guardado no era un número válido: %1.",
                 .de = "Mit dem Standardwert gesichert, weil der gespeicherte keine gültige Zahl war: %1.",
                 .fr = "Enregistré avec la valeur par défaut car la valeur stockée n'était pas un nombre "
                       "valide : %1.",
                 .uk = "Збережено зі значенням за замовчуванням, бо збережене не було коректним числом: %1.",
                 .pl = "Zapisano wartość domyślną, bo zapisana nie była poprawną liczbą: %1."})
                .arg(backup->defaulted.join(QStringLiteral(", ")));
        a.warning = true;
    }
    a.buttons = {ok()};
    Dialogs::get().alert(window(), a);
}

void SettingsView::importAllData() {
    Dialogs::Alert q;
    q.title = L::t({.en = "Import settings & data?", .es = "¿Importar ajustes y datos?", .de = "Einstellungen & Daten importieren?",
                    .fr = "Importer les paramètres & données ?", .uk = "Імпортувати налаштування та дані?",
                    .pl = "Importować ustawienia i dane?"});
    q.text = QStringLiteral("This will replace ALL current settings and data with the contents of the selected JSON file. "
                            "The app will quit.");
    q.buttons = {L::t({.en = "Import", .es = "Importar", .de = "Importieren", .fr = "Importer", .uk = "Імпортувати",
                       .pl = "Importuj"}),
                 cancelTitle()};
    // One restore at a time: the database may still be trying the last one.
    if (Prefs::get().isReplacing()) return;
    if (Dialogs::get().alert(window(), q) != 0) return;
    const QString path = Dialogs::get().openPath(window(), QString(), {QStringLiteral("JSON (*.json)")});
    if (path.isEmpty()) return importFailed(window());
    // Read and checked on a worker (a backup may be hundreds of megabytes); everything is checked
    // before anything changes, then the domain is replaced in one transaction.
    struct Parsed {
        ImportFile::Error error = ImportFile::Error::none;
        std::optional<std::map<QString, Prefs::Value>> values;
        LongText::Found tooLong;
    };
    Background::run<Parsed>(
        this,
        [path] {
            Parsed out;
            ImportFile::Result file = ImportFile::read(path);
            out.error = file.error;
            if (file.error == ImportFile::Error::none) out.values = Backup::parseRestore(file.bytes, &out.tooLong);
            return out;
        },
        [this](Parsed r) {
            if (r.error != ImportFile::Error::none) return importFailed(window(), ImportFile::message(r.error));
            if (!r.values && !r.tooLong.field.isEmpty()) {
                // The field named after its store as the user knows it: "Tasks › title".
                const qsizetype cut = r.tooLong.field.indexOf(QStringLiteral(" › "));
                r.tooLong.field = unreadableDataName(r.tooLong.field.left(cut)) + r.tooLong.field.mid(cut);
                return importFailed(window(), LongText::message(r.tooLong));
            }
            if (!r.values) return importFailed(window());
            Prefs &p = Prefs::get();
            if (p.isReplacing()) return; // a restore started while the panel was open
            // The database may be held by another program for a while: the window stays responsive while
            // the writer tries, and the answer comes back here. Rows of types this version does not know,
            // and the copies kept of them, stay.
            p.replaceLater(
                Backup::restoredDomain(p, *r.values), this,
                [this, look = VF::look()](bool restored, const QString &error) {
                    if (!restored) return restoreFailed(window(), error);
                    Prefs::get().setFrozen(true);
                    const VF::HeldLook held(look); // the session's look, not the backup's or the defaults
                    Dialogs::Alert done;
                    done.title = QStringLiteral("Import complete");
                    done.text = QStringLiteral("Data imported successfully. The app will now quit.");
                    done.buttons = {ok()};
                    Dialogs::get().alert(window(), done);
                    quitAfterReplacingData();
                },
                Prefs::UnknownRows::keep);
        });
}
