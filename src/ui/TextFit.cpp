#include "ui/TextFit.h"
#include "ui/EmojiText.h"

#include "ui/DisplayText.h"
#include "ui/Fonts.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QAbstractButton>
#include <QLayout>
#include <QPainter>
#include <QStyle>
#include <cmath>

namespace {
constexpr char kAutoTipProperty[] = "mivoAutoTip";
// Sub-pixel differences between measuring and drawing are not a cut glyph.
constexpr double kSlackPx = 0.5;

void setAutoTip(QWidget *w, bool elided, const QString &text) {
    const bool hadAuto = w->property(kAutoTipProperty).toBool();
    if (elided) {
        if (w->toolTip().isEmpty() || hadAuto) {
            if (w->toolTip() != text) w->setToolTip(text);
            w->setProperty(kAutoTipProperty, true);
        }
    } else if (hadAuto) {
        w->setToolTip(QString());
        w->setProperty(kAutoTipProperty, false);
    }
}
} // namespace

namespace TextFit {
bool drawText(QPainter &p, QWidget *w, const QRectF &r, int alignment, const QString &whole) {
    // Measured, drawn and shown in the tool tip as cut for display: never measured whole.
    const QString text = DisplayText::cut(whole);
    const QFontMetricsF fm(p.font());
    // A text with emoji that surely fits is not measured: measuring decodes each emoji's picture, which
    // the draw then decodes again (most of a page's first show where its labels hold emoji).
    bool elided = !text.contains(QLatin1Char('\n')) && !EmojiText::surelyFits(p.font(), text, r.width()) &&
                  EmojiText::advance(p.font(), text) > r.width() + kSlackPx;
    QString shown = elided ? fm.elidedText(text, Qt::ElideRight, r.width()) : text;
    if (elided && shown.size() <= 1) {
        // Nothing but "…" would be left (an icon in a narrow frame): draw it whole, smaller.
        p.save();
        p.setFont(Fonts::shrunkToFit(p.font(), text, r.width()));
        EmojiText::draw(p, r, alignment | Qt::TextSingleLine, text);
        p.restore();
        if (w) {
            w->setProperty(kElidesProperty, true);
            w->setProperty(kElidedProperty, false);
            setAutoTip(w, false, text);
        }
        return false;
    }
    EmojiText::draw(p, r, alignment | Qt::TextSingleLine, shown);
    if (w) {
        w->setProperty(kElidesProperty, true);
        w->setProperty(kElidedProperty, elided);
        setAutoTip(w, elided, text);
    }
    return elided;
}

// Asked by every label placed by hand at each resize and show: measured once per font.
int lineHeight(const QFont &font) {
    return int(std::ceil(EmojiText::height(font) - 0.01));
}

namespace {
// The horizontal span a sibling really uses: a label only where its text lies.
std::pair<double, double> usedSpan(const QWidget *w) {
    const QRect g = w->geometry();
    auto *l = qobject_cast<const QLabel *>(w);
    if (!l || !l->pixmap().isNull() || l->wordWrap() || l->textFormat() == Qt::RichText) return {g.left(), g.right() + 1};
    const QRect cr = l->contentsRect().translated(g.topLeft());
    const double adv =
        std::min<double>(cr.width(), QFontMetricsF(l->font()).horizontalAdvance(DisplayText::cut(l->text())) + 1);
    const Qt::Alignment a = QStyle::visualAlignment(l->layoutDirection(), l->alignment());
    if (a & Qt::AlignRight) return {cr.right() + 1 - adv, cr.right() + 1};
    if (a & Qt::AlignHCenter) return {cr.center().x() - adv / 2, cr.center().x() + adv / 2};
    return {cr.left(), cr.left() + adv};
}
} // namespace

int growIntoRow(QAbstractButton *b, Qt::Edge grow, double inset, int gap) {
    QWidget *parent = b->parentWidget();
    if (!parent) return 0;
    const QRect g = b->geometry();
    const double need =
        std::ceil(QFontMetricsF(b->font()).horizontalAdvance(DisplayText::cut(b->text())) + 2 * inset);
    if (need <= g.width()) return 0;
    const bool left = grow == Qt::LeftEdge;
    double limit = left ? gap : parent->width() - gap; // how far the free edge may move
    QList<QWidget *> rowMates;
    for (QWidget *w : parent->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (w == b || (w->isHidden() && w->testAttribute(Qt::WA_WState_ExplicitShowHide))) continue;
        const QRect o = w->geometry();
        if (o.bottom() < g.top() || o.top() > g.bottom()) continue; // not in this row
        const auto [from, to] = usedSpan(w);
        if (left && from < g.left()) limit = std::max(limit, std::min(to, double(g.left())) + gap);
        if (!left && to > g.right() + 1) limit = std::min(limit, std::max(from, double(g.right() + 1)) - gap);
        rowMates << w;
    }
    const int room = left ? g.left() - int(std::ceil(limit)) : int(std::floor(limit)) - (g.right() + 1);
    const int gain = std::clamp(int(need) - g.width(), 0, std::max(room, 0));
    if (gain == 0) return 0;
    const QRect ng = left ? g.adjusted(-gain, 0, 0, 0) : g.adjusted(0, 0, gain, 0);
    b->setGeometry(ng);
    // A label whose frame ran on under the button ends where the button begins (its text already did).
    for (QWidget *w : rowMates) {
        auto *l = qobject_cast<QLabel *>(w);
        if (!l || !l->geometry().intersects(ng)) continue;
        QRect lg = l->geometry();
        if (left && lg.left() < ng.left()) lg.setRight(ng.left() - gap);
        if (!left && lg.right() > ng.right()) lg.setLeft(ng.right() + 1 + gap);
        l->setGeometry(lg);
    }
    return gain;
}
} // namespace TextFit

FitLabel::FitLabel(QWidget *parent) : QLabel(parent) {
    setProperty(TextFit::kElidesProperty, true);
}
FitLabel::FitLabel(const QString &text, QWidget *parent) : FitLabel(parent) {
    setText(text);
}

void FitLabel::paintEvent(QPaintEvent *e) {
    const bool plain =
        textFormat() == Qt::PlainText || (textFormat() == Qt::AutoText && !Qt::mightBeRichText(text()));
    if (!plain || wordWrap() || text().contains(QLatin1Char('\n')) || !pixmap().isNull()) {
        elided_ = false;
        QLabel::paintEvent(e);
        return;
    }
    QPainter p(this);
    p.setFont(font());
    QRectF r = contentsRect();
    const double m = margin() + std::max(0, indent());
    r.adjust(m, m, -m, -m);
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
    elided_ =
        TextFit::drawText(p, this, r, int(QStyle::visualAlignment(layoutDirection(), alignment())), text());
}

void FitLabel::resizeEvent(QResizeEvent *e) {
    QLabel::resizeEvent(e);
    growToLineHeight();
}

// A hidden label gets its resize event only when shown.
void FitLabel::showEvent(QShowEvent *e) {
    QLabel::showEvent(e);
    growToLineHeight();
}

void FitLabel::changeEvent(QEvent *e) {
    QLabel::changeEvent(e);
    if (e->type() == QEvent::FontChange) growToLineHeight();
}

// A frame set by hand that is lower than the line would cut the descenders (or the tops): grow it
// about its centre. Labels placed by a layout get their height from it.
void FitLabel::growToLineHeight() {
    if (QWidget *pw = parentWidget(); pw && pw->layout() && pw->layout()->indexOf(this) >= 0) return;
    const int need =
        TextFit::lineHeight(font()) + 2 * margin() + contentsMargins().top() + contentsMargins().bottom();
    if (height() >= need || width() <= 0) return;
    const int grow = need - height();
    setGeometry(x(), y() - grow / 2, width(), need);
}
