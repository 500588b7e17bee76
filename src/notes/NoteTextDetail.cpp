// The detail of a text note: its one view with the note's document, its card and link.
#include "notes/NoteTextDetail.h"
#include "notes/NotesUi.h"

#include "notes/NoteFindBar.h"
#include "notes/NoteStore.h"
#include "notes/NoteTextView.h"
#include "notes/PastedLinks.h"
#include "notes/RichTextView.h"
#include "notes/TextViewOps.h"
#include "ui/FlippedView.h"
#include "ui/Fonts.h"
#include "ui/Geometry.h"
#include "ui/Lang.h"
#include "ui/LinkTextView.h"
#include "ui/Makers.h"
#include "ui/Theme.h"
#include "ui/WebLinks.h"
#include <QElapsedTimer>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <cmath>
#include <memory>
#include <utility>

using namespace NotesUi;

NoteTextDetail::NoteTextDetail(QWidget *page, NoteFindBar *finder, Shown shown)
    : QObject(page), page_(page), finder_(finder), shown_(std::move(shown)) {}

NoteDocument::Style NoteTextDetail::style() {
    return {Fonts::scaledFont(RichTextView::kDefaultSize), VF::text(), kNoteAccent, 4, VF::fontScale()};
}

bool NoteTextDetail::LongKey::fits(const Note &n, const NoteDocument::Style &s) const {
    return id == n.id && version == NoteStore::shared().textVersion(n.id) && font == s.font && text == s.text;
}

bool NoteTextDetail::holdsText(const QString &id) const {
    if (longKey_.id != id || longKey_.version != NoteStore::shared().textVersion(id)) return false;
    if (longPasting_ || longSavingID_ == id || longKey_.building) return true;
    // A document changed with no editor open any more is dropped at the next rebuild.
    return longDoc_ && (editingID_ || !longDoc_->isModified());
}

void NoteTextDetail::lendHeldText() {
    if (longKey_.lent || !longKey_.isLong || !holdsText(longKey_.id)) return;
    longKey_.lent = NoteStore::shared().lendText(longKey_.id, longKey_.version);
}

bool NoteTextDetail::isLongText(const Note &n) const {
    return NoteDocument::isLong(n) || NoteStore::shared().textLent(n.id);
}

// A view of a note's text, in the look of the page. Two are made only while a short note's card is
// being laid out (see cardLaidOut), each showing a document of its own.
NoteTextView *NoteTextDetail::makeLongView() {
    auto *lv = new NoteTextView;
    lv->setObjectName(QStringLiteral("longText"));
    lv->setFrameShape(QFrame::NoFrame);
    lv->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lv->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    connect(lv, &QPlainTextEdit::cursorPositionChanged, this, [this, lv] {
        if (!editingID_ || lv->document() != longDoc_) return;
        editAnchor_ = lv->textCursor().anchor();
        editPos_ = lv->textCursor().position();
    });
    connect(lv, &NoteTextView::pasteSettled, this, [this] {
        // A paste handed on to a worker (a long text read from another program) is not in yet: the
        // save goes on once the editor has the document back with it (attachLongDoc).
        if (longPasting_ || !std::exchange(saveAfterPaste_, false)) return;
        // After the view is done with the paste: the save may let go of its document.
        QTimer::singleShot(0, this, [this] {
            if (editingID_) save();
        });
    });
    // A long paste or removal goes into the document on a worker; the view shows none meanwhile.
    const auto lend = [this, lv]() -> QTextDocument * {
        if (!editingID_ || longPasting_ || !longDoc_ || lv->document() != longDoc_) return nullptr;
        QTextDocument *doc = longDoc_;
        finder_->letGo(doc);
        longDoc_ = nullptr;
        lv->setDocument(nullptr);
        lv->setPlaceholderText(NoteDocument::loadingText());
        lv->setReadOnly(true);
        longPasting_ = true;
        return doc;
    };
    lv->onLongPaste = [this, lend](const QString &text, int from, int to) {
        QTextDocument *doc = lend();
        if (!doc) return;
        const quint64 gen = longGen_;
        NoteDocument::pasteInto(doc, from, to, text, this,
                            [this, gen, id = *editingID_](QTextDocument *d, int caret,
                                                          std::vector<NoteDocument::FoundLink> links) {
                                longPasteArrived(gen, id, d, caret, std::move(links));
                            });
        requestRebuild();
    };
    lv->onLongEdit = [this, lend](std::function<int(QTextDocument &)> edit) {
        QTextDocument *doc = lend();
        if (!doc) return;
        const quint64 gen = longGen_;
        NoteDocument::editLater(doc, std::move(edit), this,
                            [this, gen, id = *editingID_](QTextDocument *d, int caret) {
                                longPasteArrived(gen, id, d, caret, {});
                            });
        requestRebuild();
    };
    return lv;
}

void NoteTextDetail::styleLongView(NoteTextView *lv) {
    const NoteDocument::Style st = style();
    if (lv->font() != st.font) lv->setFont(st.font);
    // Only a view still waiting for its document is loading: an empty note shows nothing.
    const bool waiting = !lv->document() || (lv->document() != longDoc_ && lv->document() != nextDoc_);
    lv->setPlaceholderText(waiting ? NoteDocument::loadingText() : QString());
    QPalette p = lv->palette();
    p.setColor(QPalette::Text, st.text);
    lv->setPalette(p);
    // Addresses typed or pasted are links as they come, as the note shown again has them.
    lv->setAutoLinks(st.links);
}

// The one view of a note's text, placed in parent. Another is made only after the one before was
// deleted (see setup) or while a short note's card is laid out (see cardLaidOut), so no two views
// ever show one document.
NoteTextView *NoteTextDetail::takeLongView(QWidget *parent) {
    if (!longView_) longView_ = makeLongView();
    NoteTextView *lv = longView_;
    lv->setParent(parent);
    styleLongView(lv);
    lv->show();
    return lv;
}

void NoteTextDetail::parkLongView() {
    if (!longView_) return;
    longView_->hide();
    longView_->setParent(page_);
}

void NoteTextDetail::dropDocument() {
    ++longGen_;
    dropSavingShot();
    longKey_ = {};
    pastedLinks_.clear();
    if (!longDoc_) return;
    finder_->letGo(longDoc_); // searched no more: it is deleted on a worker
    if (longView_ && longView_->document() == longDoc_) {
        longView_->setDocument(nullptr);
        longView_->setPlaceholderText(NoteDocument::loadingText());
    }
    // Let go of it before it goes: the worker that deletes it frees what the pointer watches it with.
    QTextDocument *const doc = longDoc_;
    longDoc_ = nullptr;
    NoteDocument::discard(doc);
}

void NoteTextDetail::dropNextCard() {
    delete nextView_.data();
    QTextDocument *const next = nextDoc_;
    nextDoc_ = nullptr;
    if (next) NoteDocument::discard(next);
    nextKey_ = {};
}

// A short note's card is as tall as its text, which is laid out whole for that: in the turn that
// builds the detail, with the first paint after it, a text of a few kilobytes held the window for
// 20 ms. So its document is built, and laid out at the card's width a turn's share at a time, in a
// view of its own, hidden, before the detail is built; the detail shown before stays as it is
// meanwhile, its text in the view it has. Once every paragraph is laid out, that view is the one
// view of the text, and the detail is built around it with nothing left to lay out. False while
// the text is still being laid out (the detail is built again on the next turn).
bool NoteTextDetail::cardLaidOut(const Note *note) {
    QElapsedTimer spent;
    spent.start();
    const NoteDocument::Style st = style();
    const bool card = note && note->type == NoteType::text && !(editingID_ && *editingID_ == note->id) &&
                      !note->body.isEmpty() && !isLongText(*note) && longSavingID_ != note->id &&
                      host()->width() > 10 && host()->height() > 10;
    // Held already (shown before, or saved from the editor): its lines are those laid out then.
    if (!card || (longKey_.id == note->id && longDoc_ && longKey_.fits(*note, st))) {
        dropNextCard();
        return true;
    }
    const int width = host()->width() - 56 - 28 + 2 * int(std::lround(st.margin));
    if (!nextView_ || !nextDoc_ || nextView_->document() != nextDoc_ || !nextKey_.fits(*note, st) ||
        nextView_->width() != width) {
        dropNextCard();
        QTextDocument *doc = NoteDocument::build(*note, st);
        if (!doc) return true; // quitting
        doc->setParent(page_);
        NoteTextView *lv = makeLongView();
        lv->setParent(page_);
        styleLongView(lv);
        lv->viewport()->setAutoFillBackground(false);
        lv->setReadOnly(true);
        lv->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        lv->resize(width, 1);
        lv->setDocument(doc);
        lv->setPlaceholderText(QString());
        nextView_ = lv;
        nextDoc_ = doc;
        nextKey_ = {note->id, NoteStore::shared().textVersion(note->id), false, false, st.font, st.text};
    }
    // Building the detail and drawing it take a turn of their own, unless laying out the text took
    // little of this one (a short text is shown in the turn it was asked for).
    if (!nextView_->layOutWithinTurn() || spent.nsecsElapsed() > kCardWithDetailNs) {
        requestRebuild();
        return false;
    }
    // The view of the detail before goes with it; the text laid out takes its place.
    delete longView_.data();
    dropDocument();
    longView_ = std::exchange(nextView_, nullptr);
    longDoc_ = std::exchange(nextDoc_, nullptr);
    longKey_ = std::exchange(nextKey_, {});
    return true;
}

// Shows the note's document in the long view, built on a worker when it is not the one held. While
// the note is edited, the document being edited stays whatever the store holds meanwhile.
void NoteTextDetail::showLongDoc(const Note &note) {
    const NoteDocument::Style st = style();
    const bool editing = editingID_ && *editingID_ == note.id;
    if (editing && longPasting_) return; // the pasted text is being made into the document edited
    if (longKey_.id == note.id && ((editing && longDoc_) || longKey_.fits(note, st))) {
        attachLongDoc();
        lendHeldText();
        return;
    }
    dropDocument();
    if (NoteStore::shared().textLent(note.id)) {
        // Lent to the document just dropped (made for another look): the text comes back from the
        // store on a worker, and the detail is built again with it.
        requestRebuild();
        return;
    }
    longKey_ = {note.id, NoteStore::shared().textVersion(note.id), NoteDocument::isLong(note), false, st.font, st.text};
    if (!NoteDocument::isLong(note)) {
        // Short enough to build and lay out at once.
        if (QTextDocument *doc = NoteDocument::build(note, st)) {
            doc->setParent(page_);
            longDoc_ = doc;
            attachLongDoc();
        }
        return;
    }
    const quint64 gen = longGen_;
    // The worker's copy of the text is the one the document is made of: the store lets go of its own
    // (note is left without its text then), and the worker lets go of the text as the document takes it in.
    Note own = note;
    if (unreadRich_ == std::pair(note.id, longKey_.version)) own.bodyRTF.reset(); // shown plain
    longKey_.building = true;
    lendHeldText();
    NoteDocument::buildLater(std::move(own), st, this, [this, gen, id = note.id, version = longKey_.version](QTextDocument *doc) {
        if (gen != longGen_) {
            NoteDocument::discard(doc); // megabytes of text and formats are freed on a worker
            return;
        }
        if (!doc) {
            // Its rich text did not read, and the worker let go of the text: built again, plain.
            unreadRich_ = {id, version};
            dropDocument();
            requestRebuild();
            return;
        }
        doc->setParent(page_);
        longDoc_ = doc;
        longKey_.building = false;
        attachLongDoc();
        // What waited for the text: the reader's place after a save, and the search.
        restoreReaderPlace();
        finder_->searchAgain();
    });
}

// The held document in the long view: read-only in the detail, editable in the editor.
void NoteTextDetail::attachLongDoc() {
    NoteTextView *lv = longView_;
    if (!lv || !longDoc_) return;
    const bool editing = editingID_ && *editingID_ == longKey_.id;
    lv->setReadOnly(!editing);
    // Setting the document moves the view's caret, which the editor's place follows: taken first.
    const int anchor = editAnchor_, pos = editPos_;
    if (lv->document() != longDoc_) {
        lv->setDocument(longDoc_);
        lv->setPlaceholderText(QString());
        // Taking a long document goes over every paragraph once (tens of milliseconds for the tens
        // of thousands of pieces of a long line); scrolling to the reader's place lays out the
        // screenful there. Each gets a turn of its own.
        placeNextTurn_ = !editing && placeID_ == longKey_.id && lv->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff;
    }
    // The picture shown while the note was saved stays till the text is at the reader's place.
    if (savingShot_.id == longKey_.id && !placeNextTurn_) dropSavingShot();
    if (!editing) return;
    if (saveAfterPaste_ && !lv->pastePending()) {
        // Save was clicked while the paste was read, and it went in on a worker: saved with it now.
        saveAfterPaste_ = false;
        QTimer::singleShot(0, this, [this] {
            if (editingID_) save();
        });
    }
    if (!pastedLinks_.empty()) PastedLinks::start(lv, std::exchange(pastedLinks_, {}), style().links);
    if (!longDoc_->isUndoRedoEnabled()) longDoc_->setUndoRedoEnabled(true);
    const int last = longDoc_->characterCount() - 1;
    QTextCursor cur(longDoc_);
    if (pos < 0) {
        // Editing starts where the reader is.
        cur = lv->cursorForPosition(QPoint(0, 0));
    } else {
        cur.setPosition(std::clamp(anchor, 0, last));
        cur.setPosition(std::clamp(pos, 0, last), QTextCursor::KeepAnchor);
    }
    lv->placeCaret(cur);
    editAnchor_ = cur.anchor();
    editPos_ = cur.position();
}

void NoteTextDetail::build(const Note &note) {
    QScrollArea *detailScroll = shown_.scroll();
    const int W = host()->width();
    const int w = W - 56;
    auto *doc = new FlippedView;
    doc->setAutoFillBackground(false);
    int y = 12;
    textFit_ = {doc, nullptr, note.link.isEmpty() ? 0 : 110, 0, nullptr, nullptr};
    // The body's caption and the card it lies on, for either kind of body.
    auto contentBox = [&] {
        auto *cap = label(doc, L::t({.en = "CONTENT", .es = "CONTENIDO", .de = "INHALT", .fr = "CONTENU", .uk = "ВМІСТ", .pl = "TREŚĆ"}), 9,
                          QFont::DemiBold, VF::muted());
        cap->setGeometry(28, 12, 200, std::max(12, cap->fontMetrics().height()));
        auto *box = new QFrame(doc);
        box->setObjectName(QStringLiteral("contentBox"));
        box->setStyleSheet(QStringLiteral("QFrame#contentBox{background:%1;border:0.5px solid %2;border-radius:12px;}")
                               .arg(VF::card().name(QColor::HexArgb), VF::border().name(QColor::HexArgb)));
        return box;
    };
    if (!note.body.isEmpty() || NoteStore::shared().textLent(note.id)) {
        // One view for every body. A long one fills the visible part of the detail and scrolls
        // within it, laid out as it is drawn; a short one is laid out whole and its card is as tall
        // as its text.
        QFrame *box = contentBox();
        NoteTextView *lv = takeLongView(box);
        // Its background by the palette, not a style sheet: a style sheet set makes the view go
        // over every paragraph again.
        lv->viewport()->setAutoFillBackground(false);
        lv->setReadOnly(true);
        const bool whole = !isLongText(note);
        // A long text always overflows its box: a scroll bar that appears once the text is there
        // would narrow the view and make it go over every paragraph again.
        lv->setVerticalScrollBarPolicy(whole ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAlwaysOn);
        // Its width in the detail before it takes the document, which is then laid out once, not
        // first at the width it had in the editor.
        lv->resize(w - 28 + 2 * int(std::lround(style().margin)), std::max(1, lv->height()));
        // A saved edit is still being read: the note as saved comes with it.
        if (longSavingID_ != note.id) showLongDoc(note);
        // The text lies 14 from the card's sides and 10 from its top and bottom, in lines w - 28
        // wide: the view reaches out by the margin its document keeps around the text. A view that
        // scrolls draws lines down to its bottom edge: that edge stays 10 above the card's.
        const int m = int(std::lround(lv->document()->documentMargin()));
        int boxH = 0;
        if (whole && longDoc_ && lv->document() == longDoc_) {
            boxH = std::max(40, lv->wholeHeight() - 2 * m + 20);
        } else {
            boxH = std::max(160, detailScroll->height() - 32 - 24 - textFit_.linkRoom);
            textFit_.fillingBox = box;
        }
        box->setGeometry(28, 32, w, boxH);
        lv->setGeometry(14 - m, 10 - m, w - 28 + 2 * m, boxH - 20 + (whole ? 2 * m : m));
        // Placed over the view where it is now: placed before, the picture lay where a view just
        // made stands (the card's corner), as high as such a view.
        showSavingShot(note.id, box, lv);
        y = boxH + 44;
    }
    if (!note.link.isEmpty()) {
        auto *cap = label(doc, QStringLiteral("🔗 ") + L::t({.en = "LINK", .es = "ENLACE", .de = "LINK", .fr = "LIEN", .uk = "ПОСИЛАННЯ", .pl = "LINK"}),
                          9, QFont::DemiBold, VF::muted());
        cap->setGeometry(28, y, 200, std::max(12, cap->fontMetrics().height()));
        y += 20;
        const QString address = note.link.startsWith(QLatin1String("http")) ? note.link : QStringLiteral("https://") + note.link;
        // The link as typed, wrapped when long, so it can be read whole, selected and copied; a click
        // opens the address.
        auto *lt = new LinkTextView(doc);
        lt->setObjectName(QStringLiteral("linkText"));
        lt->setReadOnly(true);
        lt->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        lt->setLinksSelectable(true);
        lt->setFrameShape(QFrame::NoFrame);
        lt->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        lt->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        lt->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        lt->viewport()->setAutoFillBackground(false);
        lt->setStyleSheet(QStringLiteral("background:transparent;"));
        QTextDocument *ld = lt->document();
        ld->setDocumentMargin(0);
        ld->setDefaultFont(Fonts::scaledFont(13));
        QTextCharFormat lf;
        lf.setForeground(kNoteAccent);
        lf.setFontUnderline(true);
        lf.setAnchor(true);
        lf.setAnchorHref(QUrl(address, QUrl::StrictMode).isValid() ? address : QStringLiteral("https://"));
        QTextCursor(ld).insertText(note.link, lf);
        ld->setTextWidth(w);
        const int linkH = std::max(20, int(std::ceil(ld->size().height())));
        lt->setGeometry(28, y, w, linkH);
        linkTV_ = lt;
        y += linkH + 8;
        auto *open = tintButton(doc, L::t({.en = "Open Link", .es = "Abrir enlace", .de = "Link öffnen", .fr = "Ouvrir le lien", .uk = "Відкрити", .pl = "Otwórz link"}),
                                kNoteAccent, 0.12, 0.4, QFont::Medium, 11);
        open->setGeometry(28, y, 140, 26);
        connect(open, &QPushButton::clicked, this, [address] {
            const QUrl u(address, QUrl::StrictMode);
            if (u.isValid()) WebLinks::open(u);
        });
        y += 36;
    }
    textFit_.contentH = y + 40;
    doc->resize(W, std::max(detailScroll->height(), textFit_.contentH));
    detailScroll->setWidget(doc);
}

bool NoteTextDetail::fitHeight() {
    const int W = host()->width(), H = host()->height();
    NoteTextView *lv = longView_;
    if (editingID_) {
        QWidget *ground = textFit_.editorGround, *bar = textFit_.editorBar;
        const QRect area = yUp(H, 28, 76, std::max(1.0, W - 56.0), std::max(1.0, H - 148.0));
        if (!ground || !bar || !lv || lv->parentWidget() != host() || area.width() != ground->width())
            return false;
        ground->setGeometry(area);
        // As wide as it is (beside its scroll bar or not); a scroll bar it gains or loses on the way
        // places it again.
        lv->setGeometry(lv->x(), area.y(), lv->width(), area.height());
        bar->setGeometry(yUp(H, 28, 40, std::max(1.0, W - 56.0), 32));
        return true;
    }
    QWidget *page = textFit_.page;
    QScrollArea *detailScroll = shown_.scroll();
    if (!page || !detailScroll || detailScroll->widget() != page || page->width() != W) return false;
    const QRect shown = yUp(H, 0, 0, W, std::max(20.0, H - 136.0));
    detailScroll->setGeometry(shown);
    if (QFrame *box = textFit_.fillingBox) {
        // A long note's card fills what the scroll area shows; the link below it moves with its edge.
        const int boxH = std::max(160, shown.height() - 32 - 24 - textFit_.linkRoom);
        const int dh = boxH - box->height();
        if (dh != 0) {
            const int edge = box->geometry().bottom();
            for (QWidget *w : page->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
                if (w->y() > edge) w->move(w->x(), w->y() + dh);
            box->resize(box->width(), boxH);
            if (lv && lv->parentWidget() == box) lv->resize(lv->width(), lv->height() + dh);
            textFit_.contentH += dh;
        }
    }
    page->resize(W, std::max(shown.height(), textFit_.contentH));
    return true;
}

LinkTextView *NoteTextDetail::linkView() const {
    return linkTV_;
}

bool NoteTextDetail::ready() const {
    return longView_ && longDoc_ && longView_->document() == longDoc_;
}

const Note *NoteTextDetail::fields(const QString &id) const {
    // A text lent to a document this page let go of (a new look) is on its way back on a worker (the
    // page decodes it again): what the detail needs meanwhile is the note's fields, not tens of
    // megabytes decoded here.
    NoteStore &store = NoteStore::shared();
    return holdsText(id) || store.textLent(id) ? store.findFields(id) : store.find(id);
}

void NoteTextDetail::detailGoing() {
    parkLongView(); // kept with its document and place for the detail built next
    textFit_ = {};
    linkTV_ = nullptr;
}

void NoteTextDetail::keepOnlyFor(const Note *note) {
    if (!note || note->id != longKey_.id || (!editingID_ && longDoc_ && longDoc_->isModified()))
        dropDocument();
}

void NoteTextDetail::viewsGoing() {
    delete longView_.data();
    dropNextCard();
}

QAbstractScrollArea *NoteTextDetail::findView() const {
    // The note's one view, in the detail or the editor, once its document is there.
    if (ready() && host() && host()->isAncestorOf(longView_)) return longView_;
    return nullptr;
}

void NoteTextDetail::restoreReaderPlace() {
    const bool nextTurn = std::exchange(placeNextTurn_, false);
    const std::optional<QString> selected = shown_.selectedID();
    // The picture shown while the note was saved goes once the text is there, at its place (which
    // a turn of its own may still have to show).
    if (QAbstractScrollArea *shown = findView();
        shown && !(nextTurn && !editingID_ && selected && *selected == placeID_))
        dropSavingShot();
    if (placeID_.isEmpty() || editingID_) return;
    if (!selected || *selected != placeID_) {
        placeID_.clear(); // another note is shown: the place is of no use any more
        return;
    }
    QAbstractScrollArea *view = findView();
    if (!view) return; // the text is still on its way
    if (nextTurn) {
        // Not drawn at its top meanwhile: the text appears at the place.
        QPointer<QWidget> shown = view->viewport();
        shown->setUpdatesEnabled(false);
        QTimer::singleShot(0, this, [this, shown] {
            if (shown) shown->setUpdatesEnabled(true);
            dropSavingShot();
            restoreReaderPlace();
        });
        return;
    }
    placeID_.clear();
    const int pos = placePos_;
    TextViewOps::scrollToTop(view, pos, shown_.scroll());
    // A view that scrolls by lines counts a paragraph put off as one line till it is laid out (on a
    // busy machine, most of them): the place may lie past its range yet. It is placed again as the
    // range grows, until it is there or the reader scrolls.
    QScrollBar *sb = view->verticalScrollBar();
    if (TextViewOps::topLine(view, pos) <= sb->value()) return;
    auto placed = std::make_shared<QMetaObject::Connection>();
    auto set = std::make_shared<int>(sb->value());
    QPointer<QAbstractScrollArea> v(view);
    *placed = connect(sb, &QScrollBar::rangeChanged, this, [v, sb, pos, placed, set] {
        if (!v || sb->value() != *set) { // the reader scrolled meanwhile
            QObject::disconnect(*placed);
            return;
        }
        const int line = TextViewOps::topLine(v, pos);
        sb->setValue(line);
        *set = sb->value();
        if (*set >= line) QObject::disconnect(*placed);
    });
}
