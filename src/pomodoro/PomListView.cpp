#include "pomodoro/PomListView.h"
#include "ui/RoundedCard.h"

#include "pomodoro/ProjectStore.h"
#include "pomodoro/TaskStore.h"
#include "ui/Fonts.h"
#include "ui/Geometry.h"
#include "ui/TextFit.h"
#include "ui/Theme.h"
#include "ui/UiKit.h"
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>
#include <cmath>

namespace {
using UiKit::alpha;

// A text frame of the row grown about its centre to the font's line height.
constexpr double kEmojiW = 26;

QRectF lineRect(const QRectF &frame, const QFont &font) {
    const double need = TextFit::lineHeight(font);
    if (frame.height() >= need) return frame;
    return frame.adjusted(0, -(need - frame.height()) / 2, 0, (need - frame.height()) / 2);
}

} // namespace

QFont PomListView::emojiFontToFit() { return Fonts::scaledFont(18); }

PomListView::PomListView(QWidget *parent) : QWidget(parent) {
    setAutoFillBackground(false);
    setMouseTracking(false);
}

void PomListView::setBlocks(std::vector<Block> blocks, const std::optional<QString> &selected) {
    blocks_ = std::move(blocks);
    selected_ = selected;
    // Taken at each rebuild, which follows every change of font scale.
    emojiFont_ = Fonts::shrunkToFit(emojiFontToFit(), QStringLiteral("🍅"), kEmojiW);
    titleFont_ = Fonts::scaledFont(13, QFont::DemiBold);
    subFont_ = Fonts::scaledFont(10);
    update();
}

void PomListView::setTimerRow(const PomListRow &row) {
    const bool same = row.title == timerRow_.title && row.subtitle == timerRow_.subtitle &&
                      row.emoji == timerRow_.emoji && row.accent == timerRow_.accent;
    timerRow_ = row;
    if (same) return;
    for (const Block &b : blocks_)
        if (b.source == Source::timer) update(rowBox(b, 0).toAlignedRect());
}

qsizetype PomListView::rowCount() const {
    qsizetype n = 0;
    for (const Block &b : blocks_)
        n += b.source == Source::timer ? 1 : qsizetype(b.indexes.size());
    return n;
}

QRectF PomListView::rowBox(const Block &b, qsizetype i) const {
    return QRectF(4, b.top + double(i) * kRowPitch, width() - 8, kRowH);
}

PomListView::Hit PomListView::hitAt(double y) const {
    for (const Block &b : blocks_) {
        const qsizetype n = b.source == Source::timer ? 1 : qsizetype(b.indexes.size());
        if (y < b.top || y >= b.top + double(n) * kRowPitch) continue;
        const qsizetype i = qsizetype((y - b.top) / kRowPitch);
        if (y - b.top - double(i) * kRowPitch < kRowH) return {&b, i};
    }
    return {};
}

std::optional<PomListRow> PomListView::rowFor(const Block &b, qsizetype i) const {
    switch (b.source) {
    case Source::timer:
        return timerRow_;
    case Source::task: {
        // A store change asks for a rebuild; until it runs, indexes past the end show nothing.
        const auto &ts = TaskStore::shared().tasks();
        const int k = b.indexes[size_t(i)];
        if (k < 0 || size_t(k) >= ts.size()) return std::nullopt;
        return PomListRows::taskRow(ts[size_t(k)]);
    }
    case Source::project: {
        const auto &ps = ProjectStore::shared().projects();
        const int k = b.indexes[size_t(i)];
        if (k < 0 || size_t(k) >= ps.size()) return std::nullopt;
        return PomListRows::projectRow(ps[size_t(k)]);
    }
    }
    return std::nullopt;
}

std::optional<PomListRow> PomListView::rowAt(double y) const {
    const Hit h = hitAt(y);
    if (!h.block) return std::nullopt;
    return rowFor(*h.block, h.row);
}

QRect PomListView::rowRect(const QString &id) const {
    for (const Block &b : blocks_) {
        const qsizetype n = b.source == Source::timer ? 1 : qsizetype(b.indexes.size());
        for (qsizetype i = 0; i < n; ++i)
            if (auto r = rowFor(b, i); r && r->id == id) return rowBox(b, i).toAlignedRect();
    }
    return {};
}

void PomListView::paintRow(QPainter &p, const PomListRow &row, const QRectF &box) const {
    const bool selected = selected_ && *selected_ == row.id;
    if (selected) {
        RoundedCard::paint(p, box.adjusted(0.5, 0.5, -0.5, -0.5), 10, alpha(row.accent, 0.18),
                           alpha(row.accent, 0.45), 1);
    }
    const double rh = kRowH, w = box.width() + 8;
    const QPointF o = box.topLeft() - QPointF(4, 0); // the row's frames are given from the list's left edge
    const QRectF emojiBox = lineRect(yUp(rh, 10, 14, kEmojiW, 24), emojiFont_).translated(o);
    p.setPen(VF::text());
    p.setFont(emojiFont_);
    TextFit::drawText(p, nullptr, emojiBox, Qt::AlignLeft | Qt::AlignVCenter, row.emoji); // drawn once, kept
    p.setPen(selected ? row.accent : VF::text());
    p.setFont(titleFont_);
    TextFit::drawText(p, nullptr, lineRect(yUp(rh, 42, 28, w - 56, 16), titleFont_).translated(o),
                      Qt::AlignLeft | Qt::AlignVCenter, row.title);
    p.setPen(selected ? alpha(row.accent, 0.8) : VF::sub());
    p.setFont(subFont_);
    TextFit::drawText(p, nullptr, lineRect(yUp(rh, 42, 10, w - 56, 14), subFont_).translated(o),
                      Qt::AlignLeft | Qt::AlignVCenter, row.subtitle);
}

void PomListView::paintEvent(QPaintEvent *e) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF dirty = e->rect();
    for (const Block &b : blocks_) {
        const qsizetype n = b.source == Source::timer ? 1 : qsizetype(b.indexes.size());
        // Only the rows that meet the dirty rectangle: a list of 100 000 rows paints a screenful.
        const qsizetype first =
            std::max<qsizetype>(0, qsizetype(std::floor((dirty.top() - b.top) / kRowPitch)));
        const qsizetype last =
            std::min<qsizetype>(n - 1, qsizetype(std::floor((dirty.bottom() - b.top) / kRowPitch)));
        for (qsizetype i = first; i <= last; ++i) {
            const QRectF box = rowBox(b, i);
            if (!box.intersects(dirty)) continue;
            if (auto row = rowFor(b, i)) paintRow(p, *row, box);
        }
    }
}

void PomListView::mouseReleaseEvent(QMouseEvent *e) {
    if (e->button() != Qt::LeftButton) return;
    const QPointF pos = e->position();
    if (pos.x() < 4 || pos.x() > width() - 4) return;
    if (auto row = rowAt(pos.y()); row && onRowClicked) onRowClicked(row->id);
}

// A title or subtitle cut with "…" shows whole in the tool tip.
bool PomListView::event(QEvent *e) {
    if (e->type() == QEvent::ToolTip) {
        auto *he = static_cast<QHelpEvent *>(e);
        const auto row = rowAt(he->pos().y());
        const double avail = width() - 56;
        if (row && (QFontMetricsF(titleFont_).horizontalAdvance(row->title) > avail ||
                    QFontMetricsF(subFont_).horizontalAdvance(row->subtitle) > avail))
            QToolTip::showText(he->globalPos(), row->title + QLatin1Char('\n') + row->subtitle, this);
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(e);
}
