#include "notes/NoteGrid.h"

#include "notes/RtfCodec.h"
#include "notes/TableOps.h"
#include "ui/DisplayText.h"
#include "ui/Fonts.h"
#include "ui/Lang.h"
#include "ui/Theme.h"
#include "ui/WebLinks.h"
#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTextCursor>
#include <QTextFrame>
#include <QToolTip>
#include <algorithm>

namespace {
QColor grey(double w, double a) {
    return QColor::fromRgbF(float(w), float(w), float(w), float(a));
}
QColor rgba(double r, double g, double b, double a) {
    return QColor::fromRgbF(float(r), float(g), float(b), float(a));
}
struct Colors {
    QColor text, muted, header, sep, even, odd, line;
};
Colors colors() {
    switch (VF::theme()) {
    case AppTheme::dark:
        return {grey(1, 0.9),  grey(1, 0.25), grey(0.2, 1), grey(1, 0.07),
                grey(1, 0.05), grey(1, 0.02), grey(1, 0.08)};
    case AppTheme::pink:
        return {grey(0, 0.82), rgba(0.45, 0.18, 0.3, 0.62),
                grey(0.88, 1), rgba(0.85, 0.55, 0.65, 0.25),
                grey(0, 0.04), grey(0, 0.02),
                grey(0, 0.15)};
    case AppTheme::mint:
        return {grey(0, 0.84), rgba(0.08, 0.3, 0.22, 0.58),
                grey(0.88, 1), rgba(0.66, 0.84, 0.76, 0.3),
                grey(0, 0.04), grey(0, 0.02),
                grey(0, 0.15)};
    default:
        return {grey(0, 0.88), grey(0, 0.52), grey(0.88, 1), rgba(0.6, 0.68, 0.8, 0.3),
                grey(0, 0.04), grey(0, 0.02), grey(0, 0.15)};
    }
}
const QColor kTableAccent = QColor::fromRgbF(0.2f, 0.72f, 0.42f);
const QColor kDeleteTint = QColor::fromRgbF(0.85f, 0.2f, 0.2f, 0.85f);

quint64 key(int r, int c) {
    return (quint64(quint32(r)) << 32) | quint32(c);
}
QString cellText(const Note &n, int r, int c) {
    const NoteRow &row = n.rows[size_t(r)];
    return c < row.cells.size() ? row.cells.at(c) : QString();
}
} // namespace

bool NoteGrid::Selection::contains(CellPos p) const {
    if (!anchor || !end) return false;
    const auto r = rect();
    return p.row >= r.top && p.row <= r.bottom && p.col >= r.left && p.col <= r.right;
}
bool NoteGrid::Selection::multi() const {
    if (!anchor || !end) return false;
    const auto r = rect();
    return r.bottom > r.top || r.right > r.left;
}
TableClipboard::CellRect NoteGrid::Selection::rect() const {
    return TableClipboard::CellRect::span(*anchor, end ? *end : *anchor);
}

QFont NoteGrid::cellFont() {
    return Fonts::scaledFont(12);
}
QFont NoteGrid::headerFont() {
    return Fonts::scaledFont(11, QFont::DemiBold);
}

std::vector<double> NoteGrid::defaultWidths(const Note &note) {
    std::vector<double> widest;
    scanWidest(note.rows, 0, note.rows.size(), widest);
    return widthsFromWidest(note.columns, widest);
}

void NoteGrid::scanWidest(const std::vector<NoteRow> &rows, size_t from, size_t to,
                          std::vector<double> &widest) {
    const QFontMetricsF cm(cellFont());
    // Past this a column's width is the cap whatever else it holds.
    constexpr double kEnough = TableOps::kMaxContentWidth - 24;
    for (size_t r = from; r < to && r < rows.size(); ++r) {
        const QStringList &cells = rows[r].cells;
        if (widest.size() < size_t(cells.size())) widest.resize(size_t(cells.size()), -1);
        for (int c = 0; c < cells.size(); ++c) {
            const QString &t = cells.at(c);
            double &w = widest[size_t(c)];
            if (t.isEmpty() || w >= kEnough) continue;
            w = std::max(w, 0.0);
            if (!t.contains(QLatin1Char('\n'))) {
                w = std::max(w, cm.horizontalAdvance(DisplayText::cut(t)));
                continue;
            }
            for (QStringView line : QStringView(t).split(QLatin1Char('\n')))
                w = std::max(w, cm.horizontalAdvance(DisplayText::cut(line.toString())));
        }
    }
}

std::vector<double> NoteGrid::widthsFromWidest(const std::vector<NoteTableColumn> &columns,
                                               const std::vector<double> &widest) {
    const QFontMetricsF hm(headerFont());
    std::vector<double> out;
    for (size_t i = 0; i < columns.size(); ++i) {
        const double title = hm.horizontalAdvance(DisplayText::cut(columns[i].title));
        const bool any = i < widest.size() && widest[i] >= 0;
        out.push_back(any ? TableOps::columnWidth(title, widest[i]) : title + 30);
    }
    return out;
}

namespace {
double lineHeight(const QFontMetricsF &cm) {
    return cm.boundingRect(QRectF(0, 0, 1e6, 1e6), Qt::AlignLeft | Qt::AlignTop, QStringLiteral("Xg"))
        .height();
}
} // namespace

int NoteGrid::oneLineRowHeight() {
    return std::max(30, int(lineHeight(QFontMetricsF(cellFont()))) + 20);
}

std::vector<int> NoteGrid::measureHeights(const Note &note, const std::vector<double> &widths,
                                          const std::vector<int> *known, const std::vector<double> *widest) {
    return measureRows(note.rows, widths, known, widest);
}

std::vector<int> NoteGrid::measureRows(const std::vector<NoteRow> &rows, const std::vector<double> &widths,
                                       const std::vector<int> *known, const std::vector<double> *widest) {
    const QFontMetricsF cm(cellFont());
    const double lineH = lineHeight(cm);
    if (known && known->size() != rows.size()) known = nullptr;
    std::vector<int> out;
    out.reserve(rows.size());
    for (size_t r = 0; r < rows.size(); ++r) {
        if (known && (*known)[r] >= 0) {
            out.push_back((*known)[r]);
            continue;
        }
        ++rowsMeasured;
        const NoteRow &row = rows[r];
        int h = 30;
        for (size_t c = 0; c < widths.size() && int(c) < row.cells.size(); ++c) {
            const QString &t = row.cells.at(int(c));
            if (t.isEmpty()) continue;
            const double wrapW = std::max(20.0, widths[c] - 18);
            // Most cells are one short line: no measure at all when the column's widest line fits (a
            // column's widest is exact below the cap only), else one cheap advance instead of a
            // wrapped layout.
            const bool oneLine = !t.contains(QLatin1Char('\n')) && t.size() < 200;
            if (oneLine && widest && c < widest->size() && (*widest)[c] >= 0 &&
                (*widest)[c] < TableOps::kMaxContentWidth - 24 && (*widest)[c] <= wrapW) {
                h = std::max(h, int(lineH) + 20);
                continue;
            }
            if (oneLine && cm.horizontalAdvance(t) <= wrapW) {
                h = std::max(h, int(lineH) + 20);
                continue;
            }
            const QRectF b =
                cm.boundingRect(QRectF(0, 0, wrapW, 1e6), Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, t);
            h = std::max(h, int(b.height()) + 20);
        }
        out.push_back(h);
    }
    return out;
}

NoteGrid::NoteGrid(const Note &note, std::vector<double> widths, std::vector<int> heights, double detailWidth,
                   Selection *sel, QWidget *parent)
    : QWidget(parent), note_(note), widths_(std::move(widths)), heights_(std::move(heights)), sel_(sel),
      docsTheme_(VF::theme()), docsFont_(cellFont()) {
    setObjectName(QStringLiteral("noteGrid"));
    setFocusPolicy(Qt::ClickFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_StaticContents);
    tableW_ = TableOps::tableWidth(widths_, detailWidth);
    if (heights_.size() != note_.rows.size()) heights_ = measureHeights(note_, widths_);
    int y = kTop;
    for (int h : heights_) {
        tops_.push_back(y);
        y += h + 3;
    }
    const int contentH = y + 20;
    resize(int(std::max(tableW_ + 104, detailWidth)), contentH);
}

void NoteGrid::takeLayouts(NoteGrid &earlier) {
    if (earlier.note_.id != note_.id || earlier.widths_ != widths_ || earlier.docsTheme_ != docsTheme_ ||
        earlier.docsFont_ != docsFont_)
        return;
    const auto rtfOf = [](const NoteRow &row, int c) {
        const auto f = row.cellsRTF.find(c);
        return f == row.cellsRTF.end() ? QByteArray() : f->second;
    };
    for (auto it = earlier.docs_.cbegin(); it != earlier.docs_.cend(); ++it) {
        const int r = int(it.key() >> 32), c = int(quint32(it.key()));
        if (r >= int(note_.rows.size()) || r >= int(earlier.note_.rows.size())) continue;
        const NoteRow &was = earlier.note_.rows[size_t(r)], &now = note_.rows[size_t(r)];
        if (was.id != now.id || cellText(earlier.note_, r, c) != cellText(note_, r, c) ||
            rtfOf(was, c) != rtfOf(now, c))
            continue;
        docs_.insert(it.key(), it.value());
    }
}

bool NoteGrid::takeCells(const Note &note) {
    if (note.id != note_.id || note.rows.size() != note_.rows.size() || note.columns != note_.columns ||
        docsTheme_ != VF::theme() || docsFont_ != cellFont())
        return false;
    const auto rtfOf = [](const NoteRow &row, int c) {
        const auto f = row.cellsRTF.find(c);
        return f == row.cellsRTF.end() ? QByteArray() : f->second;
    };
    std::vector<quint64> changed;
    for (size_t r = 0; r < note.rows.size(); ++r) {
        const NoteRow &was = note_.rows[r], &now = note.rows[r];
        if (was.id != now.id) return false;
        if (was.cells == now.cells && was.cellsRTF == now.cellsRTF) continue;
        for (int c = 0; c < int(note.columns.size()); ++c)
            if (cellText(note_, int(r), c) != cellText(note, int(r), c) || rtfOf(was, c) != rtfOf(now, c))
                changed.push_back(key(int(r), c));
    }
    note_ = note;
    for (quint64 k : changed)
        docs_.remove(k);
    return true;
}

void NoteGrid::setRowHeights(std::vector<int> heights) {
    if (heights.size() != note_.rows.size()) return;
    size_t first = 0;
    while (first < heights.size() && heights[first] == heights_[first])
        ++first;
    if (first == heights.size()) return;
    heights_ = std::move(heights);
    tops_.resize(first);
    int y = first ? tops_.back() + heights_[first - 1] + 3 : int(kTop);
    for (size_t r = first; r < heights_.size(); ++r) {
        tops_.push_back(y);
        y += heights_[r] + 3;
    }
    // Only what lies below the first changed row moves: rows measured far below the viewport repaint
    // nothing on screen (the grid's contents are static on resize).
    const int from = tops_[first];
    const int viewH = parentWidget() ? parentWidget()->height() : 0;
    resize(width(), std::max(y + 20, viewH));
    update(QRect(0, from, width(), height() - from));
}

NoteGrid::~NoteGrid() {
    // The ghost is a window of its own: never leave it on screen when a rebuild drops the grid.
    if (ghost_) ghost_->close();
}

double NoteGrid::colX(int c) const {
    double x = kLeft;
    for (int i = 0; i < c && i < int(widths_.size()); ++i)
        x += widths_[size_t(i)];
    return x;
}

QRect NoteGrid::cellRect(CellPos p) const {
    if (p.col < 0 || p.col >= int(widths_.size())) return {};
    if (p.row == -1) return QRect(int(colX(p.col)), 36, int(widths_[size_t(p.col)]), 34);
    if (p.row < 0 || p.row >= int(tops_.size())) return {};
    return QRect(int(colX(p.col)), rowTop(p.row), int(widths_[size_t(p.col)]), rowHeight(p.row));
}

int NoteGrid::rowIndexAt(int y) const {
    auto it = std::upper_bound(tops_.begin(), tops_.end(), y);
    return int(it - tops_.begin()) - 1;
}

std::optional<NoteGrid::CellPos> NoteGrid::cellAt(const QPoint &p) const {
    const int r = rowIndexAt(p.y());
    if (r < 0 || p.y() >= rowTop(r) + rowHeight(r)) return std::nullopt;
    double x = kLeft;
    for (size_t c = 0; c < widths_.size(); ++c) {
        if (p.x() >= x && p.x() < x + widths_[c]) return CellPos{r, int(c)};
        x += widths_[c];
    }
    return std::nullopt;
}

std::optional<int> NoteGrid::resizeEdgeAt(const QPoint &p) const {
    if (p.y() < 36 || p.y() >= 70) return std::nullopt;
    double x = kLeft;
    for (size_t c = 0; c + 1 < widths_.size(); ++c) {
        x += widths_[c];
        if (std::abs(p.x() - x) <= 4) return int(c);
    }
    return std::nullopt;
}

std::optional<NoteGrid::DeleteButton> NoteGrid::deleteButtonAt(const QPoint &p) const {
    if (p.y() >= 12 && p.y() < 36) {
        double x = kLeft;
        for (size_t c = 0; c < widths_.size(); ++c) {
            x += widths_[c];
            if (p.x() >= x - 20 && p.x() < x - 2) return DeleteButton{true, int(c)};
        }
        return std::nullopt;
    }
    const int r = rowIndexAt(p.y());
    if (r >= 0 && p.y() < rowTop(r) + rowHeight(r) && p.x() >= kNumX + 28 && p.x() < kNumX + 46)
        return DeleteButton{false, r};
    return std::nullopt;
}

QString NoteGrid::deleteColumnTip() {
    return L::t({.en = "Delete column",
                 .es = "Eliminar columna",
                 .de = "Spalte löschen",
                 .fr = "Supprimer la colonne",
                 .uk = "Видалити стовпець",
                 .pl = "Usuń kolumnę"});
}

QString NoteGrid::deleteRowTip() {
    return L::t({.en = "Delete row",
                 .es = "Eliminar fila",
                 .de = "Zeile löschen",
                 .fr = "Supprimer la ligne",
                 .uk = "Видалити рядок",
                 .pl = "Usuń wiersz"});
}

// The delete buttons are painted, not widgets, so their tooltips are answered here.
bool NoteGrid::event(QEvent *e) {
    if (e->type() != QEvent::ToolTip) return QWidget::event(e);
    auto *he = static_cast<QHelpEvent *>(e);
    if (const auto del = deleteButtonAt(he->pos()))
        QToolTip::showText(he->globalPos(), del->column ? deleteColumnTip() : deleteRowTip(), this);
    else
        QToolTip::hideText();
    e->accept();
    return true;
}

bool NoteGrid::needsDocument(CellPos p) const {
    if (note_.rows[size_t(p.row)].cellsRTF.count(p.col)) return true;
    // What WebLinks finds starts so ("http://", "https://", "www."); anything else is plain.
    const QString t = cellText(note_, p.row, p.col);
    return t.contains(QLatin1String("http"), Qt::CaseInsensitive) ||
           t.contains(QLatin1String("www."), Qt::CaseInsensitive);
}

const QStaticText *NoteGrid::plainFor(CellPos p) {
    auto it = docs_.find(key(p.row, p.col));
    if (it != docs_.end() && it->text) return it->text.get();
    ++cellsLaidOut;
    QString t = cellText(note_, p.row, p.col);
    // Lines break where the document would start a new paragraph.
    t.replace(QLatin1Char('\n'), QChar::LineSeparator);
    auto text = std::make_shared<QStaticText>(t);
    text->setTextFormat(Qt::PlainText);
    QTextOption wrap;
    wrap.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere); // as a document wraps
    text->setTextOption(wrap);
    text->setTextWidth(std::max(1.0, widths_[size_t(p.col)] - 16));
    text->prepare(QTransform(), docsFont_);
    if (docs_.size() > 4000) docs_.clear();
    docs_.insert(key(p.row, p.col), {nullptr, text});
    return text.get();
}

QTextDocument *NoteGrid::docFor(CellPos p) {
    auto it = docs_.find(key(p.row, p.col));
    if (it != docs_.end() && it->doc) return it->doc.get();
    ++cellsLaidOut;
    auto doc = std::make_shared<QTextDocument>();
    doc->setDocumentMargin(0);
    doc->setDefaultFont(cellFont());
    const NoteRow &row = note_.rows[size_t(p.row)];
    const Colors col = colors();
    bool rich = false;
    if (auto f = row.cellsRTF.find(p.col); f != row.cellsRTF.end())
        rich = RtfCodec::read(f->second, doc.get());
    if (!rich) {
        // Plain text takes its colour from the paint's palette: no format to merge.
        doc->setPlainText(cellText(note_, p.row, p.col));
    } else {
        QTextCursor all(doc.get());
        all.select(QTextCursor::Document);
        QTextCharFormat fg;
        fg.setForeground(col.text);
        all.mergeCharFormat(fg);
    }
    WebLinks::applyDetected(doc.get(), kTableAccent);
    doc->setTextWidth(std::max(1.0, widths_[size_t(p.col)] - 16));
    // Visible cells only; an old cache is dropped as a whole when the view scrolls far.
    if (docs_.size() > 4000) docs_.clear();
    docs_.insert(key(p.row, p.col), {doc, nullptr});
    return doc.get();
}

void NoteGrid::setFindMatches(const std::vector<CellPos> &matches, std::optional<CellPos> current) {
    findMatches_ = matches;
    findCurrent_ = current;
    update();
}

QString NoteGrid::ghostText(CellPos from) const {
    if (sel_ && sel_->multi() && sel_->contains(from)) {
        const auto r = sel_->rect();
        const int n = (r.bottom - r.top + 1) * (r.right - r.left + 1);
        return QStringLiteral("⠿ ") + L::counted(n, {.one = {.en = "cell",
                                                             .es = "celda",
                                                             .de = "Zelle",
                                                             .fr = "cellule",
                                                             .uk = "клітинка",
                                                             .pl = "komórka"},
                                                     .few = {.en = "cells",
                                                             .es = "celdas",
                                                             .de = "Zellen",
                                                             .fr = "cellules",
                                                             .uk = "клітинки",
                                                             .pl = "komórki"},
                                                     .many = {.en = "cells",
                                                              .es = "celdas",
                                                              .de = "Zellen",
                                                              .fr = "cellules",
                                                              .uk = "клітинок",
                                                              .pl = "komórek"}});
    }
    const QString v = cellText(note_, from.row, from.col);
    return v.isEmpty() ? QStringLiteral("…") : v.left(40);
}

void NoteGrid::paintEvent(QPaintEvent *e) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const Colors col = colors();
    const QRect clip = e->rect();
    // The fonts once per paint, not once per row or column.
    const QFont letterFont = Fonts::scaledFont(10, QFont::DemiBold),
                crossFont = Fonts::scaledFont(9, QFont::Bold),
                numberFont = Fonts::monoDigits(10, QFont::Medium);
    // A column draws within [x, x + w + 4] (its handle reaches into the next one); what lies wholly
    // outside the exposed rectangle is skipped, as the painter would clip it away.
    const auto exposed = [&clip](double x, double w) {
        return x <= clip.right() + 1 && x + w + 4 >= clip.left();
    };
    const bool headerExposed = clip.top() < 70;
    // Letter header
    p.fillRect(QRectF(kNumX, 12, 48, 24), col.header);
    p.fillRect(QRectF(kLeft, 12, tableW_, 24), col.header);
    double x = kLeft;
    for (size_t c = 0; c < widths_.size(); ++c) {
        const double w = widths_[c];
        if (!headerExposed || !exposed(x, w)) {
            x += w;
            continue;
        }
        p.setFont(letterFont);
        p.setPen(col.muted);
        p.drawText(QRectF(x + 2, 17, w - 22, 14), Qt::AlignCenter, TableOps::columnLetter(int(c)));
        x += w;
        if (c + 1 < widths_.size()) p.fillRect(QRectF(x - 0.5, 15, 0.5, 18), col.sep);
        p.setPen(kDeleteTint);
        p.setFont(crossFont);
        p.drawText(QRectF(x - 20, 16, 18, 16), Qt::AlignCenter, QStringLiteral("✕"));
    }
    // Title row
    QColor band = kTableAccent;
    band.setAlphaF(0.18f);
    p.setPen(Qt::NoPen);
    p.setBrush(band);
    p.drawRoundedRect(QRectF(kLeft, 36, tableW_, 34), 8, 8);
    QColor numBg = col.header;
    numBg.setAlphaF(0.7f);
    p.fillRect(QRectF(kNumX, 36, 48, 34), numBg);
    p.setFont(headerFont());
    x = kLeft;
    for (size_t c = 0; c < widths_.size(); ++c) {
        const double w = widths_[c];
        if (!headerExposed || !exposed(x, w)) {
            x += w;
            continue;
        }
        const bool hit =
            std::find(findMatches_.begin(), findMatches_.end(), CellPos{-1, int(c)}) != findMatches_.end();
        if (hit)
            p.fillRect(QRectF(x + 2, 38, w - 4, 30),
                       QColor(255, 220, 0, findCurrent_ == CellPos{-1, int(c)} ? 170 : 90));
        p.setPen(kTableAccent);
        const QString t =
            p.fontMetrics().elidedText(DisplayText::cut(note_.columns[c].title), Qt::ElideRight, int(w - 16));
        p.drawText(QRectF(x + 8, 36, w - 16, 34), Qt::AlignVCenter | Qt::AlignLeft, t);
        x += w;
        if (c + 1 < widths_.size()) {
            QColor h = kTableAccent;
            h.setAlphaF(0.28f);
            p.fillRect(QRectF(x - 4, 36, 8, 34), h);
        }
    }
    // Rows: only those that intersect the exposed rectangle.
    if (tops_.empty()) return;
    const int first = std::max(0, rowIndexAt(clip.top()));
    const QSet<quint64> hits = [&] {
        QSet<quint64> s;
        for (const CellPos &m : findMatches_)
            if (m.row >= 0) s.insert(key(m.row, m.col));
        return s;
    }();
    for (int r = first; r < int(tops_.size()) && rowTop(r) <= clip.bottom(); ++r) {
        const int y = rowTop(r), h = rowHeight(r);
        if (clip.left() < kLeft) {
            QColor nb = col.header;
            nb.setAlphaF(r % 2 == 0 ? 0.85f : 0.65f);
            p.fillRect(QRectF(kNumX, y, 48, h), nb);
            p.setFont(numberFont);
            p.setPen(col.muted);
            p.drawText(QRectF(kNumX, y + (h - 13) / 2.0, 26, 13), Qt::AlignCenter, QString::number(r + 1));
            p.setPen(kDeleteTint);
            p.setFont(crossFont);
            p.drawText(QRectF(kNumX + 28, y + (h - 16) / 2.0, 18, 16), Qt::AlignCenter, QStringLiteral("✕"));
        }
        p.setPen(Qt::NoPen);
        p.setBrush(r % 2 == 0 ? col.even : col.odd);
        p.drawRoundedRect(QRectF(kLeft, y, tableW_, h), 6, 6);
        double cx = kLeft;
        for (size_t c = 0; c < widths_.size(); ++c) {
            const double w = widths_[c];
            if (cx > clip.right()) break;
            if (cx + w >= clip.left()) {
                const CellPos pos{r, int(c)};
                if (hits.contains(key(r, int(c))))
                    p.fillRect(QRectF(cx + 2, y + 2, w - 4, h - 4),
                               QColor(255, 220, 0, findCurrent_ == pos ? 170 : 90));
                if (sel_ && sel_->contains(pos)) {
                    const QRectF sr(cx + 1, y + 1, w - 2, h - 2);
                    p.setBrush(QColor::fromRgbF(0.2f, 0.55f, 0.95f, 0.22f));
                    p.setPen(QPen(QColor::fromRgbF(0.2f, 0.55f, 0.95f, 0.72f), 1.5));
                    p.drawRoundedRect(sr, 4, 4);
                    p.setPen(Qt::NoPen);
                }
                if (!cellText(note_, r, int(c)).isEmpty() || note_.rows[size_t(r)].cellsRTF.count(int(c))) {
                    p.save();
                    p.translate(cx + 8, y + 8);
                    const QRectF dc(0, 0, w - 16, h - 16);
                    p.setClipRect(dc);
                    if (!needsDocument(pos)) {
                        p.setFont(docsFont_);
                        p.setPen(col.text);
                        p.drawStaticText(QPointF(0, 0), *plainFor(pos));
                    } else {
                        QAbstractTextDocumentLayout::PaintContext ctx;
                        ctx.clip = dc;
                        ctx.palette.setColor(QPalette::Text, col.text);
                        docFor(pos)->documentLayout()->draw(&p, ctx);
                    }
                    p.restore();
                }
                if (c + 1 < widths_.size()) p.fillRect(QRectF(cx + w - 1, y + 4, 1, h - 8), col.line);
            }
            cx += w;
        }
    }
}

void NoteGrid::mousePressEvent(QMouseEvent *e) {
    const QPoint pt = e->position().toPoint();
    downPt_ = pt;
    dragging_ = false;
    if (e->button() == Qt::LeftButton) {
        // Delete buttons and resize handles first.
        if (const auto del = deleteButtonAt(pt)) {
            if (del->column && onDeleteColumn) onDeleteColumn(del->index);
            if (!del->column && onDeleteRow) onDeleteRow(del->index);
            return;
        }
        if (auto edge = resizeEdgeAt(pt)) {
            resizing_ = edge;
            resizeX_ = pt.x();
            return;
        }
        const auto cell = cellAt(pt);
        if (!cell) return;
        // A click on a link opens it and leaves the selection alone.
        const QRect cr = cellRect(*cell);
        if (!cellText(note_, cell->row, cell->col).isEmpty() && needsDocument(*cell)) {
            QTextDocument *d = docFor(*cell);
            const QString href = d->documentLayout()->anchorAt(QPointF(pt - cr.topLeft() - QPoint(8, 8)));
            if (!href.isEmpty()) {
                if (auto url = WebLinks::fromLinkValue(href)) WebLinks::open(*url);
                return;
            }
        }
        leftDown_ = true;
        downCell_ = cell;
        if (sel_) sel_->anchor = sel_->end = *cell;
        update();
    } else if (e->button() == Qt::RightButton) {
        rightDown_ = true;
        downCell_ = cellAt(pt);
    }
}

void NoteGrid::mouseMoveEvent(QMouseEvent *e) {
    const QPoint pt = e->position().toPoint();
    if (resizing_) {
        if (onResize) onResize(*resizing_, pt.x() - resizeX_);
        resizeX_ = pt.x();
        return;
    }
    if (!leftDown_ && !rightDown_) {
        setCursor(resizeEdgeAt(pt) ? Qt::SizeHorCursor : Qt::ArrowCursor);
        return;
    }
    const double dist = std::hypot(pt.x() - downPt_.x(), pt.y() - downPt_.y());
    if (leftDown_) {
        if (!dragging_ && dist <= 4) return;
        dragging_ = true;
        const auto cell = cellAt(pt);
        if (!cell || !sel_ || (sel_->end && *sel_->end == *cell)) return;
        sel_->end = *cell;
        update();
    } else if (rightDown_ && downCell_) {
        if (!dragging_ && dist <= 6) return;
        dragging_ = true;
        showGhost(e->globalPosition().toPoint());
    }
}

void NoteGrid::showGhost(const QPoint &global) {
    if (!ghost_) {
        ghost_ = new QLabel(ghostText(*downCell_));
        ghost_->setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint);
        ghost_->setAttribute(Qt::WA_TransparentForMouseEvents);
        ghost_->setAttribute(Qt::WA_DeleteOnClose);
        ghost_->setFont(Fonts::scaledFont(11));
        ghost_->setStyleSheet(QStringLiteral(
            "color: white; background: rgba(31,102,56,235); border-radius: 7px; padding: 0 6px;"));
        ghost_->setFixedSize(184, 28);
        ghost_->setText(
            ghost_->fontMetrics().elidedText(DisplayText::cut(ghostText(*downCell_)), Qt::ElideRight, 170));
        ghost_->show();
    }
    ghost_->move(global + QPoint(14, 22));
}

void NoteGrid::mouseReleaseEvent(QMouseEvent *e) {
    const QPoint pt = e->position().toPoint();
    if (resizing_ && e->button() == Qt::LeftButton) {
        resizing_.reset();
        if (onResizeEnd) onResizeEnd();
        return;
    }
    if (e->button() == Qt::LeftButton) {
        leftDown_ = false;
        dragging_ = false;
        return;
    }
    if (e->button() != Qt::RightButton || !rightDown_) return;
    rightDown_ = false;
    // Closed and forgotten at once: the label is deleted later, and a drag that starts before then
    // needs a ghost of its own, not the hidden one with the old text.
    if (ghost_) ghost_->close();
    ghost_.clear();
    if (!dragging_) {
        if (onContextMenu) onContextMenu(e->globalPosition().toPoint());
        return;
    }
    dragging_ = false;
    const auto target = cellAt(pt);
    if (downCell_ && target && !(*target == *downCell_) && onDragSwap) onDragSwap(*downCell_, *target);
}

void NoteGrid::mouseDoubleClickEvent(QMouseEvent *e) {
    if (e->button() != Qt::LeftButton) return;
    const auto cell = cellAt(e->position().toPoint());
    if (!cell) return;
    leftDown_ = false;
    if (sel_) sel_->anchor = sel_->end = std::nullopt;
    update();
    if (onDoubleTap) onDoubleTap(cell->row, cell->col);
}

void NoteGrid::keyPressEvent(QKeyEvent *e) {
    if (e->matches(QKeySequence::Copy)) {
        if (onCopy) onCopy();
    } else if (e->matches(QKeySequence::Paste)) {
        if (onPaste) onPaste();
    } else if (e->key() == Qt::Key_Delete || e->key() == Qt::Key_Backspace) {
        if (onClear) onClear();
    } else {
        QWidget::keyPressEvent(e);
        return;
    }
    e->accept();
}
