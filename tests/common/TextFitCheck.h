#pragma once
// Finds texts that do not fit their frame: a label or button whose line is wider or taller than the
// widget and that does not elide it (the kit's widgets elide with "…" and carry the full text in the
// tool tip). A button's title must fit whole at font scale 1.0, elided or not. Header only: it needs
// widgets, the test-support library does not.
#include "ui/TextFit.h"
#include <QAbstractButton>
#include <QCheckBox>
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

inline bool elides(const QWidget *w) {
    return w->property(TextFit::kElidesProperty).toBool();
}

inline void checkLine(QList<CutText> &out, QWidget *w, const QString &text, const QFont &font, double availW,
                      double availH, bool widthMayElide) {
    const QFontMetricsF fm(font);
    const QSizeF need(fm.horizontalAdvance(text), fm.height());
    CutText c{QString::fromLatin1(w->metaObject()->className()), w->objectName(), text, {}, need, w->size()};
    if (need.width() > availW + kSlack && !widthMayElide) {
        c.problem = elides(w) ? QStringLiteral("button title elided at font scale 1.0")
                              : QStringLiteral("wider than its frame");
        out << c;
    } else if (need.height() > availH + kSlack) {
        c.problem = QStringLiteral("taller than its frame");
        out << c;
    }
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
            else if (!elides(b))
                availW -= 2 * b->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, b);
            // A kit button says whether its last paint had to elide (its title keeps clear of the corners).
            if (buttonsMustFitWhole && b->property(TextFit::kElidedProperty).toBool()) availW = 0;
            checkLine(out, b, text.remove(QLatin1Char('&')), b->font(), availW, b->height(),
                      elides(b) && !buttonsMustFitWhole);
        }
    }
    return out;
}
} // namespace TextFitCheck
