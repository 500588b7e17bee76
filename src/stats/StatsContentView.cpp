#include "stats/StatsContentView.h"
#include "ui/EmojiCache.h"
#include "ui/EmojiText.h"
#include "ui/DisplayText.h"
#include "ui/Fonts.h"
#include "ui/Geometry.h"
#include "ui/Theme.h"
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace {
QFont rowEmojiFont() { return Fonts::scaledFont(13); }
QFont cardIconFont() { return Fonts::scaledFont(22); }

QColor alpha(QColor c, double a) {
    c.setAlphaF(float(c.alphaF() * a));
    return c;
}
void roundRect(QPainter &p, const QRectF &r, double radius, const QColor &fill) {
    if (r.width() <= 0 || r.height() <= 0) return;
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    p.fillPath(path, fill);
}
// Text in a box, elided with "…" when it does not fit; vertically centred on the box, whose height
// grows with the font so no glyph is cut.
void text(QPainter &p, const QRectF &box, const QString &s, const QFont &f, const QColor &c,
          Qt::Alignment h = Qt::AlignLeft) {
    const QFontMetricsF fm(f);
    const double hgt = std::max(box.height(), fm.height());
    const QRectF r(box.x(), box.center().y() - hgt / 2, box.width(), hgt);
    p.setFont(f);
    p.setPen(c);
    const QString cut = DisplayText::cut(s);
    const double w = std::max(0.0, box.width());
    // Eliding measures the text at every paint, and emoji are costly to measure: one that fits as
    // measured once (in colour, at least as wide as plainly) is drawn whole.
    const bool fits = EmojiCache::mayHoldEmoji(cut) && !cut.back().isSpace() && EmojiText::advance(f, cut) <= w;
    EmojiText::draw(p, r, int(h | Qt::AlignVCenter), fits ? cut : fm.elidedText(cut, Qt::ElideRight, w));
}
} // namespace

StatsContentView::StatsContentView(QWidget *parent) : QWidget(parent) {}

void StatsContentView::setModel(const StatsModel &model, int width) {
    model_ = model;
    layoutModel(width);
    update();
}

void StatsContentView::layoutModel(int width) {
    placed_.clear();
    const double W = width;
    const double L = 0.4 * (W - 44), R = L + 28, C = 0.6 * (W - 44);
    auto header = [&](const StatsSection &s, double y) { placed_.push_back({QRectF(R, y, C, 26), Placed::sectionHeader, &s}); };
    auto rows = [&](const StatsSection &s, double y) {
        for (int i = 0; i < int(s.rows.size()); ++i) {
            if (s.rows[size_t(i)].subHeader) {
                placed_.push_back({QRectF(R + 2, y, C - 4, 12), Placed::subHeader, &s, i});
                y += 18;
            } else {
                placed_.push_back({QRectF(R, y, C, 34), Placed::row, &s, i});
                y += 37;
            }
        }
        return y;
    };
    // The timer section has a fixed place; the exercises start below it.
    header(model_.timer, 16);
    rows(model_.timer, 48);
    header(model_.exercises, 280);
    double y1;
    if (model_.exercises.rows.empty()) {
        placed_.push_back({QRectF(R + 4, 312, C - 8, 16), Placed::emptyText, &model_.exercises});
        y1 = 346;
    } else {
        y1 = rows(model_.exercises, 312) + 10;
    }
    header(model_.tasks, y1);
    const double y2 = rows(model_.tasks, y1 + 32);
    header(model_.finances, y2 + 10);
    double y3 = rows(model_.finances, y2 + 10 + 32);
    if (!model_.finances.emptyText.isEmpty()) {
        placed_.push_back({QRectF(R + 4, y3, C - 8, 16), Placed::emptyText, &model_.finances});
        y3 += 24;
    } else {
        y3 += 3;
    }
    for (int i = 0; i < 4; ++i) placed_.push_back({QRectF(16, 16 + 82 * i, L, 64), Placed::card, nullptr, i});
    setFixedSize(std::max(width, 1), int(std::ceil(std::max(y3, 334.0) + 24)));
}

void StatsContentView::paintEvent(QPaintEvent *e) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF dirty = e->rect();
    const QColor white = QColor::fromRgbF(1, 1, 1, 1);
    for (const Placed &pl : placed_) {
        if (!pl.rect.intersects(dirty)) continue;
        const QRectF &r = pl.rect;
        switch (pl.kind) {
        case Placed::sectionHeader:
            roundRect(p, r, 7, alpha(pl.section->color, 0.12));
            text(p, r.adjusted(10, 0, -2, 0), pl.section->title, Fonts::scaledFont(10, QFont::Bold), pl.section->color);
            break;
        case Placed::subHeader:
            text(p, r, pl.section->rows[size_t(pl.index)].label, Fonts::scaledFont(9, QFont::DemiBold), VF::muted());
            break;
        case Placed::emptyText:
            text(p, r, pl.section->emptyText, Fonts::scaledFont(10.5), VF::muted());
            break;
        case Placed::row: {
            const StatsRow &row = pl.section->rows[size_t(pl.index)];
            const double C = r.width(), H = r.height();
            roundRect(p, r, 8, alpha(white, 0.03));
            // Frames as designed, from the row's bottom-left corner; the value box widens for a long
            // value at the bar's expense.
            const QFont valFont = Fonts::monoDigits(11, QFont::DemiBold);
            const double valW = std::clamp(QFontMetricsF(valFont).horizontalAdvance(row.value) + 2, 68.0, 0.3 * C);
            const double lw = 0.38 * C;
            const double T = std::max(0.0, C - (lw + 36) - valW - 10);
            const QPointF o = r.topLeft();
            text(p, yUpF(H, 8, 9, 20, 16).translated(o), row.emoji, rowEmojiFont(), VF::text());
            text(p, yUpF(H, 30, 10, lw, 14).translated(o), row.label, Fonts::scaledFont(11, QFont::Medium), VF::text());
            text(p, yUpF(H, C - valW - 8, 10, valW, 14).translated(o), row.value, valFont, row.color, Qt::AlignRight);
            const QRectF track = yUpF(H, lw + 36, 14.5, T, 5).translated(o);
            roundRect(p, track, 2.5, alpha(white, 0.1));
            roundRect(p, QRectF(track.topLeft(), QSizeF(T * std::clamp(row.fraction, 0.0, 1.0), 5)), 2.5, row.color);
            break;
        }
        case Placed::card: {
            const StatsCard &c = model_.cards[size_t(pl.index)];
            const double L = r.width(), H = r.height();
            QPainterPath path;
            path.addRoundedRect(r.adjusted(0.25, 0.25, -0.25, -0.25), 12, 12);
            p.fillPath(path, alpha(white, 0.05));
            p.setPen(QPen(alpha(c.color, 0.25), 0.5));
            p.drawPath(path);
            const QPointF o = r.topLeft();
            roundRect(p, yUpF(H, 0, 8, 3, 48).translated(o), 1.5, c.color);
            text(p, yUpF(H, 12, 19, 30, 26).translated(o), c.icon, cardIconFont(), VF::text());
            text(p, yUpF(H, 48, 34, L - 52, 15).translated(o), c.title, Fonts::scaledFont(11, QFont::Bold), alpha(c.color, 0.9));
            text(p, yUpF(H, 48, 12, L - 52, 14).translated(o), c.figure, Fonts::scaledFont(10), VF::sub());
            break;
        }
        }
    }
}

QList<EmojiPrep::Text> StatsContentView::emojiShown() {
    QList<EmojiPrep::Text> out;
    for (const QString &e : StatsText::rowEmoji()) out.append({e, rowEmojiFont()});
    for (const QString &e : StatsText::cardIcons()) out.append({e, cardIconFont()});
    return out;
}
