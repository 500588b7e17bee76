// The inline editor of a text note and its Save, which keeps the reader's place.
#include "notes/NoteTextDetail.h"
#include "notes/NotesUi.h"

#include "notes/NoteCodec.h"
#include "notes/NoteFindBar.h"
#include "notes/NoteStore.h"
#include "notes/NoteTextView.h"
#include "notes/RichTextView.h"
#include "notes/TextViewOps.h"
#include "platform/Dialogs.h"
#include "ui/Fonts.h"
#include "ui/Geometry.h"
#include "ui/Lang.h"
#include "ui/Makers.h"
#include "ui/Theme.h"
#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <cmath>
#include <limits>
#include <utility>

using namespace NotesUi;

namespace {
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

void NoteTextDetail::showEditor(const QString &id) {
    const Note *n = fields(id);
    if (!n || n->type != NoteType::text) return;
    if (longSavingID_ == id) return; // its last save is still being read
    shown_.select(id);
    dropEdit();
    editingID_ = id;
    longPasting_ = false;
    editTitle_ = n->title;
    editEmoji_ = n->emoji;
    // The document shown is the one edited (built on a worker when long and not there yet). Editing
    // a long text starts where the reader is, a short one at its end.
    editAnchor_ = editPos_ = isLongText(*n) ? -1 : std::numeric_limits<int>::max();
    requestRebuild();
}

void NoteTextDetail::buildEditor(const Note &note) {
    const double W = host()->width(), H = host()->height();
    auto *strip = new QWidget(host());
    fillBg(strip, kNoteAccent);
    strip->setGeometry(yUp(H, 0, H - 4, W, 4));
    auto *emoji = new QLineEdit(editEmoji_, host());
    emoji->setFont(Fonts::scaledFont(28));
    emoji->setAlignment(Qt::AlignCenter);
    emoji->setGeometry(yUp(H, 28, H - 70, 46, 36));
    auto *title = new QLineEdit(editTitle_, host());
    title->setObjectName(QStringLiteral("inlineTitle"));
    title->setFont(Fonts::scaledFont(18, QFont::DemiBold));
    title->setPlaceholderText(L::t({.en = "Title", .es = "Título", .de = "Titel", .fr = "Titre", .uk = "Заголовок", .pl = "Tytuł"}));
    // Ends before the Cancel button instead of running under it.
    title->setGeometry(yUp(H, 80, H - 68, std::max(40.0, W - 310), 34));
    connect(title, &QLineEdit::textEdited, this, [this](const QString &t) { editTitle_ = t; });
    connect(emoji, &QLineEdit::textEdited, this, [this](const QString &t) { editEmoji_ = t; });
    auto *save = tintButton(host(), QStringLiteral("✓ ") + L::t({.en = "Save", .es = "Guardar", .de = "Speichern", .fr = "Enregistrer", .uk = "Зберегти", .pl = "Zapisz"}),
                            kNoteAccent, 0.15, 0.45, QFont::DemiBold);
    save->setObjectName(QStringLiteral("inlineSave"));
    auto *cancel = tintButton(host(), cancelTitle(), VF::sub(), 0.06, 0.18, QFont::Normal, 11);
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
    NoteTextView *lv = takeLongView(host());
    QPalette lp = lv->palette();
    lp.setColor(QPalette::Base, base);
    lv->setPalette(lp);
    lv->viewport()->setAutoFillBackground(false); // the ground below gives the colour
    lv->setVerticalScrollBarPolicy(isLongText(note) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
    // The view as wide as in the detail (its text 14 from the card's sides there), on a ground of
    // its colour as wide as the editor: entering the editor wraps no line anew, and a long note's
    // view need not go over every paragraph again nor lay out again the ones shown.
    const QRect area = yUp(H, 28, 76, std::max(1.0, W - 56), std::max(1.0, H - 148));
    auto *ground = new QWidget(host());
    fillBg(ground, base);
    ground->setGeometry(area);
    ground->lower();
    const int side = std::max(0, 14 - int(std::lround(style().margin)));
    lv->setGeometry(area.adjusted(side, 0, -side, 0));
    QPointer<NoteTextView> plv(lv);
    if (!isLongText(note)) {
        // A short note's scroll bar, shown once its text is taller than the editor, stands beside
        // the lines instead of taking their width: they stay as wide as in the detail, so the text
        // neither wraps anew on entering the editor nor when it grows past the editor's height.
        QPointer<QWidget> editorHost(host());
        const auto besideBar = [plv, editorHost, ground, side] {
            if (!plv || !editorHost || plv->parentWidget() != editorHost) return; // shown in the detail by now
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
                                 QStringLiteral("Smaller text"), QStringLiteral("Larger text"), host());
    bar->setGeometry(yUp(H, 28, 40, std::max(1.0, W - 56), 32));
    textFit_.editorGround = ground;
    textFit_.editorBar = bar;
    lv->setReadOnly(true); // until its document is there: nothing typed into the empty view is lost
    showLongDoc(note);
    save->setEnabled(!longPasting_);
    inlineTitle_ = title;
    inlineEmoji_ = emoji;
    QPointer<NoteTextDetail> self(this);
    connect(save, &QPushButton::clicked, this, [self] { if (self) self->save(); });
    connect(cancel, &QPushButton::clicked, this, [self] {
        if (self) self->cancel();
    });
    // Only the editor's own: the detail it replaces is still among the host's children until deleted.
    for (QWidget *w : {strip, static_cast<QWidget *>(emoji), static_cast<QWidget *>(title), static_cast<QWidget *>(save),
                       static_cast<QWidget *>(cancel), ground, bar})
        w->show();
    QTimer::singleShot(0, this, [plv] {
        if (plv && plv->window()) plv->setFocus();
    });
}

void NoteTextDetail::longPasteArrived(quint64 gen, const QString &id, QTextDocument *doc, int caret,
                                 std::vector<NoteDocument::FoundLink> links) {
    if (gen != longGen_ || !longPasting_ || !editingID_ || *editingID_ != id) {
        NoteDocument::discard(doc);
        return;
    }
    longPasting_ = false;
    doc->setParent(page_);
    longDoc_ = doc;
    pastedLinks_ = std::move(links); // made links once the editor shows the document
    editAnchor_ = editPos_ = caret;
    requestRebuild();
}

void NoteTextDetail::save() {
    if (!editingID_) return;
    if (longView_ && longView_->pastePending()) {
        // What the user pasted is saved too: the save goes on once it is in (see makeLongView).
        saveAfterPaste_ = true;
        return;
    }
    const QString title = trimmed(inlineTitle_ ? inlineTitle_->text() : editTitle_);
    const QString emoji = trimmed(inlineEmoji_ ? inlineEmoji_->text() : editEmoji_);
    if (title.isEmpty()) return;
    const Note *n = fields(*editingID_);
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
void NoteTextDetail::saveLongEditor(Note copy) {
    if (!longDoc_ || !longView_ || longView_->document() != longDoc_) return; // still being built
    keepReaderPlace(copy.id, longView_);
    const QString id = copy.id;
    shown_.select(id);
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
        const NoteDocument::Style st = style();
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
                QPointer<NoteTextDetail> self(this);
                NoteStore::shared().updateFields(id, copy.emoji, copy.title, this, [self] {
                    if (self) alertTitleNotSaved(self->page_);
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
    takeSavingShot(id);
    delete longView_.data(); // no view may lay the document out while the worker reads it
    longSavingID_ = id;
    const quint64 gen = longGen_;
    copy.body = QString(); // the fields alone: the text is the document's
    copy.bodyRTF.reset();
    NoteDocument::readKeeping(doc, copy, this, [this, id, gen, fields = copy](NoteDocument::Saved &s, QTextDocument *read) {
        longSavingID_.clear();
        if (s.richUnwritten) {
            dropSavingShot(); // what it shows was not stored
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
            } else {
                std::optional<QByteArray> record = std::exchange(s.record, SpooledBytes()).whole();
                if (auto held = record ? NoteCodec::decodeHeldInPlace(*record) : std::nullopt) {
                    out.body = std::move(held->note.body);
                    out.bodyRTF = std::move(held->note.bodyRTF);
                    NoteStore::shared().update(out);
                    stored = true;
                }
            }
        }
        if (stored && gen == longGen_ && read) {
            read->setParent(page_);
            read->setModified(false);
            longDoc_ = read;
            const NoteDocument::Style st = style();
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
        } else {
            dropSavingShot();
            if (read) NoteDocument::discard(read);
        }
        requestRebuild();
    });
    requestRebuild();
}

// A save whose rich text could not be written stores the title and the emoji alone: the note keeps
// its text with the formats it has (never its text without them), and the user is told.
void NoteTextDetail::keepStoredText(const Note &fields) {
    QPointer<NoteTextDetail> self(this);
    NoteStore::shared().updateFields(fields.id, fields.emoji, fields.title, this, [self] {
        if (self) alertTitleNotSaved(self->page_);
    });
    NoteDocument::alertRichTextNotSaved(page_);
    requestRebuild();
}

// A long note's text is read for Save on a worker, and no view may show its document meanwhile: the
// text as the editor showed it stays in its place as a picture, not a placeholder, till the
// document comes back.
void NoteTextDetail::takeSavingShot(const QString &id) {
    dropSavingShot();
    NoteTextView *lv = longView_;
    if (!lv || !lv->isVisible()) return;
    lv->setReadOnly(true); // no caret in the picture
    const NoteDocument::Style st = style();
    // The lines alone, on nothing: the picture lies on the detail's card, whose colour is not the
    // editor's ground (a grab filled it with the window's).
    QWidget *shown = lv->viewport();
    const qreal ratio = shown->devicePixelRatioF();
    QPixmap picture((QSizeF(shown->size()) * ratio).toSize());
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::transparent);
    shown->render(&picture, QPoint(), QRegion(), QWidget::DrawChildren);
    savingShot_ = {id, picture, lv->width(), st.font, st.text};
}

void NoteTextDetail::showSavingShot(const QString &id, QWidget *box, NoteTextView *lv) {
    const NoteDocument::Style st = style();
    // Not in another look or width: the text would not lie where the picture has it.
    if (savingShot_.id != id || savingShot_.picture.isNull() || savingShot_.viewWidth != lv->width() ||
        savingShot_.font != st.font || savingShot_.text != st.text)
        return;
    auto *shot = new QLabel(box);
    shot->setObjectName(QStringLiteral("savingShot"));
    shot->setAttribute(Qt::WA_TransparentForMouseEvents);
    shot->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    shot->setPixmap(savingShot_.picture);
    // Where the view's lines will be: lv is in its place in box already.
    const QSize size = savingShot_.picture.deviceIndependentSize().toSize();
    shot->setGeometry(QRect(lv->pos(), size.boundedTo(lv->size())));
    shot->raise();
    lv->setPlaceholderText(QString());
    savingLabel_ = shot;
}

void NoteTextDetail::dropSavingShot() {
    savingShot_ = {};
    delete savingLabel_.data();
}

void NoteTextDetail::keepReaderPlace(const QString &id, QAbstractScrollArea *editor) {
    placeID_.clear();
    if (!editor || !TextViewOps::document(editor)) return;
    placeID_ = id;
    placePos_ = TextViewOps::firstVisiblePosition(editor);
}

void NoteTextDetail::placeEditor(const Note &note) {
    editTitle_ = inlineTitle_ ? inlineTitle_->text() : editTitle_;
    editEmoji_ = inlineEmoji_ ? inlineEmoji_->text() : editEmoji_;
    parkLongView();
    for (QWidget *w : host()->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        w->hide();
        w->deleteLater();
    }
    textFit_ = {};
    buildEditor(note);
}

void NoteTextDetail::dropEdit() {
    saveAfterPaste_ = false;
    if (longView_) longView_->dropPendingPaste();
}

void NoteTextDetail::stopEditing() {
    if (editingID_) dropEdit();
    editingID_.reset();
}

void NoteTextDetail::cancel() {
    // The stored text is shown again; a paste still being made is dropped.
    dropEdit();
    if (longPasting_ || (longDoc_ && longDoc_->isModified())) dropDocument();
    longPasting_ = false;
    editingID_.reset();
    requestRebuild();
}
