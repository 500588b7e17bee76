#pragma once
#include <QPlainTextDocumentLayout>
#include <QPointer>
#include <QTextLayout>
#include <optional>
#include <utility>

class QPlainTextEdit;
class QTextLayout;

namespace NoteDocument {
// Where the text of a line goes on after the last line laid out of one paragraph, in the coordinates
// of the paragraph below it: the x just past that line's text, and its baseline.
struct GoesOn {
    qreal x = 0;
    qreal baseline = 0;
    bool operator==(const GoesOn &) const = default;
};
std::optional<GoesOn> goesOnAfter(const QTextLayout &before);
// The looks a layout gives the emoji of a paragraph of text (see the source), as formats of the
// layout: what a layout of the same text to compare with takes too.
QList<QTextLayout::FormatRange> emojiLooks(const QString &text);
// Lays out tl as a plain text document's layout does: lines width wide from x = margin, each with
// its leading, below one another from y = 0. A piece of a line (see continues) is given from, where
// its line goes on: its first line is put on that row, just past the text before it, when its first
// word fits there, so the cut between the pieces shows no break; else it starts the next row, as a
// wrapped line does. Returns whether the first line went on that row.
// With measured, tl's text and looks are those it was last laid out with: its lines are made again
// from the glyphs it measured then (kept, with its cache enabled), not measured anew.
bool layOutLines(QTextLayout &tl, qreal margin, qreal width, const std::optional<GoesOn> &from,
                 bool measured = false);

// The layout of a long note's document. On the window's thread, where a view allows it (see Pacing),
// it lays out the paragraphs the view asks for only while this event-loop turn has time left. A
// paragraph asked for after that stays empty this once (its height guessed: one line) and the view
// is asked to draw again on the next turn, so a screenful of slow paragraphs (emoji) appears over a
// few turns instead of holding the window. A paragraph laid out keeps its glyphs, so drawing it
// again measures nothing.
class PacedLayout final : public QPlainTextDocumentLayout {
public:
    using QPlainTextDocumentLayout::QPlainTextDocumentLayout;

    // A document for a long text, made empty here on the window's thread for its text to be put in
    // elsewhere (then endFill, on the thread that filled it). A view takes it without going over
    // its paragraphs (see the source): hundreds of thousands of pieces of a line of emoji took
    // 100 ms to be gone over, at every hand-back from a worker.
    static QTextDocument *makeDocument();
    // The text is in: laid out from now on, as when a layout is set on a document made whole.
    void endFill();
    // Whether views take this document without going over its paragraphs: it lays its paragraphs
    // out at the width views tell it (setLineWidth), and lays them out again itself when it changes.
    bool standsIn() const { return standsIn_; }

    QRectF blockBoundingRect(const QTextBlock &block) const override;
    QSizeF documentSize() const override;
    // An edit lays out its paragraph again at once (Qt's own choice); what the view asks for
    // meanwhile is paced.
    void documentChanged(int from, int removed, int added) override;
    // Tells the document now of the looks given to paragraphs and not told yet (see prepare): an
    // edit made before would take them in as part of its own change.
    void tellLooksNow() { tellLooks(); }
    // Whether a paragraph was put off in this turn (the view draws again on the next).
    bool puttingOff() const { return resumeQueued_; }
    // Whether a paragraph's height was guessed since the last call with fitted: a range a view sized
    // meanwhile counted it as a line it could not see, and laying it out later may change no count
    // that would tell the view to size its range again.
    bool guessedHeights() const { return guessed_; }
    void rangeFitted() {
        guessed_ = false;
        reshaped_ = false;
    }
    // Whether a piece of a line laid out before was laid out again since the last call (its text
    // goes on elsewhere now, or it was edited): a range sized meanwhile counted the rows of the last
    // screenful by its old lines, and with as many rows in all as before, nothing tells the view to
    // size it again.
    bool takeReshaped() { return std::exchange(reshaped_, false); }
    // How many paragraphs a view has had laid out through this layout so far (edits aside): what a
    // step that should lay out nothing anew can be checked by.
    int paragraphsLaidOut() const { return laidOutAll_; }
    // How many times a piece of a line had its text measured (shaped) here, rather than its lines
    // made again from glyphs measured before: what an edit should cost once.
    int piecesMeasured() const { return measuredAll_; }
    // How many pieces have been laid out at most one within another (a view told of the size the
    // first gave asking for the next): what stays bounded however many pieces the text holds.
    int deepestPieceLayout() const { return deepestPiece_; }
    // The width a view gives the lines (its viewport's less the document's margins; 0: not known).
    // Known, a piece of a line is laid out once, going on from the one before it; else Qt lays it
    // out first, for its lines to tell the width, and it is measured twice.
    void setLineWidth(qreal width);

    // While one lives, the paragraphs view asks for may be put off: only where Qt copes with a
    // paragraph not laid out yet (drawing, sizing the scroll bar, taking a new document), and never
    // the one holding the cursor, which Qt places without checking. A drawing lays out at least one
    // paragraph per turn, so the screen fills whatever a paragraph costs. Nothing for a document
    // laid out otherwise.
    class Pacing {
    public:
        Pacing(const QTextDocument *doc, QPlainTextEdit *view, bool drawing = false);
        ~Pacing();
        Pacing(const Pacing &) = delete;
        Pacing &operator=(const Pacing &) = delete;

    private:
        QPointer<PacedLayout> layout_;
    };

protected:
    bool event(QEvent *e) override;

private:
    // A piece of a line laid out going on from the paragraph before it (as far as that one is laid
    // out), or a paragraph with indents or tab stops of its own (see layOutIndented); false for any
    // other paragraph, which Qt lays out as it does.
    bool layOutPiece(const QTextBlock &block) const;
    bool layOutIndented(const QTextBlock &block) const;
    // The piece after block is laid out again (when next asked for) once where it goes on has moved.
    void followOn(const QTextBlock &block) const;
    // Whether block is a piece laid out before whose text goes on elsewhere now: its lines are made
    // again when it is next asked for, from the glyphs it measured.
    bool movedOn(const QTextBlock &block) const;
    // What laying block out costs, in letters: an emoji to measure weighs as much as a hundred.
    double weight(const QTextBlock &block) const;
    // Gives block the looks of its emoji (see showEmojiInColour) before it is laid out.
    void prepare(const QTextBlock &block) const;
    void tellLooks();
    void tellSize() const;
    void openTurn();
    bool mayLayOut(const QTextBlock &block) const;
    void layOutPiecesBefore(const QTextBlock &block) const;
    bool deferred() const;
    int guessedRows(const QTextBlock &block) const;

    // Lets go of every paragraph's lines, as Qt does for a view that takes the document.
    void layOutAllAgain();

    bool filling_ = false;
    bool standsIn_ = false;
    int pacing_ = 0;
    int depth_ = 0;    // inside a layout of our own
    int changing_ = 0; // inside an edit's layout
    bool drawing_ = false;
    QPointer<QPlainTextEdit> view_;
    qint64 turnStart_ = 0; // on the steady clock
    bool turnOpen_ = false;
    bool turnEnds_ = false; // the event loop tells when a turn ends
    QMetaObject::Connection blocks_, wakes_;
    mutable int laidOut_ = 0; // paragraphs laid out in this turn
    mutable int laidOutAll_ = 0;
    mutable int measuredAll_ = 0;
    mutable int pieceDepth_ = 0, deepestPiece_ = 0;
    mutable bool tellingSize_ = false, sizeChangedMeanwhile_ = false;
    mutable bool resumeQueued_ = false;
    mutable bool reshaped_ = false;
    mutable double nsPerWeight_ = 800; // measured as paragraphs are laid out
    qreal lineWidth_ = 0;
    mutable bool guessed_ = false;
    mutable int walkTo_ = -1;       // a piece drawn whose pieces before are being laid out in order
    mutable bool walking_ = false;
    mutable quint64 layouts_ = 1; // layouts made or let go of in the document, to tell a place looked at since
    int inChange_ = 0; // inside documentChanged
    // Where paragraphs were given looks not told yet, and where those being told are (start, end).
    std::pair<int, int> looks_{-1, 0}, telling_{-1, 0};
    bool looksQueued_ = false;
    mutable qreal guessedLine_ = 0;    // the height of a paragraph put off, a line of the default font
    mutable qreal guessedChar_ = 0;    // the width of a letter of it
};
} // namespace NoteDocument
