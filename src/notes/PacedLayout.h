#pragma once
#include <QElapsedTimer>
#include <QPlainTextDocumentLayout>
#include <QPointer>

class QPlainTextEdit;

namespace LongNote {
// The layout of a long note's document. On the window's thread, where a view allows it (see Pacing),
// it lays out the paragraphs the view asks for only while this event-loop turn has time left. A
// paragraph asked for after that stays empty this once (its height guessed: one line) and the view
// is asked to draw again on the next turn, so a screenful of slow paragraphs (emoji) appears over a
// few turns instead of holding the window. A paragraph laid out keeps its glyphs, so drawing it
// again measures nothing.
class PacedLayout final : public QPlainTextDocumentLayout {
public:
    using QPlainTextDocumentLayout::QPlainTextDocumentLayout;

    QRectF blockBoundingRect(const QTextBlock &block) const override;
    // An edit lays out its paragraph again at once (Qt's own choice); what the view asks for
    // meanwhile is paced.
    void documentChanged(int from, int removed, int added) override;
    // Whether a paragraph was put off in this turn (the view draws again on the next).
    bool puttingOff() const { return resumeQueued_; }
    // How many paragraphs a view has had laid out through this layout so far (edits aside): what a
    // step that should lay out nothing anew can be checked by.
    int paragraphsLaidOut() const { return laidOutAll_; }

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

private:
    void openTurn();
    bool mayLayOut(const QTextBlock &block) const;
    bool deferred() const;

    int pacing_ = 0;
    int depth_ = 0;    // inside a layout of our own
    int changing_ = 0; // inside an edit's layout
    bool drawing_ = false;
    QPointer<QPlainTextEdit> view_;
    QElapsedTimer turn_;
    bool turnOpen_ = false;
    mutable int laidOut_ = 0; // paragraphs laid out in this turn
    mutable int laidOutAll_ = 0;
    mutable bool resumeQueued_ = false;
    mutable double nsPerWeight_ = 800; // measured as paragraphs are laid out
    mutable qreal guessedLine_ = 0;    // the height of a paragraph put off, a line of the default font
};
} // namespace LongNote
