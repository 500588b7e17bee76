#include "notes/NoteListView.h"

#include "ui/EmojiText.h"
#include "ui/DisplayText.h"
#include "ui/Fonts.h"
#include "ui/Lang.h"
#include "ui/Theme.h"
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>

namespace {
const QColor kNoteAccent = QColor::fromRgbF(0.5f, 0.78f, 1.0f);
const QColor kTableAccent = QColor::fromRgbF(0.2f, 0.72f, 0.42f);
} // namespace

NoteListView::NoteListView(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("noteList"));
}

QString NoteListView::summary(const NoteHead &n) {
    // The English words stay as they are for every number; the abbreviations need no plural.
    if (n.type == NoteType::table)
        return L::counted(n.columnCount,
                          {.one = {.en = "cols", .es = "cols", .de = "Sp.", .fr = "col.", .uk = "стовпець", .pl = "kolumna"},
                           .few = {.en = "cols", .es = "cols", .de = "Sp.", .fr = "col.", .uk = "стовпці", .pl = "kolumny"},
                           .many = {.en = "cols", .es = "cols", .de = "Sp.", .fr = "col.", .uk = "стовпців", .pl = "kolumn"}}) +
               QStringLiteral(" · ") +
               L::counted(n.rowCount,
                          {.one = {.en = "rows", .es = "fila", .de = "Zeile", .fr = "ligne", .uk = "рядок", .pl = "wiersz"},
                           .few = {.en = "rows", .es = "filas", .de = "Zeilen", .fr = "lignes", .uk = "рядки", .pl = "wiersze"},
                           .many = {.en = "rows", .es = "filas", .de = "Zeilen", .fr = "lignes", .uk = "рядків", .pl = "wierszy"}});
    if (n.preview.isEmpty())
        return L::t({.en = "Empty note", .es = "Nota vacía", .de = "Leere Notiz", .fr = "Note vide", .uk = "Порожня нотатка", .pl = "Pusta notatka"});
    QString s = n.preview;
    s.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return s;
}

QFont NoteListView::emptyHintFont() { return Fonts::scaledFont(11); }

QRect NoteListView::emptyHintRect(const QString &text, int width) {
    const QRect r(14, 8, std::max(1, width - 28), 30);
    const int need = QFontMetrics(emptyHintFont()).boundingRect(r, Qt::AlignLeft | Qt::TextWordWrap, text).height();
    return r.adjusted(0, 0, 0, std::max(0, need - r.height()));
}

QString NoteListView::dateLine(const NoteHead &n) {
    const QString fmt = QStringLiteral("dd.MM.yyyy HH:mm");
    if (n.modifiedInterval > n.createdInterval + 1)
        return QStringLiteral("✎ ") + n.modifiedDate().toLocalTime().toString(fmt);
    return QStringLiteral("＋ ") + n.createdDate().toLocalTime().toString(fmt);
}

void NoteListView::setNotes(const std::vector<NoteHead> &notes, const std::optional<QString> &selected, int width,
                            int minHeight) {
    const std::vector<Entry> before = std::exchange(entries_, {});
    const std::optional<QString> selectedBefore = std::exchange(selected_, selected);
    int y = 8;
    if (notes.empty()) {
        entries_.push_back({Entry::empty, 8,
                            L::t({.en = "No notes yet. Press ＋ Create", .es = "Aún no hay notas. Pulsa ＋ Crear",
                                  .de = "Noch keine Notizen. ＋ Erstellen drücken", .fr = "Aucune note. Appuyez sur ＋ Créer",
                                  .uk = "Нотаток ще немає. Натисніть ＋ Створити", .pl = "Brak notatek. Naciśnij ＋ Utwórz"}),
                            {}});
        y = emptyHintRect(entries_.back().text, width).bottom() + 1 + 10;
    } else {
        for (NoteType kind : {NoteType::text, NoteType::table}) {
            bool first = true;
            for (const NoteHead &n : notes) {
                if (n.type != kind) continue;
                if (first) {
                    entries_.push_back({Entry::section, y,
                                        kind == NoteType::text
                                            ? L::t({.en = "TEXT NOTES", .es = "NOTAS DE TEXTO", .de = "TEXTNOTIZEN", .fr = "NOTES TEXTE", .uk = "ТЕКСТОВІ НОТАТКИ", .pl = "NOTATKI TEKSTOWE"})
                                            : L::t({.en = "TABLES", .es = "TABLAS", .de = "TABELLEN", .fr = "TABLEAUX", .uk = "ТАБЛИЦІ", .pl = "TABELE"}),
                                        {}});
                    y += 26;
                    first = false;
                }
                entries_.push_back({Entry::card, y, {}, n});
                y += 64;
            }
        }
    }
    y += 8;
    const QSize was = size();
    resize(width, std::max(y, minHeight));
    // A new size draws the whole list anyway.
    const int lang = int(L::lang());
    if (size() != was || std::exchange(lang_, lang) != lang || before.size() != entries_.size()) {
        update();
        return;
    }
    const auto selectedIn = [](const Entry &e, const std::optional<QString> &sel) {
        return e.kind == Entry::card && sel && *sel == e.note.id;
    };
    for (size_t i = 0; i < entries_.size(); ++i) {
        const Entry &now = entries_[i], &was = before[i];
        if (now == was && selectedIn(now, selected_) == selectedIn(was, selectedBefore)) continue;
        update(QRect(0, std::min(now.y, was.y), width, std::max(now.y, was.y) - std::min(now.y, was.y) + 64));
    }
}

void NoteListView::paintEvent(QPaintEvent *e) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int W = width();
    const int w = W - 56;
    for (const Entry &en : entries_) {
        if (en.y > e->rect().bottom() || en.y + 64 < e->rect().top()) continue;
        if (en.kind == Entry::empty) {
            p.setFont(emptyHintFont());
            p.setPen(VF::muted());
            p.drawText(emptyHintRect(en.text, W), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, en.text);
        } else if (en.kind == Entry::section) {
            p.setFont(Fonts::scaledFont(9, QFont::DemiBold));
            p.setPen(VF::muted());
            p.drawText(QRect(14, en.y, W - 28, 14), Qt::AlignLeft | Qt::AlignVCenter,
                       p.fontMetrics().elidedText(DisplayText::cut(en.text), Qt::ElideRight, W - 28));
            p.fillRect(QRectF(14, en.y + 16, W - 28, 0.5), VF::border());
        } else {
            const NoteHead &n = en.note;
            const bool sel = selected_ && *selected_ == n.id;
            const QColor accent = n.type == NoteType::table ? kTableAccent : kNoteAccent;
            const QRectF card(4, en.y, W - 8, 60);
            if (sel) {
                QColor bg = accent, br = accent;
                bg.setAlphaF(0.18f);
                br.setAlphaF(0.45f);
                p.setBrush(bg);
                p.setPen(QPen(br, 1));
                p.drawRoundedRect(card.adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
            }
            const int top = en.y;
            p.setFont(Fonts::scaledFont(18));
            p.setPen(VF::text());
            EmojiText::draw(p, QRect(14, top + 12, 26, 26), Qt::AlignCenter, n.emoji);
            p.setFont(Fonts::scaledFont(13, QFont::DemiBold));
            p.setPen(sel ? accent : VF::text());
            // A title or a preview of emoji is cut and laid out once, not at every paint of its card.
            EmojiText::drawElided(p, QRect(46, top + 6, w, 18), Qt::AlignLeft | Qt::AlignVCenter, n.title);
            p.setFont(Fonts::scaledFont(10));
            p.setPen(VF::sub());
            EmojiText::drawElided(p, QRect(46, top + 24, w, 16), Qt::AlignLeft | Qt::AlignVCenter, summary(n));
            p.setFont(Fonts::monoDigits(9));
            p.setPen(VF::muted());
            p.drawText(QRect(46, top + 40, w, 14), Qt::AlignLeft | Qt::AlignVCenter,
                       p.fontMetrics().elidedText(DisplayText::cut(dateLine(n)), Qt::ElideRight, w));
        }
    }
}

const NoteListView::Entry *NoteListView::cardAt(const QPoint &pt) const {
    for (const Entry &en : entries_)
        if (en.kind == Entry::card && pt.y() >= en.y && pt.y() < en.y + 60 && pt.x() >= 4 && pt.x() < width() - 4)
            return &en;
    return nullptr;
}

void NoteListView::mousePressEvent(QMouseEvent *e) {
    if (e->button() != Qt::LeftButton) return;
    if (const Entry *en = cardAt(e->position().toPoint()))
        if (onTap) onTap(en->note.id);
}

void NoteListView::mouseDoubleClickEvent(QMouseEvent *e) {
    if (e->button() != Qt::LeftButton) return;
    if (const Entry *en = cardAt(e->position().toPoint()))
        if (onDoubleTap) onDoubleTap(en->note.id);
}
