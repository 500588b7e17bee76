#include "notes/NotesView.h"

#include "notes/NoteDialogs.h"
#include "notes/NoteExport.h"
#include "notes/NoteFind.h"
#include "notes/NoteListImport.h"
#include "notes/NoteListView.h"
#include "notes/NoteStore.h"
#include "notes/RichTextView.h"
#include "notes/RtfCodec.h"
#include "notes/TableClipboard.h"
#include "notes/TableOps.h"
#include "platform/Dialogs.h"
#include "platform/Keys.h"
#include "platform/Notifier.h"
#include "ui/CommonAlerts.h"
#include "ui/DraggableDivider.h"
#include "ui/FadedScroller.h"
#include "ui/FlippedView.h"
#include "ui/Fonts.h"
#include "ui/Geometry.h"
#include "ui/Lang.h"
#include "ui/LinkTextView.h"
#include "ui/Makers.h"
#include "ui/Theme.h"
#include "ui/WebLinks.h"
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>

namespace {
const QColor kNoteAccent = QColor::fromRgbF(0.5f, 0.78f, 1.0f);
const QColor kTableAccent = QColor::fromRgbF(0.2f, 0.72f, 0.42f);
const QColor kDeleteRed = QColor::fromRgbF(1.0f, 0.4f, 0.4f);

void fillBg(QWidget *w, const QColor &c) {
    w->setAutoFillBackground(true);
    QPalette p = w->palette();
    p.setColor(QPalette::Window, c);
    w->setPalette(p);
}

QLabel *label(QWidget *parent, const QString &text, double size, QFont::Weight weight, const QColor &color) {
    auto *l = new QLabel(text, parent);
    l->setFont(Fonts::scaledFont(size, weight));
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, color);
    l->setPalette(p);
    l->setTextFormat(Qt::PlainText);
    return l;
}

void elideTo(QLabel *l, const QString &text) {
    const QString shown = l->fontMetrics().elidedText(text, Qt::ElideRight, std::max(10, l->width()));
    l->setText(shown);
    l->setToolTip(shown == text ? QString() : text);
}

QPushButton *tintButton(QWidget *parent, const QString &title, const QColor &tint, double bgA, double brA,
                        QFont::Weight weight, double size = 12) {
    auto *b = new QPushButton(title, parent);
    b->setFont(Fonts::scaledFont(size, weight));
    QColor bg = tint, br = tint;
    bg.setAlphaF(float(bgA));
    br.setAlphaF(float(brA));
    b->setStyleSheet(QStringLiteral("QPushButton{color:%1;background:%2;border:1px solid %3;border-radius:8px;padding:0 6px;}")
                         .arg(tint.name(QColor::HexArgb), bg.name(QColor::HexArgb), br.name(QColor::HexArgb)));
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

QScrollArea *plainScroll(QWidget *parent, bool horizontal) {
    auto *s = new QScrollArea(parent);
    s->setFrameShape(QFrame::NoFrame);
    s->setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    s->setWidgetResizable(false);
    s->viewport()->setAutoFillBackground(false);
    s->setAutoFillBackground(false);
    applyFadedScroller(s);
    return s;
}

QString trimmed(const QString &s) {
    int a = 0, b = int(s.size());
    while (a < b && (s.at(a) == u' ' || s.at(a) == u'\t')) ++a;
    while (b > a && (s.at(b - 1) == u' ' || s.at(b - 1) == u'\t')) --b;
    return s.mid(a, b - a);
}

QString deleteWord() {
    return L::t({.en = "Delete", .es = "Eliminar", .de = "Löschen", .fr = "Supprimer", .uk = "Видалити", .pl = "Usuń"});
}

QColor findBarBorder() {
    switch (VF::theme()) {
    case AppTheme::dark: return QColor::fromRgbF(1, 1, 1, 0.07f);
    case AppTheme::pink: return QColor::fromRgbF(0.85f, 0.55f, 0.65f, 0.25f);
    case AppTheme::mint: return QColor::fromRgbF(0.66f, 0.84f, 0.76f, 0.3f);
    default: return QColor::fromRgbF(0.6f, 0.68f, 0.8f, 0.3f);
    }
}
} // namespace

NotesView::NotesView(QWidget *parent) : Page(parent) {
    editDoc_ = new QTextDocument(this);
    auto &n = Notifier::get();
    n.observe(Notify::notesChanged, this, [this](QObject *) { requestRebuild(); });
    n.observe(Notify::languageChanged, this, [this](QObject *) { refresh(); });
}

double NotesView::listWidth(double w, double frac) {
    return std::max(180.0, std::min(w * frac, w * 0.6));
}

double NotesView::fractionForDrag(double x, double w) {
    return std::max(180.0, std::min(x, 0.6 * w)) / std::max(w, 1.0);
}

void NotesView::setup() {
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
    connect(importBtn_, &QPushButton::clicked, this, [self] { if (self) NoteListImport::run(self, NoteStore::shared()); });
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

    const bool barWasShown = findBarVisible_;
    findBarVisible_ = false;
    for (QWidget *w : findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) w->show();
    if (barWasShown) showFindBar();
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
    const double F = findBarVisible_ ? 42 : 0;
    listPanel_->setGeometry(yUp(H, 0, 0, L, H - 70));
    divider_->setGeometry(yUp(H, L, 0, 5, H - 70));
    listScroll_->setGeometry(0, 0, int(L), int(std::max(0.0, H - 70)));
    if (findBar_) findBar_->setGeometry(yUp(H, L + 5, 0, W - L - 5, F));
    const QRect dh = yUp(H, L + 5, F, W - L - 5, std::max(0.0, H - 70 - F));
    const bool sizeChanged = dh.size() != detailHost_->size();
    detailHost_->setGeometry(dh);
    if (list_ && list_->width() != int(L)) rebuildList();
    // The grid's width follows the detail: rebuild it (queued). An inline editor is only re-placed.
    if (sizeChanged) {
        if (editingID_)
            placeDetail();
        else
            requestRebuild();
    }
}

void NotesView::rebuild() {
    if (!titleLbl_) return;
    updateHeaderTitles();
    rebuildList();
    rebuildDetail();
}

void NotesView::rebuildList() {
    const int W = std::max(1, listScroll_->viewport()->width() > 0 ? listScroll_->width() : 240);
    list_->setNotes(NoteStore::shared().notes(), selectedID_, W, listScroll_->height());
}

const Note *NotesView::selectedNote() const {
    return selectedID_ ? NoteStore::shared().find(*selectedID_) : nullptr;
}

void NotesView::selectNote(const QString &id) {
    if (!selectedID_ || *selectedID_ != id) {
        detailScrollPos_ = {};
        sel_ = {};
        editingID_.reset();
    }
    selectedID_ = id;
    requestRebuild();
}

void NotesView::doubleTapNote(const QString &id) {
    const Note *n = NoteStore::shared().find(id);
    if (!n) return;
    if (!selectedID_ || *selectedID_ != id) sel_ = {};
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

void NotesView::rebuildDetail() {
    if (detailScroll_) {
        detailScrollPos_ = {detailScroll_->horizontalScrollBar()->value(), detailScroll_->verticalScrollBar()->value()};
    }
    for (QWidget *w : detailHost_->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        w->hide();
        w->deleteLater();
    }
    detailScroll_ = nullptr;
    grid_ = nullptr;
    contentTV_ = nullptr;
    inlineTV_ = nullptr;
    if (detailHost_->width() <= 10 || detailHost_->height() <= 10) return;
    const Note *note = selectedNote();
    if (!note) {
        editingID_.reset();
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
    if (editingID_ && *editingID_ == note->id && note->type == NoteType::text) {
        buildInlineEditor(*note);
        return;
    }
    editingID_.reset();
    buildHeader(*note);
    if (note->type == NoteType::text)
        buildTextDetail(*note);
    else
        buildTableDetail(*note);
    for (QWidget *w : detailHost_->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) w->show();
    if (detailScroll_ && !detailScrollPos_.isNull()) {
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
    if (findBarVisible_ && !findQuery_.isEmpty()) runFind(findQuery_);
}

void NotesView::placeDetail() {
    // Re-place the open inline editor in the detail's new size without touching its content.
    const Note *note = selectedNote();
    if (editingID_ && note) {
        editTitle_ = inlineTitle_ ? inlineTitle_->text() : editTitle_;
        editEmoji_ = inlineEmoji_ ? inlineEmoji_->text() : editEmoji_;
        for (QWidget *w : detailHost_->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
            w->hide();
            w->deleteLater();
        }
        buildInlineEditor(*note);
    }
}

void NotesView::buildHeader(const Note &note) {
    const double W = detailHost_->width(), H = detailHost_->height();
    const QColor accent = note.type == NoteType::table ? kTableAccent : kNoteAccent;
    auto *band = new QWidget(detailHost_);
    fillBg(band, accent);
    band->setGeometry(yUp(H, 0, H - 4, W, 4));
    auto *emoji = label(detailHost_, note.emoji, 38, QFont::Normal, VF::text());
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
    auto *exp = tintButton(detailHost_, QStringLiteral("📤 ") + L::t({.en = "Export", .es = "Exportar", .de = "Exportieren", .fr = "Exporter", .uk = "Експорт", .pl = "Eksportuj"}),
                           VF::sub(), 0.06, 0.18, QFont::Medium);
    exp->setGeometry(yUp(H, 174, H - 116, 140, 34));
    auto *del = tintButton(detailHost_, QStringLiteral("🗑"), kDeleteRed, 0.12, 0.35, QFont::Normal);
    del->setObjectName(QStringLiteral("deleteButton"));
    del->setGeometry(yUp(H, 320, H - 116, 38, 34));
    const QString id = note.id;
    QPointer<NotesView> self(this);
    connect(edit, &QPushButton::clicked, this, [self, id] {
        if (!self) return;
        const Note *n = NoteStore::shared().find(id);
        if (!n) return;
        if (n->type == NoteType::text)
            self->showInlineEditor(id);
        else
            self->openEditor(*n, false);
    });
    connect(exp, &QPushButton::clicked, this, [self, id] {
        if (!self) return;
        if (const Note *n = NoteStore::shared().find(id)) self->exportNote(*n);
    });
    connect(del, &QPushButton::clicked, this, [self, id] { if (self) self->deleteNote(id); });

    detailScroll_ = plainScroll(detailHost_, true);
    detailScroll_->setGeometry(yUp(H, 0, 0, W, std::max(20.0, H - 136)));
}

void NotesView::buildTextDetail(const Note &note) {
    const int W = detailHost_->width();
    const int w = W - 56;
    auto *doc = new FlippedView;
    doc->setAutoFillBackground(false);
    int y = 12;
    if (!note.body.isEmpty()) {
        auto *cap = label(doc, L::t({.en = "CONTENT", .es = "CONTENIDO", .de = "INHALT", .fr = "CONTENU", .uk = "ВМІСТ", .pl = "TREŚĆ"}), 9,
                          QFont::DemiBold, VF::muted());
        cap->setGeometry(28, 12, 200, 12);
        auto *box = new QFrame(doc);
        box->setObjectName(QStringLiteral("contentBox"));
        box->setStyleSheet(QStringLiteral("QFrame#contentBox{background:%1;border:0.5px solid %2;border-radius:12px;}")
                               .arg(VF::card().name(QColor::HexArgb), VF::border().name(QColor::HexArgb)));
        auto *tv = new LinkTextView(box);
        tv->setObjectName(QStringLiteral("contentText"));
        tv->setReadOnly(true);
        tv->setFrameShape(QFrame::NoFrame);
        tv->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        tv->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        tv->viewport()->setAutoFillBackground(false);
        tv->setStyleSheet(QStringLiteral("background:transparent;"));
        QTextDocument *d = tv->document();
        d->setDocumentMargin(0);
        d->setDefaultFont(Fonts::scaledFont(13));
        bool rich = note.bodyRTF && RtfCodec::read(*note.bodyRTF, d);
        if (!rich) d->setPlainText(note.body);
        QTextCursor all(d);
        all.select(QTextCursor::Document);
        QTextCharFormat fg;
        fg.setForeground(VF::text());
        all.mergeCharFormat(fg);
        tv->detectLinks(kNoteAccent);
        d->setTextWidth(std::max(10, w - 28));
        const int h = int(d->size().height());
        const int boxH = std::max(40, h + 20);
        box->setGeometry(28, 32, w, boxH);
        tv->setGeometry(14, 10, w - 28, boxH - 20);
        contentTV_ = tv;
        y = boxH + 44;
    }
    if (!note.link.isEmpty()) {
        auto *cap = label(doc, QStringLiteral("🔗 ") + L::t({.en = "LINK", .es = "ENLACE", .de = "LINK", .fr = "LIEN", .uk = "ПОСИЛАННЯ", .pl = "LINK"}),
                          9, QFont::DemiBold, VF::muted());
        cap->setGeometry(28, y, 200, 12);
        y += 20;
        const QString address = note.link.startsWith(QLatin1String("http")) ? note.link : QStringLiteral("https://") + note.link;
        auto *lt = new QLabel(doc);
        lt->setTextFormat(Qt::PlainText);
        lt->setFont(Fonts::scaledFont(13));
        QPalette lp = lt->palette();
        lp.setColor(QPalette::WindowText, kNoteAccent);
        lt->setPalette(lp);
        QFont uf = lt->font();
        uf.setUnderline(true);
        lt->setFont(uf);
        lt->setGeometry(28, y, w, 20);
        elideTo(lt, note.link);
        y += 28;
        auto *open = tintButton(doc, L::t({.en = "Open Link", .es = "Abrir enlace", .de = "Link öffnen", .fr = "Ouvrir le lien", .uk = "Відкрити", .pl = "Otwórz link"}),
                                kNoteAccent, 0.12, 0.4, QFont::Medium, 11);
        open->setGeometry(28, y, 140, 26);
        connect(open, &QPushButton::clicked, this, [address] {
            const QUrl u(address, QUrl::StrictMode);
            if (u.isValid()) WebLinks::open(u);
        });
        y += 36;
    }
    doc->resize(W, std::max(detailScroll_->height(), y + 40));
    detailScroll_->setWidget(doc);
}

void NotesView::buildTableDetail(const Note &note) {
    const int W = detailHost_->width();
    if (note.columns.empty()) {
        auto *doc = new FlippedView;
        auto *l = label(doc, L::t({.en = "Table is empty", .es = "La tabla está vacía", .de = "Tabelle ist leer", .fr = "Le tableau est vide",
                                   .uk = "Таблиця порожня", .pl = "Tabela jest pusta"}),
                        12, QFont::Normal, VF::muted());
        l->setGeometry(28, 12, W - 56, 20);
        doc->resize(W, std::max(60, detailScroll_->height()));
        detailScroll_->setWidget(doc);
        return;
    }
    auto &widths = colWidthsMap_[note.id];
    if (widths.size() != note.columns.size()) widths = NoteGrid::defaultWidths(note);
    HeightCache &hc = heightCache_;
    if (hc.id != note.id || hc.widths != widths || hc.rows.size() != hc.heights.size() ||
        hc.estimated.size() != hc.heights.size()) {
        const size_t n = note.rows.size();
        std::vector<int> known;
        std::vector<char> estimated(n, 0);
        if (n > kMeasureAtOnce) {
            // A long table shows at once: the rows that can reach the viewport are measured now
            // (every row is at least 33 points tall with its gap), the rest later while idle.
            const int est = NoteGrid::oneLineRowHeight();
            const int top = std::max(0, detailScrollPos_.y() - NoteGrid::kTop);
            const size_t first = std::min(n, size_t(top / (est + 3)));
            const size_t last = std::min(n, first + size_t(std::max(detailScroll_->height(), 700) / 33 + 2));
            known.assign(n, est);
            estimated.assign(n, 1);
            for (size_t r = first; r < last; ++r) known[r] = -1, estimated[r] = 0;
        }
        hc = {note.id, widths, note.rows, NoteGrid::measureHeights(note, widths, known.empty() ? nullptr : &known),
              std::move(estimated), 0};
    } else if (hc.rows != note.rows) {
        // Heights follow the cells and the widths only: an unchanged row keeps its height.
        std::vector<int> known(note.rows.size(), -1);
        std::vector<char> estimated(note.rows.size(), 0);
        QHash<QString, size_t> oldIndex;
        for (size_t i = 0; i < note.rows.size(); ++i) {
            const NoteRow &row = note.rows[i];
            size_t j = i;
            if (j >= hc.rows.size() || hc.rows[j].id != row.id) {
                if (oldIndex.isEmpty())
                    for (size_t k = hc.rows.size(); k-- > 0;) oldIndex.insert(hc.rows[k].id, k);
                const auto it = oldIndex.constFind(row.id);
                if (it == oldIndex.constEnd()) continue;
                j = *it;
            }
            const NoteRow &was = hc.rows[j];
            if (was.cells == row.cells && was.cellsRTF == row.cellsRTF) {
                known[i] = hc.heights[j];
                estimated[i] = hc.estimated[j];
            }
        }
        hc.heights = NoteGrid::measureHeights(note, widths, &known);
        hc.rows = note.rows;
        hc.estimated = std::move(estimated);
        hc.nextEstimated = 0;
    }
    if (std::find(hc.estimated.begin(), hc.estimated.end(), 1) != hc.estimated.end()) {
        if (!measureTimer_) {
            measureTimer_ = new QTimer(this);
            measureTimer_->setInterval(0);
            connect(measureTimer_, &QTimer::timeout, this, &NotesView::measureSomeRows);
        }
        measureTimer_->start();
    }
    auto *g = new NoteGrid(note, widths, hc.heights, W, &sel_, nullptr);
    g->resize(g->width(), std::max(g->height(), detailScroll_->height()));
    detailScroll_->setWidget(g);
    grid_ = g;
    const QString id = note.id;
    QPointer<NotesView> self(this);
    g->onDoubleTap = [self, id](int r, int c) { if (self) self->showCellEditor(id, r, c); };
    g->onDragSwap = [self, id](NoteGrid::CellPos a, NoteGrid::CellPos b) { if (self) self->swapOrMove(id, a, b); };
    g->onResize = [self, id](int c, double d) {
        if (!self) return;
        auto &ws = self->colWidthsMap_[id];
        if (c >= 0 && c < int(ws.size())) ws[size_t(c)] = TableOps::resizedWidth(ws[size_t(c)], d);
    };
    g->onResizeEnd = [self] { if (self) self->requestRebuild(); };
    g->onDeleteColumn = [self, id](int c) { if (self) self->deleteColumn(id, c); };
    g->onDeleteRow = [self, id](int r) { if (self) self->deleteRow(id, r); };
    g->onContextMenu = [self, id](const QPoint &p) { if (self) self->contextMenu(id, p); };
    g->onCopy = [self, id] { if (self) self->copySelection(id); };
    g->onPaste = [self, id] { if (self) self->pasteAtAnchor(id); };
    g->onClear = [self, id] { if (self) self->clearSelectionContent(id); };
}

// A slice of the rows still standing at an estimated height, measured between events so the window
// never waits for a whole long table. The shown grid takes the new heights; rows above the visible
// part move the scroll position with them, so what is on screen stays put.
void NotesView::measureSomeRows() {
    HeightCache &hc = heightCache_;
    const size_t n = hc.estimated.size();
    if (n != hc.rows.size() || n != hc.heights.size()) return measureTimer_->stop();
    std::vector<int> known = hc.heights;
    size_t r = hc.nextEstimated, taken = 0;
    for (; r < n && taken < kMeasureSlice; ++r)
        if (hc.estimated[r]) known[r] = -1, ++taken;
    hc.nextEstimated = r;
    if (taken == 0) return measureTimer_->stop();
    std::vector<int> measured = NoteGrid::measureRows(hc.rows, hc.widths, &known);
    const bool shown = grid_ && shownDetailID_ == hc.id && detailScroll_;
    const int scrollY = shown ? detailScroll_->verticalScrollBar()->value() : 0;
    int shift = 0;
    for (size_t i = 0; i < n; ++i) {
        if (known[i] >= 0) continue;
        hc.estimated[i] = 0;
        if (shown && measured[i] != hc.heights[i] && grid_->cellRect({int(i), 0}).top() < scrollY)
            shift += measured[i] - hc.heights[i];
    }
    hc.heights = measured;
    if (shown && grid_->widths() == hc.widths) {
        grid_->setRowHeights(hc.heights);
        if (shift) detailScroll_->verticalScrollBar()->setValue(scrollY + shift);
    }
    if (r >= n) measureTimer_->stop();
}

// ---- inline editor ----

void NotesView::showInlineEditor(const QString &id) {
    const Note *n = NoteStore::shared().find(id);
    if (!n || n->type != NoteType::text) return;
    selectedID_ = id;
    editingID_ = id;
    editTitle_ = n->title;
    editEmoji_ = n->emoji;
    editDoc_->clear();
    editDoc_->setDefaultFont(Fonts::scaledFont(13));
    bool rich = n->bodyRTF && RtfCodec::read(*n->bodyRTF, editDoc_);
    if (!rich) editDoc_->setPlainText(n->body);
    QTextCursor all(editDoc_);
    all.select(QTextCursor::Document);
    QTextCharFormat fg;
    fg.setForeground(VF::text());
    all.mergeCharFormat(fg);
    editDoc_->clearUndoRedoStacks();
    editDoc_->setModified(false);
    editAnchor_ = editPos_ = editDoc_->characterCount() - 1;
    requestRebuild();
}

void NotesView::buildInlineEditor(const Note &) {
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
    save->setGeometry(yUp(H, W - 124, H - 68, 96, 32));
    auto *cancel = tintButton(detailHost_, cancelTitle(), VF::sub(), 0.06, 0.18, QFont::Normal, 11);
    cancel->setGeometry(yUp(H, W - 220, H - 68, 88, 32));
    cancel->setToolTip(cancel->text());
    auto *tv = new RichTextView(detailHost_);
    tv->setObjectName(QStringLiteral("inlineText"));
    tv->setDocument(editDoc_); // the page owns the document: rebuilds keep what was typed
    const bool dark = VF::theme() == AppTheme::dark;
    QPalette tp = tv->palette();
    tp.setColor(QPalette::Base, dark ? QColor::fromRgbF(1, 1, 1, 0.12f) : QColor(Qt::white));
    tp.setColor(QPalette::Text, VF::text());
    tv->setPalette(tp);
    tv->setGeometry(yUp(H, 28, 76, std::max(1.0, W - 56), std::max(1.0, H - 148)));
    QWidget *bar = makeFormatBar(tv, QStringLiteral("Smaller text"), QStringLiteral("Larger text"), detailHost_);
    bar->setGeometry(yUp(H, 28, 40, std::max(1.0, W - 56), 32));
    // A re-placed editor keeps the caret and selection where the user left them.
    QTextCursor cur(editDoc_);
    cur.setPosition(std::min(editAnchor_, editDoc_->characterCount() - 1));
    cur.setPosition(std::min(editPos_, editDoc_->characterCount() - 1), QTextCursor::KeepAnchor);
    tv->setTextCursor(cur);
    connect(tv, &QTextEdit::cursorPositionChanged, this, [this, tv] {
        editAnchor_ = tv->textCursor().anchor();
        editPos_ = tv->textCursor().position();
    });
    inlineTV_ = tv;
    inlineTitle_ = title;
    inlineEmoji_ = emoji;
    QPointer<NotesView> self(this);
    connect(save, &QPushButton::clicked, this, [self] { if (self) self->saveInlineEditor(); });
    connect(cancel, &QPushButton::clicked, this, [self] { if (self) self->cancelInlineEditor(); });
    for (QWidget *w : detailHost_->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) w->show();
    QPointer<RichTextView> ptv(tv);
    QTimer::singleShot(0, this, [ptv] { if (ptv && ptv->window()) ptv->setFocus(); });
}

void NotesView::saveInlineEditor() {
    if (!editingID_) return;
    const QString title = trimmed(inlineTitle_ ? inlineTitle_->text() : editTitle_);
    const QString emoji = trimmed(inlineEmoji_ ? inlineEmoji_->text() : editEmoji_);
    if (title.isEmpty()) return;
    const Note *n = NoteStore::shared().find(*editingID_);
    if (!n) {
        editingID_.reset();
        requestRebuild();
        return;
    }
    Note copy = *n;
    copy.title = title;
    copy.emoji = emoji.isEmpty() ? Note::defaultEmoji() : emoji;
    copy.body = editDoc_->toPlainText();
    const QByteArray rtf = RtfCodec::write(*editDoc_);
    copy.bodyRTF = rtf.isEmpty() ? std::nullopt : std::optional<QByteArray>(rtf);
    selectedID_ = copy.id;
    editingID_.reset();
    NoteStore::shared().update(copy);
    requestRebuild();
}

void NotesView::cancelInlineEditor() {
    editingID_.reset();
    requestRebuild();
}

// ---- create, edit, delete, export ----

void NotesView::createNote() {
    if (!window()) return;
    const int a = Dialogs::get().alert(
        this, {L::t({.en = "Create Note", .es = "Crear nota", .de = "Notiz erstellen", .fr = "Créer une note", .uk = "Створити нотатку", .pl = "Utwórz notatkę"}),
               L::t({.en = "Choose type", .es = "Elegir tipo", .de = "Typ wählen", .fr = "Choisir le type", .uk = "Обрати тип", .pl = "Wybierz typ"}),
               {QStringLiteral("📄 ") + L::t({.en = "Text note", .es = "Nota de texto", .de = "Textnotiz", .fr = "Note texte", .uk = "Текстова нотатка", .pl = "Notatka tekstowa"}),
                QStringLiteral("📊 ") + L::t({.en = "Table", .es = "Tabla", .de = "Tabelle", .fr = "Tableau", .uk = "Таблиця", .pl = "Tabela"}),
                cancelTitle()},
               nullptr, false, {}});
    if (a == 0)
        openEditor(Note(NoteType::text, QStringLiteral("📝"),
                        L::t({.en = "New note", .es = "Nueva nota", .de = "Neue Notiz", .fr = "Nouvelle note", .uk = "Нова нотатка", .pl = "Nowa notatka"})),
                   true);
    else if (a == 1)
        openEditor(Note(NoteType::table, QStringLiteral("📊"),
                        L::t({.en = "New table", .es = "Nueva tabla", .de = "Neue Tabelle", .fr = "Nouveau tableau", .uk = "Нова таблиця", .pl = "Nowa tabela"})),
                   true);
}

void NotesView::openEditor(const Note &note, bool isNew) {
    QPointer<NotesView> self(this);
    NoteEditorDialog::show(note, isNew, [self, isNew](const std::optional<Note> &saved) {
        if (!saved) return;
        if (isNew)
            NoteStore::shared().add(*saved);
        else
            NoteStore::shared().update(*saved);
        if (self) {
            self->selectedID_ = saved->id;
            self->requestRebuild();
        }
    }, window());
}

void NotesView::deleteNote(const QString &id) {
    const int a = Dialogs::get().alert(this, {L::t({.en = "Delete note?", .es = "¿Eliminar nota?", .de = "Notiz löschen?", .fr = "Supprimer la note ?",
                                                    .uk = "Видалити нотатку?", .pl = "Usunąć notatkę?"}),
                                              {}, {deleteWord(), cancelTitle()}, nullptr, true, {}});
    if (a != 0) return;
    colWidthsMap_.erase(id);
    selectedID_.reset();
    editingID_.reset();
    NoteStore::shared().remove(id);
    requestRebuild();
}

void NotesView::doExportSelected() {
    if (const Note *n = selectedNote()) {
        exportNote(*n);
        return;
    }
    Dialogs::get().alert(this, {NoteExport::noSelectionText(), {}, {}, nullptr, false, {}});
}

void NotesView::exportNote(const Note &note) {
    const int a = Dialogs::get().alert(this, {NoteExport::formatAlertTitle(), {},
                                              {NoteExport::txtButton(), NoteExport::csvButton(), NoteExport::pdfButton(), cancelTitle()},
                                              nullptr, false, {}});
    NoteExport::Format f;
    QString filter;
    switch (a) {
    case 0: f = NoteExport::Format::txt, filter = QStringLiteral("Text (*.txt)"); break;
    case 1: f = NoteExport::Format::csv, filter = QStringLiteral("CSV (*.csv)"); break;
    case 2: f = NoteExport::Format::pdf, filter = QStringLiteral("PDF (*.pdf)"); break;
    default: return;
    }
    const QString path = Dialogs::get().savePath(this, NoteExport::formatAlertTitle(), NoteExport::proposedName(note, f), {filter});
    if (path.isEmpty()) return;
    const NoteExport::WriteResult r = f == NoteExport::Format::pdf ? NoteExport::writePdf(path, note) : NoteExport::writeText(path, note, f);
    if (!r.ok) alertExportFailed(this, r.error);
}

// ---- table actions ----

void NotesView::swapOrMove(const QString &noteID, NoteGrid::CellPos from, NoteGrid::CellPos to) {
    const Note *n = NoteStore::shared().find(noteID);
    if (!n) return;
    Note copy = *n;
    bool changed;
    if (sel_.multi() && sel_.contains(from))
        changed = TableOps::moveBlock(copy, sel_.rect(), to.row - from.row, to.col - from.col);
    else
        changed = TableOps::swapCells(copy, from, to);
    if (!changed) return;
    sel_ = {};
    NoteStore::shared().update(copy);
    requestRebuild();
}

void NotesView::copySelection(const QString &noteID) {
    const Note *n = NoteStore::shared().find(noteID);
    if (!n || !sel_.anchor || !sel_.end) return;
    clipboardCells_ = TableClipboard::copyBlock(*n, sel_.rect());
    QApplication::clipboard()->setText(TableClipboard::blockText(clipboardCells_));
}

void NotesView::pasteAtAnchor(const QString &noteID) {
    TableClipboard::Block b = clipboardCells_;
    if (b.empty()) {
        const QString text = QApplication::clipboard()->text();
        if (text.isNull()) return;
        b = TableClipboard::blockFromText(text);
    }
    if (b.empty() || !sel_.anchor) return;
    const Note *n = NoteStore::shared().find(noteID);
    if (!n) return;
    Note copy = *n;
    TableClipboard::paste(copy, *sel_.anchor, b);
    NoteStore::shared().update(copy);
    requestRebuild();
}

void NotesView::clearSelectionContent(const QString &noteID) {
    if (!sel_.anchor || !sel_.end) return;
    const Note *n = NoteStore::shared().find(noteID);
    if (!n) return;
    Note copy = *n;
    TableClipboard::clear(copy, sel_.rect());
    NoteStore::shared().update(copy);
    requestRebuild();
}

void NotesView::contextMenu(const QString &noteID, const QPoint &global) {
    QMenu m(this);
    const bool has = sel_.anchor.has_value();
    QPointer<NotesView> self(this);
    QAction *c = m.addAction(QStringLiteral("📋 ") + L::t({.en = "Copy selection", .es = "Copiar selección", .de = "Auswahl kopieren", .fr = "Copier la sélection",
                                                          .uk = "Копіювати виділене", .pl = "Kopiuj zaznaczenie"}));
    c->setEnabled(has);
    m.addSeparator();
    QAction *p = m.addAction(QStringLiteral("📌 ") + L::t({.en = "Paste here", .es = "Pegar aquí", .de = "Hier einfügen", .fr = "Coller ici", .uk = "Вставити сюди", .pl = "Wklej tutaj"}));
    p->setEnabled(has && (!clipboardCells_.empty() || !QApplication::clipboard()->text().isEmpty()));
    m.addSeparator();
    QAction *x = m.addAction(QStringLiteral("🗑 ") + L::t({.en = "Clear", .es = "Borrar", .de = "Leeren", .fr = "Effacer", .uk = "Очистити", .pl = "Wyczyść"}));
    x->setEnabled(has);
    QAction *chosen = m.exec(global);
    if (!self || !chosen) return;
    if (chosen == c) copySelection(noteID);
    if (chosen == p) pasteAtAnchor(noteID);
    if (chosen == x) clearSelectionContent(noteID);
}

void NotesView::deleteColumn(const QString &noteID, int col) {
    const Note *n = NoteStore::shared().find(noteID);
    if (!n || col < 0 || col >= int(n->columns.size())) return;
    const QString msg = L::lang() == AppLang::en ? QStringLiteral("Delete column '%1'?").arg(n->columns[size_t(col)].title)
                                                 : L::t({.en = "", .es = "¿Eliminar columna?", .de = "Spalte löschen?", .fr = "Supprimer la colonne ?",
                                                         .uk = "Видалити стовпець?", .pl = "Usunąć kolumnę?"});
    if (Dialogs::get().alert(this, {msg, {}, {deleteWord(), cancelTitle()}, nullptr, true, {}}) != 0) return;
    const Note *again = NoteStore::shared().find(noteID);
    if (!again) return;
    Note copy = *again;
    TableOps::deleteColumn(copy, col);
    colWidthsMap_.erase(noteID);
    sel_ = {};
    NoteStore::shared().update(copy);
    requestRebuild();
}

void NotesView::deleteRow(const QString &noteID, int row) {
    const QString msg = L::t({.en = "Delete row %1?", .es = "¿Eliminar fila %1?", .de = "Zeile %1 löschen?", .fr = "Supprimer la ligne %1 ?",
                              .uk = "Видалити рядок %1?", .pl = "Usunąć wiersz %1?"})
                            .arg(row + 1);
    if (Dialogs::get().alert(this, {msg, {}, {deleteWord(), cancelTitle()}, nullptr, true, {}}) != 0) return;
    const Note *n = NoteStore::shared().find(noteID);
    if (!n) return;
    Note copy = *n;
    TableOps::deleteRow(copy, row);
    sel_ = {};
    NoteStore::shared().update(copy);
    requestRebuild();
}

void NotesView::showCellEditor(const QString &noteID, int row, int col) {
    const Note *n = NoteStore::shared().find(noteID);
    if (!n || row < 0 || row >= int(n->rows.size())) return;
    sel_ = {};
    if (grid_) grid_->update();
    const NoteRow &r = n->rows[size_t(row)];
    auto *ed = new CellEditor(noteID, row, col, col < r.cells.size() ? r.cells.at(col) : QString(), window());
    QPointer<NotesView> self(this);
    ed->onSaved = [self] { if (self) self->requestRebuild(); };
    ed->show();
    ed->raise();
    ed->activateWindow();
}

// ---- find ----

void NotesView::toggleFindBar() {
    if (!selectedNote()) return;
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
    connect(field, &QLineEdit::returnPressed, this, [self, field] { if (self) self->runFind(field->text()); });
    connect(prev, &QPushButton::clicked, this, [self] { if (self) self->stepFind(-1); });
    connect(next, &QPushButton::clicked, this, [self] { if (self) self->stepFind(1); });
    connect(close, &QPushButton::clicked, this, [self] { if (self) self->hideFindBar(); });
    auto *esc = new QShortcut(QKeySequence(Qt::Key_Escape), bar, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    connect(esc, &QShortcut::activated, this, [self] { if (self) self->hideFindBar(); });
    // Children follow the bar's width.
    struct Relayout : QObject {
        QWidget *icon, *field, *count, *prev, *next, *close;
        using QObject::QObject;
        bool eventFilter(QObject *o, QEvent *e) override {
            if (e->type() == QEvent::Resize) {
                const int B = static_cast<QWidget *>(o)->width();
                icon->setGeometry(10, 10, 22, 22);
                field->setGeometry(36, 9, std::max(40, B - 240), 24);
                count->setGeometry(B - 200, 13, 80, 16);
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
    findMatchIdx_ = 0;
    applyFindHighlights();
    if (findBar_) {
        findBar_->hide();
        findBar_->deleteLater();
    }
    findBar_ = nullptr;
    layoutFrame();
}

void NotesView::runFind(const QString &query) {
    findQuery_ = query;
    findTextRanges_.clear();
    findCellMatches_.clear();
    findMatchIdx_ = 0;
    const Note *n = selectedNote();
    if (query.isEmpty() || !n) {
        applyFindHighlights();
        if (findCountLbl_) findCountLbl_->setText(QString());
        return;
    }
    if (n->type == NoteType::table) {
        findCellMatches_ = NoteFind::tableMatches(*n, query);
    } else {
        // The text actually shown: the detail's document when it is built, else the note's own.
        const QString shown = contentTV_ ? contentTV_->document()->toPlainText() : NoteFind::shownText(*n);
        for (const NoteFind::Range &r : NoteFind::textMatches(shown, query)) findTextRanges_.emplace_back(r.start, r.length);
    }
    applyFindHighlights();
}

void NotesView::stepFind(int delta) {
    const int n = findMatchCount();
    if (n == 0 || !selectedNote()) return;
    findMatchIdx_ = NoteFind::step(findMatchIdx_, delta, n);
    applyFindHighlights();
}

int NotesView::findMatchCount() const {
    return int(findCellMatches_.empty() ? findTextRanges_.size() : findCellMatches_.size());
}

QString NotesView::findCountText() const {
    return findCountLbl_ ? findCountLbl_->text() : QString();
}

void NotesView::applyFindHighlights() {
    const int n = findMatchCount();
    if (findCountLbl_)
        findCountLbl_->setText(findQuery_.isEmpty() ? QString() : n == 0 ? NoteFind::noResultsText() : NoteFind::countText(findMatchIdx_, n));
    if (grid_) {
        std::optional<NoteGrid::CellPos> cur;
        if (!findCellMatches_.empty()) cur = findCellMatches_[size_t(findMatchIdx_)];
        grid_->setFindMatches(findCellMatches_, cur);
        if (cur && cur->row >= 0 && detailScroll_) {
            const QRect r = grid_->cellRect(*cur);
            detailScroll_->ensureVisible(r.center().x(), r.center().y(), r.width() / 2 + 10, r.height() / 2 + 10);
        }
    }
    if (contentTV_) {
        QList<QTextEdit::ExtraSelection> sels;
        for (size_t i = 0; i < findTextRanges_.size(); ++i) {
            QTextEdit::ExtraSelection s;
            s.cursor = QTextCursor(contentTV_->document());
            s.cursor.setPosition(findTextRanges_[i].first);
            s.cursor.setPosition(findTextRanges_[i].first + findTextRanges_[i].second, QTextCursor::KeepAnchor);
            s.format.setBackground(int(i) == findMatchIdx_ ? QColor::fromRgbF(1.0f, 0.55f, 0.1f, 0.75f) : QColor::fromRgbF(1.0f, 0.85f, 0.2f, 0.55f));
            sels << s;
        }
        contentTV_->setExtraSelections(sels);
        if (!findTextRanges_.empty() && detailScroll_) {
            QTextCursor c(contentTV_->document());
            c.setPosition(findTextRanges_[size_t(findMatchIdx_)].first);
            const QRect r = contentTV_->cursorRect(c);
            const QPoint inDoc = contentTV_->viewport()->mapTo(detailScroll_->widget(), r.center());
            detailScroll_->ensureVisible(inDoc.x(), inDoc.y(), 20, 40);
        }
    }
}
