#include "notes/NoteTextView.h"
#include "platform/ClipboardServer.h"
#include "ui/WebLinks.h"
#include <QApplication>
#include <QClipboard>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QTextBlock>
#include <QTextLayout>

// A click, a drag, a double and a triple click with the left button are placed here, not by Qt:
// Qt's handler of a press goes over every paragraph of the document looking for a check box marker
// under the pointer (which a plain view never draws), and the hundreds of thousands of pieces of a
// long line of emoji held the window for 60 ms at each click. Qt's handlers of the moves and the
// release still run: with no press of theirs they select nothing, they scroll the view while a
// drag is out of it, and paste the primary selection at a middle click.

namespace {
// Whether an input method is composing in the caret's paragraph: a click is then its to take, or
// ends the composing, as Qt does.
bool composing(const QTextCursor &c) {
    const QTextLayout *l = c.block().layout();
    return l && !l->preeditAreaText().isEmpty();
}
} // namespace

int NoteTextView::positionAt(const QPointF &pos) const {
    const int at = pieceAt(pos);
    return at >= 0 ? at : cursorForPosition(pos.toPoint()).position();
}

void NoteTextView::mousePressEvent(QMouseEvent *e) {
    pressPos_ = e->position();
    pressedLink_ = isReadOnly() && e->button() == Qt::LeftButton ? linkAt(e->position()) : QString();
    pressed_ = e->button() == Qt::LeftButton;
    qtPressed_ = !pressed_ || composing(textCursor());
    mightDrag_ = false;
    if (qtPressed_) {
        QPlainTextEdit::mousePressEvent(e);
        // Qt places the caret but on a row a piece goes on along (see pieceAt).
        if (pressed_ && pieceAt(e->position()) >= 0)
            extendTo(e->position(), e->modifiers() & Qt::ShiftModifier);
        return;
    }
    e->accept();
    QTextCursor c = textCursor();
    if (tripleClick_.isActive() &&
        (e->position() - tripleAt_).manhattanLength() < QApplication::startDragDistance()) {
        // The third click of three selects the paragraph, and a drag goes on by paragraphs.
        tripleClick_.stop();
        c.movePosition(QTextCursor::StartOfBlock);
        c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        c.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
        clickedUnit_ = c;
        unitParagraphs_ = true;
        setTextCursor(c);
        return;
    }
    if (e->modifiers() == Qt::ShiftModifier) {
        extendTo(e->position(), true);
        return;
    }
    const int at = positionAt(e->position());
    // A press in the selection may drag it away; let go of without a move, it places the caret.
    if (c.hasSelection() && at >= c.selectionStart() && at <= c.selectionEnd()) {
        mightDrag_ = true;
        return;
    }
    clickedUnit_ = QTextCursor();
    c.setPosition(at);
    setTextCursor(c);
}

void NoteTextView::mouseDoubleClickEvent(QMouseEvent *e) {
    if (e->button() != Qt::LeftButton) {
        QPlainTextEdit::mouseDoubleClickEvent(e);
        return;
    }
    e->accept();
    pressed_ = true;
    mightDrag_ = false;
    // The word under the pointer, and a drag from there goes on by words.
    QTextCursor c = textCursor();
    c.setPosition(positionAt(e->position()));
    c.select(QTextCursor::WordUnderCursor);
    clickedUnit_ = c;
    unitParagraphs_ = false;
    setTextCursor(c);
    tripleAt_ = e->position();
    tripleClick_.setSingleShot(true);
    tripleClick_.start(QApplication::doubleClickInterval());
}

void NoteTextView::mouseMoveEvent(QMouseEvent *e) {
    if ((e->buttons() & Qt::LeftButton) && mightDrag_) {
        if ((e->position() - pressPos_).manhattanLength() < QApplication::startDragDistance()) return;
        mightDrag_ = false;
        pressed_ = false;
        dragSelection();
        return;
    }
    // With no button down, Qt only tells of a link hovered (no one listens) and looks for a paragraph
    // whose check box marker is under the pointer (for the pointer's shape, set below anyway), going
    // over every paragraph of the document:
    // the hundreds of thousands of pieces of a long line of emoji held the window for 80 ms at each
    // move. A plain text view draws no markers, so there is none to find.
    if (e->buttons() != Qt::NoButton) QPlainTextEdit::mouseMoveEvent(e);
    if ((e->buttons() & Qt::LeftButton) && pressed_ && (!qtPressed_ || pieceAt(e->position()) >= 0))
        extendTo(e->position(), true);
    // A view that links addresses as they are typed shows its links as links while editing too.
    const bool pointing = isReadOnly() || autoLinks_.isValid();
    if (e->buttons() == Qt::NoButton)
        viewport()->setCursor(pointing && !linkAt(e->position()).isEmpty() ? Qt::PointingHandCursor
                                                                           : Qt::IBeamCursor);
}

void NoteTextView::mouseReleaseEvent(QMouseEvent *e) {
    if (e->button() == Qt::LeftButton) {
        if (std::exchange(mightDrag_, false)) {
            QTextCursor c = textCursor();
            c.setPosition(positionAt(e->position()));
            clickedUnit_ = QTextCursor();
            setTextCursor(c);
        }
        // What a drag or a shift-click selected is offered as the primary selection, as Qt offers it
        // after a press of its own.
        if (std::exchange(pressed_, false) && !qtPressed_) offerSelection();
    }
    QPlainTextEdit::mouseReleaseEvent(e);
    const QString link = std::exchange(pressedLink_, QString());
    if (link.isEmpty() || textCursor().hasSelection() || (e->position() - pressPos_).manhattanLength() > 4)
        return;
    if (linkAt(e->position()) != link) return;
    if (const auto url = WebLinks::fromLinkValue(link)) WebLinks::open(*url);
}

// The selection goes on to the point: from the word or paragraph a double or triple click
// selected, kept whole, by paragraphs, or to the nearer end of the word at the point.
void NoteTextView::extendTo(const QPointF &pos, bool extend) {
    const int at = positionAt(pos);
    QTextCursor c = textCursor();
    if (!extend || !clickedUnit_.hasSelection()) {
        if (!extend) clickedUnit_ = QTextCursor();
        c.setPosition(at, extend ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor);
        setTextCursor(c);
        return;
    }
    const int from = clickedUnit_.selectionStart(), to = clickedUnit_.selectionEnd();
    if (at >= from && at <= to) {
        setTextCursor(clickedUnit_);
        return;
    }
    QTextCursor unit(document());
    unit.setPosition(at);
    if (unitParagraphs_) {
        unit.movePosition(QTextCursor::StartOfBlock);
        unit.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        unit.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
    } else {
        unit.select(QTextCursor::WordUnderCursor);
        if (!unit.hasSelection()) return; // between words: the selection stays
    }
    const int start = unit.selectionStart(), end = unit.selectionEnd();
    c.setPosition(at < from ? to : from);
    const bool toStart = unitParagraphs_ ? at < from : at - start < end - at;
    c.setPosition(toStart ? start : end, QTextCursor::KeepAnchor);
    setTextCursor(c);
}

void NoteTextView::offerSelection() {
    QClipboard *clip = QGuiApplication::clipboard();
    if (textCursor().hasSelection() && clip->supportsSelection())
        clip->setMimeData(createMimeDataFromSelection(), QClipboard::Selection);
}

// The selection dragged: a copy, or a move where the view is editable. Moved out of the view, it
// goes from the text as a cut's does (a move within it is made where it is dropped).
void NoteTextView::dragSelection() {
    auto *drag = new QDrag(viewport()); // let go of by Qt when the drag ends
    drag->setMimeData(createMimeDataFromSelection());
    // The program it is dropped on is answered without holding the window, as a paste is.
    ClipboardServer::dragging(drag->mimeData());
    const Qt::DropActions may = isReadOnly() ? Qt::CopyAction : Qt::CopyAction | Qt::MoveAction;
    const QPointer<NoteTextView> self(this); // the drag runs the event loop until it is dropped
    if (drag->exec(may, Qt::MoveAction) == Qt::MoveAction && self && drag->target() != viewport())
        deleteSelection();
}
