#include "notes/NoteDialogs.h"

#include "notes/NoteStore.h"
#include "notes/NoteTextView.h"
#include "notes/PacedLayout.h"
#include "notes/PastedLinks.h"
#include "notes/RichTextView.h"
#include "notes/RtfCodec.h"
#include "notes/TableClipboard.h"
#include "notes/TableImport.h"
#include "notes/TableOps.h"
#include "platform/Background.h"
#include "platform/Dialogs.h"
#include "ui/CommonAlerts.h"
#include "ui/Fonts.h"
#include "ui/Lang.h"
#include "ui/Theme.h"
#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>

namespace {
const QColor kLink = QColor::fromRgbF(0.5f, 0.78f, 1.0f);

QString trimmed(const QString &s) {
    int a = 0, b = int(s.size());
    while (a < b && (s.at(a) == u' ' || s.at(a) == u'\t')) ++a;
    while (b > a && (s.at(b - 1) == u' ' || s.at(b - 1) == u'\t')) --b;
    return s.mid(a, b - a);
}

QPushButton *button(const QString &title, const QColor &tint, bool strong, QWidget *parent) {
    auto *b = new QPushButton(title, parent);
    b->setFont(Fonts::scaledFont(12, strong ? QFont::DemiBold : QFont::Medium));
    QColor bg = tint;
    bg.setAlphaF(0.15f);
    QColor br = tint;
    br.setAlphaF(0.45f);
    // A button that cannot be pressed now (Save while a long text is being made) looks it.
    QColor off = tint;
    off.setAlphaF(0.4f);
    QColor offBg = tint;
    offBg.setAlphaF(0.05f);
    QColor offBr = tint;
    offBr.setAlphaF(0.18f);
    b->setStyleSheet(QStringLiteral("QPushButton{color:%1;background:%2;border:1px solid %3;border-radius:8px;padding:4px 12px;}"
                                    "QPushButton:disabled{color:%4;background:%5;border-color:%6;}")
                         .arg(tint.name(QColor::HexArgb), bg.name(QColor::HexArgb), br.name(QColor::HexArgb),
                              off.name(QColor::HexArgb), offBg.name(QColor::HexArgb), offBr.name(QColor::HexArgb)));
    b->setAutoDefault(false);
    return b;
}

// A dialog is never narrower than its rows of buttons need at the font scale: a layout squeezed
// below that would cut their titles.
void fitToButtons(QDialog *d, QLayout *lay) {
    const int need = lay->minimumSize().width();
    d->setMinimumWidth(std::max(d->minimumWidth(), need));
    if (d->width() < need) d->resize(need, d->height());
}

void styleWindow(QWidget *w) {
    const bool dark = VF::theme() == AppTheme::dark;
    QPalette p = w->palette();
    p.setColor(QPalette::Window, dark ? QColor::fromRgbF(0.06f, 0.11f, 0.07f) : QColor::fromRgbF(0.96f, 0.96f, 0.98f));
    p.setColor(QPalette::WindowText, VF::text());
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

QString columnWord() {
    return L::t({.en = "Column", .es = "Columna", .de = "Spalte", .fr = "Colonne", .uk = "Стовпець", .pl = "Kolumna"});
}
} // namespace

// ---- Working table model ----

int DraftTableModel::rowCount(const QModelIndex &p) const {
    return p.isValid() || work_->columns.empty() ? 0 : int(work_->rows.size()) + 1;
}
int DraftTableModel::columnCount(const QModelIndex &p) const {
    return p.isValid() ? 0 : int(work_->columns.size());
}
QVariant DraftTableModel::data(const QModelIndex &i, int role) const {
    if (!i.isValid()) return {};
    const int c = i.column();
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        if (i.row() == 0) return work_->columns[size_t(c)].title;
        const NoteRow &row = work_->rows[size_t(i.row() - 1)];
        return c < row.cells.size() ? row.cells.at(c) : QString();
    }
    if (role == Qt::FontRole && i.row() == 0) return Fonts::scaledFont(11, QFont::DemiBold);
    if (role == Qt::FontRole) return Fonts::scaledFont(12);
    return {};
}
bool DraftTableModel::setData(const QModelIndex &i, const QVariant &v, int role) {
    if (!i.isValid() || role != Qt::EditRole || i.column() >= int(work_->columns.size())) return false;
    if (i.row() == 0)
        work_->columns[size_t(i.column())].title = v.toString();
    else if (i.row() - 1 < int(work_->rows.size()))
        TableOps::setCellText(work_->rows[size_t(i.row() - 1)], i.column(), v.toString());
    else
        return false;
    emit dataChanged(i, i);
    return true;
}
Qt::ItemFlags DraftTableModel::flags(const QModelIndex &i) const {
    return i.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable : Qt::NoItemFlags;
}
QVariant DraftTableModel::headerData(int section, Qt::Orientation o, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (o == Qt::Horizontal) return TableOps::columnLetter(section);
    return section == 0 ? QVariant(QStringLiteral("#")) : QVariant(section);
}

// ---- Note editor dialog ----

QString NoteEditorDialog::changedElsewhereText() {
    return L::t({.en = "The note was changed since the editor opened. Replace it?",
                 .es = "La nota cambió desde que se abrió el editor. ¿Reemplazarla?",
                 .de = "Die Notiz wurde seit dem Öffnen des Editors geändert. Ersetzen?",
                 .fr = "La note a été modifiée depuis l'ouverture de l'éditeur. La remplacer ?",
                 .uk = "Нотатку змінено після відкриття редактора. Замінити її?",
                 .pl = "Notatka została zmieniona od otwarcia edytora. Zastąpić ją?"});
}

NoteEditorDialog *NoteEditorDialog::show(const Note &note, bool isNew, Completion completion, QWidget *parent) {
    auto *d = new NoteEditorDialog(note, isNew, std::move(completion), parent);
    d->setAttribute(Qt::WA_DeleteOnClose);
    d->QDialog::show();
    d->raise();
    d->activateWindow();
    return d;
}

NoteEditorDialog::NoteEditorDialog(const Note &note, bool isNew, Completion completion, QWidget *parent)
    : QDialog(parent), draft_(note), work_(note), isNew_(isNew), completion_(std::move(completion)) {
    setObjectName(QStringLiteral("noteEditor"));
    setModal(false);
    // The window is titled as its header reads.
    const QString heading =
        isNew ? L::t({.en = "New Note", .es = "Nueva nota", .de = "Neue Notiz", .fr = "Nouvelle note", .uk = "Нова нотатка", .pl = "Nowa notatka"})
              : L::t({.en = "Edit Note", .es = "Editar nota", .de = "Notiz bearbeiten", .fr = "Modifier la note", .uk = "Редагувати нотатку", .pl = "Edytuj notatkę"});
    setWindowTitle(heading);
    styleWindow(this);
    resize(680, 600);
    setMinimumSize(520, 400);

    auto *lay = new QVBoxLayout(this);
    lay->setContentsMargins(20, 12, 20, 12);
    auto *hdr = new QLabel(heading, this);
    hdr->setFont(Fonts::scaledFont(17, QFont::Bold));
    lay->addWidget(hdr);
    auto *fields = new QHBoxLayout;
    emojiF_ = new QLineEdit(draft_.emoji, this);
    emojiF_->setFont(Fonts::scaledFont(20));
    emojiF_->setAlignment(Qt::AlignCenter);
    emojiF_->setFixedWidth(56);
    titleF_ = new QLineEdit(draft_.title, this);
    titleF_->setObjectName(QStringLiteral("titleField"));
    titleF_->setFont(Fonts::scaledFont(13));
    titleF_->setPlaceholderText(L::t({.en = "Note title", .es = "Título", .de = "Titel", .fr = "Titre", .uk = "Заголовок нотатки", .pl = "Tytuł notatki"}));
    fields->addWidget(emojiF_);
    fields->addWidget(titleF_, 1);
    lay->addLayout(fields);

    auto *tools = new QHBoxLayout;
    auto *hint = new QLabel(this);
    hint->setFont(Fonts::scaledFont(9, QFont::DemiBold));
    QPalette hp = hint->palette();
    hp.setColor(QPalette::WindowText, VF::muted());
    hint->setPalette(hp);
    tools->addWidget(hint, 1);
    lay->addLayout(tools);

    if (draft_.type == NoteType::text) {
        hint->setText(L::t({.en = "TEXT  —  links https://… clickable", .es = "TEXTO  —  enlaces clicables", .de = "TEXT  —  Links klickbar",
                            .fr = "TEXTE  —  liens cliquables", .uk = "ТЕКСТ  —  посилання https://… клікабельні", .pl = "TEKST  —  linki https://… klikalne"}));
        auto *ins = button(L::t({.en = "🔗 Insert Link", .es = "🔗 Insertar enlace", .de = "🔗 Link einfügen", .fr = "🔗 Insérer un lien", .uk = "🔗 Вставити посилання", .pl = "🔗 Wstaw link"}),
                           kLink, true, this);
        auto *det = button(L::t({.en = "⟳ Detect URLs", .es = "⟳ Detectar URLs", .de = "⟳ URLs erkennen", .fr = "⟳ Détecter URLs", .uk = "⟳ Знайти URL", .pl = "⟳ Wykryj URL"}),
                           VF::sub(), false, this);
        tools->addWidget(ins);
        tools->addWidget(det);
        insertLinkBtn_ = ins;
        detectBtn_ = det;
        connect(ins, &QPushButton::clicked, this, &NoteEditorDialog::insertLink);
        connect(det, &QPushButton::clicked, this, &NoteEditorDialog::detectUrls);
        // One view for a body of any length: a short one's document is built at once, a long one's on
        // a worker.
        // The text sits 8 points inside the view's edges.
        const NoteDocument::Style st{Fonts::scaledFont(RichTextView::kDefaultSize), VF::text(), kLink, 8,
                                     VF::fontScale()};
        bodyTV_ = new NoteTextView(this);
        bodyTV_->setObjectName(QStringLiteral("bodyView"));
        bodyTV_->setFont(st.font);
        QPalette bp = bodyTV_->palette();
        bp.setColor(QPalette::Base, VF::theme() == AppTheme::dark ? QColor::fromRgbF(1, 1, 1, 0.12f) : QColor(Qt::white));
        bp.setColor(QPalette::Text, st.text);
        bodyTV_->setPalette(bp);
        bodyTV_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        bodyTV_->setAutoLinks(kLink);
        connect(bodyTV_, &NoteTextView::pasteSettled, this, [this] {
            // A paste handed on to a worker (a long text read from another program) is not in yet:
            // the save goes on once the document comes back with it (takeDocument).
            if (building_ || !std::exchange(saveAfterPaste_, false)) return;
            updateTools();
            // After the view is done with the paste: a long body's save lets go of the view.
            QTimer::singleShot(0, this, [this] { doSave(); });
        });
        bodyTV_->onLongPaste = [this](const QString &text, int from, int to) { takeLongPaste(text, from, to); };
        bodyTV_->onLongEdit = [this](std::function<int(QTextDocument &)> edit) {
            if (building_ || done_ || !bodyDoc_) return;
            NoteDocument::editLater(sendDocument(), std::move(edit), this,
                                [this](QTextDocument *doc, int caret) { takeDocument(doc, caret); });
        };
        lay->addWidget(bodyTV_, 1);
        if (!NoteDocument::isLong(draft_)) {
            QTextDocument *doc = NoteDocument::build(draft_, st);
            takeDocument(doc ? doc : new QTextDocument, 0);
        } else {
            building_ = true;
            bodyTV_->setReadOnly(true);
            bodyTV_->setPlaceholderText(NoteDocument::loadingText());
            NoteDocument::buildLater(draft_, st, this, [this](QTextDocument *doc) { takeDocument(doc, 0); });
        }
        QPointer<NoteTextView> body(bodyTV_);
        lay->addWidget(makeFormatBar({[body](int code) {
                                          if (body) body->applyFmt(code);
                                      },
                                      [body] {
                                          if (body) body->undo();
                                      },
                                      [body] {
                                          if (body) body->redo();
                                      }},
                                     QStringLiteral("Smaller text"), QStringLiteral("Larger text"), this));
    } else {
        hint->setText(L::t({.en = "TABLE", .es = "TABLA", .de = "TABELLE", .fr = "TABLEAU", .uk = "ТАБЛИЦЯ", .pl = "TABELA"}));
        auto *addC = button(L::t({.en = "＋ Add column", .es = "＋ Columna", .de = "＋ Spalte", .fr = "＋ Colonne", .uk = "＋ Стовпець", .pl = "＋ Kolumna"}),
                            VF::accent(), true, this);
        auto *addR = button(L::t({.en = "＋ Add row", .es = "＋ Fila", .de = "＋ Zeile", .fr = "＋ Ligne", .uk = "＋ Рядок", .pl = "＋ Wiersz"}),
                            VF::accent(), true, this);
        auto *delC = button(QStringLiteral("✕ ") + columnWord(), QColor::fromRgbF(0.9f, 0.3f, 0.3f), false, this);
        auto *delR = button(QStringLiteral("✕ ") + L::t({.en = "Row", .es = "Fila", .de = "Zeile", .fr = "Ligne", .uk = "Рядок", .pl = "Wiersz"}),
                            QColor::fromRgbF(0.9f, 0.3f, 0.3f), false, this);
        auto *imp = button(L::t({.en = "📥 Import CSV/XLSX", .es = "📥 Importar CSV/XLSX", .de = "📥 CSV/XLSX importieren", .fr = "📥 Importer CSV/XLSX", .uk = "📥 Імпорт CSV/XLSX", .pl = "📥 Importuj CSV/XLSX"}),
                           VF::sub(), false, this);
        imp->setObjectName(QStringLiteral("importTableButton"));
        for (QPushButton *b : {addC, addR, delC, delR, imp}) tools->addWidget(b);
        connect(addC, &QPushButton::clicked, this, &NoteEditorDialog::addColumn);
        connect(addR, &QPushButton::clicked, this, &NoteEditorDialog::addRow);
        connect(delC, &QPushButton::clicked, this, [this] {
            if (table_->currentIndex().isValid()) deleteColumn(table_->currentIndex().column());
        });
        connect(delR, &QPushButton::clicked, this, [this] {
            const QModelIndex i = table_->currentIndex();
            if (i.isValid() && i.row() > 0) deleteRow(i.row() - 1);
        });
        connect(imp, &QPushButton::clicked, this, &NoteEditorDialog::importTable);
        emptyLbl_ = new QLabel(L::t({.en = "Add a column to start", .es = "Añadir una columna", .de = "Spalte hinzufügen", .fr = "Ajouter une colonne",
                                     .uk = "Додати стовпець для початку", .pl = "Dodaj kolumnę, aby zacząć"}),
                               this);
        emptyLbl_->setPalette(hp);
        emptyLbl_->setFont(Fonts::scaledFont(12));
        lay->addWidget(emptyLbl_);
        model_ = new DraftTableModel(&work_, this);
        table_ = new DraftTableView(this);
        table_->setObjectName(QStringLiteral("draftTable"));
        table_->setFont(Fonts::scaledFont(12));
        table_->setModel(model_);
        table_->horizontalHeader()->setDefaultSectionSize(140);
        table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        table_->verticalHeader()->setDefaultSectionSize(30);
        table_->setEditTriggers(QAbstractItemView::AllEditTriggers);
        lay->addWidget(table_, 1);
        emptyLbl_->setVisible(work_.columns.empty());
    }

    auto *bottom = new QHBoxLayout;
    auto *cancel = button(cancelTitle(), VF::sub(), false, this);
    auto *save = button(L::t({.en = "💾 Save", .es = "💾 Guardar", .de = "💾 Speichern", .fr = "💾 Enregistrer", .uk = "💾 Зберегти", .pl = "💾 Zapisz"}),
                        VF::accent(), true, this);
    save->setObjectName(QStringLiteral("saveButton"));
    saveBtn_ = save;
    bottom->addWidget(cancel);
    bottom->addStretch(1);
    bottom->addWidget(save);
    lay->addLayout(bottom);
    connect(cancel, &QPushButton::clicked, this, &NoteEditorDialog::doCancel);
    connect(save, &QPushButton::clicked, this, [this] { doSave(); });
    // Return is Save's key in the one-line fields; in the body it stays a new line, in the table it
    // ends the cell being typed.
    connect(titleF_, &QLineEdit::returnPressed, this, [this] { doSave(); });
    connect(emojiF_, &QLineEdit::returnPressed, this, [this] { doSave(); });
    fitToButtons(this, lay);
    updateTools();
}

NoteEditorDialog::~NoteEditorDialog() {
    if (!bodyDoc_) return;
    // Let go of by the view first: a long document is freed on a worker.
    if (bodyTV_) bodyTV_->setDocument(nullptr);
    NoteDocument::discard(bodyDoc_);
}

QTextDocument *NoteEditorDialog::sendDocument() {
    QTextDocument *doc = bodyDoc_;
    bodyDoc_ = nullptr;
    bodyTV_->setDocument(nullptr);
    bodyTV_->setReadOnly(true); // nothing typed into the empty view is lost when the document comes back
    building_ = true;
    updateTools();
    return doc;
}

void NoteEditorDialog::takeDocument(QTextDocument *doc, int caret, int top) {
    if (done_ || !bodyTV_) {
        NoteDocument::discard(doc);
        return;
    }
    doc->setParent(this); // the view does not own it: Save takes it from the view
    bodyDoc_ = doc;
    bodyTV_->setDocument(doc);
    bodyTV_->setReadOnly(false);
    {
        // The view shows the part it showed before and the caret is placed there, the paragraphs
        // around it laid out over the next turns: a screenful of them at once can hold the window.
        const NoteDocument::PacedLayout::Pacing pacing(doc, bodyTV_);
        if (top >= 0) bodyTV_->verticalScrollBar()->setValue(top);
        QTextCursor c(doc);
        c.setPosition(std::clamp(caret, 0, doc->characterCount() - 1));
        bodyTV_->setTextCursor(c);
    }
    if (building_) bodyTV_->setFocus();
    building_ = false;
    if (saveAfterPaste_ && !bodyTV_->pastePending()) {
        // Save was clicked while the paste was read, and it went in on a worker: saved with it now.
        saveAfterPaste_ = false;
        QTimer::singleShot(0, this, [this] { doSave(); });
    }
    updateTools();
}

// A paste too long to put in at once goes into the document on a worker.
void NoteEditorDialog::takeLongPaste(const QString &text, int from, int to) {
    if (building_ || done_ || !bodyDoc_) return;
    NoteDocument::pasteInto(sendDocument(), from, to, text, this,
                        [this](QTextDocument *doc, int caret, std::vector<NoteDocument::FoundLink> links) {
                            takeDocument(doc, caret);
                            // Its addresses become links as those typed do, a few per turn.
                            if (bodyDoc_ == doc) PastedLinks::start(bodyTV_, std::move(links), kLink);
                        });
}

void NoteEditorDialog::updateTools() {
    if (saveBtn_) saveBtn_->setEnabled(!building_ && !saveAfterPaste_);
    if (insertLinkBtn_) insertLinkBtn_->setEnabled(!building_);
    if (detectBtn_) detectBtn_->setEnabled(!building_);
}

void NoteEditorDialog::commitEditor() {
    // An open cell editor's text reaches the model before the table changes shape or is saved.
    if (table_) table_->commitOpenEditor();
}

void DraftTableView::commitOpenEditor() {
    if (state() != QAbstractItemView::EditingState) return;
    QWidget *ed = QApplication::focusWidget();
    while (ed && ed->parentWidget() != viewport()) ed = ed->parentWidget();
    if (!ed) return;
    commitData(ed);
    closeEditor(ed, QAbstractItemDelegate::NoHint);
}

void NoteEditorDialog::addColumn() {
    commitEditor();
    work_.columns.emplace_back(columnWord() + QLatin1Char(' ') + QString::number(work_.columns.size() + 1));
    for (NoteRow &r : work_.rows) r.cells << QString();
    model_->reset();
    emptyLbl_->setVisible(false);
}

void NoteEditorDialog::addRow() {
    commitEditor();
    QStringList cells;
    for (size_t i = 0; i < work_.columns.size(); ++i) cells << QString();
    work_.rows.emplace_back(cells);
    model_->reset();
    if (table_) table_->scrollToBottom();
}

void NoteEditorDialog::deleteColumn(int c) {
    commitEditor();
    if (TableOps::deleteColumn(work_, c)) model_->reset();
    emptyLbl_->setVisible(work_.columns.empty());
}

void NoteEditorDialog::deleteRow(int r) {
    commitEditor();
    if (TableOps::deleteRow(work_, r)) model_->reset();
}

void NoteEditorDialog::importTable() {
    const QString path = Dialogs::get().openPath(this, TableImport::openPanelMessage(),
                                                 {QStringLiteral("CSV / XLSX (*.csv *.xlsx *.xls *.txt)"), QStringLiteral("* (*)")});
    if (path.isEmpty()) return;
    struct Imported {
        TableImport::Failure failure = TableImport::Failure::none;
        TableImport::Table table;
    };
    // Read and parsed on a worker (a workbook is unpacked there too); the editor takes the table once
    // it is in, if it is still open.
    Background::run<Imported>(
        this,
        [path] {
            Imported r;
            r.failure = TableImport::importFile(path, r.table);
            return r;
        },
        [this](Imported r) {
            if (r.failure != TableImport::Failure::none) {
                const QString msg = TableImport::alertMessage(r.failure);
                if (!msg.isEmpty())
                    Dialogs::get().alert(this, {msg, TableImport::alertInformative(r.failure), {}, nullptr, true, {}});
                return;
            }
            commitEditor();
            work_.columns = std::move(r.table.columns);
            work_.rows = std::move(r.table.rows);
            model_->reset();
            emptyLbl_->setVisible(work_.columns.empty());
        });
}

void NoteEditorDialog::insertLink() {
    auto *acc = new QWidget;
    acc->setFixedSize(380, 72);
    auto *disp = new QLineEdit(acc);
    disp->setGeometry(0, 2, 380, 26);
    disp->setPlaceholderText(L::t({.en = "Display text (optional, e.g. Google)", .es = "Texto a mostrar (ej. Google)", .de = "Anzeigetext (z.B. Google)",
                                   .fr = "Texte affiché (ex. Google)", .uk = "Текст посилання (необов'язково, напр. Google)", .pl = "Tekst wyświetlany (opcjonalnie, np. Google)"}));
    auto *url = new QLineEdit(acc);
    url->setGeometry(0, 36, 380, 26);
    url->setPlaceholderText(QStringLiteral("https://example.com"));
    QTimer::singleShot(0, url, [url] { url->setFocus(); });
    const int answer = Dialogs::get().alert(
        this, {L::t({.en = "Insert Hyperlink", .es = "Insertar hipervínculo", .de = "Hyperlink einfügen", .fr = "Insérer un hyperlien", .uk = "Вставити гіперпосилання", .pl = "Wstaw hiperłącze"}),
               L::t({.en = "Enter display text (optional) and URL.", .es = "Texto (opcional) y URL.", .de = "Anzeigetext (optional) und URL eingeben.",
                     .fr = "Texte affiché (optionnel) et URL.", .uk = "Введіть текст (необов'язково) та URL.", .pl = "Wpisz tekst (opcjonalnie) i URL."}),
               {L::t({.en = "Insert", .es = "Insertar", .de = "Einfügen", .fr = "Insérer", .uk = "Вставити", .pl = "Wstaw"}), cancelTitle()},
               acc, false, {}});
    const QString typed = trimmed(url->text());
    const QString shown = trimmed(disp->text());
    acc->deleteLater();
    if (answer != 0 || typed.isEmpty()) return;
    const QString address = typed.startsWith(QLatin1String("http")) ? typed : QStringLiteral("https://") + typed;
    const QUrl u(address, QUrl::StrictMode);
    if (!u.isValid()) return;
    if (building_ || !bodyDoc_) return;
    QTextCharFormat link;
    link.setAnchor(true);
    link.setAnchorHref(address);
    link.setForeground(kLink);
    link.setFontUnderline(true);
    QTextCursor c = bodyTV_->textCursor();
    c.beginEditBlock();
    c.insertText(shown.isEmpty() ? typed : shown, link);
    // The space after it has the theme's colour as shown text: never saved as a colour of its own.
    QTextCharFormat plain;
    plain.setForeground(VF::text());
    plain.setProperty(NoteDocument::kShownColour, true);
    c.insertText(QStringLiteral(" "), plain);
    c.endEditBlock();
    bodyTV_->setTextCursor(c);
    bodyTV_->setFocus();
}

// The body's styling goes and the addresses written out become its own links: at once for a short
// text, on a worker for a long one (the view shows none meanwhile).
void NoteEditorDialog::detectUrls() {
    if (building_ || !bodyDoc_) return;
    const int caret = bodyTV_->textCursor().position();
    const int top = bodyTV_->verticalScrollBar()->value();
    if (bodyDoc_->characterCount() - 1 <= NoteDocument::kLongChars) {
        NoteDocument::linkAddresses(*bodyDoc_, kLink, VF::text());
        return;
    }
    NoteDocument::editLater(
        sendDocument(),
        [link = kLink, text = VF::text(), caret](QTextDocument &doc) {
            return NoteDocument::linkAddresses(doc, link, text) ? caret : -1;
        },
        this, [this, top](QTextDocument *doc, int at) { takeDocument(doc, at, top); });
}

bool NoteEditorDialog::doSave() {
    if (building_ || waitingForNote_ || done_) return false; // the body or the stored note is not there yet
    if (bodyTV_ && bodyTV_->pastePending()) {
        // What the user pasted is saved too: the save goes on once it is in.
        saveAfterPaste_ = true;
        updateTools();
        return false;
    }
    const QString title = trimmed(titleF_->text());
    const QString emoji = trimmed(emojiF_->text());
    if (title.isEmpty()) {
        Dialogs::get().alert(this, {L::t({.en = "Title required", .es = "Se requiere título", .de = "Titel erforderlich", .fr = "Titre requis",
                                          .uk = "Заголовок обов'язковий", .pl = "Tytuł jest wymagany"}),
                                    {}, {}, nullptr, false, {}});
        return false;
    }
    commitEditor();
    if (!isNew_) {
        // Another editor or the page may have changed this note since it was opened here. A large one
        // the store let go of meanwhile is decoded on a worker to see, not here.
        if (!noteIn_ && NoteStore::shared().decodeInBackground(draft_.id, this, [this] {
                waitingForNote_ = false;
                noteIn_ = true;
                doSave();
                noteIn_ = false;
            })) {
            waitingForNote_ = true;
            return false;
        }
        if (TableOps::changedSince(draft_, NoteStore::shared().find(draft_.id))) {
            const int a = Dialogs::get().alert(this, {changedElsewhereText(), {},
                                                      {L::t({.en = "Replace", .es = "Reemplazar", .de = "Ersetzen", .fr = "Remplacer", .uk = "Замінити", .pl = "Zastąp"}),
                                                       cancelTitle()},
                                                      nullptr, true, {}});
            if (a != 0) return false;
        }
    }
    Note out = draft_;
    out.title = title;
    out.emoji = emoji.isEmpty() ? Note::defaultEmoji() : emoji;
    if (out.type == NoteType::table) {
        out.columns = work_.columns;
        out.rows = work_.rows;
    } else {
        // The links the view found are taken out, so only links of the text's own are stored.
        QTextDocument *doc = bodyDoc_;
        bodyDoc_ = nullptr;
        if (doc->characterCount() - 1 > NoteDocument::kLongChars) {
            // Read on a worker from the document itself; the note is handed on when its text is
            // there (at quit too: the quit waits for it). No view may lay the document out meanwhile.
            delete bodyTV_;
            bodyTV_ = nullptr;
            done_ = true;
            Completion c = std::move(completion_);
            close();
            NoteDocument::readLater(doc, qApp, [c, out](const NoteDocument::Saved &s) mutable {
                if (!NoteDocument::storeInto(out, s)) NoteDocument::alertRichTextNotSaved(nullptr);
                if (c) c(out);
            });
            return true;
        }
        bodyTV_->setDocument(nullptr);
        const NoteDocument::Saved s = NoteDocument::readText(*doc);
        delete doc;
        if (!NoteDocument::storeInto(out, s)) NoteDocument::alertRichTextNotSaved(parentWidget());
    }
    done_ = true;
    Completion c = std::move(completion_);
    close();
    if (c) c(out);
    return true;
}

void NoteEditorDialog::doCancel() {
    done_ = true;
    Completion c = std::move(completion_);
    close();
    if (c) c(std::nullopt);
}

// ---- Cell editor ----

CellEditor::CellEditor(const QString &noteID, int row, int col, const QString &value, QWidget *parent)
    : QDialog(parent), noteID_(noteID) {
    setObjectName(QStringLiteral("cellEditor"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(L::t({.en = "Cell content", .es = "Contenido de celda", .de = "Zelleninhalt", .fr = "Contenu de la cellule", .uk = "Вміст комірки", .pl = "Zawartość komórki"}));
    styleWindow(this);
    resize(460, 240);
    setMinimumSize(300, 160);
    const Note *note = NoteStore::shared().find(noteID);
    if (note) ids_ = TableClipboard::cellIds(*note, row, col);

    auto *lay = new QVBoxLayout(this);
    lay->setContentsMargins(12, 12, 12, 12);
    auto *hdr = new QLabel(L::t({.en = "EDIT CELL", .es = "EDITAR CELDA", .de = "ZELLE BEARBEITEN", .fr = "MODIFIER CELLULE", .uk = "РЕДАГУВАТИ КОМІРКУ", .pl = "EDYTUJ KOMÓRKĘ"}), this);
    hdr->setFont(Fonts::scaledFont(9, QFont::DemiBold));
    lay->addWidget(hdr);
    tv_ = new RichTextView(this);
    tv_->setFont(Fonts::scaledFont(13));
    tv_->document()->setDefaultFont(tv_->font());
    const bool dark = VF::theme() == AppTheme::dark;
    const QColor ink = dark ? QColor(Qt::white) : QColor(Qt::black);
    QPalette tp = tv_->palette();
    tp.setColor(QPalette::Base, dark ? QColor::fromRgbF(1, 1, 1, 0.1f) : QColor::fromRgbF(0.97f, 0.97f, 0.97f));
    tp.setColor(QPalette::Text, ink);
    tv_->setPalette(tp);
    bool rich = false;
    if (note && row >= 0 && row < int(note->rows.size())) {
        const NoteRow &r = note->rows[size_t(row)];
        if (auto it = r.cellsRTF.find(col); it != r.cellsRTF.end()) rich = RtfCodec::read(it->second, tv_->document());
    }
    if (!rich) tv_->setPlainText(value);
    // The theme's ink is shown, never stored: a cell saved unchanged keeps its own colours, or none.
    NoteDocument::showTextColour(*tv_->document(), ink);
    tv_->document()->clearUndoRedoStacks();
    lay->addWidget(makeFormatBar(tv_, QStringLiteral("Smaller"), QStringLiteral("Larger"), this));
    lay->addWidget(tv_, 1);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch(1);
    auto *cancel = button(cancelTitle(), VF::sub(), false, this);
    auto *save = button(QStringLiteral("💾 ") + L::t({.en = "Save", .es = "Guardar", .de = "Speichern", .fr = "Enregistrer", .uk = "Зберегти", .pl = "Zapisz"}),
                        VF::accent(), true, this);
    bottom->addWidget(cancel);
    bottom->addWidget(save);
    lay->addLayout(bottom);
    connect(cancel, &QPushButton::clicked, this, &QDialog::close);
    connect(save, &QPushButton::clicked, this, [this] { this->save(); });
    fitToButtons(this, lay);
    tv_->setFocus();
}

bool CellEditor::save() {
    const QString text = tv_->toPlainText();
    const QByteArray rtf =
        RtfCodec::write(*tv_->document(), RtfCodec::kMaxBytes, {NoteDocument::storedFormat, {}, {}});
    const auto write = [id = noteID_, ids = ids_, text, rtf] {
        const Note *found = NoteStore::shared().find(id);
        if (!found || !ids) return false;
        Note copy = *found;
        if (!TableClipboard::saveCell(copy, ids->first, ids->second, text,
                                      rtf.isEmpty() ? std::nullopt : std::optional<QByteArray>(rtf)))
            return false;
        NoteStore::shared().update(copy);
        return true;
    };
    auto cb = onSaved;
    close();
    // The store is the context: the cell is written whatever the page shows by the time the table is in.
    NoteStore &store = NoteStore::shared();
    if (ids_ && store.decodeInBackground(noteID_, &store, [write, cb] {
            write();
            if (cb) cb();
        }))
        return true;
    const bool wrote = write();
    if (cb) cb();
    return wrote;
}
