#include "notes/NoteTextView.h"

#include "notes/NoteDocumentParts.h"
#include "notes/FormatBar.h"
#include "notes/PacedLayout.h"
#include "notes/PieceCuts.h"
#include "notes/RichTextView.h"
#include "ui/WebLinks.h"
#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>

NoteTextView::NoteTextView(QWidget *parent) : QPlainTextEdit(parent) {
    setUndoRedoEnabled(true);
    viewport()->setMouseTracking(true);
    FloatingFormatBar::attach(this, [this](int code) { applyFmt(code); });
    // The caret's blink asks where the caret is, which the view finds by going over the paragraphs
    // from the top of the screen to it: while the view is still making its way to a caret put far
    // away (Ctrl+End), that laid out two screenfuls of long pieces at once (30 ms).
    for (QObject *o : children())
        if (o->inherits("QWidgetTextControl")) o->installEventFilter(this);
    connect(verticalScrollBar(), &QScrollBar::rangeChanged, this, [this] { countSharedRowsOnce(); });
}

NoteTextView::~NoteTextView() {
    settleCopies(0, std::numeric_limits<int>::max());
}

bool NoteTextView::eventFilter(QObject *watched, QEvent *e) {
    if (e->type() == QEvent::Timer && watched->inherits("QWidgetTextControl")) {
        const NoteDocument::PacedLayout::Pacing pacing(document(), this);
        watched->event(e);
        return true;
    }
    return QPlainTextEdit::eventFilter(watched, e);
}

void NoteTextView::setDocument(QTextDocument *doc) {
    // Marks (a find's) are cursors of the document they were made in: the view keeps them across a
    // new document, and the next marks set made it measure the old ones again, in a document maybe
    // gone by then (a crash). They go with their document, while it is still there to say where
    // they were.
    if (doc != document() && !extraSelections().isEmpty()) {
        const NoteDocument::PacedLayout::Pacing marksGo(document(), this);
        setExtraSelections({});
    }
    // The document may go to a worker or away: nothing copied stays standing on it, and this view
    // hears no more of it (an edit made there queued calls to this view from the worker's thread).
    if (doc != document()) {
        settleCopies(0, std::numeric_limits<int>::max());
        QTextDocument *old = document();
        disconnect(old, &QTextDocument::undoCommandAdded, this, &NoteTextView::newStep);
        if (QAbstractTextDocumentLayout *layout = old->documentLayout())
            disconnect(layout, &QAbstractTextDocumentLayout::documentSizeChanged, this,
                       &NoteTextView::countSharedRowsOnce);
    }
    const NoteDocument::PacedLayout::Pacing pacing(doc, this);
    showScrollBarFor(doc);
    placeNow();
    tellLineWidth(doc);
    QPlainTextEdit::setDocument(doc);
    // After the view's own sizing of its range (connected before this), which may leave it as it
    // was (none) and tell nothing.
    if (QAbstractTextDocumentLayout *layout = doc ? doc->documentLayout() : nullptr)
        connect(layout, &QAbstractTextDocumentLayout::documentSizeChanged, this, &NoteTextView::countSharedRowsOnce,
                Qt::UniqueConnection);
    if (doc)
        connect(doc, &QTextDocument::undoCommandAdded, this, &NoteTextView::newStep, Qt::UniqueConnection);
    putPendingPasteLater();
}

// Taking a document, Qt goes over every paragraph for the viewport's width, and once more when the
// range it sizes then shows the scroll bar and narrows the viewport: twice over the hundreds of
// thousands of pieces of a long line of emoji. A document that will scroll whatever its lines (more
// paragraphs than the viewport has pixels, each a row at least) has the bar shown first, while the
// view still holds the one before (an empty one while a document is away), so it is gone over once.
void NoteTextView::showScrollBarFor(const QTextDocument *doc) {
    QScrollBar *bar = verticalScrollBar();
    if (!doc || doc == document() || verticalScrollBarPolicy() != Qt::ScrollBarAsNeeded || centerOnScroll() ||
        bar->maximum() > 0 || doc->blockCount() <= std::max(1, viewport()->height()))
        return;
    // Not fitted to the document still held (see countSharedRowsOnce), which has no rows to scroll.
    const QScopedValueRollback<bool> fitting(fittingRange_, true);
    bar->setRange(0, doc->blockCount());
    // Qt places the bar on the next turn; placed now (the margins set anew), the viewport is narrowed
    // before the document is taken.
    setViewportMargins(viewportMargins());
}

// The view gives the paragraphs its viewport's width (when it wraps there): told before it lays
// anything out at that width.
void NoteTextView::tellLineWidth(QTextDocument *doc) {
    if (auto *paced = doc ? dynamic_cast<NoteDocument::PacedLayout *>(doc->documentLayout()) : nullptr)
        paced->setLineWidth(lineWrapMode() == WidgetWidth ? viewport()->width() - 2 * doc->documentMargin() : 0);
}

void NoteTextView::paintEvent(QPaintEvent *e) {
    {
        const NoteDocument::PacedLayout::Pacing pacing(document(), this, true);
        QPlainTextEdit::paintEvent(e);
        drawRowsGoneOn(e->rect());
    }
    auto *paced = dynamic_cast<NoteDocument::PacedLayout *>(document()->documentLayout());
    // A view laid out whole has no range of its own once every paragraph has its height; one guessed
    // while its range was sized (a turn spent before the screen was drawn) is laid out and the range
    // sized again, even where drawing put nothing off.
    if (!paced || !laysOutEveryParagraph()) return;
    if (paced->puttingOff() || paced->guessedHeights()) {
        layOutRestLater();
    } else if (paced->takeReshaped()) {
        // Pieces laid out again since the range was sized: sized again on the lines they have now
        // (every paragraph is laid out, so nothing more is).
        emit paced->documentSizeChanged(paced->documentSize());
    }
}

// A view resized while hidden learns its size when shown: told now (the view places its viewport,
// whose size it lays the text out at), so the document is laid out at the width it is drawn at, and
// once.
void NoteTextView::placeNow() {
    for (QWidget *w : {static_cast<QWidget *>(this), viewport()}) {
        if (!w->testAttribute(Qt::WA_PendingResizeEvent)) continue;
        QResizeEvent placed(w->size(), QSize());
        w->setAttribute(Qt::WA_PendingResizeEvent, false);
        QCoreApplication::sendEvent(w, &placed);
    }
}

bool NoteTextView::layOutWithinTurn() {
    placeNow();
    auto *paced = dynamic_cast<NoteDocument::PacedLayout *>(document()->documentLayout());
    if (!paced) return true;
    {
        // At least one paragraph, whatever it costs, as when drawing.
        const NoteDocument::PacedLayout::Pacing pacing(document(), this, true);
        for (QTextBlock b = document()->firstBlock(); b.isValid(); b = b.next()) {
            if (b.layout() && b.layout()->lineCount() > 0) continue;
            paced->blockBoundingRect(b);
            if (b.layout() && b.layout()->lineCount() == 0) return false; // put off to the next turn
        }
    }
    // Heights guessed for paragraphs put off meanwhile sized the range: sized again on the real ones.
    paced->rangeFitted();
    emit paced->documentSizeChanged(paced->documentSize());
    return true;
}

int NoteTextView::wholeHeight() {
    placeNow();
    // The paragraphs' own layouts measured, the lines the view then draws: a short note was laid out
    // twice, once apart for its card's height and again here, and the lines measured apart could
    // come out shorter than the ones drawn.
    QTextDocument *doc = document();
    QAbstractTextDocumentLayout *layout = doc->documentLayout();
    // The view scrolls unless its paragraphs (the last one with the margin below it) fit what it
    // shows less the margin above and the pixel it keeps free below the last line.
    qreal h = doc->documentMargin();
    for (QTextBlock b = doc->firstBlock(); b.isValid(); b = b.next())
        h += layout->blockBoundingRect(b).height();
    return int(std::ceil(h)) + 1;
}

// A view that scrolls counts a paragraph not laid out as one row: the range of one showing a note
// long only for its emoji (a few thousand characters) stopped at half the text until the reader
// had drawn every piece. Such a note, like one laid out whole, has every paragraph laid out over the
// next turns; a long text is not, its range growing as it is read.
bool NoteTextView::laysOutEveryParagraph() const {
    return verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOff || document()->characterCount() <= NoteDocument::kLongChars;
}

void NoteTextView::layOutRestLater() {
    if (restQueued_) return;
    restQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        restQueued_ = false;
        auto *paced = dynamic_cast<NoteDocument::PacedLayout *>(document()->documentLayout());
        if (!paced || !laysOutEveryParagraph()) return;
        {
            // At least one paragraph per turn, whatever it costs (a piece of emoji may take longer than the
            // turn has), as when drawing.
            const NoteDocument::PacedLayout::Pacing pacing(document(), this, true);
            for (QTextBlock b = document()->firstBlock(); b.isValid(); b = b.next()) {
                // A piece laid out before the one it goes on from (drawn, or sized for the range, when
                // a turn's time ran out) started a row of its own: asked for again, it goes on along
                // the row before it, drawn or not, else the range counted that row twice.
                if (b.layout() && b.layout()->lineCount() > 0 && !NoteDocument::continues(b)) continue;
                paced->blockBoundingRect(b);
                if (paced->puttingOff()) {
                    layOutRestLater();
                    return;
                }
            }
        }
        // Every paragraph has its real height now: the view sizes its range again.
        paced->rangeFitted();
        emit paced->documentSizeChanged(paced->documentSize());
    });
}

void NoteTextView::wheelEvent(QWheelEvent *e) {
    // Laid out whole, without a scroll bar: the page around it scrolls.
    if (verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOff && !(e->modifiers() & Qt::ControlModifier)) {
        e->ignore();
        return;
    }
    QPlainTextEdit::wheelEvent(e);
}

void NoteTextView::scrollContentsBy(int dx, int dy) {
    // The view finds its new top by going over every paragraph between the old one and it: a jump
    // across a long note lays out only what the turn has time for, and draws again when the rest is.
    const NoteDocument::PacedLayout::Pacing pacing(document(), this);
    QPlainTextEdit::scrollContentsBy(dx, dy);
}

void NoteTextView::placeCaret(const QTextCursor &c) {
    {
        const NoteDocument::PacedLayout::Pacing pacing(document(), this);
        setTextCursor(c);
    }
    keepCaretInView(c.position());
}

// The caret is shown or hidden: the view measures its place by going over the paragraphs from the
// top of the screen to it, which need not all be laid out at once (in a long note's editor just
// built, or left for the find field, that took 35-70 ms).
void NoteTextView::focusInEvent(QFocusEvent *e) {
    const NoteDocument::PacedLayout::Pacing pacing(document(), this);
    QPlainTextEdit::focusInEvent(e);
}

void NoteTextView::focusOutEvent(QFocusEvent *e) {
    const NoteDocument::PacedLayout::Pacing pacing(document(), this);
    QPlainTextEdit::focusOutEvent(e);
}

void NoteTextView::keepCaretInView(int caret, int turns) {
    const auto *layout = dynamic_cast<const NoteDocument::PacedLayout *>(document()->documentLayout());
    if (!layout || !layout->puttingOff() || turns <= 0) return;
    QTimer::singleShot(0, this, [this, caret, turns] {
        // The user moved on meanwhile: the caret is where they put it.
        if (textCursor().position() != caret) return;
        {
            const NoteDocument::PacedLayout::Pacing pacing(document(), this);
            ensureCursorVisible();
        }
        keepCaretInView(caret, turns - 1);
    });
}

void NoteTextView::resizeEvent(QResizeEvent *e) {
    const NoteDocument::PacedLayout::Pacing pacing(document(), this);
    tellLineWidth(document());
    // Qt lays every paragraph out again when the width seems to change. A view placed while hidden
    // (the detail built again around it, as when the find bar is shown) is told its size on show
    // with no old size: when the lines shown are as wide as they were, laying out the screenful
    // again (10-20 ms for a long note) is skipped.
    // The width is judged by a row of its own: the first line of a piece of a line may go on along
    // the row before it, as wide as what was left there (a place kept in the middle of a line of
    // emoji, after a save, laid the whole line out again twice).
    if (e->oldSize().width() != e->size().width() && lineWrapMode() == WidgetWidth) {
        const qreal margin = document()->documentMargin();
        std::optional<qreal> wide;
        int looked = 0;
        for (QTextBlock b = firstVisibleBlock(); b.isValid() && !wide && looked < 8; b = b.next(), ++looked) {
            const QTextLayout *tl = b.layout();
            for (int i = 0; tl && i < tl->lineCount() && !wide; ++i)
                if (const QTextLine line = tl->lineAt(i); line.x() == margin) wide = line.width();
        }
        if (wide && *wide + 2 * margin == qreal(viewport()->width())) {
            QResizeEvent same(e->size(), QSize(e->size().width(), e->oldSize().height()));
            QPlainTextEdit::resizeEvent(&same);
            return;
        }
    }
    QPlainTextEdit::resizeEvent(e);
}

void NoteTextView::showEvent(QShowEvent *e) {
    const NoteDocument::PacedLayout::Pacing pacing(document(), this);
    QPlainTextEdit::showEvent(e);
}

void NoteTextView::userEdit(const std::function<void()> &edit, bool typing, bool pasting) {
    int from = -1, to = -1;
    QTextDocument *doc = document();
    // A paste is laid out once, its paragraphs already cut into pieces: put into a piece of a line
    // of emoji as it was, it made a paragraph of hundreds of emoji that was laid out at once (and
    // again at every key typed in it). Nothing in the edit may ask where the caret is meanwhile.
    QTextCursor whole(doc);
    const int charsBefore = doc->characterCount();
    // Undo puts the caret where the cursor that began its step was.
    whole.setPosition(textCursor().selectionStart());
    if (pasting) whole.beginEditBlock();
    // A selection across a paragraph's start that is taken out joins the paragraph it ends in to the
    // text before the selection: the joined one is a piece or a new line as the first one was.
    const QTextCursor sel = textCursor();
    const QTextBlock first = doc->findBlock(sel.selectionStart());
    const bool acrossStart = sel.hasSelection() && first.position() == sel.selectionStart() &&
                             sel.selectionEnd() >= first.position() + first.length();
    const int selStart = sel.selectionStart(), selEnd = sel.selectionEnd();
    const bool firstContinues = NoteDocument::continues(first);
    // Looks given to a paragraph on a worker (the document being built) are a change of it the
    // document has not told yet: told with this edit, they seemed typed, and the pieces they reach
    // were made new lines.
    if (auto *paced = dynamic_cast<NoteDocument::PacedLayout *>(doc->documentLayout())) paced->tellLooksNow();
    const auto conn = connect(doc, &QTextDocument::contentsChange, this, [&from, &to](int pos, int, int added) {
        from = from < 0 ? pos : std::min(from, pos);
        to = std::max(to, pos + added);
    });
    // An edit that may change the links shown is a step of its own, which the links made for it join,
    // so that undo takes both back together. Typing far from any address keeps running into one step.
    const QString shown = first.text();
    const bool ownStep = autoLinks_.isValid() &&
                         (!typing || sel.hasSelection() || shown.contains(QLatin1String("://")) ||
                          shown.contains(QLatin1String("www."), Qt::CaseInsensitive));
    QTextCursor step(doc);
    if (ownStep) step.beginEditBlock();
    edit();
    if (ownStep) step.endEditBlock(); // the change is reported here
    disconnect(conn);
    // Inside the paste's block the change is reported only at its end: the selection replaced by
    // what the count of characters grew by.
    const auto pastedEnd = [&] { return selEnd + doc->characterCount() - charsBefore; };
    if (pasting) {
        const bool changed = selEnd != selStart || doc->characterCount() != charsBefore;
        from = changed ? selStart : -1;
        to = changed ? pastedEnd() : -1;
    }
    if (from < 0) {
        if (pasting) whole.endEditBlock();
        return;
    }
    // A paragraph that begins inside what was just put in was typed or pasted: a new line.
    QTextCursor c(doc);
    bool editing = false;
    if (const QTextBlock joined = doc->findBlock(selStart);
        acrossStart && joined.position() == selStart && NoteDocument::continues(joined) != firstContinues) {
        c.joinPreviousEditBlock(), editing = true;
        QTextBlockFormat f = joined.blockFormat();
        if (firstContinues)
            f.setProperty(NoteDocument::kContinues, true);
        else
            f.clearProperty(NoteDocument::kContinues);
        c.setPosition(joined.position());
        c.setBlockFormat(f);
    }
    for (QTextBlock b = doc->findBlock(from); b.isValid() && b.position() <= to; b = b.next()) {
        if (b.position() <= from || !NoteDocument::continues(b)) continue;
        if (!editing) c.joinPreviousEditBlock(), editing = true;
        QTextBlockFormat f = b.blockFormat();
        f.clearProperty(NoteDocument::kContinues);
        c.setPosition(b.position());
        c.setBlockFormat(f);
    }
    // What was typed or pasted is no gathered paragraph break, whatever it took its look from.
    for (const NoteDocument::FormatRun &r : NoteDocument::formatRuns(*doc, from, to)) {
        if (!r.fmt.hasProperty(NoteDocument::kGathered)) continue;
        if (!editing) c.joinPreviousEditBlock(), editing = true;
        QTextCharFormat f = r.fmt;
        f.clearProperty(NoteDocument::kGathered);
        c.setPosition(r.start);
        c.setPosition(r.end, QTextCursor::KeepAnchor);
        c.setCharFormat(f);
    }
    NoteDocument::mendCuts(c, from, to, [&] {
        if (!editing) c.joinPreviousEditBlock(), editing = true;
    });
    if (editing) c.endEditBlock();
    if (pasting) {
        // A paste of words a little past a piece's length lays out in about the same time: its
        // paragraphs are cut only for their emoji, so the find bar's marks after it stay as they are.
        // A longer one's lines are cut into pieces, as a long plain paste's are.
        const bool emojiOnly = pastedEnd() - selStart <= NoteDocument::kPieceChars;
        // The paste's end moves past the cuts before it, not past those in the text after it.
        QTextCursor end(doc);
        end.setPosition(to);
        NoteDocument::cutLongParagraphs(whole, from, to, emojiOnly);
        to = end.position();
        whole.endEditBlock();
        // The view finds the caret by going over the paragraphs from the top of the screen to it:
        // those the cuts made are laid out over the next turns, as after Ctrl+End.
        QTextCursor caret(doc);
        caret.setPosition(to);
        placeCaret(caret);
    }
    linkEdited(from, to);
    if (ownStep) {
        // The view placed the caret before the text was laid out.
        const NoteDocument::PacedLayout::Pacing pacing(document(), this);
        ensureCursorVisible();
    }
}

void NoteTextView::linkEdited(int from, int to) {
    if (autoLinks_.isValid()) NoteDocument::relinkEdited(*document(), from, to, autoLinks_);
}

void NoteTextView::keyPressEvent(QKeyEvent *e) {
    // A modifier pressed alone (the Ctrl of Ctrl+C) changes nothing, but the editor repaints the
    // selection at every key but a copy or a select-all, laying out the paragraphs at both its ends:
    // after a select-all in a long note, pieces far off the screen (one of emoji: 80 ms). It goes on
    // to the widgets around, as the editor leaves it.
    switch (e->key()) {
    case Qt::Key_Control:
    case Qt::Key_Shift:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
        e->ignore();
        return;
    default:
        break;
    }
    const auto mods = e->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    if (mods == Qt::ControlModifier && !isReadOnly()) {
        switch (e->key()) {
        case Qt::Key_B: applyFmt(0); e->accept(); return;
        case Qt::Key_I: applyFmt(1); e->accept(); return;
        case Qt::Key_U: applyFmt(2); e->accept(); return;
        default: break;
        }
    }
    if (mods == (Qt::ControlModifier | Qt::ShiftModifier) && e->key() == Qt::Key_V && !isReadOnly()) {
        pasteClipboard(true);
        e->accept();
        return;
    }
    if (e->matches(QKeySequence::Paste) && !isReadOnly()) {
        // Not through the key's own handling, which places the view on the caret at once when done,
        // going over (and laying out) every piece the paste was cut into: the paste places it paced.
        pasteClipboard(false);
        e->accept();
        return;
    }
    if (isReadOnly() &&
        (e->matches(QKeySequence::MoveToStartOfDocument) || e->matches(QKeySequence::MoveToEndOfDocument))) {
        // A reader has no caret to move: the view goes to the top or the end.
        verticalScrollBar()->triggerAction(e->matches(QKeySequence::MoveToEndOfDocument)
                                               ? QAbstractSlider::SliderToMaximum
                                               : QAbstractSlider::SliderToMinimum);
        e->accept();
        return;
    }
    const bool toEnd = e->matches(QKeySequence::MoveToEndOfLine) || e->matches(QKeySequence::SelectEndOfLine);
    if (toEnd || e->matches(QKeySequence::MoveToStartOfLine) || e->matches(QKeySequence::SelectStartOfLine)) {
        QPlainTextEdit::keyPressEvent(e);
        if (textInteractionFlags() & Qt::TextSelectableByKeyboard)
            toRowEdge(toEnd, e->matches(QKeySequence::SelectEndOfLine) || e->matches(QKeySequence::SelectStartOfLine));
        return;
    }
    if (e->matches(QKeySequence::Copy)) {
        // Not as an edit: one places a cursor at the selection's start first, which lays out the
        // paragraph there, wherever it is (the first piece of a note after a select-all).
        copy();
        e->accept();
        return;
    }
    if (isReadOnly()) {
        QPlainTextEdit::keyPressEvent(e);
        return;
    }
    if (e->matches(QKeySequence::Undo) || e->matches(QKeySequence::Redo)) {
        undoRedo(e->matches(QKeySequence::Redo));
        e->accept();
        return;
    }
    if (e->matches(QKeySequence::Cut)) {
        cut();
        e->accept();
        return;
    }
    if (e->matches(QKeySequence::MoveToEndOfDocument) || e->matches(QKeySequence::SelectEndOfDocument) ||
        e->matches(QKeySequence::MoveToStartOfDocument) || e->matches(QKeySequence::SelectStartOfDocument)) {
        // The caret's paragraph is laid out at once; those the view goes over to place it, as the
        // turn has time (a screenful of long pieces took 60 ms). The view places it again on the
        // next turns, until they are laid out.
        {
            const NoteDocument::PacedLayout::Pacing pacing(document(), this);
            QPlainTextEdit::keyPressEvent(e);
        }
        keepCaretInView(textCursor().position());
        return;
    }
    const QString typed = e->text();
    const bool edits = (!typed.isEmpty() && typed.front().isPrint() && !(mods & Qt::ControlModifier)) ||
                       e->key() == Qt::Key_Backspace || e->key() == Qt::Key_Delete ||
                       e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Tab ||
                       e->matches(QKeySequence::DeleteEndOfLine) ||
                       e->matches(QKeySequence::DeleteCompleteLine);
    // A long removal is made on a worker, the copies standing on the text made there first.
    if (mods == Qt::NoModifier && (e->key() == Qt::Key_Backspace || e->key() == Qt::Key_Delete) &&
        removeLater()) {
        e->accept();
        return;
    }
    if (edits) settleCopiesAroundSelection();
    QTextCursor c = textCursor();
    if (!c.hasSelection() && mods == Qt::NoModifier && (e->key() == Qt::Key_Backspace || e->key() == Qt::Key_Delete)) {
        // The cut between two pieces is no character: the one beyond it goes.
        const bool back = e->key() == Qt::Key_Backspace;
        bool crossed = false;
        if (back) {
            while (c.atBlockStart() && NoteDocument::continues(c.block())) c.movePosition(QTextCursor::PreviousCharacter), crossed = true;
        } else {
            while (c.atBlockEnd() && NoteDocument::continues(c.block().next())) c.movePosition(QTextCursor::NextCharacter), crossed = true;
        }
        if (crossed) {
            if (back ? !c.atStart() : !c.atEnd()) back ? c.deletePreviousChar() : c.deleteChar();
            bool mending = false;
            QTextCursor mend(document());
            NoteDocument::mendCuts(mend, c.position(), c.position(),
                               [&] { mend.joinPreviousEditBlock(), mending = true; });
            if (mending) mend.endEditBlock();
            setTextCursor(c);
            e->accept();
            return;
        }
    }
    if (caretOnScreen()) {
        userEdit([this, e] { QPlainTextEdit::keyPressEvent(e); }, true);
        return;
    }
    // A key typed with the caret off the screen (the reader scrolled away, or a find showed another
    // place) takes the view back to it over every paragraph between: those are laid out as the turn
    // has time, as after Ctrl+End (two screens of long pieces took 50 ms at once).
    userEdit(
        [this, e] {
            const NoteDocument::PacedLayout::Pacing pacing(document(), this);
            QPlainTextEdit::keyPressEvent(e);
        },
        true);
    keepCaretInView(textCursor().position());
}

bool NoteTextView::caretOnScreen() const {
    const QTextBlock caret = textCursor().block();
    QTextBlock b = firstVisibleBlock();
    if (!b.isValid() || caret.blockNumber() < b.blockNumber()) return false;
    // Measured by the layouts themselves: asking the view would lay out what it goes over.
    qreal y = contentOffset().y();
    for (; b.isValid() && y < viewport()->height(); b = b.next()) {
        const QTextLayout *tl = b.layout();
        if (!tl || tl->lineCount() == 0) return false;
        if (b == caret) return true;
        y += tl->boundingRect().bottom(); // as the view counts: a piece's row shared with the one before is that one's
    }
    return false;
}

void NoteTextView::inputMethodEvent(QInputMethodEvent *e) {
    if (!e->commitString().isEmpty() || e->replacementLength() > 0) settleCopiesAroundSelection();
    userEdit([this, e] { QPlainTextEdit::inputMethodEvent(e); }, true);
}

void NoteTextView::changeEvent(QEvent *e) {
    QPlainTextEdit::changeEvent(e);
    if (e->type() == QEvent::ReadOnlyChange) putPendingPasteLater();
}

void NoteTextView::applyFmt(int code) {
    QTextCursor sel = textCursor();
    if (!sel.hasSelection() || isReadOnly()) return;
    const int from = sel.selectionStart(), to = sel.selectionEnd();
    const bool offerAgain = settleCopies(from, to);
    applyFormatCode(document(), from, to, code);
    sel.setPosition(from);
    sel.setPosition(to, QTextCursor::KeepAnchor);
    setTextCursor(sel);
    // The selection is still there, in its new looks.
    if (offerAgain)
        QGuiApplication::clipboard()->setMimeData(createMimeDataFromSelection(), QClipboard::Selection);
}

