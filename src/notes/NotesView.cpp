// The notes page's frame: header, list of cards, divider, and the choice of detail with its header.
#include "notes/NotesView.h"
#include "notes/NotesUi.h"

#include "notes/NoteListImport.h"
#include "notes/NoteDocument.h"
#include "notes/NoteListView.h"
#include "notes/NoteStore.h"
#include "platform/Keys.h"
#include "platform/Notifier.h"
#include "ui/DraggableDivider.h"
#include "ui/Geometry.h"
#include "ui/Lang.h"
#include "ui/Makers.h"
#include "ui/Theme.h"
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>
#include <utility>

using namespace NotesUi;

NotesView::NotesView(QWidget *parent) : Page(parent) {
    auto &n = Notifier::get();
    n.observe(Notify::notesChanged, this, [this](QObject *) { requestRebuild(); });
    n.observe(Notify::languageChanged, this, [this](QObject *) { refresh(); });
    table_ = new NoteTableDetail(this, {.host = [this] { return detailHost_; },
                                        .scroll = [this] { return detailScroll_.data(); },
                                        .shownID = [this] { return shownDetailID_; },
                                        .selectedID = [this] { return selectedID_; }});
    connect(table_, &NoteTableDetail::rebuildWanted, this, &NotesView::requestRebuild);
    connect(table_, &NoteTableDetail::detailRebuildWanted, this, &NotesView::rebuildDetail);
    finder_ = new NoteFindBar(this, {.note = [this] { return shownNote(); },
                                     .textView = [this] { return findView(); },
                                     .grid = [this] { return table_->grid(); },
                                     .detailScroll = [this] { return detailScroll_.data(); }});
    connect(finder_, &NoteFindBar::barShownOrHidden, this, &NotesView::layoutFrame);
    text_ = new NoteTextDetail(this, finder_,
                               {.host = [this] { return detailHost_; },
                                .scroll = [this] { return detailScroll_.data(); },
                                .selectedID = [this] { return selectedID_; },
                                .select = [this](const QString &id) { selectedID_ = id; }});
    connect(text_, &NoteTextDetail::rebuildWanted, this, &NotesView::requestRebuild);
}

double NotesView::listWidth(double w, double frac) {
    return std::max(180.0, std::min(w * frac, w * 0.6));
}

double NotesView::fractionForDrag(double x, double w) {
    return std::max(180.0, std::min(x, 0.6 * w)) / std::max(w, 1.0);
}

void NotesView::setup() {
    // The views of the page before are going; the long one goes now, before another could show its
    // document.
    text_->viewsGoing();
    applyBackground();
    hdrBg_ = new QWidget(this);
    fillBg(hdrBg_, VF::hdrBg());
    titleLbl_ = label(this, QString(), 22, QFont::Bold, VF::text());
    subLbl_ = label(this, QString(), 11.5, QFont::Normal, VF::sub());
    createBtn_ = makeHdrBtn(new QPushButton, QString(), true, this);
    importBtn_ = makeHdrBtn(new QPushButton, QString(), false, this);
    exportBtn_ = makeHdrBtn(new QPushButton, QString(), false, this);
    createBtn_->setObjectName(QStringLiteral("createButton"));
    importBtn_->setObjectName(QStringLiteral("importButton"));
    exportBtn_->setObjectName(QStringLiteral("exportButton"));
    QPointer<NotesView> self(this);
    connect(createBtn_, &QPushButton::clicked, this, [self] { if (self) self->createNote(); });
    connect(importBtn_, &QPushButton::clicked, this, [self] { if (self) NoteListImport::run(self, self, NoteStore::shared()); });
    connect(exportBtn_, &QPushButton::clicked, this, [self] { if (self) self->doExportSelected(); });

    listPanel_ = new QWidget(this);
    fillBg(listPanel_, VF::bg());
    listScroll_ = plainScroll(listPanel_, false);
    list_ = new NoteListView;
    listScroll_->setWidget(list_);
    list_->onTap = [self](const QString &id) { if (self) self->selectNote(id); };
    list_->onDoubleTap = [self](const QString &id) { if (self) self->doubleTapNote(id); };

    divider_ = new DraggableDivider(this);
    divider_->onDrag = [self](double x) {
        if (!self) return;
        self->listFrac_ = fractionForDrag(x, self->width());
        self->layoutFrame();
    };
    detailHost_ = new QWidget(this);
    detailHost_->setObjectName(QStringLiteral("detailHost"));
    fillBg(detailHost_, VF::bg());

    // The page's own window shortcut: active only while the page is shown.
    auto *find = new QShortcut(QKeySequence::Find, this, nullptr, nullptr, Qt::WindowShortcut);
    connect(find, &QShortcut::activated, this, [self] { if (self) self->toggleFindBar(); });

    const bool barWasShown = finder_->visible();
    finder_->barGone();
    for (QWidget *w : findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) w->show();
    if (barWasShown) finder_->show();
    layoutFrame();
    refresh();
}

void NotesView::refresh() {
    if (!titleLbl_) return;
    updateHeaderTitles();
    requestRebuild();
}

void NotesView::updateHeaderTitles() {
    titleLbl_->setText(QStringLiteral("📝  ") + L::t({.en = "Notes", .es = "Notas", .de = "Notizen", .fr = "Notes", .uk = "Нотатки", .pl = "Notatki"}));
    subLbl_->setText(L::t({.en = "Text notes & tables · Export & Import", .es = "Notas de texto y tablas · Exportar e importar",
                           .de = "Textnotizen & Tabellen · Export & Import", .fr = "Notes texte et tableaux · Export et import",
                           .uk = "Текстові нотатки й таблиці · Експорт та імпорт", .pl = "Notatki tekstowe i tabele · Eksport i import"}));
    createBtn_->setText(L::t({.en = "＋ Create", .es = "＋ Crear", .de = "＋ Erstellen", .fr = "＋ Créer", .uk = "＋ Створити", .pl = "＋ Utwórz"}));
    importBtn_->setText(L::t({.en = "📥 Import", .es = "📥 Importar", .de = "📥 Import", .fr = "📥 Importer", .uk = "📥 Імпорт", .pl = "📥 Import"}));
    exportBtn_->setText(L::t({.en = "📤 Export", .es = "📤 Exportar", .de = "📤 Export", .fr = "📤 Exporter", .uk = "📤 Експорт", .pl = "📤 Eksport"}));
    for (QPushButton *b : {createBtn_, importBtn_, exportBtn_}) b->setToolTip(b->text());
}

void NotesView::resizeEvent(QResizeEvent *e) {
    Page::resizeEvent(e);
    layoutFrame();
}

void NotesView::layoutFrame() {
    if (!hdrBg_) return;
    const double W = width(), H = height();
    const double L = listWidth(W, listFrac_);
    hdrBg_->setGeometry(yUp(H, 0, H - 70, W, 70));
    // Heights follow the font, so larger font scales never cut the glyphs.
    const int th = std::max(30, titleLbl_->fontMetrics().height());
    const int sh = std::max(16, subLbl_->fontMetrics().height());
    titleLbl_->setGeometry(20, std::max(0, 16 - (th - 30) / 2), int(W * 0.5), th);
    subLbl_->setGeometry(20, std::min(70 - sh, 48), int(W * 0.55), sh);
    // Wide enough for the longest title of the six languages at the largest font scale.
    const double bw = std::max(112.0, createBtn_->sizeHint().width() + 8.0);
    const double iw = std::max(100.0, importBtn_->sizeHint().width() + 8.0);
    const double ew = std::max(100.0, exportBtn_->sizeHint().width() + 8.0);
    exportBtn_->setGeometry(yUp(H, W - 10 - ew, H - 50, ew, 26));
    importBtn_->setGeometry(yUp(H, W - 20 - ew - iw, H - 50, iw, 26));
    createBtn_->setGeometry(yUp(H, W - 30 - ew - iw - bw, H - 50, bw, 26));
    const double F = finder_->visible() ? 42 : 0;
    listPanel_->setGeometry(yUp(H, 0, 0, L, H - 70));
    divider_->setGeometry(yUp(H, L, 0, 5, H - 70));
    listScroll_->setGeometry(0, 0, int(L), int(std::max(0.0, H - 70)));
    if (QWidget *bar = finder_->bar()) bar->setGeometry(yUp(H, L + 5, 0, W - L - 5, F));
    const QRect dh = yUp(H, L + 5, F, W - L - 5, std::max(0.0, H - 70 - F));
    const QSize was = detailHost_->size();
    detailHost_->setGeometry(dh);
    if (list_ && list_->width() != int(L)) rebuildList();
    // The grid's width follows the detail: rebuild it (queued). An inline editor is only re-placed,
    // and a text note given a new height (the find bar shown or hidden) only fitted to it.
    if (dh.size() != was && !(dh.width() == was.width() && text_->fitHeight())) {
        if (text_->editing())
            placeDetail();
        else
            requestRebuild();
    }
}

void NotesView::rebuild() {
    if (!titleLbl_) return;
    // Built around the saved text once its view has it: the store's news of the save comes first.
    if (text_->takingSaved()) {
        requestRebuild();
        return;
    }
    updateHeaderTitles();
    rebuildList();
    rebuildDetail();
}

void NotesView::rebuildList() {
    const int W = std::max(1, listScroll_->viewport()->width() > 0 ? listScroll_->width() : 240);
    list_->setNotes(NoteStore::shared().notes(), selectedID_, W, listScroll_->height());
}

const Note *NotesView::noteFields(const QString &id) const {
    return text_->fields(id);
}

const Note *NotesView::shownNote() const {
    return selectedID_ ? noteFields(*selectedID_) : nullptr;
}

void NotesView::selectNote(const QString &id) {
    if (!selectedID_ || *selectedID_ != id) {
        triedDecodeID_.clear();
        editWhenIn_.clear();
        detailScrollPos_ = {};
        table_->clearSelection();
        text_->stopEditing();
    }
    selectedID_ = id;
    requestRebuild();
}

void NotesView::doubleTapNote(const QString &id) {
    if (decodingID_ == id || (!text_->holdsText(id) && !NoteStore::shared().textLent(id) && decodeAway(id))) {
        // A large note not held decoded (not opened yet, or let go of since) is decoded on a worker,
        // as opening it is: its editor opens once it is in.
        if (!selectedID_ || *selectedID_ != id) {
            table_->clearSelection();
            detailScrollPos_ = {};
            text_->stopEditing();
        }
        selectedID_ = id;
        editWhenIn_ = id;
        requestRebuild(); // the note being opened is shown meanwhile
        return;
    }
    const Note *n = noteFields(id);
    if (!n) return;
    if (!selectedID_ || *selectedID_ != id) table_->clearSelection();
    selectedID_ = id;
    if (n->type == NoteType::text)
        showInlineEditor(id);
    else {
        const Note copy = *n;
        requestRebuild();
        openEditor(copy, false);
    }
}

// ---- detail ----

bool NotesView::decodeAway(const QString &id) {
    // The document shown goes as the decode starts, not once the note is in, nor after the decode
    // is handed to a worker (which might read the note's bytes before the document is freed): two
    // large notes' documents (and the decode's buffers) are never held at once. It shows this note
    // neither way (not held decoded).
    const auto letGo = [this] { text_->dropDocument(); };
    if (!NoteStore::shared().decodeInBackground(id, this, [this, id] {
            if (decodingID_ == id) decodingID_.clear();
            // Come in decoded: should the store let go of it again while it is shown (another large
            // note used since), the next build decodes it on a worker again, not here. Only a note
            // that did not come in is decoded when found.
            if (triedDecodeID_ == id && NoteStore::shared().holdsDecoded(id)) triedDecodeID_.clear();
            if (std::exchange(editWhenIn_, QString()) == id && selectedID_ && *selectedID_ == id) {
                doubleTapNote(id);
                return;
            }
            requestRebuild();
        }, letGo))
        return false;
    decodingID_ = triedDecodeID_ = id;
    return true;
}

void NotesView::rebuildDetail() {
    // A large note not held decoded is decoded on a worker; meanwhile the detail shows the note being
    // opened, its body loading.
    if (selectedID_) {
        const QString id = *selectedID_;
        // A text lent to a document this page no longer holds is decoded again the same way.
        if (decodingID_ == id || (!text_->holdsText(id) &&
                                  (triedDecodeID_ != id || NoteStore::shared().textLent(id)) && decodeAway(id))) {
            showOpening(id);
            return;
        }
    }
    // A short note's card waits for its text to be laid out; the detail as it was stays meanwhile.
    if (!text_->cardLaidOut(shownNote())) return;
    if (const Note *shown = shownNote();
        shown && !text_->editing() && !finder_->visible() && table_->refreshInPlace(*shown))
        return;
    if (detailScroll_) {
        detailScrollPos_ = {detailScroll_->horizontalScrollBar()->value(), detailScroll_->verticalScrollBar()->value()};
    }
    const QList<QWidget *> going = clearDetail();
    if (detailHost_->width() <= 10 || detailHost_->height() <= 10) return;
    const Note *note = shownNote();
    // A long document held for another note, or with edits no editor holds any more, goes.
    text_->keepOnlyFor(note);
    if (!note) {
        text_->stopEditing();
        auto *l = label(detailHost_, QStringLiteral("← ") + L::t({.en = "Select a note", .es = "Selecciona una nota", .de = "Notiz auswählen",
                                                                    .fr = "Sélectionnez une note", .uk = "Виберіть нотатку", .pl = "Wybierz notatkę"}),
                        15, QFont::Medium, VF::muted());
        l->setAlignment(Qt::AlignCenter);
        l->setGeometry(0, (detailHost_->height() - 30) / 2, detailHost_->width(), 30);
        l->show();
        shownDetailID_.clear();
        return;
    }
    if (shownDetailID_ != note->id) detailScrollPos_ = {};
    shownDetailID_ = note->id;
    if (text_->editing(note->id) && note->type == NoteType::text) {
        text_->buildEditor(*note);
        finder_->searchAgain();
        return;
    }
    text_->stopEditing();
    buildHeader(*note);
    if (note->type == NoteType::text)
        text_->build(*note);
    else
        table_->build(*note, detailScrollPos_.y());
    for (QWidget *w : detailHost_->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        if (!going.contains(w)) w->show();
    // Where the detail was scrolled to, unless the reader's place after a save is shown instead.
    if (detailScroll_ && !detailScrollPos_.isNull() && !text_->placeKeptFor(note->id)) {
        const QPoint pos = detailScrollPos_;
        QPointer<QScrollArea> s = detailScroll_;
        s->horizontalScrollBar()->setValue(pos.x());
        s->verticalScrollBar()->setValue(pos.y());
        QTimer::singleShot(0, this, [s, pos] {
            if (!s) return;
            s->horizontalScrollBar()->setValue(pos.x());
            s->verticalScrollBar()->setValue(pos.y());
        });
    }
    finder_->searchAgain();
    text_->restoreReaderPlace();
}

QList<QWidget *> NotesView::clearDetail() {
    text_->detailGoing();
    // Until deleted they are still the detail's children: only what is built next is shown, or the
    // detail would be drawn with both and then again without these.
    const QList<QWidget *> going = detailHost_->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget *w : going) {
        w->hide();
        w->deleteLater();
    }
    detailScroll_ = nullptr;
    table_->detailGoing();
    return going;
}

void NotesView::showOpening(const QString &id) {
    // The note's own detail shown already (its text decoded again for a new look, say) stays.
    if (shownDetailID_ == id && !detailHost_->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly).isEmpty())
        return;
    const auto &heads = NoteStore::shared().notes();
    const auto head = std::find_if(heads.begin(), heads.end(), [&](const NoteHead &h) { return h.id == id; });
    if (head == heads.end()) return;
    const QList<QWidget *> going = clearDetail();
    detailScrollPos_ = {};
    shownDetailID_.clear();
    if (detailHost_->width() <= 10 || detailHost_->height() <= 10) return;
    // What the list shows of it: its text comes once decoded.
    Note fields(head->type, head->emoji, head->title);
    fields.id = id;
    buildHeader(fields);
    auto *loading = label(nullptr, NoteDocument::loadingText(), 13, QFont::Normal, VF::muted());
    loading->setObjectName(QStringLiteral("detailLoading"));
    loading->setAlignment(Qt::AlignCenter);
    loading->resize(detailScroll_->width(), std::max(60, 3 * loading->fontMetrics().height()));
    detailScroll_->setWidget(loading);
    shownDetailID_ = id;
    for (QWidget *w : detailHost_->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        if (!going.contains(w)) w->show();
}

void NotesView::placeDetail() {
    // Re-place the open inline editor in the detail's new size without touching its content.
    const Note *note = shownNote();
    if (text_->editing() && note) text_->placeEditor(*note);
}

void NotesView::buildHeader(const Note &note) {
    const double W = detailHost_->width(), H = detailHost_->height();
    const QColor accent = note.type == NoteType::table ? kTableAccent : kNoteAccent;
    auto *band = new QWidget(detailHost_);
    fillBg(band, accent);
    band->setGeometry(yUp(H, 0, H - 4, W, 4));
    auto *emoji = label(detailHost_, note.emoji, 38, QFont::Normal, VF::text());
    emoji->setFont(Fonts::shrunkToFit(emoji->font(), note.emoji, 50));
    emoji->setGeometry(28, 28, 50, std::max(48, emoji->fontMetrics().height()));
    auto *title = label(detailHost_, QString(), 22, QFont::Bold, VF::text());
    title->setObjectName(QStringLiteral("detailTitle"));
    const int titleH = std::max(28, title->fontMetrics().height());
    title->setGeometry(82, 22 - (titleH - 28) / 2, int(W - 110), titleH);
    elideTo(title, note.title);
    QColor kc = accent;
    kc.setAlphaF(0.85f);
    auto *kind = label(detailHost_,
                       note.type == NoteType::table
                           ? L::t({.en = "Table", .es = "Tabla", .de = "Tabelle", .fr = "Tableau", .uk = "Таблиця", .pl = "Tabela"})
                           : L::t({.en = "Text note", .es = "Nota de texto", .de = "Textnotiz", .fr = "Note texte", .uk = "Текстова нотатка", .pl = "Notatka tekstowa"}),
                       11.5, QFont::Normal, kc);
    const int kindH = std::max(16, kind->fontMetrics().height());
    kind->setGeometry(82, std::max(54, title->geometry().bottom() + 1), int(W - 110), kindH);
    auto *edit = tintButton(detailHost_, QStringLiteral("✏️ ") + L::t({.en = "Edit", .es = "Editar", .de = "Bearbeiten", .fr = "Modifier", .uk = "Редагувати", .pl = "Edytuj"}),
                            accent, 0.15, 0.45, QFont::DemiBold);
    edit->setObjectName(QStringLiteral("editButton"));
    edit->setGeometry(yUp(H, 28, H - 116, 140, 34));
    auto *exp = tintButton(detailHost_, QStringLiteral("📤 ") + exportWord(),
                           VF::sub(), 0.06, 0.18, QFont::Medium);
    exp->setGeometry(yUp(H, 174, H - 116, 140, 34));
    auto *del = tintButton(detailHost_, QStringLiteral("🗑"), kDeleteRed, 0.12, 0.35, QFont::Normal);
    del->setObjectName(QStringLiteral("deleteButton"));
    del->setGeometry(yUp(H, 320, H - 116, 38, 34));
    const QString id = note.id;
    QPointer<NotesView> self(this);
    const bool table = note.type == NoteType::table;
    connect(edit, &QPushButton::clicked, this, [self, id, table] {
        if (!self) return;
        // As a double click on its card: a large table the store let go of is decoded on a worker
        // first, and its editor opens once it is in.
        if (table) return self->doubleTapNote(id);
        const Note *n = self->noteFields(id);
        if (!n) return;
        if (n->type == NoteType::text)
            self->showInlineEditor(id);
        else
            self->openEditor(*n, false);
    });
    connect(exp, &QPushButton::clicked, this, [self, id] {
        if (!self) return;
        self->exportNote(id);
    });
    connect(del, &QPushButton::clicked, this, [self, id] { if (self) self->deleteNote(id); });

    detailScroll_ = plainScroll(detailHost_, true);
    detailScroll_->setGeometry(yUp(H, 0, 0, W, std::max(20.0, H - 136)));
}
