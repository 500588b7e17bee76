#include "ui/TextFit.h"

#include "ui/Fonts.h"

#include <QEvent>
#include <QFontMetricsF>
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
bool drawText(QPainter &p, QWidget *w, const QRectF &r, int alignment, const QString &text) {
    const QFontMetricsF fm(p.font());
    bool elided = !text.contains(QLatin1Char('\n')) && fm.horizontalAdvance(text) > r.width() + kSlackPx;
    QString shown = elided ? fm.elidedText(text, Qt::ElideRight, r.width()) : text;
    if (elided && shown.size() <= 1) {
        // Nothing but "…" would be left (an icon in a narrow frame): draw it whole, smaller.
        p.save();
        p.setFont(Fonts::shrunkToFit(p.font(), text, r.width()));
        p.drawText(r, alignment | Qt::TextSingleLine, text);
        p.restore();
        if (w) {
            w->setProperty(kElidesProperty, true);
            w->setProperty(kElidedProperty, false);
            setAutoTip(w, false, text);
        }
        return false;
    }
    p.drawText(r, alignment | Qt::TextSingleLine, shown);
    if (w) {
        w->setProperty(kElidesProperty, true);
        w->setProperty(kElidedProperty, elided);
        setAutoTip(w, elided, text);
    }
    return elided;
}

int lineHeight(const QFont &font) {
    return int(std::ceil(QFontMetricsF(font).height() - 0.01));
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
