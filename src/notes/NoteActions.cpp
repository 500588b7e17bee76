// The notes page's actions on whole notes: create, edit, delete, export.
#include "notes/NotesView.h"
#include "notes/NotesUi.h"

#include "notes/NoteDialogs.h"
#include "notes/NoteExport.h"
#include "notes/NoteStore.h"
#include "platform/Dialogs.h"
#include "ui/CommonAlerts.h"
#include "ui/Lang.h"

using namespace NotesUi;

void NotesView::createNote() {
    if (!window()) return;
    const int a = Dialogs::get().alert(
        this, {L::t({.en = "Create Note", .es = "Crear nota", .de = "Notiz erstellen", .fr = "Créer une note", .uk = "Створити нотатку", .pl = "Utwórz notatkę"}),
               L::t({.en = "Choose type", .es = "Elegir tipo", .de = "Typ wählen", .fr = "Choisir le type", .uk = "Обрати тип", .pl = "Wybierz typ"}),
               {QStringLiteral("📄 ") + L::t({.en = "Text note", .es = "Nota de texto", .de = "Textnotiz", .fr = "Note texte", .uk = "Текстова нотатка", .pl = "Notatka tekstowa"}),
                QStringLiteral("📊 ") + L::t({.en = "Table", .es = "Tabla", .de = "Tabelle", .fr = "Tableau", .uk = "Таблиця", .pl = "Tabela"}),
                cancelTitle()},
               nullptr, false, {}});
    if (a == 0)
        openEditor(Note(NoteType::text, QStringLiteral("📝"),
                        L::t({.en = "New note", .es = "Nueva nota", .de = "Neue Notiz", .fr = "Nouvelle note", .uk = "Нова нотатка", .pl = "Nowa notatka"})),
                   true);
    else if (a == 1)
        openEditor(Note(NoteType::table, QStringLiteral("📊"),
                        L::t({.en = "New table", .es = "Nueva tabla", .de = "Neue Tabelle", .fr = "Nouveau tableau", .uk = "Нова таблиця", .pl = "Nowa tabela"})),
                   true);
}

void NotesView::openEditor(const Note &note, bool isNew) {
    QPointer<NotesView> self(this);
    NoteEditorDialog::show(note, isNew, [self, isNew](const std::optional<Note> &saved) {
        if (!saved) return;
        if (isNew)
            NoteStore::shared().add(*saved);
        else
            NoteStore::shared().update(*saved);
        if (self) self->selectNote(saved->id); // a new note starts without the previous note's cells selected
    }, window());
}

void NotesView::deleteNote(const QString &id) {
    const int a = Dialogs::get().alert(this, {L::t({.en = "Delete note?", .es = "¿Eliminar la nota?", .de = "Notiz löschen?", .fr = "Supprimer la note ?",
                                                    .uk = "Видалити нотатку?", .pl = "Usunąć notatkę?"}),
                                              {}, {deleteWord(), cancelTitle()}, nullptr, true, {}});
    if (a != 0) return;
    table_->forgetWidths(id);
    selectedID_.reset();
    text_->stopEditing();
    NoteStore::shared().remove(id);
    requestRebuild();
}

void NotesView::doExportSelected() {
    if (selectedID_ && exportNote(*selectedID_)) return;
    Dialogs::get().alert(this, {NoteExport::noSelectionText(), {}, {}, nullptr, false, {}});
}

// The note is read for the export on the worker that writes it: a large one is not decoded here.
bool NotesView::exportNote(const QString &id) {
    const auto &heads = NoteStore::shared().notes();
    const auto head = std::find_if(heads.begin(), heads.end(), [&](const NoteHead &h) { return h.id == id; });
    if (head == heads.end()) return false;
    Note named;
    named.id = id;
    named.title = head->title;
    exportWith(named, true);
    return true;
}

void NotesView::exportNote(const Note &note) {
    exportWith(note, false);
}

void NotesView::exportWith(const Note &note, bool fromStore) {
    const int a = Dialogs::get().alert(this, {NoteExport::formatAlertTitle(), {},
                                              {NoteExport::txtButton(), NoteExport::csvButton(), NoteExport::pdfButton(), cancelTitle()},
                                              nullptr, false, {}});
    NoteExport::Format f;
    QString filter;
    switch (a) {
    case 0: f = NoteExport::Format::txt, filter = QStringLiteral("Text (*.txt)"); break;
    case 1: f = NoteExport::Format::csv, filter = QStringLiteral("CSV (*.csv)"); break;
    case 2: f = NoteExport::Format::pdf, filter = QStringLiteral("PDF (*.pdf)"); break;
    default: return;
    }
    const QString path = Dialogs::get().savePath(this, exportWord(), NoteExport::proposedName(note, f), {filter});
    if (path.isEmpty()) return;
    // The note as the store has it once the file is chosen (it may have changed while the panels
    // were open).
    std::function<std::optional<Note>()> read = fromStore ? NoteStore::shared().readLater(note.id)
                                                          : [note] { return std::optional<Note>(note); };
    if (!read) return; // deleted meanwhile
    // Making a long note's text or laying it out takes seconds: the page stays live, and says so if the
    // write fails.
    NoteExport::writeLater(path, std::move(read), f, this, [this](const NoteExport::WriteResult &r) {
        if (!r.ok) alertExportFailed(this, r.error);
    });
}
