#include "notes/NoteTextView.h"

#include "notes/PacedLayout.h"
#include "notes/SelectionCopy.h"
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <limits>
#include <memory>
#include <optional>

// The view's copies (made when asked for, see SelectionCopy) and its undo and redo.


QMimeData *NoteTextView::createMimeDataFromSelection() const {
    std::erase_if(copies_, [](const QPointer<SelectionCopy> &p) { return !p || !p->live(); });
    const QTextCursor c = textCursor();
    const int from = c.selectionStart(), to = c.selectionEnd();
    // The selection copied as it is offered as the primary selection: made once for both.
    for (const QPointer<SelectionCopy> &p : copies_)
        if (p->isOf(document(), from, to)) {
            auto *same = new SelectionCopy(*p);
            copies_.emplace_back(same);
            return same;
        }
    // The stored text, without a line break at a cut between pieces. A long copy's RTF is made
    // only where the note may hold a look the text lacks: written for text alone it added nothing,
    // and took several times the text's memory (a line of emoji is nine bytes a character). Pasted
    // here, such a copy goes in as plain text, as it showed. A short copy's HTML, made only when
    // asked for, is offered as it was.
    std::optional<RtfCodec::WriteAs> rtf;
    if (NoteDocument::mayCarryLooks(*document())) rtf = NoteDocument::storedWriteAs();
    auto *m = new SelectionCopy(document(), from, to, NoteDocument::appendStoredText, NoteDocument::richCopy,
                                std::move(rtf));
    copies_.emplace_back(m);
    return m;
}

bool NoteTextView::settleCopies(int from, int to, const QMimeData *keep,
                                std::vector<std::function<void(const QTextDocument &)>> *later) {
    bool gaveUp = false;
    QClipboard *clipboard = QGuiApplication::clipboard();
    for (const QPointer<SelectionCopy> &p : std::vector(copies_)) {
        if (!p || !p->standsOn(document(), from, to)) continue;
        if (p != keep && clipboard->supportsSelection() && clipboard->mimeData(QClipboard::Selection) == p) {
            clipboard->clear(QClipboard::Selection); // which deletes it
            gaveUp = true;
        } else if (later) {
            if (auto make = p->settleLater()) later->push_back(std::move(make));
        } else {
            p->settle();
        }
    }
    std::erase_if(copies_, [](const QPointer<SelectionCopy> &p) { return !p || !p->live(); });
    return gaveUp;
}

void NoteTextView::settleCopiesAroundSelection(const QMimeData *keep) {
    if (copies_.empty()) return;
    const QTextCursor c = textCursor();
    // A key may reach into the paragraph before or after (Backspace at a paragraph's start), and the
    // links of the paragraphs it changes are made again.
    QTextBlock first = document()->findBlock(c.selectionStart()),
               last = document()->findBlock(c.selectionEnd());
    if (first.previous().isValid()) first = first.previous();
    if (last.next().isValid()) last = last.next();
    settleCopies(first.position(), last.position() + last.length(), keep);
}

void NoteTextView::cut() {
    if (isReadOnly() || !textCursor().hasSelection()) return;
    copy();
    // The text cut goes from the document now: what the clipboard offers is made first.
    settleCopiesAroundSelection();
    userEdit([this] {
        QTextCursor c = textCursor();
        c.removeSelectedText();
        setTextCursor(c);
    });
}

void NoteTextView::deleteSelection() {
    if (isReadOnly() || !textCursor().hasSelection() || removeLater()) return;
    settleCopiesAroundSelection();
    userEdit([this] {
        QTextCursor c = textCursor();
        c.removeSelectedText();
        setTextCursor(c);
    });
}

void NoteTextView::undo() {
    undoRedo(false);
}

void NoteTextView::redo() {
    undoRedo(true);
}

// A step made here takes the number of any long one undone before it.
void NoteTextView::newStep() {
    QTextDocument *doc = document();
    if (sender() == doc) NoteDocument::keepLongStepsBelow(*doc, doc->availableUndoSteps());
}

bool NoteTextView::removeLater() {
    const QTextCursor c = textCursor();
    if (!onLongEdit || isReadOnly() || c.selectionEnd() - c.selectionStart() <= NoteDocument::kPasteLaterChars)
        return false;
    // What was copied of the text is made there too, before it goes: a long copy would hold the
    // window as long as the removal.
    std::vector<std::function<void(const QTextDocument &)>> copies;
    settleCopies(0, std::numeric_limits<int>::max(), nullptr, &copies);
    const auto take = onLongEdit; // a copy: the handler replaces this view's document
    take([from = c.selectionStart(), to = c.selectionEnd(), copies = std::move(copies)](QTextDocument &doc) {
        for (const auto &make : copies)
            make(doc);
        return NoteDocument::longStep(doc, [&doc, from, to] { return NoteDocument::pasteText(doc, from, to, QString()); });
    });
    return true;
}

void NoteTextView::undoRedo(bool redo) {
    // A step may change any part of the text: what was copied of it is made first (there, for a step
    // done on a worker).
    std::vector<std::function<void(const QTextDocument &)>> copies;
    QTextDocument *doc = document();
    if (onLongEdit && !isReadOnly() && NoteDocument::longStepNext(*doc, redo)) {
        settleCopies(0, std::numeric_limits<int>::max(), nullptr, &copies);
        const auto take = onLongEdit;
        take([redo, copies = std::move(copies)](QTextDocument &d) {
            for (const auto &make : copies)
                make(d);
            QTextCursor c(&d);
            redo ? d.redo(&c) : d.undo(&c);
            return c.position();
        });
        return;
    }
    settleCopies(0, std::numeric_limits<int>::max());
    int from = -1, to = -1;
    const auto conn =
        connect(doc, &QTextDocument::contentsChange, this, [&from, &to](int pos, int, int added) {
            from = from < 0 ? pos : std::min(from, pos);
            to = std::max(to, pos + added);
        });
    {
        // The view is placed on the caret below, paced; not on the way there.
        const NoteDocument::PacedLayout::Pacing pacing(doc, this);
        redo ? QPlainTextEdit::redo() : QPlainTextEdit::undo();
    }
    disconnect(conn);
    if (from < 0) return;
    // The caret goes where the cursor that began the step was: a step begun by a cursor elsewhere
    // (one made at the document's start) took the caret and the view there. It stays in what the
    // step changed.
    QTextCursor c = textCursor();
    const int last = doc->characterCount() - 1;
    if (c.position() < from || c.position() > to) c.setPosition(std::clamp(redo ? to : from, 0, last));
    placeCaret(c);
}

void NoteTextView::dropEvent(QDropEvent *e) {
    // Text dragged within the view is taken away before the copy dragged is put in: what was copied
    // of it (the dragged copy too, with its looks) is made first.
    if (!isReadOnly()) settleCopiesAroundSelection(e->mimeData());
    QPlainTextEdit::dropEvent(e);
}

void NoteTextView::contextMenuEvent(QContextMenuEvent *e) {
    std::unique_ptr<QMenu> menu(createStandardContextMenu(e->pos()));
    // The menu's own actions edit the document past this view: those that change the text go
    // through it, as their keys do.
    const std::pair<const char *, std::function<void()>> own[] = {
        {"edit-cut", [this] { cut(); }},
        {"edit-undo", [this] { undo(); }},
        {"edit-paste", [this] { pasteClipboard(false); }},
        {"edit-redo", [this] { redo(); }},
        {"edit-delete", [this] { deleteSelection(); }},
    };
    for (QAction *a : menu->actions())
        for (const auto &[name, act] : own)
            if (a->objectName() == QLatin1String(name)) {
                disconnect(a, &QAction::triggered, nullptr, nullptr);
                connect(a, &QAction::triggered, this, act);
            }
    menu->exec(e->globalPos());
}
