#include "notes/TextViewOps.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>
#include <algorithm>

namespace TextViewOps {
namespace {
const QTextEdit *rich(const QAbstractScrollArea *v) {
    return qobject_cast<const QTextEdit *>(v);
}
const QPlainTextEdit *plain(const QAbstractScrollArea *v) {
    return qobject_cast<const QPlainTextEdit *>(v);
}
QTextEdit *rich(QAbstractScrollArea *v) {
    return qobject_cast<QTextEdit *>(v);
}
QPlainTextEdit *plain(QAbstractScrollArea *v) {
    return qobject_cast<QPlainTextEdit *>(v);
}
// A plain text view that scrolls by itself; one laid out whole has no scroll bar of its own.
bool scrollingPlain(QAbstractScrollArea *v) {
    return plain(v) && v->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff &&
           v->verticalScrollBar()->maximum() > 0;
}

// The part of the view's viewport the user can see, in the viewport's coordinates.
QRect shownRect(const QAbstractScrollArea *view, const QScrollArea *outer) {
    QRect r = view->viewport()->rect();
    if (outer && outer->widget() && outer->viewport()->isAncestorOf(view)) {
        const QRect o = outer->viewport()->rect();
        const QPoint tl = view->viewport()->mapFrom(outer->viewport(), o.topLeft());
        r &= QRect(tl, o.size());
    }
    return r;
}

// The view's line number of pos for a plain text view: what its vertical scroll bar counts in.
int lineNumber(const QTextDocument *doc, int pos) {
    const QTextBlock b = doc->findBlock(pos);
    if (!b.isValid()) return 0;
    int line = 0;
    if (const QTextLayout *l = b.layout(); l && l->lineCount() > 0) {
        const QTextLine tl = l->lineForTextPosition(pos - b.position());
        if (tl.isValid()) line = tl.lineNumber();
    }
    return b.firstLineNumber() + line;
}

void scrollOuterTo(QAbstractScrollArea *view, int pos, QScrollArea *outer, bool top) {
    if (!outer || !outer->widget() || !outer->widget()->isAncestorOf(view)) return;
    QTextCursor c(document(view));
    c.setPosition(pos);
    const QRect r = cursorRect(view, c);
    const QPoint inDoc = view->viewport()->mapTo(outer->widget(), r.topLeft());
    if (top)
        outer->verticalScrollBar()->setValue(inDoc.y());
    else
        outer->ensureVisible(inDoc.x(), inDoc.y() + r.height() / 2, 20, std::max(40, r.height()));
}
} // namespace

bool isTextView(const QAbstractScrollArea *view) {
    return rich(view) || plain(view);
}

QTextDocument *document(const QAbstractScrollArea *view) {
    if (auto *t = rich(view)) return t->document();
    if (auto *p = plain(view)) return p->document();
    return nullptr;
}

QTextCursor textCursor(const QAbstractScrollArea *view) {
    if (auto *t = rich(view)) return t->textCursor();
    if (auto *p = plain(view)) return p->textCursor();
    return {};
}

void setTextCursor(QAbstractScrollArea *view, const QTextCursor &cursor) {
    if (auto *t = rich(view)) t->setTextCursor(cursor);
    if (auto *p = plain(view)) p->setTextCursor(cursor);
}

bool isReadOnly(const QAbstractScrollArea *view) {
    if (auto *t = rich(view)) return t->isReadOnly();
    if (auto *p = plain(view)) return p->isReadOnly();
    return true;
}

QRect cursorRect(const QAbstractScrollArea *view, const QTextCursor &cursor) {
    if (auto *t = rich(view)) return t->cursorRect(cursor);
    if (auto *p = plain(view)) return p->cursorRect(cursor);
    return {};
}

QTextCursor cursorForPosition(const QAbstractScrollArea *view, const QPoint &pos) {
    if (auto *t = rich(view)) return t->cursorForPosition(pos);
    if (auto *p = plain(view)) return p->cursorForPosition(pos);
    return {};
}

void setExtraSelections(QAbstractScrollArea *view, const QList<QTextEdit::ExtraSelection> &sels) {
    if (auto *t = rich(view)) t->setExtraSelections(sels);
    if (auto *p = plain(view)) p->setExtraSelections(sels);
}

QList<QTextEdit::ExtraSelection> extraSelections(const QAbstractScrollArea *view) {
    if (auto *t = rich(view)) return t->extraSelections();
    if (auto *p = plain(view)) return p->extraSelections();
    return {};
}

std::pair<int, int> visibleRange(const QAbstractScrollArea *view, const QScrollArea *outer) {
    const QTextDocument *doc = document(view);
    const QRect r = shownRect(view, outer);
    if (!doc || r.isEmpty()) return {-1, -1};
    // Whole paragraphs at both ends: a line cut by the edge counts as shown.
    const QTextBlock first = doc->findBlock(cursorForPosition(view, r.topLeft()).position());
    const QTextBlock last = doc->findBlock(cursorForPosition(view, r.bottomRight()).position());
    return {first.position(), last.position() + last.length() - 1};
}

int firstVisiblePosition(const QAbstractScrollArea *view, const QScrollArea *outer) {
    const QRect r = shownRect(view, outer);
    if (!document(view) || r.isEmpty()) return 0;
    // The first line at least half shown.
    return cursorForPosition(view, r.topLeft() + QPoint(0, view->fontMetrics().height() / 2)).position();
}

void scrollToTop(QAbstractScrollArea *view, int pos, QScrollArea *outer) {
    QTextDocument *doc = document(view);
    if (!doc) return;
    pos = std::clamp(pos, 0, std::max(0, doc->characterCount() - 1));
    // A short note's view is laid out whole and does not scroll: the scroll area around it does.
    if (scrollingPlain(view)) {
        // A plain text view scrolls by lines and lays out only what it shows: its line numbers say
        // where a position is without laying out the text before it.
        view->verticalScrollBar()->setValue(lineNumber(doc, pos));
    } else if (QScrollBar *sb = view->verticalScrollBar(); !plain(view) && sb->maximum() > 0) {
        QTextCursor c(doc);
        c.setPosition(pos);
        sb->setValue(sb->value() + cursorRect(view, c).top());
    } else {
        // Laid out whole in the scroll area around it.
        scrollOuterTo(view, pos, outer, true);
    }
}

int topLine(QAbstractScrollArea *view, int pos) {
    QTextDocument *doc = document(view);
    if (!doc || !plain(view) || view->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOff) return -1;
    return lineNumber(doc, std::clamp(pos, 0, std::max(0, doc->characterCount() - 1)));
}

namespace {
bool laidOut(const QTextBlock &b) {
    return b.layout() && b.layout()->lineCount() > 0;
}

// The view's line to show at its top for the line at pos to be a third of the way down. A view that
// lays out only what it shows counts a paragraph not laid out yet as one line: the lines above the
// match are taken only from paragraphs laid out, or the view would stop short of it once those are.
int lineAThirdAbove(QAbstractScrollArea *view, const QTextDocument *doc, int pos) {
    const int lines =
        std::max(1, view->viewport()->height() / std::max(1, view->fontMetrics().lineSpacing()));
    int top = lineNumber(doc, pos) - lines / 3;
    for (QTextBlock b = doc->findBlock(pos); b.isValid() && top < b.firstLineNumber(); b = b.previous())
        if (!b.previous().isValid() || !laidOut(b.previous())) return b.firstLineNumber();
    return std::max(0, top);
}

void revealAgain(QAbstractScrollArea *view, int from, int to, QScrollArea *outer, int turns);
void revealWithin(QAbstractScrollArea *view, int from, int to, QScrollArea *outer, int turns);
} // namespace

void reveal(QAbstractScrollArea *view, int from, int to, QScrollArea *outer) {
    revealWithin(view, from, to, outer, 8);
}

namespace {
// The view's place for a match in a paragraph not laid out yet is known once the view has laid it
// out, drawing it: it goes there again then, over the next turns (at most turns of them), unless
// the text or what is to be shown changed meanwhile.
void revealAgain(QAbstractScrollArea *view, int from, int to, QScrollArea *outer, int turns) {
    const int ask = view->property("revealAsk").toInt() + 1;
    view->setProperty("revealAsk", ask);
    if (turns <= 0) return;
    const QTextDocument *doc = document(view);
    QTimer::singleShot(
        0, view,
        [view, from, to, outer = QPointer<QScrollArea>(outer), turns, ask, doc, revision = doc->revision()] {
            if (view->property("revealAsk").toInt() != ask || document(view) != doc ||
                doc->revision() != revision)
                return;
            revealWithin(view, from, to, outer, turns - 1);
        });
}

void revealWithin(QAbstractScrollArea *view, int from, int to, QScrollArea *outer, int turns) {
    QTextDocument *doc = document(view);
    if (!doc) return;
    const int last = std::max(0, doc->characterCount() - 1);
    from = std::clamp(from, 0, last);
    to = std::clamp(to, from, last);
    if (scrollingPlain(view)) {
        // Whole lines in sight; positions outside the paragraphs shown are not measured (that
        // would lay out all the text between).
        const auto [shownFrom, shownTo] = visibleRange(view, nullptr);
        const auto whollyShown = [&] {
            if (from < shownFrom || to > shownTo) return false;
            QTextCursor a(doc), b(doc);
            a.setPosition(from);
            b.setPosition(to);
            const QRect area = view->viewport()->rect();
            return area.contains(cursorRect(view, a)) && area.contains(cursorRect(view, b));
        };
        if (!whollyShown()) {
            // A third of the way down, so the lines before it give it a context.
            view->verticalScrollBar()->setValue(lineAThirdAbove(view, doc, from));
            revealAgain(view, from, to, outer, laidOut(doc->findBlock(from)) ? 0 : turns);
        }
    } else if (QScrollBar *sb = view->verticalScrollBar(); !plain(view) && sb->maximum() > 0) {
        QTextCursor a(doc), b(doc);
        a.setPosition(from);
        b.setPosition(to);
        const QRect ra = cursorRect(view, a), rb = cursorRect(view, b);
        const int h = view->viewport()->height();
        if (ra.top() < 0 || rb.bottom() > h) sb->setValue(sb->value() + ra.top() - h / 3);
    }
    scrollOuterTo(view, from, outer, false);
}
} // namespace
} // namespace TextViewOps
