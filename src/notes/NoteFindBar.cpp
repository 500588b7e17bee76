// The notes page's find bar and its highlights in the shown note.
#include "notes/NoteFindBar.h"
#include "notes/NotesUi.h"

#include "notes/NoteDocument.h"
#include "notes/NoteFind.h"
#include "notes/PacedLayout.h"
#include "notes/TextViewOps.h"
#include "ui/Fonts.h"
#include "ui/Theme.h"
#include <QEvent>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <cmath>
#include <optional>

using namespace NotesUi;

NoteFindBar::NoteFindBar(QWidget *page, Shown shown) : QObject(page), page_(page), shown_(std::move(shown)) {}

namespace {
// How long one slice of a search may keep the window's thread.
constexpr int kFindSliceMs = 4;
} // namespace

void NoteFindBar::toggle() {
    if (!shown_.note()) return;
    if (visible_)
        hide();
    else
        show();
}

void NoteFindBar::show() {
    if (visible_ && field_) {
        field_->setFocus();
        return;
    }
    visible_ = true;
    auto *bar = new QFrame(page_);
    bar->setObjectName(QStringLiteral("findBar"));
    const bool dark = VF::theme() == AppTheme::dark;
    bar->setStyleSheet(QStringLiteral("QFrame#findBar{background:%1;border:0.5px solid %2;}")
                           .arg((dark ? QColor::fromRgbF(0.09f, 0.13f, 0.10f) : QColor::fromRgbF(0.96f, 0.97f, 1.0f)).name(),
                                findBarBorder().name(QColor::HexArgb)));
    auto *icon = label(bar, QStringLiteral("🔍"), 14, QFont::Normal, VF::text());
    auto *field = new QLineEdit(bar);
    field->setObjectName(QStringLiteral("findField"));
    field->setFont(Fonts::scaledFont(13));
    field->setPlaceholderText(NoteFind::placeholderText());
    auto *count = label(bar, QString(), 10, QFont::Normal, VF::muted());
    count->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto *prev = new QPushButton(QStringLiteral("◀"), bar);
    auto *next = new QPushButton(QStringLiteral("▶"), bar);
    auto *close = new QPushButton(QStringLiteral("✕"), bar);
    for (QPushButton *b : {prev, next, close}) {
        b->setFont(Fonts::scaledFont(11));
        b->setFocusPolicy(Qt::NoFocus);
    }
    QPointer<NoteFindBar> self(this);
    // Return searches; pressed again on the same text, it goes on to the next match.
    connect(field, &QLineEdit::returnPressed, this, [self, field] {
        if (!self) return;
        if (field->text() == self->query_ && self->matchCount() > 0)
            self->step(1);
        else
            self->run(field->text());
    });
    connect(prev, &QPushButton::clicked, this, [self] { if (self) self->step(-1); });
    connect(next, &QPushButton::clicked, this, [self] { if (self) self->step(1); });
    connect(close, &QPushButton::clicked, this, [self] { if (self) self->hide(); });
    // Escape closes the bar from anywhere in the window while it is shown, also after a click on a
    // note card or the grid took the focus away from the field.
    auto *esc = new QShortcut(QKeySequence(Qt::Key_Escape), bar, nullptr, nullptr, Qt::WindowShortcut);
    connect(esc, &QShortcut::activated, this, [self] { if (self) self->hide(); });
    // Children follow the bar's width.
    struct Relayout : QObject {
        QWidget *icon, *field, *count, *prev, *next, *close;
        using QObject::QObject;
        bool eventFilter(QObject *o, QEvent *e) override {
            if (e->type() == QEvent::Resize) {
                const int B = static_cast<QWidget *>(o)->width();
                // The count takes what its longest text needs at the font scale; the field gives it up.
                const QFontMetricsF fm(count->font());
                const int countW = std::max(80, int(std::ceil(std::max(fm.horizontalAdvance(NoteFind::noResultsText()),
                                                                       fm.horizontalAdvance(QStringLiteral("999 / 999"))))) + 4);
                icon->setGeometry(10, 10, 22, 22);
                field->setGeometry(36, 9, std::max(40, B - 160 - countW), 24);
                count->setGeometry(B - 120 - countW, 13, countW, 16);
                prev->setGeometry(B - 118, 8, 36, 26);
                next->setGeometry(B - 80, 8, 36, 26);
                close->setGeometry(B - 40, 8, 30, 26);
            }
            return false;
        }
    };
    auto *rl = new Relayout(bar);
    rl->icon = icon, rl->field = field, rl->count = count, rl->prev = prev, rl->next = next, rl->close = close;
    bar->installEventFilter(rl);
    bar_ = bar;
    field_ = field;
    countLbl_ = count;
    bar->show();
    emit barShownOrHidden();
    QPointer<QLineEdit> f(field);
    QTimer::singleShot(0, this, [f] { if (f) f->setFocus(); });
}

void NoteFindBar::hide() {
    visible_ = false;
    query_.clear();
    textRanges_.clear();
    cellMatches_.clear();
    search_.reset();
    region_.reset();
    current_ = 0;
    applyHighlights(false);
    if (bar_) {
        bar_->hide();
        bar_->deleteLater();
    }
    bar_ = nullptr;
    emit barShownOrHidden();
}

void NoteFindBar::run(const QString &query) {
    query_ = query;
    textRanges_.clear();
    cellMatches_.clear();
    search_.reset();
    region_.reset();
    current_ = 0;
    const Note *n = shown_.note();
    if (query.isEmpty() || !n) {
        applyHighlights(false);
        if (countLbl_) countLbl_->setText(QString());
        return;
    }
    if (n->type == NoteType::table) {
        cellMatches_ = NoteFind::tableMatches(*n, query);
        applyHighlights();
        return;
    }
    // The text as the view shows it, in its own positions. A long note's document may still be on its
    // way: it is searched when it comes.
    QAbstractScrollArea *view = shown_.textView();
    if (!view) {
        applyHighlights(false);
        return;
    }
    QTextDocument *doc = TextViewOps::document(view);
    search_.emplace(doc, query, &NoteDocument::continues);
    // Text typed or pasted in the editor is searched as it comes, also while nothing matches yet.
    connect(doc, &QTextDocument::contentsChange, this, &NoteFindBar::textChanged, Qt::UniqueConnection);
    applyHighlights(false); // the last search's count and marks go at once
    searchOn();
}

// One slice of the search, or of the search again of what an edit changed; the rest on later turns,
// so a long text never holds the window.
void NoteFindBar::searchOn() {
    if (!search_ && !region_) return;
    if (!slices_) {
        slices_ = new QTimer(this);
        slices_->setSingleShot(true);
        connect(slices_, &QTimer::timeout, this, &NoteFindBar::searchOn);
    }
    if (region_) { // only once the count is done
        if (region_->search.run(QDeadlineTimer(kFindSliceMs)))
            mergeRegion();
        else
            slices_->start(0);
        return;
    }
    if (search_->finished()) return;
    const bool done = search_->run(QDeadlineTimer(kFindSliceMs));
    const size_t had = textRanges_.size();
    const std::vector<NoteFind::Range> &found = search_->matches();
    for (size_t i = had; i < found.size(); ++i) textRanges_.emplace_back(found[i].start, found[i].length);
    // The first match is shown as soon as it is found; later ones only add highlights.
    if (done || found.size() != had) applyHighlights(had == 0 && !found.empty());
    if (done) return;
    slices_->start(0);
}

void NoteFindBar::step(int delta) {
    const int n = matchCount();
    if (n == 0 || !shown_.note()) return;
    current_ = NoteFind::step(current_, delta, n);
    applyHighlights();
}

int NoteFindBar::matchCount() const {
    return int(cellMatches_.empty() ? textRanges_.size() : cellMatches_.size());
}

QString NoteFindBar::countText() const {
    return countLbl_ ? countLbl_->text() : QString();
}

void NoteFindBar::applyHighlights(bool reveal) {
    const int n = matchCount();
    if (countLbl_) {
        // Counting a long text goes on over a few turns: the number is shown once it is known.
        countLbl_->setText(query_.isEmpty() || counting() ? QString()
                               : n == 0                                ? NoteFind::noResultsText()
                                                                       : NoteFind::countText(current_, n));
    }
    QScrollArea *detailScroll = shown_.detailScroll();
    if (NoteGrid *grid = shown_.grid()) {
        std::optional<NoteGrid::CellPos> cur;
        if (!cellMatches_.empty()) cur = cellMatches_[size_t(current_)];
        grid->setFindMatches(cellMatches_, cur);
        if (reveal && cur && cur->row >= 0 && detailScroll) {
            const QRect r = grid->cellRect(*cur);
            detailScroll->ensureVisible(r.center().x(), r.center().y(), r.width() / 2 + 10, r.height() / 2 + 10);
        }
    }
    if (textChanging_) {
        // A document tells of an edit before its layout knows of it: marks set now lay out the
        // paragraphs they reach as they were, and the looks a layout gives their emoji are told as part
        // of the edit, which then measured each of them again at once (35 ms for a key typed in a long
        // line of emoji). They are set once the edit is known to all, on the next turn.
        if (!highlightsQueued_) {
            highlightsQueued_ = false;
            QTimer::singleShot(0, this, [this] {
                const bool revealQueued = *std::exchange(highlightsQueued_, std::nullopt);
                applyHighlights(revealQueued);
            });
        }
        *highlightsQueued_ = *highlightsQueued_ || reveal;
        return;
    }
    QAbstractScrollArea *view = textRanges_.empty() ? nullptr : shown_.textView();
    // The paragraphs of marks set or taken away off screen are laid out as the turn has time: a
    // mark needs its paragraph laid out only to be drawn.
    std::optional<NoteDocument::PacedLayout::Pacing> pacedBefore, paced;
    if (shownIn_)
        pacedBefore.emplace(TextViewOps::document(shownIn_), qobject_cast<QPlainTextEdit *>(shownIn_.data()));
    if (view) paced.emplace(TextViewOps::document(view), qobject_cast<QPlainTextEdit *>(view));
    if (shownIn_ && shownIn_ != view) TextViewOps::setExtraSelections(shownIn_, {});
    shownIn_ = view;
    if (!view) return;
    if (current_ >= int(textRanges_.size())) current_ = 0;
    const auto [curStart, curLen] = textRanges_[size_t(current_)];
    if (reveal) {
        // The marks go while they are still in view: a view that lays out only what it shows finds
        // where a mark far from it is by going over every paragraph between.
        TextViewOps::setExtraSelections(view, {});
        TextViewOps::reveal(view, curStart, curStart + curLen, detailScroll);
    }
    // Only the matches in and around what is shown are marked: a view lays out what it marks, and a
    // long text shows a small part of its matches. A scroll marks those it brings into view.
    auto [shownFrom, shownTo] = TextViewOps::visibleRange(view, detailScroll);
    const int span = std::max(0, shownTo - shownFrom);
    shownFrom -= span;
    shownTo += span;
    QTextDocument *doc = TextViewOps::document(view);
    const int last = doc->characterCount() - 1;
    const auto mark = [&](size_t i) {
        QTextEdit::ExtraSelection s;
        s.cursor = QTextCursor(doc);
        s.cursor.setPosition(std::min(textRanges_[i].first, last));
        s.cursor.setPosition(std::min(textRanges_[i].first + textRanges_[i].second, last), QTextCursor::KeepAnchor);
        s.format.setBackground(int(i) == current_ ? QColor::fromRgbF(1.0f, 0.55f, 0.1f, 0.75f) : QColor::fromRgbF(1.0f, 0.85f, 0.2f, 0.55f));
        return s;
    };
    QList<QTextEdit::ExtraSelection> sels;
    auto it = std::lower_bound(textRanges_.begin(), textRanges_.end(), shownFrom,
                               [](const std::pair<int, int> &r, int pos) { return r.first + r.second < pos; });
    bool currentMarked = false;
    for (; it != textRanges_.end() && it->first <= shownTo; ++it) {
        const size_t i = size_t(it - textRanges_.begin());
        currentMarked |= int(i) == current_;
        sels << mark(i);
    }
    if (!currentMarked) sels << mark(size_t(current_));
    TextViewOps::setExtraSelections(view, sels);
    // A scroll of the view, or of the detail around it, marks what it brings into view.
    if (!repaint_) {
        repaint_ = new QTimer(this);
        repaint_->setSingleShot(true);
        connect(repaint_, &QTimer::timeout, this, [this] { if (!textRanges_.empty()) applyHighlights(false); });
    }
    for (QAbstractScrollArea *area : {static_cast<QAbstractScrollArea *>(view), static_cast<QAbstractScrollArea *>(detailScroll)})
        if (area) connect(area->verticalScrollBar(), &QScrollBar::valueChanged, repaint_, qOverload<>(&QTimer::start), Qt::UniqueConnection);
    // Typing in the editor searched moves the matches after it.
    connect(doc, &QTextDocument::contentsChange, this, &NoteFindBar::textChanged, Qt::UniqueConnection);
}

void NoteFindBar::textChanged(int pos, int removed, int added) {
    QAbstractScrollArea *view = shown_.textView();
    QTextDocument *doc = view ? TextViewOps::document(view) : nullptr;
    if (query_.isEmpty() || !doc || sender() != doc || !cellMatches_.empty()) return;
    const QScopedValueRollback<bool> changing(textChanging_, true);
    if (counting()) {
        // The first count is not done yet: it starts again on the text as it is now.
        run(query_);
        return;
    }
    const bool wasFull = textRanges_.size() >= size_t(NoteFind::kMaxTextMatches);
    const int delta = added - removed;
    std::vector<std::pair<int, int>> kept;
    kept.reserve(textRanges_.size());
    int current = 0;
    for (size_t i = 0; i < textRanges_.size(); ++i) {
        auto [start, length] = textRanges_[i];
        if (start >= pos + removed)
            start += delta;
        else if (start + length > pos)
            continue; // the edit went through it: no match any more
        kept.emplace_back(start, length);
        // The current match stays current; when the edit took it, the one before it is.
        if (int(i) <= current_) current = int(kept.size()) - 1;
    }
    textRanges_ = std::move(kept);
    current_ = current;

    // The lines the edit touched are searched again, from far enough before it and on far enough
    // after it (over the cuts of a long line too) for a match that reaches into it; a format changed
    // (as many characters out as in) is searched again alike, which finds what was there.
    const int q = int(query_.size());
    QTextBlock b = doc->findBlock(pos);
    int from = b.position();
    for (int cuts = 0; NoteDocument::continues(b) && b.previous().isValid() && pos - from < q + cuts; ++cuts) {
        b = b.previous();
        from = b.position();
    }
    QTextBlock e = doc->findBlock(pos + added);
    int to = e.isValid() ? e.position() + e.length() : doc->characterCount();
    for (int cuts = 0; (e = e.next()).isValid() && NoteDocument::continues(e) && to - (pos + added) < q + cuts; ++cuts)
        to = e.position() + e.length();
    bool toEnd = wasFull;
    if (region_) {
        // One still being searched moves with the edit and is searched again with it.
        const auto moved = [&](int p, bool end) {
            if (p >= pos + removed) return p + delta;
            return p <= pos ? p : (end ? pos + added : pos);
        };
        from = std::min(from, moved(region_->from, false));
        to = std::max(to, moved(region_->to, true));
        toEnd = toEnd || region_->toEnd;
    }
    // Matches do not overlap: the search goes on after one held from before the part searched.
    auto before = std::lower_bound(textRanges_.begin(), textRanges_.end(), from,
                                   [](const std::pair<int, int> &r, int p) { return r.first < p; });
    if (before != textRanges_.begin()) from = std::max(from, std::prev(before)->first + std::prev(before)->second);
    const int room = NoteFind::kMaxTextMatches - int(before - textRanges_.begin());
    region_.emplace(FindRegion{NoteFind::DocSearch(doc, query_, &NoteDocument::continues, room, from, toEnd ? -1 : to),
                                   from, std::max(from, to), toEnd});
    // An edit of a few lines is searched again at once; a long one a slice at a time, the matches
    // held meanwhile marked where the edit moved them.
    searchOn();
    if (region_) applyHighlights(false);
}

void NoteFindBar::mergeRegion() {
    if (!region_) return;
    const FindRegion region = std::move(*region_);
    region_.reset();
    const std::vector<NoteFind::Range> &found = region.search.matches();
    const int currentStart = textRanges_.empty() ? -1 : textRanges_[size_t(current_)].first;
    std::vector<std::pair<int, int>> merged;
    merged.reserve(textRanges_.size() + found.size());
    for (const auto &r : textRanges_)
        if (r.first < region.from) merged.push_back(r);
    for (const NoteFind::Range &r : found) merged.emplace_back(r.start, r.length);
    if (!region.toEnd) {
        const int after = merged.empty() ? 0 : merged.back().first + merged.back().second;
        for (const auto &r : textRanges_)
            if (r.first >= region.to && r.first >= after) merged.push_back(r);
    }
    if (merged.size() > size_t(NoteFind::kMaxTextMatches)) merged.resize(size_t(NoteFind::kMaxTextMatches));
    textRanges_ = std::move(merged);
    // The current match stays where it was; when it is gone, the one before it is current.
    const auto at = std::lower_bound(textRanges_.begin(), textRanges_.end(), currentStart,
                                     [](const std::pair<int, int> &r, int p) { return r.first < p; });
    current_ = at != textRanges_.end() && at->first == currentStart ? int(at - textRanges_.begin())
                                                                             : std::max(0, int(at - textRanges_.begin()) - 1);
    applyHighlights(false);
}

void NoteFindBar::letGo(QTextDocument *doc) {
    // A document handed to a worker is searched no more; it is searched again once it is back.
    if (!doc) return;
    disconnect(doc, &QTextDocument::contentsChange, this, &NoteFindBar::textChanged);
    if (search_ || region_) {
        search_.reset();
        region_.reset();
    }
}
