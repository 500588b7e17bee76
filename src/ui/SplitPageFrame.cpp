#include "ui/SplitPageFrame.h"

#include "platform/Clock.h"
#include "ui/DraggableDivider.h"
#include "ui/Fonts.h"
#include "ui/Geometry.h"
#include "ui/Lang.h"
#include "ui/TextFit.h"
#include "ui/Theme.h"
#include "ui/UiKit.h"
#include <QEvent>
#include <QLabel>
#include <QScrollArea>
#include <algorithm>
#include <cmath>

namespace {
constexpr qint64 kClockMs = 1000;

// The y-up frame; with emojiRoom grown, about its centre, to the font's line and a tenth more for the
// taller lines of colour emoji (without, the label grows to its line by itself).
QRect fitted(const QLabel *l, bool emojiRoom, double parentH, double x, double y, double w, double h) {
    const QRect r = yUp(parentH, x, y, w, h);
    if (!emojiRoom) return r;
    const int need = int(std::ceil(QFontMetrics(l->font()).height() * 1.1));
    return r.height() >= need ? r : QRect(r.x(), r.center().y() - need / 2, r.width(), need);
}

QLabel *headerLabel(QWidget *page, const QFont &font, const QColor &color, Qt::Alignment align) {
    auto *l = new FitLabel(page);
    l->setTextFormat(Qt::PlainText);
    l->setFont(font);
    l->setAlignment(align);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, color);
    l->setPalette(p);
    return l;
}
} // namespace

double SplitPageFrame::listWidth(const ListRule &rule, double w, double frac) {
    return std::max(rule.minW, std::min(w * frac, w * rule.maxShare));
}

double SplitPageFrame::fractionForDrag(const ListRule &rule, double x, double w) {
    return std::max(rule.minW, std::min(x, std::min(rule.maxDragW, w * rule.maxShare))) / std::max(w, 1.0);
}

SplitPageFrame::SplitPageFrame(QWidget *page, const Style &style)
    : QObject(page), page_(page), style_(style), listFrac_(style.listFrac) {
    clockTimer_ = Clock::get().makeTicker(this);
    connect(clockTimer_, &Ticker::timeout, this, [this] { tickClock(); });
    page->installEventFilter(this);
}

bool SplitPageFrame::eventFilter(QObject *watched, QEvent *event) {
    if (watched == page_) {
        switch (event->type()) {
        case QEvent::Show:
            startClock();
            break;
        case QEvent::Hide:
            stopClock();
            break;
        case QEvent::Resize:
            layout();
            if (onRelayout) onRelayout();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void SplitPageFrame::build() {
    hdrBg_ = new QWidget(page_);
    UiKit::fillBackground(hdrBg_, VF::hdrBg());
    const auto left = Qt::AlignLeft | Qt::AlignVCenter, right = Qt::AlignRight | Qt::AlignVCenter;
    titleLbl_ = headerLabel(page_, titleFont(), VF::text(), left);
    subLbl_ = headerLabel(page_, Fonts::scaledFont(11.5), VF::sub(), left);
    clockLbl_ = headerLabel(page_, Fonts::monoDigits(22, QFont::Thin, style_.scaledClock), VF::text(), right);
    dateLbl_ = headerLabel(page_, Fonts::scaledFont(10, QFont::Medium), VF::sub(), right);

    listPanel_ = new QWidget(page_);
    UiKit::fillBackground(listPanel_, VF::bg());
    listScroll_ = UiKit::plainScrollArea(listPanel_);
    divider_ = new DraggableDivider(page_);
    QPointer<SplitPageFrame> self(this);
    divider_->onDrag = [self](double x) {
        if (!self) return;
        self->listFrac_ = fractionForDrag(self->style_.list, x, self->page_->width());
        self->layout();
        if (self->onRelayout) self->onRelayout();
    };
    detailHost_ = new QWidget(page_);
    detailHost_->setObjectName(QStringLiteral("detailHost"));
    UiKit::fillBackground(detailHost_, VF::bg());
}

void SplitPageFrame::layout() {
    if (!isBuilt()) return;
    const double W = page_->width(), H = page_->height(), hh = style_.headerH;
    const double listW = listWidth(style_.list, W, listFrac_);
    hdrBg_->setGeometry(yUp(H, 0, H - hh, W, hh));
    titleLbl_->setGeometry(fitted(titleLbl_, style_.emojiRoom, H, 20, H - 46, W * 0.45, 30));
    subLbl_->setGeometry(fitted(subLbl_, style_.emojiRoom, H, 20, H - 64, W * 0.45, 16));
    clockLbl_->setGeometry(fitted(clockLbl_, style_.emojiRoom, H, W - 200, H - 48, 180, 30));
    dateLbl_->setGeometry(fitted(dateLbl_, style_.emojiRoom, H, W - 200, H - 64, 180, 16));
    listPanel_->setGeometry(yUp(H, 0, 0, listW, H - hh));
    divider_->setGeometry(yUp(H, listW, 0, 5, H - hh));
    detailHost_->setGeometry(yUp(H, listW + 5, 0, W - listW - 5, H - hh));
    listScroll_->setGeometry(yUp(H - hh, 0, 0, listW, H - hh));
    tickClock();
}

QFont SplitPageFrame::titleFont() { return Fonts::scaledFont(22, QFont::Bold); }

void SplitPageFrame::setTitles(const QString &title, const QString &subtitle) {
    if (!isBuilt()) return;
    if (titleLbl_->text() != title) titleLbl_->setText(title);
    if (subLbl_->text() != subtitle) subLbl_->setText(subtitle);
}

void SplitPageFrame::tickClock() {
    if (!isBuilt()) return;
    const QDateTime now = Clock::get().now();
    const QTime t = now.time();
    const QString clock = QString::asprintf("%02d:%02d:%02d", t.hour(), t.minute(), t.second());
    if (clockLbl_->text() != clock) clockLbl_->setText(clock);
    const QString date = L::weekdayDayMonth(now.date(), L::lang()).toUpper();
    if (dateLbl_->text() != date) dateLbl_->setText(date);
}

void SplitPageFrame::startClock() {
    clockTimer_->stop();
    tickClock();
    if (page_->isVisible()) clockTimer_->start(kClockMs);
}

void SplitPageFrame::stopClock() { clockTimer_->stop(); }

bool SplitPageFrame::clockRunning() const { return clockTimer_->isActive(); }
