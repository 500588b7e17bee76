#include "health/AlarmListView.h"

#include "ui/DisplayText.h"
#include "ui/EmojiText.h"
#include "ui/Fonts.h"
#include "ui/Geometry.h"
#include "ui/Theme.h"
#include "ui/UiKit.h"
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace {

// Text on one line in r, cut with "…" when it does not fit.
void drawLine(QPainter &p, const QRectF &r, const QString &text, Qt::Alignment align = Qt::AlignLeft) {
    const QString shown = p.fontMetrics().elidedText(DisplayText::cut(text), Qt::ElideRight, int(r.width()));
    p.drawText(r, int(align | Qt::AlignVCenter | Qt::TextSingleLine), shown);
}
} // namespace

AlarmListView::AlarmListView(QWidget *parent) : FlippedView(parent) {
    setAutoFillBackground(false);
    setMouseTracking(false);
}

void AlarmListView::setEntries(std::vector<Entry> entries, const std::optional<QString> &selected) {
    entries_ = std::move(entries);
    selected_ = selected;
    update();
}

QStringList AlarmListView::rowIds() const {
    QStringList ids;
    for (const Entry &e : entries_)
        if (e.kind == Entry::Kind::row) ids << e.text;
    return ids;
}

QRect AlarmListView::rowRect(const QString &id) const {
    for (const Entry &e : entries_)
        if (e.kind == Entry::Kind::row && e.text == id) return QRectF(4, e.y, width() - 8, kRowH).toRect();
    return {};
}

std::optional<QString> AlarmListView::rowAt(const QPoint &pt) const {
    // Entries are in y order: find the last one starting at or above the point.
    auto it = std::upper_bound(entries_.begin(), entries_.end(), double(pt.y()),
                               [](double y, const Entry &e) { return y < e.y; });
    if (it == entries_.begin()) return std::nullopt;
    const Entry &e = *std::prev(it);
    if (e.kind != Entry::Kind::row) return std::nullopt;
    if (!QRectF(4, e.y, width() - 8, kRowH).contains(pt)) return std::nullopt;
    return e.text;
}

double AlarmListView::heightOf(const Entry &e) const {
    return e.kind == Entry::Kind::row ? kRowH : kHeaderStep;
}

void AlarmListView::paintEvent(QPaintEvent *ev) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    rowsPainted_ = 0;
    const QRectF area = ev->rect();
    // Skip everything above the area in one search; stop at the first entry below it.
    auto it = std::lower_bound(entries_.begin(), entries_.end(), area.top() - kRowStep,
                               [](const Entry &e, double y) { return e.y < y; });
    for (; it != entries_.end() && it->y <= area.bottom(); ++it) {
        if (it->y + heightOf(*it) < area.top()) continue;
        switch (it->kind) {
        case Entry::Kind::header:
            paintHeader(p, *it);
            break;
        case Entry::Kind::note:
            paintNote(p, *it);
            break;
        case Entry::Kind::row:
            paintRow(p, *it);
            break;
        }
    }
}

void AlarmListView::paintHeader(QPainter &p, const Entry &e) {
    const double W = width();
    p.setFont(Fonts::scaledFont(9, QFont::DemiBold));
    p.setPen(VF::muted());
    drawLine(p, QRectF(14, e.y, W - 28, 14), e.text);
    p.fillRect(QRectF(14, e.y + 16, W - 28, 0.5), VF::border());
}

void AlarmListView::paintNote(QPainter &p, const Entry &e) {
    p.setFont(Fonts::scaledFont(11));
    p.setPen(VF::muted());
    drawLine(p, QRectF(14, e.y, width() - 28, 16), e.text);
}

void AlarmListView::paintRow(QPainter &p, const Entry &e) {
    if (!rowFor) return;
    ++rowsPainted_;
    const AlarmRow r = rowFor(e.text);
    const double W = width();
    const bool selected = selected_ && *selected_ == e.text;
    p.save();
    p.translate(4, e.y);
    const double rh = kRowH;
    QPainterPath box;
    box.addRoundedRect(QRectF(0.5, 0.5, W - 9, rh - 1), 10, 10);
    if (selected) {
        p.fillPath(box, UiKit::alpha(r.accent, 0.15));
        p.setPen(QPen(UiKit::alpha(r.accent, 0.4), 1));
        p.drawPath(box);
    }
    QPainterPath bar;
    bar.addRoundedRect(yUpF(rh, 0, 8, 3, 42), 1.5, 1.5);
    p.fillPath(bar, r.accent);

    p.setFont(Fonts::scaledFont(17));
    p.setPen(VF::text());
    EmojiText::drawPlain(p, yUpF(rh, 10, 24, 24, 22).adjusted(-4, -4, 4, 4),
                         Qt::AlignCenter | Qt::TextSingleLine, r.emoji);

    p.setFont(Fonts::scaledFont(12, QFont::DemiBold));
    p.setPen(selected ? r.accent : VF::text());
    drawLine(p, yUpF(rh, 38, 28, W - 50, 16), r.title);

    p.setFont(Fonts::monoDigits(10));
    p.setPen(selected ? UiKit::alpha(r.accent, 0.8) : VF::sub());
    drawLine(p, yUpF(rh, 38, 12, W - 50, 14), r.subtitle);

    const QRectF track = yUpF(rh, 10, 7, W - 22, 4);
    QPainterPath t;
    t.addRoundedRect(track, 2, 2);
    p.fillPath(t, QColor::fromRgbF(1, 1, 1, 0.08f));
    const double pct = std::clamp(r.pct, 0.0, 1.0);
    if (pct > 0) {
        QPainterPath f;
        f.addRoundedRect(QRectF(track.x(), track.y(), pct * track.width(), track.height()), 2, 2);
        p.fillPath(f, UiKit::alpha(r.accent, 0.65));
    }
    p.restore();
}

void AlarmListView::mouseReleaseEvent(QMouseEvent *e) {
    if (e->button() != Qt::LeftButton) return;
    if (const auto id = rowAt(e->position().toPoint()); id && onSelect) onSelect(*id);
}
