// The detail of a text note: its content and link, and the inline editor.
#include "notes/NotesView.h"
#include "notes/NotesUi.h"

#include "notes/NoteDialogs.h"
#include "notes/NoteStore.h"
#include "notes/PastedLinks.h"
#include "notes/RichTextView.h"
#include "notes/RtfCodec.h"
#include "notes/TextViewOps.h"
#include "platform/Dialogs.h"
#include "ui/CommonAlerts.h"
#include "ui/FlippedView.h"
#include "ui/Fonts.h"
#include "ui/Geometry.h"
#include "ui/Lang.h"
#include "ui/LinkTextView.h"
#include "ui/Makers.h"
#include "ui/Theme.h"
#include "ui/WebLinks.h"
#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <cmath>
#include <limits>
#include <memory>
#include <utility>

using namespace NotesUi;

namespace {
NoteDocument::Style longStyle() {
    return {Fonts::scaledFont(RichTextView::kDefaultSize), VF::text(), kNoteAccent, 4, VF::fontScale()};
}

void alertTitleNotSaved(QWidget *parent) {
    Dialogs::Alert a;
    a.title = L::t({.en = "Not saved", .es = "No guardado", .de = "Nicht gespeichert", .fr = "Non enregistré",
                    .uk = "Не збережено", .pl = "Nie zapisano"});
    a.text = L::t({.en = "The note's new title could not be saved: its stored notes changed meanwhile.",
                   .es = "No se pudo guardar el nuevo título de la nota: las notas guardadas cambiaron mientras tanto.",
                   .de = "Der neue Titel der Notiz konnte nicht gespeichert werden: Die gespeicherten Notizen haben sich inzwischen geändert.",
                   .fr = "Le nouveau titre de la note n'a pas pu être enregistré : les notes enregistrées ont changé entre-temps.",
                   .uk = "Не вдалося зберегти нову назву нотатки: збережені нотатки тим часом змінилися.",
                   .pl = "Nie udało się zapisać nowego tytułu notatki: zapisane notatki w międzyczasie się zmieniły."});
    a.warning = true;
    Dialogs::get().alert(parent, a);
}
} // namespace

bool NotesView::LongKey::fits(const Note &n, const NoteDocument::Style &s) const {
    return id == n.id && version == NoteStore::shared().textVersion(n.id) && font == s.font && text == s.text;
}

bool NotesView::holdsText(const QString &id) const {
    if (longKey_.id != id || longKey_.version != NoteStore::shared().textVersion(id)) return false;
    if (longPasting_ || longSavingID_ == id || longKey_.building) return true;
    // A document changed with no editor open any more is dropped at the next rebuild.
    return longDoc_ && (editingID_ || !longDoc_->isModified());
}

void NotesView::lendHeldText() {
    if (longKey_.lent || !longKey_.isLong || !holdsText(longKey_.id)) return;
    longKey_.lent = NoteStore::shared().lendText(longKey_.id, longKey_.version);
}

bool NotesView::isLongText(const Note &n) const {
    return NoteDocument::isLong(n) || NoteStore::shared().textLent(n.id);
}

// A view of a note's text, in the look of the page. Two are made only while a short note's card is
// being laid out (see cardLaidOut), each showing a document of its own.
NoteTextView *NotesView::makeLongView() {
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
    // A long paste or removal goes into the document on a worker; the view shows none meanwhile.
    const auto lend = [this, lv]() -> QTextDocument * {
        if (!editingID_ || longPasting_ || !longDoc_ || lv->document() != longDoc_) return nullptr;
        QTextDocument *doc = longDoc_;
        finder_->letGo(doc);
        longDoc_ = nullptr;
        lv->setDocument(nullptr);
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

void NotesView::styleLongView(NoteTextView *lv) {
    const NoteDocument::Style st = longStyle();
    if (lv->font() != st.font) lv->setFont(st.font);
    lv->setPlaceholderText(NoteDocument::loadingText());
    QPalette p = lv->palette();
    p.setColor(QPalette::Text, st.text);
    lv->setPalette(p);
    // Addresses typed or pasted are links as they come, as the note shown again has them.
    lv->setAutoLinks(st.links);
}

// The one view of a note's text, placed in parent. Another is made only after the one before was
// deleted (see setup) or while a short note's card is laid out (see cardLaidOut), so no two views
// ever show one document.
NoteTextView *NotesView::takeLongView(QWidget *parent) {
    if (!longView_) longView_ = makeLongView();
    NoteTextView *lv = longView_;
    lv->setParent(parent);
    styleLongView(lv);
    lv->show();
    return lv;
}

void NotesView::parkLongView() {
    if (!longView_) return;
    longView_->hide();
    longView_->setParent(this);
}

void NotesView::dropLongDoc() {
    ++longGen_;
    longKey_ = {};
    pastedLinks_.clear();
    if (!longDoc_) return;
    finder_->letGo(longDoc_); // searched no more: it is deleted on a worker
    if (longView_ && longView_->document() == longDoc_) longView_->setDocument(nullptr);
    NoteDocument::discard(longDoc_);
    longDoc_ = nullptr;
}

void NotesView::dropNextCard() {
    delete nextView_.data();
    if (nextDoc_) NoteDocument::discard(nextDoc_);
    nextDoc_ = nullptr;
    nextKey_ = {};
}

// A short note's card is as tall as its text, which is laid out whole for that: in the turn that
// builds the detail, with the first paint after it, a text of a few kilobytes held the window for
// 20 ms. So its document is built, and laid out at the card's width a turn's share at a time, in a
// view of its own, hidden, before the detail is built; the detail shown before stays as it is
// meanwhile, its text in the view it has. Once every paragraph is laid out, that view is the one
// view of the text, and the detail is built around it with nothing left to lay out. False while
// the text is still being laid out (the detail is built again on the next turn).
bool NotesView::cardLaidOut(const Note *note) {
    QElapsedTimer spent;
    spent.start();
    const NoteDocument::Style st = longStyle();
    const bool card = note && note->type == NoteType::text && !(editingID_ && *editingID_ == note->id) &&
                      !note->body.isEmpty() && !isLongText(*note) && longSavingID_ != note->id &&
                      detailHost_->width() > 10 && detailHost_->height() > 10;
    // Held already (shown before, or saved from the editor): its lines are those laid out then.
    if (!card || (longKey_.id == note->id && longDoc_ && longKey_.fits(*note, st))) {
        dropNextCard();
        return true;
    }
    const int width = detailHost_->width() - 56 - 28 + 2 * int(std::lround(st.margin));
    if (!nextView_ || !nextDoc_ || nextView_->document() != nextDoc_ || !nextKey_.fits(*note, st) ||
        nextView_->width() != width) {
        dropNextCard();
        QTextDocument *doc = NoteDocument::build(*note, st);
        if (!doc) return true; // quitting
        doc->setParent(this);
        NoteTextView *lv = makeLongView();
        lv->setParent(this);
        styleLongView(lv);
        lv->viewport()->setAutoFillBackground(false);
        lv->setReadOnly(true);
        lv->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        lv->resize(width, 1);
        lv->setDocument(doc);
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
    dropLongDoc();
    longView_ = std::exchange(nextView_, nullptr);
    longDoc_ = std::exchange(nextDoc_, nullptr);
    longKey_ = std::exchange(nextKey_, {});
    return true;
}

// Shows the note's document in the long view, built on a worker when it is not the one held. While
// the note is edited, the document being edited stays whatever the store holds meanwhile.
void NotesView::showLongDoc(const Note &note) {
    const NoteDocument::Style st = longStyle();
    const bool editing = editingID_ && *editingID_ == note.id;
    if (editing && longPasting_) return; // the pasted text is being made into the document edited
    if (longKey_.id == note.id && ((editing && longDoc_) || longKey_.fits(note, st))) {
        attachLongDoc();
        lendHeldText();
        return;
    }
    dropLongDoc();
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
            doc->setParent(this);
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
            dropLongDoc();
            requestRebuild();
            return;
        }
        doc->setParent(this);
        longDoc_ = doc;
        longKey_.building = false;
        attachLongDoc();
        // What waited for the text: the reader's place after a save, and the search.
        restoreReaderPlace();
        finder_->searchAgain();
    });
}

// The held document in the long view: read-only in the detail, editable in the editor.
void NotesView::attachLongDoc() {
    NoteTextView *lv = longView_;
    if (!lv || !longDoc_) return;
    const bool editing = editingID_ && *editingID_ == longKey_.id;
    lv->setReadOnly(!editing);
    // Setting the document moves the view's caret, which the editor's place follows: taken first.
    const int anchor = editAnchor_, pos = editPos_;
    if (lv->document() != longDoc_) {
        lv->setDocument(longDoc_);
        // Taking a long document goes over every paragraph once (tens of milliseconds for the tens
        // of thousands of pieces of a long line); scrolling to the reader's place lays out the
        // screenful there. Each gets a turn of its own.
        placeNextTurn_ = !editing && placeID_ == longKey_.id && lv->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff;
    }
    if (!editing) return;
    if (!pastedLinks_.empty()) PastedLinks::start(lv, std::exchange(pastedLinks_, {}), longStyle().links);
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

void NotesView::buildTextDetail(const Note &note) {
    const int W = detailHost_->width();
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
        lv->resize(w - 28 + 2 * int(std::lround(longStyle().margin)), std::max(1, lv->height()));
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
            boxH = std::max(160, detailScroll_->height() - 32 - 24 - textFit_.linkRoom);
            textFit_.fillingBox = box;
        }
        box->setGeometry(28, 32, w, boxH);
        lv->setGeometry(14 - m, 10 - m, w - 28 + 2 * m, boxH - 20 + (whole ? 2 * m : m));
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
    doc->resize(W, std::max(detailScroll_->height(), textFit_.contentH));
    detailScroll_->setWidget(doc);
}

bool NotesView::fitDetailHeight() {
    const int W = detailHost_->width(), H = detailHost_->height();
    NoteTextView *lv = longView_;
    if (editingID_) {
        QWidget *ground = textFit_.editorGround, *bar = textFit_.editorBar;
        const QRect area = yUp(H, 28, 76, std::max(1.0, W - 56.0), std::max(1.0, H - 148.0));
        if (!ground || !bar || !lv || lv->parentWidget() != detailHost_ || area.width() != ground->width()) return false;
        ground->setGeometry(area);
        // As wide as it is (beside its scroll bar or not); a scroll bar it gains or loses on the way
        // places it again.
        lv->setGeometry(lv->x(), area.y(), lv->width(), area.height());
        bar->setGeometry(yUp(H, 28, 40, std::max(1.0, W - 56.0), 32));
        return true;
    }
    QWidget *page = textFit_.page;
    if (!page || !detailScroll_ || detailScroll_->widget() != page || page->width() != W) return false;
    const QRect shown = yUp(H, 0, 0, W, std::max(20.0, H - 136.0));
    detailScroll_->setGeometry(shown);
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

// ---- inline editor ----

void NotesView::showInlineEditor(const QString &id) {
    const Note *n = noteFields(id);
    if (!n || n->type != NoteType::text) return;
    if (longSavingID_ == id) return; // its last save is still being read
    selectedID_ = id;
    editingID_ = id;
    longPasting_ = false;
    editTitle_ = n->title;
    editEmoji_ = n->emoji;
    // The document shown is the one edited (built on a worker when long and not there yet). Editing
    // a long text starts where the reader is, a short one at its end.
    editAnchor_ = editPos_ = isLongText(*n) ? -1 : std::numeric_limits<int>::max();
    requestRebuild();
}

void NotesView::buildInlineEditor(const Note &note) {
    const double W = detailHost_->width(), H = detailHost_->height();
    auto *strip = new QWidget(detailHost_);
    fillBg(strip, kNoteAccent);
    strip->setGeometry(yUp(H, 0, H - 4, W, 4));
    auto *emoji = new QLineEdit(editEmoji_, detailHost_);
    emoji->setFont(Fonts::scaledFont(28));
    emoji->setAlignment(Qt::AlignCenter);
    emoji->setGeometry(yUp(H, 28, H - 70, 46, 36));
    auto *title = new QLineEdit(editTitle_, detailHost_);
    title->setObjectName(QStringLiteral("inlineTitle"));
    title->setFont(Fonts::scaledFont(18, QFont::DemiBold));
    title->setPlaceholderText(L::t({.en = "Title", .es = "Título", .de = "Titel", .fr = "Titre", .uk = "Заголовок", .pl = "Tytuł"}));
    // Ends before the Cancel button instead of running under it.
    title->setGeometry(yUp(H, 80, H - 68, std::max(40.0, W - 310), 34));
    connect(title, &QLineEdit::textEdited, this, [this](const QString &t) { editTitle_ = t; });
    connect(emoji, &QLineEdit::textEdited, this, [this](const QString &t) { editEmoji_ = t; });
    auto *save = tintButton(detailHost_, QStringLiteral("✓ ") + L::t({.en = "Save", .es = "Guardar", .de = "Speichern", .fr = "Enregistrer", .uk = "Зберегти", .pl = "Zapisz"}),
                            kNoteAccent, 0.15, 0.45, QFont::DemiBold);
    save->setObjectName(QStringLiteral("inlineSave"));
    auto *cancel = tintButton(detailHost_, cancelTitle(), VF::sub(), 0.06, 0.18, QFont::Normal, 11);
    // Save and Cancel take what their titles need at the font scale; the title field gives it up.
    const auto need = [](QPushButton *b, double design) {
        return std::max(design, std::ceil(QFontMetricsF(b->font()).horizontalAdvance(b->text())) + 14);
    };
    const double saveW = need(save, 96), cancelW = need(cancel, 88);
    save->setGeometry(yUp(H, W - 28 - saveW, H - 68, saveW, 32));
    cancel->setGeometry(yUp(H, W - 28 - saveW - 8 - cancelW, H - 68, cancelW, 32));
    title->setGeometry(yUp(H, 80, H - 68, std::max(40.0, W - 28 - saveW - 8 - cancelW - 10 - 80), 34));
    const bool dark = VF::theme() == AppTheme::dark;
    const QColor base = dark ? QColor::fromRgbF(1, 1, 1, 0.12f) : QColor(Qt::white);
    NoteTextView *lv = takeLongView(detailHost_);
    QPalette lp = lv->palette();
    lp.setColor(QPalette::Base, base);
    lv->setPalette(lp);
    lv->viewport()->setAutoFillBackground(false); // the ground below gives the colour
    lv->setVerticalScrollBarPolicy(isLongText(note) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
    // The view as wide as in the detail (its text 14 from the card's sides there), on a ground of
    // its colour as wide as the editor: entering the editor wraps no line anew, and a long note's
    // view need not go over every paragraph again nor lay out again the ones shown.
    const QRect area = yUp(H, 28, 76, std::max(1.0, W - 56), std::max(1.0, H - 148));
    auto *ground = new QWidget(detailHost_);
    fillBg(ground, base);
    ground->setGeometry(area);
    ground->lower();
    const int side = std::max(0, 14 - int(std::lround(longStyle().margin)));
    lv->setGeometry(area.adjusted(side, 0, -side, 0));
    QPointer<NoteTextView> plv(lv);
    if (!isLongText(note)) {
        // A short note's scroll bar, shown once its text is taller than the editor, stands beside
        // the lines instead of taking their width: they stay as wide as in the detail, so the text
        // neither wraps anew on entering the editor nor when it grows past the editor's height.
        QPointer<QWidget> host(detailHost_);
        const auto besideBar = [plv, host, ground, side] {
            if (!plv || !host || plv->parentWidget() != host) return; // shown in the detail by now
            const bool bar = plv->verticalScrollBar()->maximum() > 0;
            const QRect viewRect = ground->geometry().adjusted(side, 0, -side, 0);
            plv->setGeometry(viewRect.adjusted(0, 0, bar ? plv->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, plv) : 0, 0));
        };
        connect(lv->verticalScrollBar(), &QScrollBar::rangeChanged, ground, besideBar);
        besideBar();
    }
    QWidget *bar = makeFormatBar({[plv](int code) {
                                      if (plv) plv->applyFmt(code);
                                  },
                                  [plv] {
                                      if (plv) plv->undo();
                                  },
                                  [plv] {
                                      if (plv) plv->redo();
                                  }},
                                 QStringLiteral("Smaller text"), QStringLiteral("Larger text"), detailHost_);
    bar->setGeometry(yUp(H, 28, 40, std::max(1.0, W - 56), 32));
    textFit_.editorGround = ground;
    textFit_.editorBar = bar;
    lv->setReadOnly(true); // until its document is there: nothing typed into the empty view is lost
    showLongDoc(note);
    save->setEnabled(!longPasting_);
    inlineTitle_ = title;
    inlineEmoji_ = emoji;
    QPointer<NotesView> self(this);
    connect(save, &QPushButton::clicked, this, [self] { if (self) self->saveInlineEditor(); });
    connect(cancel, &QPushButton::clicked, this, [self] {
        if (self) self->cancelInlineEditor();
    });
    // Only the editor's own: the detail it replaces is still among the host's children until deleted.
    for (QWidget *w : {strip, static_cast<QWidget *>(emoji), static_cast<QWidget *>(title), static_cast<QWidget *>(save),
                       static_cast<QWidget *>(cancel), ground, bar})
        w->show();
    QTimer::singleShot(0, this, [plv] {
        if (plv && plv->window()) plv->setFocus();
    });
}

void NotesView::longPasteArrived(quint64 gen, const QString &id, QTextDocument *doc, int caret,
                                 std::vector<NoteDocument::FoundLink> links) {
    if (gen != longGen_ || !longPasting_ || !editingID_ || *editingID_ != id) {
        NoteDocument::discard(doc);
        return;
    }
    longPasting_ = false;
    doc->setParent(this);
    longDoc_ = doc;
    pastedLinks_ = std::move(links); // made links once the editor shows the document
    editAnchor_ = editPos_ = caret;
    requestRebuild();
}

void NotesView::saveInlineEditor() {
    if (!editingID_) return;
    const QString title = trimmed(inlineTitle_ ? inlineTitle_->text() : editTitle_);
    const QString emoji = trimmed(inlineEmoji_ ? inlineEmoji_->text() : editEmoji_);
    if (title.isEmpty()) return;
    const Note *n = noteFields(*editingID_);
    if (!n) {
        editingID_.reset();
        requestRebuild();
        return;
    }
    Note copy = *n;
    copy.title = title;
    copy.emoji = emoji.isEmpty() ? Note::defaultEmoji() : emoji;
    saveLongEditor(copy);
}

// The editor's save. The text and its rich text are stored at every size; the size decides only
// where they are read: a text of up to kSaveHereChars at once, with the view kept on the document
// and the reader's place; a longer one on a worker from the document itself, which the view lets go
// of first (the note is stored when they come back). A long document with no change
// left in it, of a note that has its rich text already, stores only the title and the emoji.
void NotesView::saveLongEditor(Note copy) {
    if (!longDoc_ || !longView_ || longView_->document() != longDoc_) return; // still being built
    keepReaderPlace(copy.id, longView_);
    const QString id = copy.id;
    selectedID_ = id;
    editingID_.reset();
    QTextDocument *doc = longDoc_;
    if (doc->characterCount() - 1 <= NoteDocument::kSaveHereChars) {
        const NoteDocument::Saved s = NoteDocument::readText(*doc);
        if (!NoteDocument::storeInto(copy, s)) {
            keepStoredText(copy);
            return;
        }
        NoteStore::shared().update(copy);
        // The document saved is the one shown after, its lines laid out already at the detail's
        // width (the editor's): not built again from the rich text just written and laid out anew.
        doc->setModified(false);
        const NoteDocument::Style st = longStyle();
        longKey_ = {id, NoteStore::shared().textVersion(id), NoteDocument::isLong(copy), false, st.font, st.text};
        QTextCursor at = longView_->textCursor();
        if (at.hasSelection()) {
            at.clearSelection();
            longView_->setTextCursor(at);
        }
        requestRebuild();
        return;
    }
    const bool lent = NoteStore::shared().textLent(id);
    if (!longDoc_->isModified() && (copy.bodyRTF || lent)) {
        longView_->setReadOnly(true);
        if (lent) {
            // The store lent the text to the document: only the title and the emoji go into the
            // note's stored bytes, on a worker; its text (tens of megabytes) is not decoded for that.
            const Note *n = NoteStore::shared().findFields(id);
            if (n && (n->title != copy.title || n->emoji != copy.emoji)) {
                QPointer<NotesView> self(this);
                NoteStore::shared().updateFields(id, copy.emoji, copy.title, this, [self] {
                    if (self) alertTitleNotSaved(self);
                });
            }
            requestRebuild();
            return;
        }
        NoteStore::shared().update(copy);
        requestRebuild();
        return;
    }
    // The document goes to a worker to be read, and comes back as the note saved: shown again, not
    // built again from the saved text (for a long note, a second document of a hundred megabytes
    // being made while the save's text and bytes are still held). What it reads is the note's bytes,
    // written from the document a stretch at a time: its text and rich text (tens of megabytes each)
    // are never held whole beside the document and the bytes.
    longDoc_ = nullptr;
    ++longGen_;
    pastedLinks_.clear();
    finder_->letGo(doc);
    delete longView_.data(); // no view may lay the document out while the worker reads it
    longSavingID_ = id;
    const quint64 gen = longGen_;
    copy.body = QString(); // the fields alone: the text is the document's
    copy.bodyRTF.reset();
    NoteDocument::readKeeping(doc, copy, this, [this, id, gen, fields = copy](NoteDocument::Saved &s, QTextDocument *read) {
        longSavingID_.clear();
        if (s.richUnwritten) {
            if (read) NoteDocument::discard(read);
            keepStoredText(fields);
            return;
        }
        bool stored = false;
        // Without its text when lent: the text is the one read here.
        if (const Note *now = NoteStore::shared().findFields(id)) {
            Note out = *now;
            out.title = fields.title;
            out.emoji = fields.emoji;
            out.body = QString();
            out.bodyRTF.reset();
            out.modifiedInterval = fields.modifiedInterval;
            // The bytes hold the note as it was when Save was clicked: changed since (a rare thing:
            // another window stored it meanwhile), it is stored with its text taken from them.
            if (out == fields) {
                stored = NoteStore::shared().updateEncoded(out, s.preview, std::move(s.record));
            } else if (auto held = NoteCodec::decodeHeldInPlace(s.record)) {
                out.body = std::move(held->note.body);
                out.bodyRTF = std::move(held->note.bodyRTF);
                NoteStore::shared().update(out);
                stored = true;
            }
        }
        if (stored && gen == longGen_ && read) {
            read->setParent(this);
            read->setModified(false);
            longDoc_ = read;
            const NoteDocument::Style st = longStyle();
            longKey_ = {id, NoteStore::shared().textVersion(id), true, NoteStore::shared().textLent(id), st.font,
                        st.text};
            lendHeldText();
            // Into the view that showed the note while it was saved, in a turn of its own: taking it
            // goes over every piece of a long line (10-12 ms for a 50 MB one), and storing the note
            // (above), building the detail again and scrolling to the reader's place take turns of
            // their own around it; the detail waits for it (rebuild). Hidden till then: drawn
            // meanwhile, it would lay out the top of the text for nothing.
            parkLongView();
            longTakeQueued_ = true;
            QTimer::singleShot(0, this, [this, gen] {
                longTakeQueued_ = false;
                if (gen == longGen_) attachLongDoc();
            });
        } else if (read) {
            NoteDocument::discard(read);
        }
        requestRebuild();
    });
    requestRebuild();
}

// A save whose rich text could not be written stores the title and the emoji alone: the note keeps
// its text with the formats it has (never its text without them), and the user is told.
void NotesView::keepStoredText(const Note &fields) {
    QPointer<NotesView> self(this);
    NoteStore::shared().updateFields(fields.id, fields.emoji, fields.title, this, [self] {
        if (self) alertTitleNotSaved(self);
    });
    NoteDocument::alertRichTextNotSaved(this);
    requestRebuild();
}

void NotesView::keepReaderPlace(const QString &id, QAbstractScrollArea *editor) {
    placeID_.clear();
    if (!editor || !TextViewOps::document(editor)) return;
    placeID_ = id;
    placePos_ = TextViewOps::firstVisiblePosition(editor);
}

QAbstractScrollArea *NotesView::findView() const {
    // The note's one view, in the detail or the editor, once its document is there.
    if (longTextReady() && detailHost_ && detailHost_->isAncestorOf(longView_)) return longView_;
    return nullptr;
}

void NotesView::restoreReaderPlace() {
    const bool nextTurn = std::exchange(placeNextTurn_, false);
    if (placeID_.isEmpty() || editingID_) return;
    if (!selectedID_ || *selectedID_ != placeID_) {
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
            restoreReaderPlace();
        });
        return;
    }
    placeID_.clear();
    const int pos = placePos_;
    TextViewOps::scrollToTop(view, pos, detailScroll_);
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

void NotesView::cancelInlineEditor() {
    // The stored text is shown again; a paste still being made is dropped.
    if (longPasting_ || (longDoc_ && longDoc_->isModified())) dropLongDoc();
    longPasting_ = false;
    editingID_.reset();
    requestRebuild();
}
