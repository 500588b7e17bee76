#include "notes/NoteFind.h"

#include "notes/RtfCodec.h"
#include "ui/Lang.h"
#include <QTextDocument>

namespace NoteFind {
namespace {
std::optional<QString> rtfText(const QByteArray &rtf) {
    QTextDocument doc;
    if (!RtfCodec::read(rtf, &doc)) return std::nullopt;
    return doc.toPlainText();
}
} // namespace

QString shownText(const Note &note) {
    if (note.bodyRTF)
        if (auto t = rtfText(*note.bodyRTF)) return *t;
    return note.body;
}

QString shownCellText(const NoteRow &row, int col) {
    if (auto it = row.cellsRTF.find(col); it != row.cellsRTF.end())
        if (auto t = rtfText(it->second)) return *t;
    return col >= 0 && col < row.cells.size() ? row.cells.at(col) : QString();
}

std::vector<Range> textMatches(const QString &text, const QString &query, int cap) {
    std::vector<Range> out;
    if (query.isEmpty()) return out;
    qsizetype from = 0;
    // Qt compares case-insensitively unit by unit, so the ranges are ranges of the text itself.
    while (int(out.size()) < cap) {
        const qsizetype at = text.indexOf(query, from, Qt::CaseInsensitive);
        if (at < 0) break;
        out.push_back({int(at), int(query.size())});
        from = at + query.size();
    }
    return out;
}

std::vector<TableClipboard::CellPos> tableMatches(const Note &note, const QString &query) {
    std::vector<TableClipboard::CellPos> out;
    if (query.isEmpty()) return out;
    const int colCount = int(note.columns.size());
    for (size_t ri = 0; ri < note.rows.size(); ++ri) {
        const NoteRow &row = note.rows[ri];
        for (int ci = 0; ci < colCount; ++ci)
            if (shownCellText(row, ci).contains(query, Qt::CaseInsensitive)) out.push_back({int(ri), ci});
    }
    for (int ci = 0; ci < colCount; ++ci)
        if (note.columns[size_t(ci)].title.contains(query, Qt::CaseInsensitive)) out.push_back({-1, ci});
    return out;
}

int step(int index, int delta, int count) {
    if (count <= 0) return 0;
    return ((index + delta) % count + count) % count;
}

QString countText(int index, int count) {
    return QString::number(index + 1) + QStringLiteral(" / ") + QString::number(count);
}

QString noResultsText() {
    return L::t(Tr{.en = "No results",
                   .es = "Sin resultados",
                   .de = "Kein Ergebnis",
                   .fr = "Aucun résultat",
                   .uk = "Немає збігів",
                   .pl = "Brak wyników"});
}

QString placeholderText() {
    return L::t(Tr{.en = "Find in note…",
                   .es = "Buscar…",
                   .de = "In Notiz suchen…",
                   .fr = "Rechercher…",
                   .uk = "Пошук у нотатці…",
                   .pl = "Szukaj w notatce…"});
}
} // namespace NoteFind
