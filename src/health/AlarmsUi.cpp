#include "health/AlarmsUi.h"

#include "ui/DisplayText.h"
#include "ui/Geometry.h"
#include "ui/Lang.h"
#include "ui/Makers.h"
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTextLayout>
#include <cmath>

namespace AlarmsUi {
namespace {
constexpr char kFullText[] = "mivoFullText";
constexpr int kButtonPadding = 16;

// The text broken into at most maxLines lines of width w, the last one cut with "…".
QString fitLines(const QString &text, const QFont &font, int w, int maxLines, bool *cut) {
    const QFontMetrics fm(font);
    *cut = false;
    if (maxLines <= 1 || w <= 0) {
        const QString shown = fm.elidedText(DisplayText::cut(text), Qt::ElideRight, std::max(w, 0));
        *cut = shown != text;
        return shown;
    }
    QTextLayout layout(text, font);
    layout.beginLayout();
    QStringList lines;
    qsizetype used = 0;
    while (int(lines.size()) < maxLines - 1) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(w);
        lines << text.mid(line.textStart(), line.textLength()).trimmed();
        used = line.textStart() + line.textLength();
    }
    layout.endLayout();
    const QString rest = text.mid(used).trimmed();
    if (!rest.isEmpty()) {
        const QString last = fm.elidedText(DisplayText::cut(rest), Qt::ElideRight, w);
        *cut = last != rest;
        lines << last;
    }
    return lines.join(QLatin1Char('\n'));
}
} // namespace

QLabel *label(QWidget *parent, const QFont &font, const QColor &color, Qt::Alignment align) {
    QLabel *l = mkLbl(font.pixelSize(), QFont::Weight(font.weight()), 1.0);
    l->setParent(parent);
    l->setFont(font);
    l->setAlignment(align);
    colour(l, color);
    return l;
}

void colour(QLabel *l, const QColor &c) {
    QPalette p = l->palette();
    if (p.color(QPalette::WindowText) == c) return;
    p.setColor(QPalette::WindowText, c);
    l->setPalette(p);
}

QRect fitHeight(const QRect &r, const QFont &font, int lines, bool keepTop) {
    const QFontMetrics fm(font);
    // Emoji fall back to a colour font whose lines run a little taller than the text font's.
    const int need = int(std::ceil(fm.height() * 1.1)) + (lines - 1) * fm.lineSpacing();
    if (r.height() >= need) return r;
    if (keepTop) return QRect(r.x(), r.y(), r.width(), need);
    return QRect(r.x(), r.center().y() - need / 2, r.width(), need);
}

void place(QLabel *l, double parentH, double x, double y, double w, double h, int lines, bool keepTop) {
    l->setGeometry(fitHeight(yUp(parentH, x, y, w, h), l->font(), lines, keepTop));
}

void setFitText(QLabel *l, const QString &text, int maxLines) {
    if (l->property(kFullText).toString() == text && l->property("mivoFitW").toInt() == l->width()) return;
    bool cut = false;
    l->setWordWrap(maxLines > 1);
    l->setText(fitLines(text, l->font(), l->contentsRect().width(), maxLines, &cut));
    l->setToolTip(cut ? text : QString());
    l->setProperty(kFullText, text);
    l->setProperty("mivoFitW", l->width());
}

void setFitTitle(QPushButton *b, const QString &title) {
    if (b->property(kFullText).toString() == title && b->property("mivoFitW").toInt() == b->width()) return;
    const QString shown =
        b->fontMetrics().elidedText(DisplayText::cut(title), Qt::ElideRight, std::max(0, b->width() - kButtonPadding));
    b->setText(shown);
    b->setToolTip(shown != title ? title : QString());
    b->setProperty(kFullText, title);
    b->setProperty("mivoFitW", b->width());
}
QString addAlarmText() {
    return QStringLiteral("＋  ") + L::t({.en = "Add alarm",
                                          .es = "Añadir alarma",
                                          .de = "Alarm hinzufügen",
                                          .fr = "Ajouter une alarme",
                                          .uk = "Додати нагадування",
                                          .pl = "Dodaj alarm"});
}

RoundBox::RoundBox(const QColor &fill, const QColor &border, double radius, double borderW, QWidget *parent)
    : QWidget(parent), fill_(fill), border_(border), radius_(radius), borderW_(borderW) {}

void RoundBox::setColors(const QColor &fill, const QColor &border) {
    if (fill == fill_ && border == border_) return;
    fill_ = fill;
    border_ = border;
    update();
}

void RoundBox::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    const double inset = borderW_ / 2;
    path.addRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), radius_, radius_);
    p.fillPath(path, fill_);
    if (borderW_ > 0 && border_.alpha() > 0) {
        p.setPen(QPen(border_, borderW_));
        p.drawPath(path);
    }
}
} // namespace AlarmsUi
