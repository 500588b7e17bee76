#include "exercises/RunnerContentView.h"
#include "ui/DisplayText.h"
#include "ui/TextFit.h"

#include "exercises/BreathingCircleView.h"
#include "exercises/ExerciseAnimView.h"
#include "exercises/RunnerDotsView.h"
#include "exercises/RunnerLogic.h"
#include "exercises/RunnerTexts.h"
#include "ui/Fonts.h"
#include "ui/Geometry.h"
#include "ui/Makers.h"
#include "ui/RingView.h"
#include "ui/Theme.h"
#include "ui/TintButton.h"
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

namespace {
QLabel *plain(QWidget *parent, const QFont &f, const QColor &c) {
    auto *l = new FitLabel(parent);
    l->setAlignment(Qt::AlignCenter);
    l->setFont(f);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, c);
    l->setPalette(pal);
    return l;
}
QColor alpha(QColor c, double a) {
    c.setAlphaF(float(a));
    return c;
}
TintButton *neutral(const QString &title, double size, QFont::Weight w, QWidget *parent) {
    auto *b = new TintButton(title, VF::sub(), 0.25, 1, 8, parent);
    b->setLook(VF::sub(), alpha(VF::border(), VF::border().alphaF() * 0.25), VF::border());
    b->setFont(Fonts::scaledFont(size, w));
    return b;
}
} // namespace

void RunnerImageView::paintEvent(QPaintEvent *) {
    if (img_.isNull() || width() <= 0 || height() <= 0) return;
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QSizeF s = QSizeF(img_.size()).scaled(size(), Qt::KeepAspectRatio);
    p.drawImage(QRectF((width() - s.width()) / 2, (height() - s.height()) / 2, s.width(), s.height()), img_);
}

RunnerContentView::RunnerContentView(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("runnerContent"));
    accentStrip = new QWidget(this);
    accentStrip->setAutoFillBackground(true);
    emojiLbl = plain(this, Fonts::plainFont(40), VF::text());
    queueLbl = mkLbl(10, QFont::Medium, 0.5);
    queueLbl->setParent(this);
    progressRing = new RingView(this);
    timeLbl = mkMono(52, QFont::Thin);
    timeLbl->setParent(this);
    stepNameLbl = mkLbl(18, QFont::Bold, 0.85);
    stepNameLbl->setParent(this);
    instrLbl = plain(this, Fonts::scaledFont(14), VF::sub());
    instrLbl->setWordWrap(true);
    stepNumLbl = mkLbl(11, QFont::DemiBold, 0.35);
    stepNumLbl->setParent(this);
    dotsView = new RunnerDotsView(this);
    imageView = new RunnerImageView(this);
    imageView->hide();
    breatheView = new BreathingCircleView(this);
    breatheView->hide();
    exerciseAnim = new ExerciseAnimView(this);
    exerciseAnim->hide();
    ytCard = new QWidget(this);
    ytCard->setObjectName(QStringLiteral("ytCard"));
    ytCard->hide();
    ytIconLbl = plain(ytCard, Fonts::scaledFont(42), QColor::fromRgbF(0.95f, 0.15f, 0.15f));
    ytIconLbl->setText(QStringLiteral("▶"));
    ytTitleLbl = plain(ytCard, Fonts::scaledFont(15, QFont::DemiBold), VF::text());
    ytSubLbl = plain(ytCard, Fonts::scaledFont(11.5), VF::sub());
    const QColor red = QColor::fromRgbF(0.95f, 0.15f, 0.15f);
    ytOpenBtn = new TintButton(QStringLiteral("🔗 ") + RunnerTexts::cardButton(), red, 0.12, 0.35, 8, ytCard);
    ytOpenBtn->setFont(Fonts::scaledFont(12, QFont::Medium));
    startPauseBtn = new TintButton(QString(), VF::accent(), 0.15, 0.45, 8, this);
    startPauseBtn->setFont(Fonts::scaledFont(14, QFont::DemiBold));
    startPauseBtn->setObjectName(QStringLiteral("startPauseButton"));
    nextBtn = neutral(QStringLiteral("⏭ ") + RunnerTexts::next(), 13, QFont::Medium, this);
    nextBtn->setObjectName(QStringLiteral("nextButton"));
    closeBtn = neutral(RunnerTexts::close(), 12, QFont::Normal, this);
    closeBtn->setObjectName(QStringLiteral("closeButton"));
    resize(560, 720);
    layoutChildren();
    setFitted(ytTitleLbl, RunnerTexts::cardTitle());
    setFitted(ytSubLbl, RunnerTexts::cardSubtitle());
}

void RunnerContentView::setFitted(QLabel *label, const QString &text) {
    label->setProperty("fullText", text);
    const int w = label->width() - 4;
    if (label->wordWrap() || w <= 0) {
        label->setText(text);
        label->setToolTip(QString());
        return;
    }
    const QString shown = QFontMetrics(label->font()).elidedText(DisplayText::cut(text), Qt::ElideRight, w);
    label->setText(shown);
    label->setToolTip(shown == text ? QString() : text);
}

void RunnerContentView::fitWrapped(QLabel *l) {
    QVariant base = l->property("designedPx");
    if (!base.isValid()) {
        base = l->font().pixelSize() > 0 ? double(l->font().pixelSize()) : l->font().pointSizeF();
        l->setProperty("designedPx", base);
    }
    QFont f = l->font();
    const bool px = f.pixelSize() > 0;
    for (double size = base.toDouble(); size >= 7; size -= 0.5) {
        if (px)
            f.setPixelSize(int(size));
        else
            f.setPointSizeF(size);
        const QRect r = QFontMetrics(f).boundingRect(QRect(0, 0, std::max(1, l->width()), 100000),
                                                     Qt::TextWordWrap | Qt::AlignHCenter, l->text());
        if (r.height() <= l->height()) break;
    }
    l->setFont(f);
}

void RunnerContentView::fitButton(TintButton *b) {
    QVariant base = b->property("designedPt");
    if (!base.isValid()) {
        base = b->font().pointSizeF() > 0 ? b->font().pointSizeF() : double(b->font().pixelSize());
        b->setProperty("designedPt", base);
    }
    QFont f = b->font();
    const bool px = f.pointSizeF() <= 0;
    double size = base.toDouble();
    for (; size > 6; size -= 0.5) {
        if (px)
            f.setPixelSize(int(size));
        else
            f.setPointSizeF(size);
        if (QFontMetrics(f).horizontalAdvance(b->text()) + 10 <= b->width()) break;
    }
    b->setFont(f);
}

// The link card's background: near-black red in the dark theme; in the light themes the theme's card
// colour with a red wash, so the title and subtitle, in the theme's text colours, stay readable.
QColor RunnerContentView::linkCardFill() {
    if (VF::theme() == AppTheme::dark) return QColor::fromRgbF(0.1f, 0.04f, 0.04f);
    const QColor c = VF::card();
    constexpr float kWash = 0.07f;
    return QColor::fromRgbF(c.redF() * (1 - kWash) + 0.95f * kWash, c.greenF() * (1 - kWash) + 0.15f * kWash,
                            c.blueF() * (1 - kWash) + 0.15f * kWash);
}

void RunnerContentView::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.fillRect(rect(), VF::bg());
    if (ytCard->isVisible()) {
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(ytCard->geometry()).adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
        p.fillPath(path, linkCardFill());
        p.setPen(QPen(QColor::fromRgbF(0.8f, 0.1f, 0.1f, 0.5f), 1));
        p.drawPath(path);
    }
}

void RunnerContentView::resizeEvent(QResizeEvent *) {
    layoutChildren();
}

void RunnerContentView::layoutChildren() {
    const double W = width(), H = height();
    const RunnerLogic::RunnerLayout l = RunnerLogic::RunnerLayout::compute(W, H);
    if (!l.valid) return;
    const double R = l.ring, B = l.ringBottom, M = l.media;
    accentStrip->setGeometry(yUp(H, 0, H - 4, W, 4));
    emojiLbl->setFont(Fonts::plainFont(l.emojiFont));
    {
        // A colour emoji's line is taller than its point size: the frame grows to it about its centre.
        const double frameH = l.emojiFont + 6;
        const double h = std::max(frameH, double(TextFit::lineHeight(emojiLbl->font())));
        emojiLbl->setGeometry(yUp(H, 0, H - 4 - l.emojiFont - 10 - (h - frameH) / 2, W, h));
    }
    queueLbl->setGeometry(yUp(H, 0, H - 100, W, 14));
    progressRing->setGeometry(yUp(H, (W - R) / 2, B, R, R));
    progressRing->update();
    timeLbl->setFont(Fonts::monoDigits(l.timeFont, QFont::Thin, false));
    timeLbl->setGeometry(yUp(H, 0, B + R / 2 - l.timeFont / 2 - 4, W, l.timeFont + 8));
    stepNameLbl->setGeometry(yUp(H, 24, B - 32, W - 48, 24));
    instrLbl->setGeometry(yUp(H, 32, B - 80, W - 64, 46));
    stepNumLbl->setGeometry(yUp(H, 0, B - 96, W, 14));
    dotsView->setGeometry(yUp(H, 0, B - 112, W, 12));
    imageView->setGeometry(yUp(H, 0, 86, W, M));
    const QRect sq = yUp(H, (W - l.circle) / 2, 86 + (M - l.circle) / 2, l.circle, l.circle);
    breatheView->setGeometry(sq);
    exerciseAnim->setGeometry(sq);
    const double K = l.card;
    ytCard->setGeometry(yUp(H, 20, 86 + (M - K) / 2, W - 40, K));
    const double w = ytCard->width(), h = ytCard->height();
    ytIconLbl->setGeometry(yUp(h, 0, h - 60, w, 52));
    ytTitleLbl->setGeometry(yUp(h, 12, h - 86, w - 24, 22));
    ytSubLbl->setGeometry(yUp(h, 12, h - 108, w - 24, 18));
    ytOpenBtn->setGeometry(yUp(h, (w - 200) / 2, 12, 200, 28));
    startPauseBtn->setGeometry(yUp(H, (W - 234) / 2, 46, 134, 34));
    nextBtn->setGeometry(yUp(H, (W - 234) / 2 + 142, 46, 92, 34));
    closeBtn->setGeometry(yUp(H, (W - 88) / 2, 10, 88, 28));
    for (TintButton *b : {startPauseBtn, nextBtn, closeBtn, ytOpenBtn}) fitButton(b);
    fitWrapped(instrLbl);
    for (QLabel *lbl : {stepNameLbl, stepNumLbl, queueLbl, ytTitleLbl, ytSubLbl}) {
        const QVariant full = lbl->property("fullText");
        if (full.isValid()) setFitted(lbl, full.toString());
    }
}
