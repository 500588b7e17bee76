#include "notes/TableOps.h"

#include <algorithm>

namespace TableOps {
namespace {
void pad(NoteRow &row, int col) {
    while (row.cells.size() <= col) row.cells << QString();
}
QString textAt(const NoteRow &row, int col) {
    return col < row.cells.size() ? row.cells.at(col) : QString();
}
} // namespace

bool inTable(const Note &note, CellPos p) {
    return p.row >= 0 && p.col >= 0 && p.row < int(note.rows.size()) && p.col < int(note.columns.size());
}

bool swapCells(Note &note, CellPos a, CellPos b) {
    if (!inTable(note, a) || !inTable(note, b)) return false;
    if (a == b) return true;
    NoteRow &ra = note.rows[size_t(a.row)];
    pad(ra, a.col);
    NoteRow &rb = note.rows[size_t(b.row)];
    pad(rb, b.col);
    std::swap(ra.cells[a.col], rb.cells[b.col]);
    auto ia = ra.cellsRTF.find(a.col);
    auto ib = rb.cellsRTF.find(b.col);
    std::optional<QByteArray> fa, fb;
    if (ia != ra.cellsRTF.end()) fa = ia->second, ra.cellsRTF.erase(ia);
    if (ib != rb.cellsRTF.end()) fb = ib->second, rb.cellsRTF.erase(ib);
    if (fb) ra.cellsRTF[a.col] = *fb;
    if (fa) rb.cellsRTF[b.col] = *fa;
    return true;
}

bool moveBlock(Note &note, CellRect r, int dRow, int dCol) {
    if (!inTable(note, {r.top, r.left}) || !inTable(note, {r.bottom, r.right})) return false;
    if (dRow == 0 && dCol == 0) return true;
    struct Cell {
        CellPos to;
        QString text;
        std::optional<QByteArray> rtf;
    };
    std::vector<Cell> block;
    for (int row = r.top; row <= r.bottom; ++row) {
        const NoteRow &nr = note.rows[size_t(row)];
        for (int col = r.left; col <= r.right; ++col) {
            Cell c{{row + dRow, col + dCol}, textAt(nr, col), std::nullopt};
            if (auto it = nr.cellsRTF.find(col); it != nr.cellsRTF.end()) c.rtf = it->second;
            if (!inTable(note, c.to) && (!c.text.isEmpty() || c.rtf)) return false;
            block.push_back(std::move(c));
        }
    }
    for (int row = r.top; row <= r.bottom; ++row) {
        NoteRow &nr = note.rows[size_t(row)];
        pad(nr, r.right);
        for (int col = r.left; col <= r.right; ++col) {
            nr.cells[col].clear();
            nr.cellsRTF.erase(col);
        }
    }
    for (Cell &c : block) {
        if (!inTable(note, c.to)) continue;
        NoteRow &nr = note.rows[size_t(c.to.row)];
        pad(nr, c.to.col);
        nr.cells[c.to.col] = c.text;
        if (c.rtf)
            nr.cellsRTF[c.to.col] = *c.rtf;
        else
            nr.cellsRTF.erase(c.to.col);
    }
    return true;
}

bool deleteColumn(Note &note, int i) {
    if (i < 0 || i >= int(note.columns.size())) return false;
    note.columns.erase(note.columns.begin() + i);
    for (NoteRow &row : note.rows) {
        if (i < row.cells.size()) row.cells.removeAt(i);
        std::map<int, QByteArray> moved;
        for (auto &[k, v] : row.cellsRTF) {
            if (k < i)
                moved[k] = v;
            else if (k > i)
                moved[k - 1] = v;
        }
        row.cellsRTF = std::move(moved);
    }
    return true;
}

bool deleteRow(Note &note, int r) {
    if (r < 0 || r >= int(note.rows.size())) return false;
    note.rows.erase(note.rows.begin() + r);
    return true;
}

void setCellText(NoteRow &row, int col, const QString &text) {
    if (col < 0) return;
    pad(row, col);
    if (row.cells[col] == text) return;
    row.cells[col] = text;
    row.cellsRTF.erase(col);
}

double columnWidth(double titleWidth, double widestLine) {
    return std::max(titleWidth + 30, std::min(kMaxContentWidth, widestLine + 24));
}

double tableWidth(const std::vector<double> &widths, double detailWidth) {
    double sum = 0;
    for (double w : widths) sum += w;
    return std::max(sum, detailWidth - 104);
}

double resizedWidth(double width, double step) {
    return std::max(kMinColumnWidth, width + step);
}

QString columnLetter(int i) {
    return QString(QChar(u'A' + (i % 26)));
}

bool changedSince(const Note &opened, const Note *now) {
    return now && !(*now == opened);
}
} // namespace TableOps
