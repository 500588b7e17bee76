#pragma once
#include "notes/NoteDocument.h"
#include "notes/SelectionCopy.h"
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextCursor>
#include <QTimer>
#include <functional>
#include <vector>

// The view of a note's text at every length: read-only in the detail, where a click on a link opens
// it, editable in the inline editor and the note editor dialog. Backspace and Delete beside a cut between two pieces delete the character
// beyond it; paragraphs typed or pasted are new lines, never pieces (a rich paste keeps its
// formats at every length, a long plain or rich one has its long lines in pieces; Ctrl+Shift+V pastes
// plain text at every length); a copy across a cut holds
// the stored text (plain).
class NoteTextView : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit NoteTextView(QWidget *parent = nullptr);
    ~NoteTextView() override;
    // Shows doc, laid out as it is drawn, a few paragraphs per turn.
    void setDocument(QTextDocument *doc);
    // Puts the caret (and selection) at c and the view on it; the paragraphs the view goes over to
    // place it are laid out over the next turns, as after Ctrl+End.
    void placeCaret(const QTextCursor &c);
    // The height the view needs, at its width, to show its whole document without scrolling (a
    // short one's: every paragraph is laid out here, by the view's own layout, so drawing them lays
    // out nothing again).
    int wholeHeight();
    // Lays out the paragraphs not laid out yet, at the view's width (shown or not), while this
    // event-loop turn has time for them (one at least); returns whether every paragraph is laid out
    // now. A text laid out so over a few turns before it is shown is drawn, and measured by
    // wholeHeight(), without laying anything out again.
    bool layOutWithinTurn();
    // The text as stored.
    QString wholeText() const { return NoteDocument::wholeText(*document()); }
    // Format codes as RichTextView::applyFmt.
    void applyFmt(int code);
    // Ctrl+Shift+V: the clipboard's plain text, in the look of the text before it (without its link).
    void pastePlain();
    // When set, a paste longer than NoteDocument::kPasteLaterChars is handed to it (the text, and the
    // selection it replaces) and this view takes nothing: its owner has it put in on a worker.
    std::function<void(const QString &text, int from, int to)> onLongPaste;
    // When set, the removal of a selection longer than NoteDocument::kPasteLaterChars, a rich paste
    // past a piece's characters, and the undo and redo of such a step, are handed to it as an edit to run on the document on a worker (see
    // NoteDocument::editLater), returning where the caret goes; this view takes nothing meanwhile.
    std::function<void(std::function<int(QTextDocument &)> edit)> onLongEdit;
    // Web addresses typed or pasted become links in this colour as they are made, marked as
    // detected (see NoteDocument::relinkEdited); none while it is invalid.
    void setAutoLinks(const QColor &colour) { autoLinks_ = colour; }
    // As QPlainTextEdit's, but the clipboard keeps what was copied (see settleCopies), and undo or
    // redo leaves the caret and the view where the step was.
    void cut();
    void undo();
    void redo();
    // Whether a paste is being read (a rich one, or another program's clipboard), or is read and waits
    // for the view to be editable again (its document lent to a worker meanwhile): it is put in then.
    // A save waits for it (see pasteSettled).
    bool pastePending() const { return richPastePending_; }
    // Gives up the rich paste pending (the edit it was for is cancelled); pasteSettled follows.
    void dropPendingPaste();

signals:
    // The rich paste pending was put in, or given up (dropped, or its document gone or no longer shown).
    void pasteSettled();

protected:
    bool eventFilter(QObject *watched, QEvent *e) override;
    void paintEvent(QPaintEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void wheelEvent(QWheelEvent *e) override;
    void scrollContentsBy(int dx, int dy) override;
    void focusInEvent(QFocusEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void inputMethodEvent(QInputMethodEvent *e) override;
    void insertFromMimeData(const QMimeData *source) override;
    bool canInsertFromMimeData(const QMimeData *source) const override;
    QMimeData *createMimeDataFromSelection() const override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void changeEvent(QEvent *e) override;
    void contextMenuEvent(QContextMenuEvent *e) override;
    void dropEvent(QDropEvent *e) override;

private:
    // What this view copied is made when asked for (see SelectionCopy): before an edit of from..to
    // changes the text a copy stands on, the clipboard's copy is made from the text as it still is,
    // and the primary selection's given up (the selection it offered is gone), keep excepted (it is
    // being pasted). Returns whether the primary selection was given up.
    // With later, the clipboard's copy is to be made by the functions added there, run on the
    // document before the edit, where the edit is made (see SelectionCopy::settleLater).
    bool settleCopies(int from, int to, const QMimeData *keep = nullptr,
                      std::vector<std::function<void(const QTextDocument &)>> *later = nullptr);
    // The same for the paragraphs around the selection, which a key or a paste there may change.
    void settleCopiesAroundSelection(const QMimeData *keep = nullptr);
    void undoRedo(bool redo);
    // Hands the removal of the selection to onLongEdit when it is long; whether it did.
    bool removeLater();
    void newStep();
    mutable std::vector<QPointer<SelectionCopy>> copies_;
    // Runs a user's edit; the paragraphs it made start new lines. A paste replaces the selection, and
    // leaves the caret after what it put in.
    void userEdit(const std::function<void()> &edit, bool typing = false, bool pasting = false);
    void insertRich(const QString &html);
    // Pastes the clipboard (plain: its text only, in the look of the text before it).
    void pasteClipboard(bool plain);
    void insertPlain(QString text);
    // A rich paste of more than a piece's characters, or one as RTF (rtf, not empty), read and put
    // in without holding the window.
    void pasteRichLater(const QString &html, const QByteArray &rtf);
    // The selection the rich paste being read replaces, as the text is edited meanwhile; the last
    // paste started is the one put in. Held here, so that it is let go of on the window's thread.
    QTextCursor richPasteAt_;
    quint64 richPastes_ = 0;
    bool richPastePending_ = false;
    // The paste read, put in by putPendingPaste once the view may take it.
    std::function<void()> putRichPaste_;
    void putPendingPaste();
    void putPendingPasteLater();
    void linkEdited(int from, int to);
    QColor autoLinks_;
    // Places the view on the caret at caret again on the next turns (at most turns of them) while
    // paragraphs it went over are still put off, unless the caret moves meanwhile.
    void keepCaretInView(int caret, int turns = 40);
    // Whether the caret's paragraph is on the screen, with every paragraph from the top of the
    // screen to it laid out: an edit there makes the view go over nothing new to place the caret.
    bool caretOnScreen() const;
    // A view laid out whole (the page around it scrolls) has every paragraph laid out over the next
    // turns, not only those drawn: one put off and never drawn would keep its guessed height, and
    // the view a scroll range of its own that moving the caret could scroll the text by.
    void layOutRestLater();
    bool laysOutEveryParagraph() const;
    void placeNow();
    void tellLineWidth(QTextDocument *doc);
    void showScrollBarFor(const QTextDocument *doc);
    bool restQueued_ = false;
    void drawRowsGoneOn(const QRect &area);
    void countSharedRowsOnce();
    void fitRangeLater();
    bool fittingRange_ = false;
    bool fitQueued_ = false;
    void toRowEdge(bool end, bool select);
    int pieceAt(const QPointF &pos) const;
    QString linkAt(const QPointF &pos) const;
    // Where a point puts the caret (see pieceAt).
    int positionAt(const QPointF &pos) const;
    // Places the caret at a point, or with extend takes the selection there (by the words or the
    // paragraphs a double or triple click selected).
    void extendTo(const QPointF &pos, bool extend);
    void offerSelection();
    void dragSelection();
    // Deletes the selection as the Delete key does (a long one on a worker).
    void deleteSelection();
    QString pressedLink_;
    QPointF pressPos_;
    bool pressed_ = false;   // the left button pressed in the view, not let go of yet
    bool qtPressed_ = false; // that press handed to Qt
    bool mightDrag_ = false; // pressed in the selection
    QTextCursor clickedUnit_;
    bool unitParagraphs_ = false;
    QTimer tripleClick_;
    QPointF tripleAt_;
};
