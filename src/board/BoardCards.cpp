#include "board/BoardCards.h"

#include "board/BoardUi.h"
#include "ui/Lang.h"
#include "ui/RoundedCard.h"
#include <QFontMetricsF>
#include <QPainterPath>

using namespace BoardUi;

StatCard::StatCard(TaskCat cat, QWidget *parent) : QWidget(parent), cat_(cat) {}

void StatCard::update(int done, int total, int pct) {
    done_ = done;
    total_ = total;
    pct_ = pct;
    QWidget::update();
}

void StatCard::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor cc = TaskCats::color(cat_);
    const double W = width(), H = height();
    RoundedCard::paint(p, QRectF(0.25, 0.25, W - 0.5, H - 0.5), 12, VF::card(),
                       alpha(cc, dark() ? 0.25 : 0.3), 0.5);
    // Frames as the design gives them, from the bottom edge up.
    p.setFont(Fonts::scaledFont(22));
    p.setPen(cc);
    drawFitted(p, QRectF(14, 14, 32, 28), TaskCats::bigIcon(cat_), Qt::AlignLeft | Qt::AlignVCenter);
    p.setFont(Fonts::scaledFont(10, QFont::DemiBold));
    p.setPen(VF::sub());
    drawFitted(p, QRectF(52, 32 - 16, W - 60, 16), TaskCats::display(cat_).toUpper(),
               Qt::AlignLeft | Qt::AlignVCenter);
    // At larger font scales the figures take the height they need; the fraction keeps clear of the
    // track below it, moving the lines above up into the figure's spare room where it must.
    const QFont pctFont = Fonts::scaledFont(32, QFont::Bold);
    const double pctH = std::max(38.0, QFontMetricsF(pctFont).ascent() + 4);
    const QFont fracFont = Fonts::scaledFont(11);
    const double fracH = std::max(16.0, QFontMetricsF(fracFont).height());
    const double trackTop = H - 10 - 6;
    const double fracTop = std::min(std::max(80.0, 44 + pctH - 2), trackTop - 2 - fracH);
    const double pctTop = std::min(44.0, fracTop + 2 - pctH);
    p.setFont(pctFont);
    p.setPen(cc);
    drawFitted(p, QRectF(14, pctTop, W - 28, pctH), pctText(), Qt::AlignLeft | Qt::AlignVCenter);
    p.setFont(fracFont);
    p.setPen(VF::muted());
    drawFitted(p, QRectF(16, fracTop, W - 28, fracH), fracText(), Qt::AlignLeft | Qt::AlignVCenter);
    const QRectF track(14, std::min(H - 8, std::max(trackTop, fracTop + fracH + 2)), W - 28, 6);
    QPainterPath tp;
    tp.addRoundedRect(track, 3, 3);
    p.fillPath(tp, dark() ? grey(1, 0.07) : grey(0, 0.08));
    if (pct_ > 0) {
        QPainterPath fp;
        fp.addRoundedRect(QRectF(track.x(), track.y(), track.width() * std::min(pct_, 100) / 100.0, 6), 3, 3);
        p.fillPath(fp, cc);
    }
}

ProgressTrack::ProgressTrack(QWidget *parent) : QWidget(parent) {}

void ProgressTrack::setRatio(double f) {
    ratio_ = std::clamp(f, 0.0, 1.0);
    update();
}

void ProgressTrack::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath tp;
    tp.addRoundedRect(QRectF(rect()), 4, 4);
    p.fillPath(tp, dark() ? grey(1, 0.07) : grey(0, 0.1));
    if (ratio_ > 0) {
        QPainterPath fp;
        fp.addRoundedRect(QRectF(0, 0, fillWidth(), height()), 4, 4);
        p.fillPath(fp, VF::accent());
    }
}

ColumnHeadings::ColumnHeadings(QWidget *parent) : QWidget(parent) {}

QStringList ColumnHeadings::texts() {
    QStringList out{L::t({.en = "DAY", .es = "DÍA", .de = "TAG", .fr = "JOUR", .uk = "ДЕНЬ", .pl = "DZIEŃ"})};
    for (TaskCat c : TaskCats::allCases)
        out << TaskCats::bigIcon(c) + QStringLiteral("  ") + TaskCats::display(c).toUpper();
    return out;
}

void ColumnHeadings::paintEvent(QPaintEvent *) {
    QPainter p(this);
    const double B = width(), H = height();
    p.fillRect(rect(), VF::hdrBg());
    p.fillRect(QRectF(0, H - 1, B, 1), VF::gridLine());
    const double c = (B - 72) * 0.25;
    const QStringList t = texts();
    p.setFont(Fonts::scaledFont(11, QFont::DemiBold));
    // y 8, height 16 from the bottom of the 32-point bar.
    const double top = H - 8 - 16;
    p.setPen(VF::sub());
    drawFitted(p, QRectF(10, top, 52, 16), t[0], Qt::AlignCenter);
    for (int i = 0; i < 4; ++i) {
        p.setPen(TaskCats::color(TaskCats::allCases[std::size_t(i)]));
        drawFitted(p, QRectF(72 + i * c + 10, top, std::max(0.0, c - 20), 16), t[i + 1],
                   Qt::AlignLeft | Qt::AlignVCenter);
    }
}
