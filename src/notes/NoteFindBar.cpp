// The notes page's find bar and its highlights in the shown note.
#include "notes/NotesView.h"
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

namespace {
// How long one slice of a search may keep the window's thread.
constexpr int kFindSliceMs = 4;
} // namespace

void NotesView::toggleFindBar() {
    if (!shownNote()) return;
    if (findBarVisible_)
        hideFindBar();
    else
        showFindBar();
}

void NotesView::showFindBar() {
    if (findBarVisible_ && findField_) {
        findField_->setFocus();
        return;
    }
    findBarVisible_ = true;
    auto *bar = new QFrame(this);
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
    QPointer<NotesView> self(this);
    // Return searches; pressed again on the same text, it goes on to the next match.
    connect(field, &QLineEdit::returnPressed, this, [self, field] {
        if (!self) return;
        if (field->text() == self->findQuery_ && self->findMatchCount() > 0)
            self->stepFind(1);
        else
            self->runFind(field->text());
    });
    connect(prev, &QPushButton::clicked, this, [self] { if (self) self->stepFind(-1); });
    connect(next, &QPushButton::clicked, this, [self] { if (self) self->stepFind(1); });
    connect(close, &QPushButton::clicked, this, [self] { if (self) self->hideFindBar(); });
    // Escape closes the bar from anywhere in the window while it is shown, also after a click on a
    // note card or the grid took the focus away from the field.
    auto *esc = new QShortcut(QKeySequence(Qt::Key_Escape), bar, nullptr, nullptr, Qt::WindowShortcut);
    connect(esc, &QShortcut::activated, this, [self] { if (self) self->hideFindBar(); });
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
    findBar_ = bar;
    findField_ = field;
    findCountLbl_ = count;
    bar->show();
    layoutFrame();
    QPointer<QLineEdit> f(field);
    QTimer::singleShot(0, this, [f] { if (f) f->setFocus(); });
}

void NotesView::hideFindBar() {
    findBarVisible_ = false;
    findQuery_.clear();
    findTextRanges_.clear();
    findCellMatches_.clear();
    findSearch_.reset();
    findRegion_.reset();
    findMatchIdx_ = 0;
    applyFindHighlights(false);
    if (findBar_) {
        findBar_->hide();
        findBar_->deleteLater();
    }
    findBar_ = nullptr;
    layoutFrame();
}

QAbstractScrollArea *NotesView::findView() const {
    // The note's one view, in the detail or the editor, once its document is there.
    if (longTextReady() && detailHost_ && detailHost_->isAncestorOf(longView_)) return longView_;
    return nullptr;
}

void NotesView::runFind(const QString &query) {
    findQuery_ = query;
    findTextRanges_.clear();
    findCellMatches_.clear();
    findSearch_.reset();
    findRegion_.reset();
    findMatchIdx_ = 0;
    const Note *n = shownNote();
    if (query.isEmpty() || !n) {
        applyFindHighlights(false);
        if (findCountLbl_) findCountLbl_->setText(QString());
        return;
    }
    if (n->type == NoteType::table) {
        findCellMatches_ = NoteFind::tableMatches(*n, query);
        applyFindHighlights();
        return;
    }
    // The text as the view shows it, in its own positions. A long note's document may still be on its
    // way: it is searched when it comes.
    QAbstractScrollArea *view = findView();
    if (!view) {
        applyFindHighlights(false);
        return;
    }
    QTextDocument *doc = TextViewOps::document(view);
    findSearch_.emplace(doc, query, &NoteDocument::continues);
    // Text typed or pasted in the editor is searched as it comes, also while nothing matches yet.
    connect(doc, &QTextDocument::contentsChange, this, &NotesView::findTextChanged, Qt::UniqueConnection);
    applyFindHighlights(false); // the last search's count and marks go at once
    searchOn();
}

// One slice of the search, or of the search again of what an edit changed; the rest on later turns,
// so a long text never holds the window.
void NotesView::searchOn() {
    if (!findSearch_ && !findRegion_) return;
    if (!findSlices_) {
        findSlices_ = new QTimer(this);
        findSlices_->setSingleShot(true);
        connect(findSlices_, &QTimer::timeout, this, &NotesView::searchOn);
    }
    if (findRegion_) { // only once the count is done
        if (findRegion_->search.run(QDeadlineTimer(kFindSliceMs)))
            mergeFindRegion();
        else
            findSlices_->start(0);
        return;
    }
    if (findSearch_->finished()) return;
    const bool done = findSearch_->run(QDeadlineTimer(kFindSliceMs));
    const size_t had = findTextRanges_.size();
    const std::vector<NoteFind::Range> &found = findSearch_->matches();
    for (size_t i = had; i < found.size(); ++i) findTextRanges_.emplace_back(found[i].start, found[i].length);
    // The first match is shown as soon as it is found; later ones only add highlights.
    if (done || found.size() != had) applyFindHighlights(had == 0 && !found.empty());
    if (done) return;
    findSlices_->start(0);
}

void NotesView::stepFind(int delta) {
    const int n = findMatchCount();
    if (n == 0 || !shownNote()) return;
    findMatchIdx_ = NoteFind::step(findMatchIdx_, delta, n);
    applyFindHighlights();
}

int NotesView::findMatchCount() const {
    return int(findCellMatches_.empty() ? findTextRanges_.size() : findCellMatches_.size());
}

QString NotesView::findCountText() const {
    return findCountLbl_ ? findCountLbl_->text() : QString();
}

void NotesView::applyFindHighlights(bool reveal) {
    const int n = findMatchCount();
    if (findCountLbl_) {
        // Counting a long text goes on over a few turns: the number is shown once it is known.
        findCountLbl_->setText(findQuery_.isEmpty() || findCounting() ? QString()
                               : n == 0                                ? NoteFind::noResultsText()
                                                                       : NoteFind::countText(findMatchIdx_, n));
    }
    if (grid_) {
        std::optional<NoteGrid::CellPos> cur;
        if (!findCellMatches_.empty()) cur = findCellMatches_[size_t(findMatchIdx_)];
        grid_->setFindMatches(findCellMatches_, cur);
        if (reveal && cur && cur->row >= 0 && detailScroll_) {
            const QRect r = grid_->cellRect(*cur);
            detailScroll_->ensureVisible(r.center().x(), r.center().y(), r.width() / 2 + 10, r.height() / 2 + 10);
        }
    }
    if (findTextChanging_) {
        // A document tells of an edit before its layout knows of it: marks set now lay out the
        // paragraphs they reach as they were, and the looks a layout gives their emoji are told as part
        // of the edit, which then measured each of them again at once (35 ms for a key typed in a long
        // line of emoji). They are set once the edit is known to all, on the next turn.
        if (!findHighlightsQueued_) {
            findHighlightsQueued_ = false;
            QTimer::singleShot(0, this, [this] {
                const bool revealQueued = *std::exchange(findHighlightsQueued_, std::nullopt);
                applyFindHighlights(revealQueued);
            });
        }
        *findHighlightsQueued_ = *findHighlightsQueued_ || reveal;
        return;
    }
    QAbstractScrollArea *view = findTextRanges_.empty() ? nullptr : findView();
    // The paragraphs of marks set or taken away off screen are laid out as the turn has time: a
    // mark needs its paragraph laid out only to be drawn.
    std::optional<NoteDocument::PacedLayout::Pacing> pacedBefore, paced;
    if (findShownIn_)
        pacedBefore.emplace(TextViewOps::document(findShownIn_), qobject_cast<QPlainTextEdit *>(findShownIn_.data()));
    if (view) paced.emplace(TextViewOps::document(view), qobject_cast<QPlainTextEdit *>(view));
    if (findShownIn_ && findShownIn_ != view) TextViewOps::setExtraSelections(findShownIn_, {});
    findShownIn_ = view;
    if (!view) return;
    if (findMatchIdx_ >= int(findTextRanges_.size())) findMatchIdx_ = 0;
    const auto [curStart, curLen] = findTextRanges_[size_t(findMatchIdx_)];
    if (reveal) {
        // The marks go while they are still in view: a view that lays out only what it shows finds
        // where a mark far from it is by going over every paragraph between.
        TextViewOps::setExtraSelections(view, {});
        TextViewOps::reveal(view, curStart, curStart + curLen, detailScroll_);
    }
    // Only the matches in and around what is shown are marked: a view lays out what it marks, and a
    // long text shows a small part of its matches. A scroll marks those it brings into view.
    auto [shownFrom, shownTo] = TextViewOps::visibleRange(view, detailScroll_);
    const int span = std::max(0, shownTo - shownFrom);
    shownFrom -= span;
    shownTo += span;
    QTextDocument *doc = TextViewOps::document(view);
    const int last = doc->characterCount() - 1;
    const auto mark = [&](size_t i) {
        QTextEdit::ExtraSelection s;
        s.cursor = QTextCursor(doc);
        s.cursor.setPosition(std::min(findTextRanges_[i].first, last));
        s.cursor.setPosition(std::min(findTextRanges_[i].first + findTextRanges_[i].second, last), QTextCursor::KeepAnchor);
        s.format.setBackground(int(i) == findMatchIdx_ ? QColor::fromRgbF(1.0f, 0.55f, 0.1f, 0.75f) : QColor::fromRgbF(1.0f, 0.85f, 0.2f, 0.55f));
        return s;
    };
    QList<QTextEdit::ExtraSelection> sels;
    auto it = std::lower_bound(findTextRanges_.begin(), findTextRanges_.end(), shownFrom,
                               [](const std::pair<int, int> &r, int pos) { return r.first + r.second < pos; });
    bool currentMarked = false;
    for (; it != findTextRanges_.end() && it->first <= shownTo; ++it) {
        const size_t i = size_t(it - findTextRanges_.begin());
        currentMarked |= int(i) == findMatchIdx_;
        sels << mark(i);
    }
    if (!currentMarked) sels << mark(size_t(findMatchIdx_));
    TextViewOps::setExtraSelections(view, sels);
    // A scroll of the view, or of the detail around it, marks what it brings into view.
    if (!findRepaint_) {
        findRepaint_ = new QTimer(this);
        findRepaint_->setSingleShot(true);
        connect(findRepaint_, &QTimer::timeout, this, [this] { if (!findTextRanges_.empty()) applyFindHighlights(false); });
    }
    for (QAbstractScrollArea *area : {static_cast<QAbstractScrollArea *>(view), static_cast<QAbstractScrollArea *>(detailScroll_.data())})
        if (area) connect(area->verticalScrollBar(), &QScrollBar::valueChanged, findRepaint_, qOverload<>(&QTimer::start), Qt::UniqueConnection);
    // Typing in the editor searched moves the matches after it.
    connect(doc, &QTextDocument::contentsChange, this, &NotesView::findTextChanged, Qt::UniqueConnection);
}

void NotesView::findTextChanged(int pos, int removed, int added) {
    QAbstractScrollArea *view = findView();
    QTextDocument *doc = view ? TextViewOps::document(view) : nullptr;
    if (findQuery_.isEmpty() || !doc || sender() != doc || !findCellMatches_.empty()) return;
    const QScopedValueRollback<bool> changing(findTextChanging_, true);
    if (findCounting()) {
        // The first count is not done yet: it starts again on the text as it is now.
        runFind(findQuery_);
        return;
    }
    const bool wasFull = findTextRanges_.size() >= size_t(NoteFind::kMaxTextMatches);
    const int delta = added - removed;
    std::vector<std::pair<int, int>> kept;
    kept.reserve(findTextRanges_.size());
    int current = 0;
    for (size_t i = 0; i < findTextRanges_.size(); ++i) {
        auto [start, length] = findTextRanges_[i];
        if (start >= pos + removed)
            start += delta;
        else if (start + length > pos)
            continue; // the edit went through it: no match any more
        kept.emplace_back(start, length);
        // The current match stays current; when the edit took it, the one before it is.
        if (int(i) <= findMatchIdx_) current = int(kept.size()) - 1;
    }
    findTextRanges_ = std::move(kept);
    findMatchIdx_ = current;

    // The lines the edit touched are searched again, from far enough before it and on far enough
    // after it (over the cuts of a long line too) for a match that reaches into it; a format changed
    // (as many characters out as in) is searched again alike, which finds what was there.
    const int q = int(findQuery_.size());
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
    if (findRegion_) {
        // One still being searched moves with the edit and is searched again with it.
        const auto moved = [&](int p, bool end) {
            if (p >= pos + removed) return p + delta;
            return p <= pos ? p : (end ? pos + added : pos);
        };
        from = std::min(from, moved(findRegion_->from, false));
        to = std::max(to, moved(findRegion_->to, true));
        toEnd = toEnd || findRegion_->toEnd;
    }
    // Matches do not overlap: the search goes on after one held from before the part searched.
    auto before = std::lower_bound(findTextRanges_.begin(), findTextRanges_.end(), from,
                                   [](const std::pair<int, int> &r, int p) { return r.first < p; });
    if (before != findTextRanges_.begin()) from = std::max(from, std::prev(before)->first + std::prev(before)->second);
    const int room = NoteFind::kMaxTextMatches - int(before - findTextRanges_.begin());
    findRegion_.emplace(FindRegion{NoteFind::DocSearch(doc, findQuery_, &NoteDocument::continues, room, from, toEnd ? -1 : to),
                                   from, std::max(from, to), toEnd});
    // An edit of a few lines is searched again at once; a long one a slice at a time, the matches
    // held meanwhile marked where the edit moved them.
    searchOn();
    if (findRegion_) applyFindHighlights(false);
}

void NotesView::mergeFindRegion() {
    if (!findRegion_) return;
    const FindRegion region = std::move(*findRegion_);
    findRegion_.reset();
    const std::vector<NoteFind::Range> &found = region.search.matches();
    const int currentStart = findTextRanges_.empty() ? -1 : findTextRanges_[size_t(findMatchIdx_)].first;
    std::vector<std::pair<int, int>> merged;
    merged.reserve(findTextRanges_.size() + found.size());
    for (const auto &r : findTextRanges_)
        if (r.first < region.from) merged.push_back(r);
    for (const NoteFind::Range &r : found) merged.emplace_back(r.start, r.length);
    if (!region.toEnd) {
        const int after = merged.empty() ? 0 : merged.back().first + merged.back().second;
        for (const auto &r : findTextRanges_)
            if (r.first >= region.to && r.first >= after) merged.push_back(r);
    }
    if (merged.size() > size_t(NoteFind::kMaxTextMatches)) merged.resize(size_t(NoteFind::kMaxTextMatches));
    findTextRanges_ = std::move(merged);
    // The current match stays where it was; when it is gone, the one before it is current.
    const auto at = std::lower_bound(findTextRanges_.begin(), findTextRanges_.end(), currentStart,
                                     [](const std::pair<int, int> &r, int p) { return r.first < p; });
    findMatchIdx_ = at != findTextRanges_.end() && at->first == currentStart ? int(at - findTextRanges_.begin())
                                                                             : std::max(0, int(at - findTextRanges_.begin()) - 1);
    applyFindHighlights(false);
}

void NotesView::findLetGo(QTextDocument *doc) {
    // A document handed to a worker is searched no more; it is searched again once it is back.
    if (!doc) return;
    disconnect(doc, &QTextDocument::contentsChange, this, &NotesView::findTextChanged);
    if (findSearch_ || findRegion_) {
        findSearch_.reset();
        findRegion_.reset();
    }
}
