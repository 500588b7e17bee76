// The storing decision of a text note's save: its text goes with its rich text or not at all.
#include "notes/NoteDocument.h"
#include "platform/Dialogs.h"
#include "ui/Lang.h"

namespace NoteDocument {
bool storeInto(Note &note, const Saved &s) {
    if (s.richUnwritten) return false;
    note.body = s.body;
    note.bodyRTF = s.rtf;
    return true;
}

void alertRichTextNotSaved(QWidget *parent) {
    Dialogs::Alert a;
    a.title = L::t({.en = "Not saved",
                    .es = "No guardado",
                    .de = "Nicht gespeichert",
                    .fr = "Non enregistré",
                    .uk = "Не збережено",
                    .pl = "Nie zapisano"});
    a.text =
        L::t({.en = "The note's text is too large to be saved with its formatting. The text and formatting "
                    "saved before are kept.",
              .es = "El texto de la nota es demasiado grande para guardarlo con su formato. Se conservan el "
                    "texto y el formato guardados antes.",
              .de = "Der Text der Notiz ist zu groß, um mit seiner Formatierung gespeichert zu werden. Der "
                    "zuvor gespeicherte Text und seine Formatierung bleiben erhalten.",
              .fr = "Le texte de la note est trop volumineux pour être enregistré avec sa mise en forme. Le "
                    "texte et la mise en forme enregistrés auparavant sont conservés.",
              .uk = "Текст нотатки завеликий, щоб зберегти його з форматуванням. Раніше збережені текст і "
                    "форматування залишено.",
              .pl = "Tekst notatki jest zbyt duży, aby zapisać go z formatowaniem. Zachowano wcześniej "
                    "zapisany tekst i formatowanie."});
    a.warning = true;
    Dialogs::get().alert(parent, a);
}
} // namespace NoteDocument
