#include "ui/CommonAlerts.h"
#include "platform/Dialogs.h"
#include "ui/Lang.h"

void alertExportFailed(QWidget *parent, const QString &error) {
    Dialogs::Alert a;
    a.title = L::t({.en = "Export failed", .es = "Error de exportación", .de = "Export fehlgeschlagen", .fr = "Échec de l'exportation",
                    .uk = "Помилка експорту", .pl = "Błąd eksportu"});
    a.text = L::t({.en = "The file could not be written:", .es = "No se pudo escribir el archivo:",
                   .de = "Die Datei konnte nicht geschrieben werden:", .fr = "Le fichier n'a pas pu être écrit :",
                   .uk = "Не вдалося записати файл:", .pl = "Nie udało się zapisać pliku:"}) +
             QLatin1Char(' ') + error;
    a.warning = true;
    Dialogs::get().alert(parent, a);
}

QString cancelTitle() {
    return L::t({.en = "Cancel", .es = "Cancelar", .de = "Abbrechen", .fr = "Annuler", .uk = "Скасувати", .pl = "Anuluj"});
}

QString replaceTitle() {
    return L::t({.en = "Replace", .es = "Reemplazar", .de = "Ersetzen", .fr = "Remplacer", .uk = "Замінити", .pl = "Zastąp"});
}

void alertImportComplete(QWidget *parent, const QString &text) {
    Dialogs::Alert done;
    done.title = L::t({.en = "Import complete",
                       .es = "Importación completa",
                       .de = "Import abgeschlossen",
                       .fr = "Importation terminée",
                       .uk = "Імпорт завершено",
                       .pl = "Import zakończony"});
    done.text = text;
    Dialogs::get().alert(parent, done);
}
