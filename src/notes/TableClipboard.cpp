#include "notes/TableClipboard.h"

#include <algorithm>

namespace TableClipboard {
namespace {
// Pads the row with empty texts so that it has a cell at col.
QString &cellAt(NoteRow &row, int col) {
    while (row.cells.size() <= col)
        row.cells.append(QString());
    return row.cells[col];
}
} // namespace

CellRect CellRect::span(CellPos a, CellPos b) {
    return {std::min(a.row, b.row), std::min(a.col, b.col), std::max(a.row, b.row), std::max(a.col, b.col)};
}

Block copyBlock(const Note &note, CellRect r) {
    Block block;
    const int rowCount = int(note.rows.size());
    if (r.top < 0 || r.top >= rowCount) return block;
    const int last = std::min(r.bottom, rowCount - 1);
    for (int ri = r.top; ri <= last; ++ri) {
        const NoteRow &row = note.rows[size_t(ri)];
        QStringList line;
        for (int ci = r.left; ci <= r.right; ++ci)
            line << (ci >= 0 && ci < row.cells.size() ? row.cells.at(ci) : QString());
        block.push_back(line);
    }
    return block;
}

QString blockText(const Block &b) {
    QStringList lines;
    for (const QStringList &l : b)
        lines << l.join(u'\t');
    return lines.join(u'\n');
}

Block blockFromText(const QString &text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (t.endsWith(u'\n')) t.chop(1);
    Block b;
    for (const QString &line : t.split(u'\n'))
        b.push_back(line.split(u'\t'));
    return b;
}

void paste(Note &note, CellPos anchor, const Block &b) {
    const int rowCount = int(note.rows.size());
    const int colCount = int(note.columns.size());
    if (anchor.row < 0 || anchor.col < 0) return;
    for (size_t i = 0; i < b.size(); ++i) {
        const qint64 ri = qint64(anchor.row) + qint64(i);
        if (ri >= rowCount) break;
        NoteRow &row = note.rows[size_t(ri)];
        for (qsizetype j = 0; j < b[i].size(); ++j) {
            const qint64 ci = qint64(anchor.col) + j;
            if (ci >= colCount) break;
            cellAt(row, int(ci)) = b[i].at(j);
            row.cellsRTF.erase(int(ci));
        }
    }
}

void clear(Note &note, CellRect r) {
    const int rowCount = int(note.rows.size());
    const int colCount = int(note.columns.size());
    for (int ri = std::max(0, r.top); ri <= r.bottom && ri < rowCount; ++ri) {
        NoteRow &row = note.rows[size_t(ri)];
        for (int ci = std::max(0, r.left); ci <= r.right && ci < colCount; ++ci) {
            cellAt(row, ci).clear();
            row.cellsRTF.erase(ci);
        }
    }
}

bool saveCell(Note &note, const QString &rowId, const QString &colId, const QString &plain,
              const std::optional<QByteArray> &rtf) {
    auto row =
        std::find_if(note.rows.begin(), note.rows.end(), [&](const NoteRow &r) { return r.id == rowId; });
    auto col = std::find_if(note.columns.begin(), note.columns.end(),
                            [&](const NoteTableColumn &c) { return c.id == colId; });
    if (row == note.rows.end() || col == note.columns.end()) return false;
    const int ci = int(col - note.columns.begin());
    cellAt(*row, ci) = plain;
    if (rtf)
        row->cellsRTF[ci] = *rtf;
    else
        row->cellsRTF.erase(ci);
    return true;
}

std::optional<std::pair<QString, QString>> cellIds(const Note &note, int row, int col) {
    if (row < 0 || col < 0 || size_t(row) >= note.rows.size() || size_t(col) >= note.columns.size())
        return std::nullopt;
    return std::make_pair(note.rows[size_t(row)].id, note.columns[size_t(col)].id);
}
} // namespace TableClipboard
