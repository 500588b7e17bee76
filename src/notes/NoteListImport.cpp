#include "notes/NoteListImport.h"

#include "notes/NoteStore.h"
#include "platform/Background.h"
#include "platform/Dialogs.h"
#include "platform/ImportFile.h"
#include "platform/RecordJson.h"
#include "ui/Lang.h"
#include <QPointer>
#include <QSet>

namespace NoteListImport {

ReadResult read(const QString &path) {
    return read(path, ImportFile::kMaxBytes);
}

ReadResult read(const QString &path, qint64 maxBytes) {
    const ImportFile::Result file = ImportFile::read(path, maxBytes);
    if (file.error != ImportFile::Error::none) return {{}, ImportFile::readError<ReadError>(file.error), {}};
    const QByteArray &bytes = file.bytes;
    if (auto tooLong = LongText::find(bytes, LongText::kNoteData)) return {{}, ReadError::textTooLong, tooLong};
    auto notes = decodeNotes(bytes);
    if (!notes) return {{}, ReadError::invalid, {}};
    freshenDuplicateIds(*notes);
    return {std::move(*notes), ReadError::none, {}};
}

int freshenDuplicateIds(std::vector<Note> &notes) {
    QSet<QString> seen;
    int changed = 0;
    for (Note &n : notes) {
        if (seen.contains(n.id)) {
            do
                n.id = RecordJson::newId();
            while (seen.contains(n.id));
            ++changed;
        }
        seen.insert(n.id);
    }
    return changed;
}

void run(QObject *context, QWidget *parent, NoteStore &store, std::function<void(bool)> done) {
    const QString path = Dialogs::get().openPath(parent, QString(), {QStringLiteral("JSON (*.json)")});
    const auto finish = [done](bool replaced) {
        if (done) done(replaced);
    };
    if (path.isEmpty()) return finish(false);
    QPointer<NoteStore> into(&store);
    Background::run<ReadResult>(
        context, [path] { return read(path); },
        [parent, into, finish](ReadResult r) {
            if (!into) return;
            if (r.error != ReadError::none) {
                Dialogs::Alert a;
                a.title = errorTitle();
                a.text = r.tooLong                          ? LongText::message(*r.tooLong)
                         : r.error == ReadError::notAFile ? ImportFile::message(ImportFile::Error::notAFile)
                         : r.error == ReadError::tooLarge ? ImportFile::message(ImportFile::Error::tooLarge)
                                                          : errorText();
                a.warning = true;
                Dialogs::get().alert(parent, a);
                return finish(false);
            }
            Dialogs::Alert q;
            q.title = confirmTitle();
            q.text = confirmText(qsizetype(r.notes.size()));
            q.buttons = {replaceButton(), cancelButton()};
            q.warning = true;
            const int answer = Dialogs::get().alert(parent, q);
            if (answer != 0 || !into) return finish(false);
            into->replaceAll(r.notes);
            finish(true);
        });
}

QString errorTitle() {
    return L::t(Tr{.en = "Import error",
                   .es = "Error de importación",
                   .de = "Importfehler",
                   .fr = "Erreur d'import",
                   .uk = "Помилка імпорту",
                   .pl = "Błąd importu"});
}

QString errorText() {
    return L::t(Tr{.en = "Invalid Mivo Notes JSON.",
                   .es = "Archivo JSON no válido.",
                   .de = "Ungültige Notizen-Datei.",
                   .fr = "Fichier JSON invalide.",
                   .uk = "Недійсний JSON-файл нотаток Mivo.",
                   .pl = "Nieprawidłowy plik JSON notatek Mivo."});
}

QString confirmTitle() {
    return L::t(Tr{.en = "Replace all notes?",
                   .es = "¿Reemplazar todas las notas?",
                   .de = "Alle Notizen ersetzen?",
                   .fr = "Remplacer toutes les notes ?",
                   .uk = "Замінити всі нотатки?",
                   .pl = "Zastąpić wszystkie notatki?"});
}

QString confirmText(qsizetype count) {
    const Tr many{.en = "notes will be imported. All current notes will be replaced.",
                  .es = "notas serán importadas. Las notas actuales serán reemplazadas.",
                  .de = "Notizen werden importiert. Aktuelle Notizen werden ersetzt.",
                  .fr = "notes seront importées. Les notes actuelles seront remplacées.",
                  .uk = "нотаток буде імпортовано. Поточні нотатки буде замінено.",
                  .pl = "notatek zostanie zaimportowanych. Obecne notatki zostaną zastąpione."};
    return L::counted(count, {.one = {.en = "note will be imported. All current notes will be replaced.",
                                      .es = "nota será importada. Las notas actuales serán reemplazadas.",
                                      .de = "Notiz wird importiert. Aktuelle Notizen werden ersetzt.",
                                      .fr = "note sera importée. Les notes actuelles seront remplacées.",
                                      .uk = "нотатку буде імпортовано. Поточні нотатки буде замінено.",
                                      .pl = "notatka zostanie zaimportowana. Obecne notatki zostaną zastąpione."},
                              .few = {.en = many.en,
                                      .es = many.es,
                                      .de = many.de,
                                      .fr = many.fr,
                                      .uk = "нотатки буде імпортовано. Поточні нотатки буде замінено.",
                                      .pl = "notatki zostaną zaimportowane. Obecne notatki zostaną zastąpione."},
                              .many = many});
}

QString replaceButton() {
    return L::t(Tr{.en = "Replace",
                   .es = "Reemplazar",
                   .de = "Ersetzen",
                   .fr = "Remplacer",
                   .uk = "Замінити",
                   .pl = "Zastąp"});
}

QString cancelButton() {
    return L::t(Tr{.en = "Cancel",
                   .es = "Cancelar",
                   .de = "Abbrechen",
                   .fr = "Annuler",
                   .uk = "Скасувати",
                   .pl = "Anuluj"});
}
} // namespace NoteListImport
