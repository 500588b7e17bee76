#include "ui/Makers.h"
#include "ui/DisplayText.h"
#include "ui/RoundedCard.h"

#include "ui/Fonts.h"
#include "ui/TextFit.h"
#include "ui/Theme.h"
#include <QEvent>
#include <QFontMetricsF>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <algorithm>
#include <cmath>

namespace {
constexpr char kLookProp[] = "mivoHdrLook";
constexpr double kRadius = 8;
// The title keeps clear of the rounded corners.
constexpr double kTextInset = 4;

QColor grey(double level, double alpha) {
    return QColor::fromRgbF(float(level), float(level), float(level), float(alpha));
}

QLabel *plainLabel(const QFont &font, const QColor &color) {
    auto *l = new FitLabel;
    // Labels show titles and notes the user typed: "<b>" is text, not markup.
    l->setTextFormat(Qt::PlainText);
    l->setFont(font);
    l->setAlignment(Qt::AlignCenter);
    l->setFrameShape(QFrame::NoFrame);
    l->setAutoFillBackground(false);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, color);
    l->setPalette(p);
    return l;
}

// Header buttons are painted here rather than through a style sheet, so restyling a button costs
// nothing and the look is the same under every Qt style.
class HdrBtnPainter : public QObject {
public:
    static HdrBtnPainter *instance() {
        static HdrBtnPainter *p = new HdrBtnPainter;
        return p;
    }

protected:
    bool eventFilter(QObject *o, QEvent *e) override {
        if (e->type() != QEvent::Paint) return false;
        auto *b = qobject_cast<QPushButton *>(o);
        if (!b || !b->property(kLookProp).isValid()) return false;
        const HdrBtnLook look = hdrBtnLook(b);
        QPainter p(b);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r = QRectF(b->rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        RoundedCard::paint(p, r, kRadius, look.background);
        if (b->isDown())
            RoundedCard::paint(p, r, kRadius, grey(0.5, 0.12)); // the press shows as the platform's would
        RoundedCard::paint(p, r, kRadius, Qt::transparent, look.border, 1);
        p.setPen(b->isEnabled() ? look.tint : grey(0.5, 0.5));
        p.setFont(b->font());
        TextFit::drawText(p, b, QRectF(b->rect()).adjusted(kTextInset, 0, -kTextInset, 0), Qt::AlignCenter,
                          b->text());
        return true;
    }
};
} // namespace

QLabel *mkLbl(double size, QFont::Weight weight, double alpha) {
    const double level = VF::theme() == AppTheme::dark ? 1.0 : 0.0;
    return plainLabel(Fonts::plainFont(size, weight), grey(level, alpha));
}

QLabel *mkMono(double size, QFont::Weight weight) {
    const bool dark = VF::theme() == AppTheme::dark;
    return plainLabel(Fonts::monoDigits(size, weight, false), dark ? grey(1.0, 0.9) : grey(0.0, 0.88));
}

QFont hdrBtnFont(bool primary) { return Fonts::scaledFont(12, primary ? QFont::DemiBold : QFont::Medium); }

QPushButton *makeHdrBtn(QPushButton *button, const QString &title, bool primary, QWidget *parent) {
    button->setText(title);
    button->setFont(hdrBtnFont(primary));
    button->setFocusPolicy(Qt::NoFocus);
    QColor bg = VF::accent(), border = VF::accent();
    bg.setAlphaF(0.15f);
    border.setAlphaF(0.45f);
    const HdrBtnLook look = primary ? HdrBtnLook{VF::accent(), bg, border, true}
                                    : HdrBtnLook{VF::sub(), grey(1.0, 0.06), grey(1.0, 0.18), false};
    button->setProperty(kLookProp, QVariantList{QVariant(look.tint), QVariant(look.background),
                                                QVariant(look.border), QVariant(look.primary)});
    button->removeEventFilter(HdrBtnPainter::instance());
    button->installEventFilter(HdrBtnPainter::instance());
    button->update();
    QWidget *target = parent ? parent : button->parentWidget();
    if (target) {
        if (button->parentWidget() != target) button->setParent(target);
        button->raise();
        button->show();
    }
    return button;
}

int hdrBtnWidth(const QPushButton *button, int minimum) {
    const double need = QFontMetricsF(button->font()).horizontalAdvance(button->text()) + 2 * kTextInset + 8;
    return std::max(minimum, int(std::ceil(need)));
}

QLabel *mkText(QWidget *parent, const QString &text, double size, QFont::Weight weight, const QColor &color,
               Qt::Alignment align) {
    QLabel *l = plainLabel(Fonts::scaledFont(size, weight), color);
    l->setAlignment(align);
    l->setText(DisplayText::cut(text)); // a label shows a few lines at most: it never lays out more
    if (parent) l->setParent(parent);
    return l;
}

HdrBtnLook hdrBtnLook(const QPushButton *button) {
    const QVariantList v = button->property(kLookProp).toList();
    if (v.size() != 4) return {};
    return {v[0].value<QColor>(), v[1].value<QColor>(), v[2].value<QColor>(), v[3].toBool()};
}
