#pragma once
#include "common/TestEnv.h"
#include "notes/Note.h"
#include "notes/NoteStore.h"
#include "notes/NotesView.h"
#include "notes/TextViewOps.h"
#include "ui/Lang.h"
#include "ui/Theme.h"
#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QRegion>
#include <QTextCursor>
#include <memory>
#include <vector>

// The notes page shown (1000 x 700, active) on a store holding just the notes given, with preferences
// of its own at the font scale and language given, and everything it queued on showing done.
struct ShownNotesPage {
    TempPrefs prefs;
    std::vector<Note> notes;
    std::unique_ptr<NotesView> view;
    explicit ShownNotesPage(std::vector<Note> given, double scale = 1.0, AppLang lang = AppLang::en)
        : notes(std::move(given)) {
        VF::setFontScale(scale); // after the preferences, which start at the defaults
        L::setLang(lang);
        NoteStore::resetForTests();
        for (const Note &n : notes) NoteStore::shared().add(n);
        view = std::make_unique<NotesView>();
        view->resize(1000, 700);
        view->setup();
        view->show();
        view->activateWindow();
        for (int i = 0; i < 4; ++i) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents();
        }
    }
    ~ShownNotesPage() {
        view.reset();
        NoteStore::resetForTests();
    }
    ShownNotesPage(const ShownNotesPage &) = delete;
    ShownNotesPage &operator=(const ShownNotesPage &) = delete;
};

// Builds the page at the size the tests assume and shows it, with what it queued on showing done.
inline void showPage(NotesView &page) {
    page.resize(1000, 700);
    page.setup();
    page.show();
    for (int i = 0; i < 4; ++i)
        QCoreApplication::processEvents();
}

// Whether the line at pos is on the screen, whole: inside what the view and every scroll area around
// it show.
inline bool onScreen(QAbstractScrollArea *v, int pos) {
    QTextCursor c(TextViewOps::document(v));
    c.setPosition(pos);
    const QRect r = TextViewOps::cursorRect(v, c);
    return v->viewport()->visibleRegion().intersected(r) == QRegion(r);
}
