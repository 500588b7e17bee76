#include "notes/NoteTextView.h"

#include "notes/PacedLayout.h"
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <limits>

// Edits handed to the view's owner to make on a worker, where the copies they would have made first
// are made too (a long copy made here held the window for seconds), and what is typed meanwhile.

bool NoteTextView::settlingWaits(std::pair<int, int> range, const QMimeData *keep) const {
    QClipboard *clipboard = QGuiApplication::clipboard();
    for (const QPointer<SelectionCopy> &p : copies_) {
        if (!p || !p->standsOn(document(), range.first, range.second)) continue;
        // The primary selection's is given up, not made.
        if (p != keep && clipboard->supportsSelection() && clipboard->mimeData(QClipboard::Selection) == p) continue;
        if (p->makesOnSettle()) return true;
    }
    return false;
}

bool NoteTextView::editsLater(const QMimeData *keep) const {
    return onLongEdit && !isReadOnly() && settlingWaits(around(textCursor()), keep);
}

bool NoteTextView::lend(std::function<int(QTextDocument &)> edit, int anchor) {
    putTyped(); // typed before, put in before
    std::vector<std::function<void(const QTextDocument &)>> copies;
    const bool gaveUp = settleCopies(0, std::numeric_limits<int>::max(), nullptr, &copies);
    lending_ = true;
    lentDoc_ = document();
    typedMeanwhile_.clear();
    lentAnchor_ = anchor;
    lentOffer_ = gaveUp;
    const auto take = onLongEdit; // a copy: the handler replaces this view's document
    take([copies = std::move(copies), edit = std::move(edit)](QTextDocument &doc) {
        for (const auto &make : copies)
            make(doc);
        return edit(doc);
    });
    if (document() == lentDoc_) lending_ = false; // not taken: nothing comes back
    return gaveUp;
}

void NoteTextView::replaceLater(int from, int to, const QString &text) {
    lend([from, to, text](QTextDocument &doc) {
        return NoteDocument::longStep(doc, [&] { return NoteDocument::pasteText(doc, from, to, text); });
    });
}

bool NoteTextView::typeLater(const QKeyEvent *e) {
    if (!editsLater()) return false;
    const auto mods = e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier | Qt::ShiftModifier);
    const QTextCursor c = textCursor();
    int from = c.selectionStart(), to = c.selectionEnd();
    QString text;
    const bool back = e->key() == Qt::Key_Backspace;
    if (back || e->key() == Qt::Key_Delete) {
        if (mods != Qt::NoModifier) return false;
        if (from == to) {
            // As the key does here: the cut between two pieces is no character, the one beyond it goes
            // (Backspace takes a character, Delete what shows as one).
            QTextCursor t = c;
            if (back) {
                // At a list's or an indented paragraph's start it takes those away instead.
                if (t.atBlockStart() && (t.currentList() || t.blockFormat().indent() > 0)) return false;
                while (t.atBlockStart() && NoteDocument::continues(t.block())) t.movePosition(QTextCursor::PreviousCharacter);
                if (t.atStart()) return false;
                to = t.position();
                from = to - 1;
                QTextDocument *doc = document();
                if (from > 0 && doc->characterAt(from).isLowSurrogate() && doc->characterAt(from - 1).isHighSurrogate())
                    --from;
            } else {
                while (t.atBlockEnd() && NoteDocument::continues(t.block().next())) t.movePosition(QTextCursor::NextCharacter);
                if (t.atEnd()) return false;
                from = t.position();
                t.movePosition(QTextCursor::NextCharacter);
                to = t.position();
            }
        }
    } else if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        if (mods != Qt::NoModifier) return false;
        text = QStringLiteral("\n");
    } else if (e->key() == Qt::Key_Tab) {
        if (mods != Qt::NoModifier || tabChangesFocus()) return false;
        text = QStringLiteral("\t");
    } else {
        text = e->text();
        if (text.isEmpty() || !text.front().isPrint() || (mods & ~Qt::ShiftModifier) || overwriteMode()) return false;
    }
    replaceLater(from, to, text);
    return true;
}

bool NoteTextView::keepTyped(const QKeyEvent *e) {
    putTyped(); // back: what was typed meanwhile goes in before this key
    if (!lending_ || !isReadOnly()) return false;
    if (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    const QString text = e->text();
    if (e->key() == Qt::Key_Backspace) {
        if (typedMeanwhile_.isEmpty()) return false;
        typedMeanwhile_.chop(typedMeanwhile_.size() > 1 && typedMeanwhile_.back().isLowSurrogate() &&
                                     typedMeanwhile_.at(typedMeanwhile_.size() - 2).isHighSurrogate()
                                 ? 2
                                 : 1);
    } else if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        typedMeanwhile_ += u'\n';
    } else if (e->key() == Qt::Key_Tab && !tabChangesFocus()) {
        typedMeanwhile_ += u'\t';
    } else if (!text.isEmpty() && text.front().isPrint()) {
        typedMeanwhile_ += text;
    } else {
        return false;
    }
    return true;
}

void NoteTextView::putTyped() {
    if (!lending_ || isReadOnly()) return;
    lending_ = false;
    const QString typed = std::exchange(typedMeanwhile_, {});
    const int anchor = std::exchange(lentAnchor_, -1);
    // Another document shown: what was typed went with the one lent.
    if (!lentDoc_ || lentDoc_ != document()) return;
    if (anchor >= 0) {
        QTextCursor sel = textCursor();
        const int pos = sel.position();
        sel.setPosition(std::clamp(anchor, 0, document()->characterCount() - 1));
        sel.setPosition(pos, QTextCursor::KeepAnchor);
        setTextCursor(sel);
        if (lentOffer_)
            QGuiApplication::clipboard()->setMimeData(createMimeDataFromSelection(), QClipboard::Selection);
    }
    if (typed.isEmpty()) return;
    settleCopiesAroundSelection();
    userEdit(
        [this, &typed] {
            QTextCursor c = textCursor();
            c.insertText(typed);
            setTextCursor(c);
        },
        true);
}
