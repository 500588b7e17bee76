#include "notes/PastedLinks.h"

#include "notes/PacedLayout.h"
#include <QDeadlineTimer>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

namespace {
// How long one turn may spend marking links (each paragraph marked is laid out again).
constexpr int kMarkSliceMs = 4;
} // namespace

PastedLinks *PastedLinks::start(QPlainTextEdit *view, std::vector<NoteDocument::FoundLink> links, const QColor &colour) {
    if (!view || !view->document() || links.empty() || !colour.isValid()) return nullptr;
    return new PastedLinks(view, std::move(links), colour);
}

PastedLinks::PastedLinks(QPlainTextEdit *view, std::vector<NoteDocument::FoundLink> links, const QColor &colour)
    : QObject(view), view_(view), doc_(view->document()), links_(std::move(links)), colour_(colour) {
    connect(doc_, &QTextDocument::contentsChange, this, &PastedLinks::textChanged);
    turns_ = new QTimer(this);
    turns_->setSingleShot(true);
    connect(turns_, &QTimer::timeout, this, &PastedLinks::markSome);
    turns_->start(0);
}

void PastedLinks::textChanged(int pos, int removed, int added) {
    // A change of format only (as many characters out as in) moves nothing; the text is checked
    // again before each address is marked.
    if (marking_ || removed == added) return;
    const int delta = added - removed;
    for (size_t i = next_; i < links_.size(); ++i) {
        NoteDocument::FoundLink &l = links_[i];
        if (l.start > pos + removed)
            l.start += delta;
        else if (l.start + l.length >= pos)
            l.length = -1; // went through, or next to it: left to the editor
    }
}

bool PastedLinks::stillThere(const NoteDocument::FoundLink &l) const {
    if (l.length <= 0) return false;
    const QTextBlock b = doc_->findBlock(l.start);
    const int at = l.start - b.position();
    return b.isValid() && at + l.length < b.length() && QStringView(b.text()).mid(at, l.length) == l.text;
}

void PastedLinks::markSome() {
    // Another document shown (or this one sent to a worker): the positions mean nothing there.
    if (!view_ || !doc_ || view_->document() != doc_) {
        next_ = links_.size();
        deleteLater();
        return;
    }
    const QDeadlineTimer until(kMarkSliceMs);
    const NoteDocument::PacedLayout::Pacing pacing(doc_, view_);
    QTextCursor c(doc_);
    marking_ = true;
    // A paragraph at a time, in one edit: it is laid out again once, however many links it holds.
    while (next_ < links_.size() && !until.hasExpired()) {
        const QTextBlock b = doc_->findBlock(links_[next_].start);
        if (!b.isValid()) { // past the end of what is left of the text
            next_ = links_.size();
            break;
        }
        bool editing = false;
        for (; next_ < links_.size() && links_[next_].start < b.position() + b.length(); ++next_) {
            const NoteDocument::FoundLink &l = links_[next_];
            if (!stillThere(l)) continue;
            // A link already there (put in on purpose, or found since) stays as it is.
            bool linked = false;
            for (auto it = b.begin(); !it.atEnd() && !linked; ++it) {
                const QTextFragment f = it.fragment();
                linked = f.position() < l.start + l.length && f.position() + f.length() > l.start && f.charFormat().isAnchor();
            }
            if (linked) continue;
            if (!editing) c.joinPreviousEditBlock(), editing = true;
            NoteDocument::markLink(c, l.start, l.start + l.length, l.href, colour_);
        }
        if (editing) c.endEditBlock();
    }
    marking_ = false;
    if (next_ < links_.size())
        turns_->start(0);
    else
        deleteLater();
}
