#pragma once
// Finds texts that do not fit their frame: a label or button whose line is wider or taller than the
// widget and that does not elide it (the kit's widgets elide with "…" and carry the full text in the
// tool tip). A button's title must fit whole at font scale 1.0, elided or not. Header only: it needs
// widgets, the test-support library does not.
#include "ui/TextFit.h"
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QHash>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QTextEdit>
#include <QFontMetricsF>
#include <QLabel>
#include <QRadioButton>
#include <QStyle>
#include <QTextDocument>
#include <cmath>

struct CutText {
    QString className, objectName, text, problem;
    QSizeF need;
    QSize frame;
    QString describe() const {
        return QStringLiteral("%1 \"%2\" (%3): %4, needs %5×%6, frame %7×%8")
            .arg(className, text, objectName.isEmpty() ? QStringLiteral("unnamed") : objectName, problem)
            .arg(need.width(), 0, 'f', 1)
            .arg(need.height(), 0, 'f', 1)
            .arg(frame.width())
            .arg(frame.height());
    }
};

namespace TextFitCheck {
// Less than this is the difference between measuring and drawing, not a cut glyph.
inline constexpr double kSlack = 0.75;
// An elided text keeps at least this share of its characters, or this many.
inline constexpr double kKeepShare = 0.75;
inline constexpr qsizetype kKeepEnough = 16;

inline bool elides(const QWidget *w) {
    return w->property(TextFit::kElidesProperty).toBool();
}

// Whether a text elided ahead of time (its full text in the tool tip) keeps too little to be read.
inline bool keepsTooLittle(const QString &shown, const QString &full) {
    return shown.size() - 1 < std::min(qsizetype(full.size() * kKeepShare), kKeepEnough);
}

inline void checkLine(QList<CutText> &out, QWidget *w, const QString &text, const QFont &font, double availW,
                      double availH, bool widthMayElide) {
    const QFontMetricsF fm(font);
    if (const QString full = w->toolTip(); text.endsWith(QChar(0x2026)) && full.size() > text.size() &&
                                           keepsTooLittle(text, full)) {
        out << CutText{QString::fromLatin1(w->metaObject()->className()), w->objectName(), full,
                       QStringLiteral("elided too far to read (\"%1\")").arg(text), QSizeF(fm.horizontalAdvance(full), fm.height()),
                       w->size()};
        return;
    }
    const QSizeF need(fm.horizontalAdvance(text), fm.height());
    CutText c{QString::fromLatin1(w->metaObject()->className()), w->objectName(), text, {}, need, w->size()};
    if (need.width() > availW + kSlack && !widthMayElide) {
        c.problem = elides(w) ? QStringLiteral("button title elided at font scale 1.0")
                              : QStringLiteral("wider than its frame");
        out << c;
    } else if (need.height() > availH + kSlack) {
        c.problem = QStringLiteral("taller than its frame");
        out << c;
    } else if (need.width() > availW + kSlack) {
        // Elided, but a reader must still recognise it: "П…" for a title is as good as nothing.
        const QString shown = fm.elidedText(text, Qt::ElideRight, std::max(0.0, availW));
        if (keepsTooLittle(shown, text)) {
            c.problem = QStringLiteral("elided too far to read (\"%1\")").arg(shown);
            out << c;
        }
    }
}

// The colour that covers most of a region of an image (colours a few steps apart count as one).
inline QColor dominantColour(const QImage &img, const QRect &region) {
    QHash<QRgb, int> counts;
    const QRect r = region.intersected(img.rect());
    for (int y = r.top(); y <= r.bottom(); y += 2)
        for (int x = r.left(); x <= r.right(); x += 2) ++counts[img.pixel(x, y) & 0xF8F8F8];
    QRgb best = 0;
    int most = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > most) most = it.value(), best = it.key();
    return QColor(best);
}

// In the dark theme: the window, and every field, list, table or plain push button in it, whose
// background as drawn is light. One grab of the window shows what a user sees, whatever palette,
// style sheet or paint handler chose the colour.
inline QStringList findLightBackgrounds(QWidget *window) {
    constexpr double kLightest = 0.55; // HSL lightness; the theme's dark colours stay far below
    QStringList out;
    const QImage img = window->grab().toImage();
    const auto describe = [](QWidget *w, const QColor &c) {
        return QStringLiteral("%1 (%2): light background %3")
            .arg(QString::fromLatin1(w->metaObject()->className()),
                 w->objectName().isEmpty() ? QStringLiteral("unnamed") : w->objectName(), c.name());
    };
    if (const QColor c = dominantColour(img, img.rect()); c.lightnessF() > kLightest) out << describe(window, c);
    for (QWidget *w : window->findChildren<QWidget *>()) {
        if (!w->isVisibleTo(window) || w->width() < 8 || w->height() < 8) continue;
        const bool field = qobject_cast<QLineEdit *>(w) || qobject_cast<QAbstractSpinBox *>(w) ||
                           qobject_cast<QComboBox *>(w) || qobject_cast<QTextEdit *>(w) ||
                           qobject_cast<QPlainTextEdit *>(w) || qobject_cast<QAbstractItemView *>(w);
        auto *b = qobject_cast<QAbstractButton *>(w);
        const bool plainButton = b && !qobject_cast<QCheckBox *>(b) && !qobject_cast<QRadioButton *>(b);
        if (!field && !plainButton) continue;
        const QRect r(w->mapTo(window, QPoint(0, 0)), w->size());
        if (const QColor c = dominantColour(img, r.adjusted(3, 3, -3, -3)); c.lightnessF() > kLightest)
            out << describe(w, c);
    }
    return out;
}

// Walks every visible label and button under root.
inline QList<CutText> findCutTexts(QWidget *root, bool buttonsMustFitWhole) {
    QList<CutText> out;
    for (QWidget *w : root->findChildren<QWidget *>()) {
        if (!w->isVisibleTo(root->window()) || w->width() <= 0 || w->height() <= 0) continue;
        if (auto *l = qobject_cast<QLabel *>(w)) {
            const QString text = l->text();
            if (text.isEmpty() || !l->pixmap().isNull()) continue;
            const bool rich = l->textFormat() == Qt::RichText ||
                              (l->textFormat() == Qt::AutoText && Qt::mightBeRichText(text));
            const QRect cr = l->contentsRect().adjusted(l->margin(), l->margin(), -l->margin(), -l->margin());
            if (rich || l->wordWrap() || text.contains(QLatin1Char('\n'))) {
                QTextDocument doc;
                doc.setDefaultFont(l->font());
                doc.setDocumentMargin(0);
                if (rich)
                    doc.setHtml(text);
                else
                    doc.setPlainText(text);
                if (l->wordWrap()) doc.setTextWidth(cr.width());
                const QSizeF need = doc.size();
                if (need.height() > cr.height() + QFontMetricsF(l->font()).height() * 0.25 ||
                    (!l->wordWrap() && need.width() > cr.width() + kSlack))
                    out << CutText{QString::fromLatin1(l->metaObject()->className()),
                                   l->objectName(),
                                   text,
                                   QStringLiteral("text block larger than its frame"),
                                   need,
                                   l->size()};
                continue;
            }
            checkLine(out, l, text, l->font(), cr.width(), cr.height(), elides(l));
        } else if (auto *b = qobject_cast<QAbstractButton *>(w)) {
            QString text = b->text();
            if (text.isEmpty()) continue;
            double availW = b->width();
            if (qobject_cast<QCheckBox *>(b) || qobject_cast<QRadioButton *>(b))
                availW -= b->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, b) +
                          b->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, b);
            else if (!elides(b)) {
                // Where the style draws a push button's title.
                QStyleOptionButton opt;
                opt.initFrom(b);
                opt.text = b->text();
                if (auto *pb = qobject_cast<QPushButton *>(b); pb && pb->isDefault())
                    opt.features |= QStyleOptionButton::DefaultButton;
                availW = b->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, b).width();
            }
            // A kit button says whether its last paint had to elide (its title keeps clear of the corners).
            if (buttonsMustFitWhole && b->property(TextFit::kElidedProperty).toBool()) availW = 0;
            checkLine(out, b, text.remove(QLatin1Char('&')), b->font(), availW, b->height(),
                      elides(b) && !buttonsMustFitWhole);
        }
    }
    return out;
}
// Where a one-line label's glyphs are drawn, in its parent's coordinates: the ink of its text placed
// as the label aligns it, clipped to the label (a widget draws nothing outside itself). The glyphs'
// own box, not the font's line: a colour emoji comes from a font of its own and may reach beyond the
// line of the text font. Empty for labels that are not one line of plain text.
inline QRectF inkRect(const QLabel *l) {
    const QString text = l->text();
    if (text.isEmpty() || !l->pixmap().isNull() || l->wordWrap() || text.contains(QLatin1Char('\n')) ||
        l->textFormat() == Qt::RichText || (l->textFormat() == Qt::AutoText && Qt::mightBeRichText(text)))
        return {};
    const QFontMetricsF fm(l->font());
    const QRectF cr =
        QRectF(l->contentsRect()).adjusted(l->margin(), l->margin(), -l->margin(), -l->margin());
    const Qt::Alignment a = QStyle::visualAlignment(l->layoutDirection(), l->alignment());
    const double advance = fm.horizontalAdvance(text);
    const double x = (a & Qt::AlignRight)     ? cr.right() - advance
                     : (a & Qt::AlignHCenter) ? cr.center().x() - advance / 2
                                              : cr.left();
    const double top = (a & Qt::AlignTop)      ? cr.top()
                       : (a & Qt::AlignBottom) ? cr.bottom() - fm.height()
                                               : cr.top() + (cr.height() - fm.height()) / 2;
    const QRectF ink = fm.tightBoundingRect(text).translated(x, top + fm.ascent());
    return ink.intersected(QRectF(l->rect())).translated(l->pos());
}

// Every two labels side by side under one parent whose glyphs cover each other (an icon row drawn
// into the digits below it when the rows keep their heights at a larger font scale). Glyphs that
// share no more than half a pixel's row, or a pixel's column, only touch.
inline QStringList findOverlappingTexts(QWidget *root) {
    QStringList out;
    QHash<QWidget *, QList<std::pair<QLabel *, QRectF>>> byParent;
    for (QLabel *l : root->findChildren<QLabel *>()) {
        if (!l->isVisibleTo(root->window()) || l->width() <= 0 || l->height() <= 0) continue;
        if (const QRectF ink = inkRect(l); !ink.isEmpty()) byParent[l->parentWidget()] << std::pair{l, ink};
    }
    const auto name = [](const QLabel *l) {
        return QStringLiteral("\"%1\" (%2)")
            .arg(l->text(), l->objectName().isEmpty() ? QStringLiteral("unnamed") : l->objectName());
    };
    for (const auto &labels : std::as_const(byParent))
        for (qsizetype i = 0; i < labels.size(); ++i)
            for (qsizetype j = i + 1; j < labels.size(); ++j) {
                const QRectF both = labels[i].second.intersected(labels[j].second);
                if (both.width() > 1 && both.height() > 0.5)
                    out << QStringLiteral("%1 and %2: glyphs overlap by %3×%4")
                               .arg(name(labels[i].first), name(labels[j].first))
                               .arg(both.width(), 0, 'f', 1)
                               .arg(both.height(), 0, 'f', 1);
            }
    return out;
}
} // namespace TextFitCheck
