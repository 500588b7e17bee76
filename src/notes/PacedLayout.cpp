#include "notes/PacedLayout.h"

#include "notes/NoteDocument.h"
#include "platform/SteadyClock.h"
#include "ui/Fonts.h"
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCoreApplication>
#include <QFontMetricsF>
#include <QPlainTextEdit>
#include <QResizeEvent>
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextDocument>
#include <QTextLayout>
#include <QThread>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QTimer>
#include <algorithm>

namespace NoteDocument {
namespace {
// An emoji takes about as long to lay out as this many letters: the font library decodes its picture
// to measure it, at every layout that measures the text.
constexpr double kEmojiWeight = 100;
// What an emoji adds to laying out again the lines of a text measured before: no measuring, a few of
// them looked at where lines may end.
constexpr double kMeasuredEmojiWeight = 4;
// The time a turn spends on a long note's view before paragraphs wait for the next turn.
constexpr double kTurnNs = 6'000'000;

bool onWindowThread() {
    // A document may still be being built on a worker while the application ends (it waits for its
    // pool's tasks only once the instance is gone).
    const QCoreApplication *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

// Marks the layout formats set here, so others (an input method's) stay.
constexpr int kEmojiShown = NoteDocument::kLayoutLook;

// Whether text holds a character beyond U+1F000 (most emoji; a pair of surrogates starting so).
bool holdsEmojiPlane(const QString &text) {
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() >= 0xD83C && c.unicode() <= 0xD83E; });
}

// Gives a layout the looks of its emoji (see emojiLooks), keeping the formats others gave it.
bool showEmojiInColour(QTextLayout *tl, const QString &text) {
    QList<QTextLayout::FormatRange> formats = tl->formats();
    const QList<QTextLayout::FormatRange> had = formats;
    formats.removeIf([](const QTextLayout::FormatRange &r) { return r.format.hasProperty(kEmojiShown); });
    formats += emojiLooks(text);
    // Set only when they change: a layout given formats lets go of the glyphs it measured.
    if (formats == had) return false;
    tl->setFormats(formats);
    return true;
}

// Where a piece was laid out going on from (none: from a row of its own), so that it is laid out again
// only once that moves.
struct PieceStart : QTextBlockUserData {
    std::optional<GoesOn> from;
    qreal width = 0; // of its lines
    // Its layout holds the glyphs of its text as it is: measured on the window's thread, and neither
    // its text nor its looks changed since.
    bool measured = false;
    // The count of layouts made in its document when it was last found where it was laid out going
    // on from (see movedOn).
    quint64 stillAt = 0;
};

// Whether this Qt makes a layout's lines again from the glyphs it measured before: lines cleared,
// the layout keeps its text's glyphs (with its cache enabled) and new lines are made from them,
// where beginLayout() lets go of them and measures the whole text again (an emoji's picture decoded
// for each). A Qt built for debugging makes no lines outside beginLayout(): every layout measures.
bool linesAgainFromGlyphs() {
    static const bool works = [] {
        QTextLayout probe(QStringLiteral("a b"));
        probe.setCacheEnabled(true);
        probe.beginLayout();
        probe.createLine().setLineWidth(100);
        probe.endLayout();
        probe.clearLayout();
        QTextLine again = probe.createLine();
        const bool made = again.isValid();
        if (made) again.setLineWidth(100);
        probe.endLayout();
        return made && probe.lineCount() == 1 && probe.lineAt(0).textLength() == 3;
    }();
    return works;
}

// A view taking a document gives its layout the view's width, and its layout lets go of every
// paragraph's lines for it (a walk over every paragraph, whatever is shown), unless another view took
// the document first and is at least as wide: this one, hidden, never shown, wider than any screen,
// takes each long document while it is still empty. The document's own layout lays its paragraphs out
// at the width the view it is shown in tells it (see setLineWidth).
QPlainTextEdit *standIn() {
    static QPointer<QPlainTextEdit> view;
    if (view || !qobject_cast<QApplication *>(QCoreApplication::instance()) || !onWindowThread()) return view;
    view = new QPlainTextEdit;
    view->setFrameStyle(QFrame::NoFrame);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->resize(QWIDGETSIZE_MAX, 1);
    // Never shown: its viewport is placed by the event a shown view gets.
    QResizeEvent placed(view->size(), QSize());
    QCoreApplication::sendEvent(view, &placed);
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, view, &QObject::deleteLater);
    return view;
}

// Whether b has lines, without making a layout object for a piece that has none: a piece is laid
// out here first (layOutPiece gives it its start), and one never laid out needs no object yet. Made
// for every piece of a 50 MB line of emoji, they held 230 MB (made again at the undo of its delete).
bool hasLines(const QTextBlock &b) {
    if (continues(b) && !b.userData()) return false;
    const QTextLayout *tl = b.layout();
    return tl && tl->lineCount() > 0;
}

std::optional<GoesOn> goesOnBefore(const QTextBlock &piece) {
    const QTextBlock before = piece.previous();
    const QTextLayout *tl = before.isValid() && before.isVisible() ? before.layout() : nullptr;
    if (!tl || tl->lineCount() == 0) return std::nullopt;
    return goesOnAfter(*tl);
}

} // namespace

QTextDocument *PacedLayout::makeDocument() {
    auto *doc = new QTextDocument;
    auto *layout = new PacedLayout(doc);
    doc->setDocumentLayout(layout);
    layout->filling_ = true;
    if (QPlainTextEdit *view = standIn()) {
        view->setDocument(doc);
        view->setDocument(nullptr);
        layout->standsIn_ = true;
    }
    return doc;
}

void PacedLayout::endFill() {
    if (!std::exchange(filling_, false)) return;
    documentChanged(0, 0, document()->characterCount());
}

void PacedLayout::setLineWidth(qreal width) {
    // Views taking the document lay nothing out again for a width of their own (see standIn).
    const bool again = standsIn_ && width != lineWidth_ && (lineWidth_ > 0 || laidOutAll_ > 0);
    lineWidth_ = width;
    ++layouts_;
    if (again) layOutAllAgain();
}

void PacedLayout::layOutAllAgain() {
    for (QTextBlock b = document()->firstBlock(); b.isValid(); b = b.next()) {
        b.clearLayout();
        b.setLineCount(b.isVisible() ? 1 : 0);
    }
    ++layouts_;
    emit update();
}

QSizeF PacedLayout::documentSize() const {
    const QSizeF size = QPlainTextDocumentLayout::documentSize();
    // As wide as the lines the view asked for, not as the view standing in (see standIn).
    if (!standsIn_ || lineWidth_ <= 0) return size;
    return QSizeF(lineWidth_ + 2 * document()->documentMargin(), size.height());
}

void PacedLayout::prepare(const QTextBlock &block) const {
    QTextLayout *tl = block.layout();
    if (!tl) return;
    const QString text = block.text();
    if (!text.contains(QChar(0xFE0F)) && !holdsEmojiPlane(text) && tl->formats().isEmpty()) return;
    if (!showEmojiInColour(tl, text)) return;
    // A layout given formats tells its document it changed, which the document tells its layout
    // with the next edit, as part of it: the first key typed after opening a line of emoji had every
    // piece of it measured again, at once. Told apart (as Qt's highlighters do), it is known for what
    // it is; within a change being told, once that is over.
    auto *self = const_cast<PacedLayout *>(this);
    const int start = block.position(), end = start + block.length();
    self->looks_ = looks_.first < 0 ? std::pair(start, end)
                                    : std::pair(std::min(looks_.first, start), std::max(looks_.second, end));
    if (inChange_ == 0) return self->tellLooks();
    if (!looksQueued_) {
        self->looksQueued_ = true;
        QTimer::singleShot(0, self, [self] {
            self->looksQueued_ = false;
            self->tellLooks();
        });
    }
}

void PacedLayout::tellLooks() {
    if (looks_.first < 0) return;
    const std::pair<int, int> looks = looks_;
    looks_ = {-1, 0};
    const int end = std::min(looks.second, document()->characterCount());
    if (end <= looks.first) return;
    const QScopedValueRollback<std::pair<int, int>> telling(telling_, std::pair(looks.first, end));
    document()->markContentsDirty(looks.first, end - looks.first);
}

// A character asked to be shown as an emoji (followed by U+FE0F, as "❤️") is drawn from the colour
// emoji font: the interface font has a plain glyph for some of them (a black heart), and the text
// engine would take it regardless of the selector. Emoji are laid out with the font fully hinted:
// drawn at a fraction of a pixel, a glyph is kept once for each of the fractions it falls on (and for
// each colour it is drawn in), and a colour emoji's picture is decoded twice for each, so the first
// paint of a screenful of emoji decoded every picture eight times over. Hinted, they stand at whole
// pixels (their advances whole too), each picture decoded twice. Looks of the layout only: the text
// keeps its own format, so nothing of it is stored.
QList<QTextLayout::FormatRange> emojiLooks(const QString &text) {
    // Two formats shared by every range (a paragraph of emoji has dozens of them).
    static const QTextCharFormat hinted = [] {
        QTextCharFormat f;
        f.setFontHintingPreference(QFont::PreferFullHinting);
        f.setProperty(kEmojiShown, true);
        return f;
    }();
    static const QTextCharFormat coloured = [] {
        QTextCharFormat f = hinted;
        f.setFontFamilies(QStringList{Fonts::uiFamilies().constLast()});
        return f;
    }();
    QList<QTextLayout::FormatRange> looks;
    const auto shown = [&](qsizetype start, qsizetype end, bool fromEmojiFont) {
        looks.push_back({int(start), int(end - start), fromEmojiFont ? coloured : hinted});
    };
    for (qsizetype at = text.indexOf(QChar(0xFE0F)); at > 0; at = text.indexOf(QChar(0xFE0F), at + 1))
        shown(at >= 2 && text[at - 1].isLowSurrogate() ? at - 2 : at - 1, at + 1, true);
    if (holdsEmojiPlane(text)) {
        // Whole characters as shown (an emoji with its skin tone, a sequence joined by U+200D, a flag),
        // neighbours in one range: a character cut between two fonts would be drawn in pieces.
        QTextBoundaryFinder chars(QTextBoundaryFinder::Grapheme, text);
        qsizetype runStart = -1;
        for (qsizetype from = 0, to = chars.toNextBoundary(); to > 0; from = to, to = chars.toNextBoundary()) {
            const char16_t first = text[from].unicode();
            const bool emoji = first >= 0xD83C && first <= 0xD83E && to - from >= 2;
            if (emoji && runStart < 0) runStart = from;
            if (!emoji && runStart >= 0) shown(runStart, from, false), runStart = -1;
        }
        if (runStart >= 0) shown(runStart, text.size(), false);
    }
    return looks;
}

std::optional<GoesOn> goesOnAfter(const QTextLayout &before) {
    if (before.lineCount() == 0) return std::nullopt;
    const QTextLine last = before.lineAt(before.lineCount() - 1);
    // The paragraph below starts where this one's lines end (see QPlainTextDocumentLayout).
    const qreal top = last.y() - before.boundingRect().bottom();
    return GoesOn{last.cursorToX(last.textStart() + last.textLength()), top + last.ascent()};
}

bool layOutLines(QTextLayout &tl, qreal margin, qreal width, const std::optional<GoesOn> &from, bool measured) {
    const auto below = [](const QTextLine &line) {
        return line.y() + line.height() + (line.leading() < 0 ? std::ceil(line.leading()) : 0);
    };
    const bool again = linesAgainFromGlyphs();
    measured = measured && again;
    const auto fromGlyphs = [&] {
        tl.clearLayout();
        // The text itemized (a layout whose glyphs went anyway measures them as its lines need them).
        tl.isValidCursorPosition(0);
    };
    const auto begin = [&] {
        if (!measured) return tl.beginLayout();
        fromGlyphs();
    };
    qreal y = 0;
    bool onRow = false;
    begin();
    if (from && from->x < margin + width - 1) {
        QTextLine line = tl.createLine();
        line.setLeadingIncluded(true);
        const qreal room = margin + width - from->x;
        line.setLineWidth(room);
        // A word that does not fit would be split to fill the row: the piece starts the next row then.
        const int end = line.textStart() + line.textLength();
        const QString text = tl.text();
        bool fits = line.textLength() > 0 && line.naturalTextWidth() <= room;
        if (fits && end < text.size()) {
            QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, text);
            breaks.setPosition(end);
            fits = breaks.isAtBoundary();
        }
        if (fits) {
            line.setPosition(QPointF(from->x, from->baseline - line.ascent()));
            y = std::max<qreal>(0, below(line));
            onRow = true;
        } else {
            tl.endLayout(); // begun again: the line goes
            // From the glyphs the line measured: the text is not measured a second time.
            if (again) fromGlyphs();
            else begin();
        }
    }
    for (QTextLine line = tl.createLine(); line.isValid(); line = tl.createLine()) {
        line.setLeadingIncluded(true);
        line.setLineWidth(width);
        line.setPosition(QPointF(margin, y));
        y = below(line);
    }
    tl.endLayout();
    return onRow;
}

// Qt lays a plain text document's paragraphs out from its margin, with the document's tab stops: a
// paragraph's own indents and tab stops (a list item's hanging indent, read from rich text and
// written back with it) would be shown as if it had none, its bullet a default tab away from its
// text. Such a paragraph is laid out here: its first line from the left indent plus the first-line
// indent (which may be negative, down to the margin), the others from the left indent. Qt measures
// tab stops from the start of the line a tab is on; the paragraph's are from the margin, and a
// hanging indent is a stop of its own (as word processors show it).
bool PacedLayout::layOutIndented(const QTextBlock &block) const {
    const QTextBlockFormat bf = block.blockFormat();
    const qreal left = std::max<qreal>(0, bf.leftMargin()), firstIndent = bf.textIndent();
    QList<QTextOption::Tab> tabs = bf.tabPositions();
    // A document standing in (see standIn) has every paragraph laid out here, at the view's width.
    const bool own = standsIn_ && lineWidth_ > 0;
    if ((left == 0 && firstIndent == 0 && tabs.isEmpty() && !own) || !block.isVisible() || !block.layout())
        return false;
    QTextDocument *doc = document();
    QTextOption option = doc->defaultTextOption();
    if (option.flags() & QTextOption::AddSpaceForLineAndParagraphSeparators) return false;
    const qreal first = std::max<qreal>(0, left + firstIndent);
    if (firstIndent < 0) tabs.append(QTextOption::Tab(left, QTextOption::LeftTab));
    QList<QTextOption::Tab> fromLine;
    for (QTextOption::Tab t : std::as_const(tabs)) {
        t.position -= first;
        if (t.position > 0) fromLine.append(t);
    }
    std::sort(fromLine.begin(), fromLine.end(),
              [](const auto &a, const auto &b) { return a.position < b.position; });
    if (!fromLine.isEmpty()) option.setTabs(fromLine);
    const qreal margin = doc->documentMargin();
    QTextLayout *tl = block.layout();
    qreal room = lineWidth_;
    if (room <= 0) {
        // The width Qt gives lines (none known to us): its own layout of the paragraph tells it.
        if (tl->lineCount() == 0) QPlainTextDocumentLayout::blockBoundingRect(block);
        if (tl->lineCount() == 0) return false;
        room = tl->lineAt(0).width();
    }
    tl->setTextOption(option);
    tl->beginLayout();
    qreal y = 0;
    for (QTextLine line = tl->createLine(); line.isValid(); line = tl->createLine()) {
        const qreal x = line.lineNumber() == 0 ? first : left;
        line.setLeadingIncluded(true);
        line.setLineWidth(std::max<qreal>(1, room - x));
        line.setPosition(QPointF(margin + x, y));
        y += line.height() + (line.leading() < 0 ? std::ceil(line.leading()) : 0);
    }
    tl->endLayout();
    const int lines = doc->lineCount();
    QTextBlock(block).setLineCount(tl->lineCount());
    if (doc->lineCount() != lines) tellSize();
    return true;
}

bool PacedLayout::layOutPiece(const QTextBlock &block) const {
    ++layouts_; // Qt lays out a paragraph that is no piece after this
    QTextDocument *doc = document();
    const QTextOption option = doc->defaultTextOption();
    if (!continues(block)) return layOutIndented(block);
    if (!block.isVisible() || (option.flags() & QTextOption::AddSpaceForLineAndParagraphSeparators))
        return false;
    const QScopedValueRollback<int> depth(pieceDepth_, pieceDepth_ + 1);
    deepestPiece_ = std::max(deepestPiece_, pieceDepth_);
    QTextLayout *tl = block.layout();
    tl->setCacheEnabled(true); // drawn, and asked where its characters are, without measuring them again
    QTextBlock piece = block;
    auto *start = static_cast<PieceStart *>(piece.userData());
    // Every layout measures the piece's text anew (an emoji takes a tenth of a millisecond): with the
    // view's width known it is laid out here only, else by Qt first, as a paragraph of its own, for
    // its lines to tell that width.
    qreal width = lineWidth_;
    if (width > 0) {
        tl->setTextOption(option);
    } else {
        if (tl->lineCount() == 0) QPlainTextDocumentLayout::blockBoundingRect(block);
        if (tl->lineCount() == 0) return false;
        // A first line on the row before is only as wide as what was left of it.
        const QTextLine last = tl->lineAt(tl->lineCount() - 1);
        width = last.lineNumber() > 0 || last.y() >= 0 || !start ? last.width() : start->width;
    }
    const std::optional<GoesOn> from = goesOnBefore(block);
    // Only a piece whose text changed, or one never laid out here, is measured: one that goes on
    // elsewhere after an edit before it, or at a new width, has its lines made from its glyphs.
    const bool measured = start && start->measured && linesAgainFromGlyphs();
    if (tl->lineCount() > 0) reshaped_ = true;
    const bool onRow = layOutLines(*tl, doc->documentMargin(), width, from, measured);
    if (!measured) ++measuredAll_;
    if (!start) piece.setUserData(start = new PieceStart);
    start->from = from;
    start->width = width;
    start->measured = onWindowThread();
    const int lines = doc->lineCount();
    // The rows the view counts (its scroll bar's range): a row shared with the text before is its.
    piece.setLineCount(tl->lineCount() - (onRow ? 1 : 0));
    if (doc->lineCount() != lines) tellSize();
    return true;
}

// A view told of a new size goes over paragraphs (sizing its range from the last one up), and each
// piece laid out for it changes the size again: told there and then, the view went over them again
// from within, as deep as there were pieces to lay out, until the window's stack ran out. A size
// changed while it is being told is told once more after, when the view is through with it.
// What the view asks for meanwhile is paced, whoever laid the piece out (a piece laid out again
// where it goes on, asked for outside any view's pacing, too): sizing the range copes with a
// paragraph not laid out, and unpaced, the view had every piece it went over laid out in the one
// turn, a screenful of emoji and more.
void PacedLayout::tellSize() const {
    if (tellingSize_) {
        sizeChangedMeanwhile_ = true;
        return;
    }
    const QScopedValueRollback<bool> telling(tellingSize_, true);
    auto *self = const_cast<PacedLayout *>(this);
    const QScopedValueRollback<int> paced(self->depth_, depth_ + 1);
    do {
        sizeChangedMeanwhile_ = false;
        emit self->documentSizeChanged(documentSize());
    } while (sizeChangedMeanwhile_);
}

void PacedLayout::followOn(const QTextBlock &block) const {
    QTextBlock next = block.next();
    if (!next.isValid() || !continues(next) || !next.layout() || next.layout()->lineCount() == 0) return;
    const auto *start = static_cast<const PieceStart *>(next.userData());
    if (start && start->from == goesOnBefore(next)) return;
    // Laid out again when next asked for (drawn, first of all), as far as it is; so is the one after
    // it then. One whose glyphs are kept keeps its lines meanwhile, so it is never drawn blank.
    if (!start || !start->measured || !onWindowThread()) next.clearLayout(), ++layouts_;
    emit const_cast<PacedLayout *>(this)->update();
}

// Asked at every look at a piece's place (a find's hundred highlights each look at the pieces they
// reach), and where the line before it ends takes measuring its text up to there: looked for again
// only once some paragraph was laid out since.
bool PacedLayout::movedOn(const QTextBlock &block) const {
    auto *start = static_cast<PieceStart *>(block.userData());
    if (!start || !start->measured || start->stillAt == layouts_ || !continues(block)) return false;
    if (start->from != goesOnBefore(block)) return true;
    start->stillAt = layouts_;
    return false;
}

double PacedLayout::weight(const QTextBlock &block) const {
    const QString text = block.text();
    const auto *start = static_cast<const PieceStart *>(block.userData());
    const bool measured = start && start->measured && continues(block) && linesAgainFromGlyphs();
    return double(text.size()) + (measured ? kMeasuredEmojiWeight : kEmojiWeight) * colourEmoji(text);
}

// Where a piece's rows break depends on every piece of its line before it: one laid out with the
// piece before it not laid out (the view shown at the end of a line of emoji, or scrolled up to a
// piece from below) starts a row of its own, and it and the pieces after it wrapped otherwise than
// the line laid out from its start, until the reader had gone over every piece before. A line no
// longer than a paragraph of words may be (cut only for its emoji) wraps as that paragraph: the
// pieces before the one drawn are laid out in order, a turn's share at a time, and the pieces drawn
// meanwhile go on from them once they are (see movedOn). A longer line's pieces go on from where it
// is shown: laying out tens of megabytes before the place shown is no price for the phase of its
// rows.
void PacedLayout::layOutPiecesBefore(const QTextBlock &block) const {
    if (block.isValid() && walkTo_ == block.blockNumber()) walkTo_ = -1;
    // Only for a view drawing, paced: drawing_ outlives its pacing.
    if (!drawing_ || pacing_ == 0 || changing_ > 0 || !block.isValid() || !continues(block)) return;
    QTextBlock first;
    qsizetype chars = 0;
    for (QTextBlock b = block.previous(); b.isValid(); b = b.previous()) {
        if (b.layout() && b.layout()->lineCount() > 0) break;
        first = b;
        chars += b.length() - 1;
        if (chars > kPieceChars) return;
        if (!continues(b)) break;
    }
    for (QTextBlock b = first; b.isValid() && b != block; b = b.next()) {
        blockBoundingRect(b);
        if (!b.layout() || b.layout()->lineCount() == 0) {
            walkTo_ = block.blockNumber(); // the rest on the next turns
            return;
        }
    }
}

QRectF PacedLayout::blockBoundingRect(const QTextBlock &block) const {
    if (filling_) return {}; // laid out once the text is in
    // The pieces before one drawn earlier, laid out in order as each turn draws (see
    // layOutPiecesBefore); not from within that walk.
    if (walkTo_ >= 0 && !walking_ && drawing_ && pacing_ > 0 && onWindowThread() &&
        walkTo_ < document()->blockCount()) {
        const QScopedValueRollback<bool> walking(walking_, true);
        layOutPiecesBefore(document()->findBlockByNumber(walkTo_));
    }
    QTextLayout *tl = block.isValid() ? block.layout() : nullptr;
    if (tl && tl->lineCount() > 0 && !block.userData() && continues(block) && onWindowThread())
        layOutPiece(block); // laid out as a paragraph of its own, where no view showed it
    if (tl && tl->lineCount() > 0 && onWindowThread() && movedOn(block)) {
        // Its lines made again from its glyphs, a tenth of measuring them, but still paced: a view
        // laid out whole asks for every piece of the line after the one typed in when it draws. One
        // put off is drawn as it was laid out this once, and laid out on the next turn.
        auto *self = const_cast<PacedLayout *>(this);
        self->openTurn();
        if (!(pacing_ > 0 || depth_ > 0) || changing_ > 0 || mayLayOut(block)) {
            ++laidOut_;
            layOutPiece(block);
            followOn(block);
        }
    }
    if (!tl || tl->lineCount() > 0) return QPlainTextDocumentLayout::blockBoundingRect(block);
    if (!block.isVisible() || !onWindowThread()) {
        tl->setCacheEnabled(true);
        prepare(block);
        layOutPiece(block);
        const QRectF r = QPlainTextDocumentLayout::blockBoundingRect(block);
        followOn(block);
        return r;
    }
    auto *self = const_cast<PacedLayout *>(this);
    self->openTurn();
    // Asked while a paragraph is being laid out: the view fitting its scroll bar to the new height,
    // which copes with a paragraph not laid out.
    const bool paced = pacing_ > 0 || depth_ > 0;
    // An edit asks for its paragraph's height before laying it out anyway: never twice.
    if (paced && (changing_ > 0 ? !deferred() : !mayLayOut(block))) {
        if (guessedLine_ <= 0) {
            const QFontMetricsF fm(document()->defaultFont());
            guessedLine_ = fm.lineSpacing();
            guessedChar_ = fm.averageCharWidth();
        }
        guessed_ = true;
        return QRectF(0, 0, documentSize().width(), guessedLine_ * guessedRows(block));
    }
    if (!walking_) {
        const QScopedValueRollback<bool> walking(walking_, true);
        layOutPiecesBefore(block);
    }
    // Only a paragraph about to be laid out is looked at: one put off may be asked for again and again.
    prepare(block);
    const double weighs = weight(block);
    tl->setCacheEnabled(true);
    const qint64 began = SteadyClock::get().nowNs();
    ++laidOut_;
    ++laidOutAll_;
    ++self->depth_;
    layOutPiece(block);
    const QRectF r = QPlainTextDocumentLayout::blockBoundingRect(block);
    --self->depth_;
    followOn(block);
    nsPerWeight_ =
        (3 * nsPerWeight_ + double(SteadyClock::get().nowNs() - began) / std::max(1.0, weighs)) / 4;
    return r;
}

void PacedLayout::documentChanged(int from, int removed, int added) {
    // Only the looks of a paragraph about to be laid out (see prepare); a change of the text told
    // with them (one being made) is seen to as any.
    if (filling_) return;
    const int looks = telling_.second - telling_.first;
    if (from == telling_.first && removed == looks && added == looks) return;
    const QScopedValueRollback<int> inChange(inChange_, inChange_ + 1);
    ++layouts_;
    const auto laidOut = qScopeGuard([this] { ++layouts_; });
    // The pieces whose characters or looks changed measure their text again when next laid out.
    for (QTextBlock b = document()->findBlock(from); b.isValid() && (b.contains(from) || b.position() < from + added);
         b = b.next()) {
        if (auto *start = static_cast<PieceStart *>(b.userData())) start->measured = false;
    }
    // The paragraphs laid out whose text or looks changed, and the one the edit starts in (which Qt
    // may lay out itself), are given the looks of their emoji; the others are as they are laid out:
    // a document made whole is told of as one change, and looks given to every paragraph of a 50 MB
    // line of emoji held 70 MB.
    const auto prepareChanged = [&](const QTextBlock &b) {
        const bool edited = b.contains(from);
        // Qt lays the edited paragraph out itself: it keeps its glyphs for drawing as the others do.
        if (edited && b.layout()) b.layout()->setCacheEnabled(true);
        if (edited || hasLines(b)) prepare(b);
    };
    if (!onWindowThread()) {
        for (QTextBlock b = document()->findBlock(from); b.isValid() && b.position() <= from + added; b = b.next())
            prepareChanged(b);
        QPlainTextDocumentLayout::documentChanged(from, removed, added);
        // Qt lays an edited paragraph out at its own width, which for a document standing in is no
        // view's: laid out when a view asks for it.
        if (standsIn_)
            for (QTextBlock b = document()->findBlock(from); b.isValid() && b.position() <= from + added; b = b.next())
                b.clearLayout();
        return;
    }
    // Qt would lay an edited piece out as a paragraph of its own, and then it is laid out going on
    // from the one before: it is measured once, by the latter alone. Whether it was shown is read
    // before it is given its looks: new looks (its emoji moved along by a key) let go of its lines, and
    // a piece taken for one never shown was laid out by Qt on its own, where the view, told of its new
    // height, had every piece after it on the screen go on from the wrong place, and then back.
    // A document standing in has every paragraph laid out here (see layOutIndented), an edited one
    // too: Qt's own layout of a paragraph whose widest row got narrower looks for the widest
    // paragraph again, making a layout object for every paragraph of the document (for the first
    // paragraph of a 50 MB line of emoji, one for each of its hundreds of thousands of pieces).
    const bool ownLines = standsIn_ && lineWidth_ > 0;
    std::vector<int> pieces;
    for (QTextBlock b = document()->findBlock(from); b.isValid() && b.position() <= from + added; b = b.next()) {
        const bool shown = hasLines(b);
        prepareChanged(b);
        if (!shown || !(continues(b) || ownLines)) continue;
        pieces.push_back(b.blockNumber());
        b.clearLayout();
    }
    openTurn();
    ++depth_;
    ++changing_;
    // Told of an edit within one paragraph, Qt lays it out there and then (measuring every emoji in
    // it), though a piece is laid out again below; told that the edit reaches into the paragraph
    // after it, Qt only lets go of their layouts. That one is a piece laid out again anyway once
    // where it goes on moves, or one not laid out yet.
    int told = added;
    QTextBlock letGo; // the piece after the edit, shown, whose layout Qt lets go of so
    if (const QTextBlock edited = document()->findBlock(from);
        pieces.size() == 1 && pieces.front() == edited.blockNumber() &&
        edited.contains(std::max(0, from + removed + added - 1))) {
        const QTextBlock next = edited.next();
        if (!next.isValid()) {
            // The last piece of the text (a key typed at the end of a line of emoji): told that the
            // edit runs past the end, Qt lays nothing out, where it laid the piece out (after asking
            // for its height, put off) only for it to be laid out again below.
            told = document()->characterCount() - from - removed + 1;
        } else if (continues(next) || !next.layout() || next.layout()->lineCount() == 0) {
            told = next.position() - from - removed + 1;
            if (continues(next) && next.layout() && next.layout()->lineCount() > 0) letGo = next;
        }
    }
    QPlainTextDocumentLayout::documentChanged(from, removed, told);
    QTextBlock last = document()->findBlock(from);
    bool moved = false;
    for (QTextBlock b = last; b.isValid() && b.position() <= from + added; b = b.next()) {
        last = b;
        const bool wasShown = std::find(pieces.begin(), pieces.end(), b.blockNumber()) != pieces.end();
        if (wasShown || hasLines(b)) moved = layOutPiece(b) || moved;
        // A paragraph shown is never left without lines (Qt places the caret in it without checking).
        if (wasShown && !continues(b) && b.layout()->lineCount() == 0) QPlainTextDocumentLayout::blockBoundingRect(b);
    }
    if (moved) emit update(); // its first line may have moved to the row before it
    followOn(last);
    if (letGo.isValid() && letGo.layout()->lineCount() == 0) {
        // Made again from its glyphs at once (drawn blank else until it is laid out again).
        if (const auto *start = static_cast<const PieceStart *>(letGo.userData()); start && start->measured) {
            layOutPiece(letGo);
            followOn(letGo);
            emit update();
        }
    }
    --changing_;
    --depth_;
}

// A paragraph never laid out counts one line; guessed so, a screenful of long pieces looked like a
// few rows, and a view sizing its range from the bottom (or drawing) went on asking for paragraphs far
// beyond the screen: on opening a line of emoji, as far as the first, laid out at once as the
// caret's. Its rows are guessed from its length instead, without a look at its text (a view may ask
// for hundreds of paragraphs put off, again and again; an emoji is two characters about as wide).
int PacedLayout::guessedRows(const QTextBlock &block) const {
    const int known = std::max(1, block.lineCount());
    if (lineWidth_ <= 0 || guessedChar_ <= 0) return known;
    return std::max(known, int(std::ceil(qreal(block.length() - 1) * guessedChar_ / lineWidth_)));
}

// The turn's clock starts with the first paced call in it.
void PacedLayout::openTurn() {
    if (turnOpen_) return;
    turnOpen_ = true;
    laidOut_ = 0;
    guessedLine_ = 0; // the font may have changed since
    turnStart_ = SteadyClock::get().nowNs();
    // The turn is the event loop's: it ends when the loop next looks for events. A timer of its own
    // ended it within the loop's pass, so the paint that came after the work queued for that turn
    // started a turn of its own, with its own time and its own paragraph at least: the window's
    // thread went on for two or three turns' worth before it waited.
    if (!turnEnds_) {
        if (QAbstractEventDispatcher *loop = QAbstractEventDispatcher::instance(thread())) {
            const auto ended = [this] { turnOpen_ = false; };
            blocks_ = connect(loop, &QAbstractEventDispatcher::aboutToBlock, this, ended);
            wakes_ = connect(loop, &QAbstractEventDispatcher::awake, this, ended);
            turnEnds_ = true;
        }
    }
    if (!turnEnds_) QTimer::singleShot(0, this, [this] { turnOpen_ = false; });
}

bool PacedLayout::mayLayOut(const QTextBlock &block) const {
    // Before a view gives the paragraphs their width, a layout would be thrown away.
    if (documentSize().width() <= 0) return false;
    if (view_ && block.contains(view_->textCursor().position())) return true;
    if (drawing_ && laidOut_ == 0) return true;
    // Once the turn's time is spent, a paragraph is put off without a look at its text: a view may
    // ask for hundreds of them (going over the paragraphs between two places), each again and again.
    const double spent = double(SteadyClock::get().nowNs() - turnStart_);
    if (spent >= kTurnNs) return deferred();
    if (spent + weight(block) * nsPerWeight_ <= kTurnNs) return true;
    return deferred();
}

// A document handed to a worker takes its layout along. The loop it leaves would go on telling the
// layout of its turns across threads, posting to it while the worker deletes it (the window's
// thread then hung in that post). Its turns are told again by the loop of the thread it comes to.
bool PacedLayout::event(QEvent *e) {
    if (e->type() == QEvent::ThreadChange) {
        disconnect(blocks_);
        disconnect(wakes_);
        turnEnds_ = false;
        turnOpen_ = false;
    }
    return QPlainTextDocumentLayout::event(e);
}

// Puts a paragraph off: the view draws again next turn. Always false.
bool PacedLayout::deferred() const {
    if (!resumeQueued_) {
        resumeQueued_ = true;
        auto *self = const_cast<PacedLayout *>(this);
        QTimer::singleShot(0, self, [self] {
            self->resumeQueued_ = false;
            emit self->update();
        });
    }
    return false;
}

PacedLayout::Pacing::Pacing(const QTextDocument *doc, QPlainTextEdit *view, bool drawing)
    : layout_(doc ? dynamic_cast<PacedLayout *>(doc->documentLayout()) : nullptr) {
    if (!layout_) return;
    if (layout_->pacing_++ == 0) {
        layout_->view_ = view;
        layout_->drawing_ = drawing;
    }
    layout_->openTurn();
}

PacedLayout::Pacing::~Pacing() {
    if (layout_ && --layout_->pacing_ == 0) layout_->view_ = nullptr;
}
} // namespace NoteDocument
