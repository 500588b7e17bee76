#include "notes/PacedLayout.h"

#include "notes/LongNoteText.h"
#include "ui/Fonts.h"
#include <QCoreApplication>
#include <QFontMetricsF>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QThread>
#include <QTimer>

namespace LongNote {
namespace {
// An emoji takes about as long to lay out as this many letters.
constexpr double kEmojiWeight = 100;
// The time a turn spends on a long note's view before paragraphs wait for the next turn.
constexpr double kTurnNs = 6'000'000;

bool onWindowThread() {
    // A document may still be being built on a worker while the application ends (it waits for its
    // pool's tasks only once the instance is gone).
    const QCoreApplication *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

// Marks the layout formats set here, so others (an input method's) stay.
constexpr int kEmojiShown = QTextFormat::UserProperty + 0x70f;

// A character asked to be shown as an emoji (followed by U+FE0F, as "❤️") is drawn from the colour
// emoji font: the interface font has a plain glyph for some of them (a black heart), and the text
// engine would take it regardless of the selector. A look of the layout only: the text keeps its
// own format, so nothing of it is stored.
void showEmojiInColour(QTextLayout *tl, const QString &text) {
    QList<QTextLayout::FormatRange> formats = tl->formats();
    const qsizetype before = formats.size();
    formats.removeIf([](const QTextLayout::FormatRange &r) { return r.format.hasProperty(kEmojiShown); });
    const bool had = formats.size() != before;
    for (qsizetype at = text.indexOf(QChar(0xFE0F)); at > 0; at = text.indexOf(QChar(0xFE0F), at + 1)) {
        const qsizetype start = at >= 2 && text[at - 1].isLowSurrogate() ? at - 2 : at - 1;
        QTextLayout::FormatRange r;
        r.start = int(start);
        r.length = int(at + 1 - start);
        r.format.setFontFamilies(QStringList{Fonts::uiFamilies().constLast()}); // the colour emoji font
        r.format.setProperty(kEmojiShown, true);
        formats.push_back(r);
    }
    if (had || formats.size() != tl->formats().size()) tl->setFormats(formats);
}

void prepare(const QTextBlock &block) {
    QTextLayout *tl = block.layout();
    if (!tl) return;
    const QString text = block.text();
    if (text.contains(QChar(0xFE0F)) || !tl->formats().isEmpty()) showEmojiInColour(tl, text);
}
} // namespace

QRectF PacedLayout::blockBoundingRect(const QTextBlock &block) const {
    QTextLayout *tl = block.isValid() ? block.layout() : nullptr;
    if (!tl || tl->lineCount() > 0) return QPlainTextDocumentLayout::blockBoundingRect(block);
    if (!block.isVisible() || !onWindowThread()) {
        prepare(block);
        return QPlainTextDocumentLayout::blockBoundingRect(block);
    }
    auto *self = const_cast<PacedLayout *>(this);
    self->openTurn();
    // Asked while a paragraph is being laid out: the view fitting its scroll bar to the new height,
    // which copes with a paragraph not laid out.
    const bool paced = pacing_ > 0 || depth_ > 0;
    // An edit asks for its paragraph's height before laying it out anyway: never twice.
    if (paced && (changing_ > 0 ? !deferred() : !mayLayOut(block))) {
        if (guessedLine_ <= 0) guessedLine_ = QFontMetricsF(document()->defaultFont()).lineSpacing();
        return QRectF(0, 0, documentSize().width(), guessedLine_ * std::max(1, block.lineCount()));
    }
    // Only a paragraph about to be laid out is looked at: one put off may be asked for again and again.
    prepare(block);
    const QString text = block.text();
    const double weight = double(text.size()) + kEmojiWeight * colourEmoji(text);
    tl->setCacheEnabled(true);
    QElapsedTimer took;
    took.start();
    ++laidOut_;
    ++laidOutAll_;
    ++self->depth_;
    const QRectF r = QPlainTextDocumentLayout::blockBoundingRect(block);
    --self->depth_;
    nsPerWeight_ = (3 * nsPerWeight_ + double(took.nsecsElapsed()) / std::max(1.0, weight)) / 4;
    return r;
}

void PacedLayout::documentChanged(int from, int removed, int added) {
    for (QTextBlock b = document()->findBlock(from); b.isValid() && b.position() <= from + added;
         b = b.next())
        prepare(b);
    if (!onWindowThread()) return QPlainTextDocumentLayout::documentChanged(from, removed, added);
    openTurn();
    ++depth_;
    ++changing_;
    QPlainTextDocumentLayout::documentChanged(from, removed, added);
    --changing_;
    --depth_;
}

// The turn's clock starts with the first paced call in it.
void PacedLayout::openTurn() {
    if (turnOpen_) return;
    turnOpen_ = true;
    laidOut_ = 0;
    guessedLine_ = 0; // the font may have changed since
    turn_.start();
    QTimer::singleShot(0, this, [this] { turnOpen_ = false; });
}

bool PacedLayout::mayLayOut(const QTextBlock &block) const {
    // Before a view gives the paragraphs their width, a layout would be thrown away.
    if (documentSize().width() <= 0) return false;
    if (view_ && block.contains(view_->textCursor().position())) return true;
    if (drawing_ && laidOut_ == 0) return true;
    // Once the turn's time is spent, a paragraph is put off without a look at its text: a view may
    // ask for hundreds of them (going over the paragraphs between two places), each again and again.
    const double spent = double(turn_.nsecsElapsed());
    if (spent >= kTurnNs) return deferred();
    const QString text = block.text();
    if (spent + (double(text.size()) + kEmojiWeight * colourEmoji(text)) * nsPerWeight_ <= kTurnNs) return true;
    return deferred();
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
} // namespace LongNote
