#pragma once
// What the render walks check beyond fit: that every control's font follows the font scale, and
// that every text reads against what is drawn behind it.
#include "ui/Fonts.h"
#include "ui/Theme.h"
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QStyledItemDelegate>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>
#include <typeinfo>

namespace LookChecks {
// A control that shows text: its font is what a user reads.
inline bool showsText(const QWidget *w) {
    if (auto *l = qobject_cast<const QLabel *>(w)) return !l->text().isEmpty() && l->pixmap().isNull();
    if (auto *b = qobject_cast<const QAbstractButton *>(w)) return !b->text().isEmpty();
    return qobject_cast<const QLineEdit *>(w) || qobject_cast<const QAbstractSpinBox *>(w) ||
           qobject_cast<const QComboBox *>(w) || qobject_cast<const QTextEdit *>(w) ||
           qobject_cast<const QPlainTextEdit *>(w) || qobject_cast<const QAbstractItemView *>(w);
}

inline QString describe(const QWidget *w) {
    QString text;
    if (auto *l = qobject_cast<const QLabel *>(w)) text = l->text();
    else if (auto *b = qobject_cast<const QAbstractButton *>(w)) text = b->text();
    else if (auto *c = qobject_cast<const QComboBox *>(w)) text = c->currentText();
    return QStringLiteral("%1 \"%2\" (%3)")
        .arg(QString::fromLatin1(w->metaObject()->className()), text.left(40),
             w->objectName().isEmpty() ? QStringLiteral("unnamed") : w->objectName());
}

// Every control under root whose font ignores the font scale: at a scale other than 1.0, a font of
// the platform's default size (the application font at scale 1.0) is one nobody scaled (a pop-up
// given such a font draws about a third smaller than the scaled fields beside it at 1.3).
inline QStringList findUnscaledFonts(QWidget *root, double scale) {
    QStringList out;
    if (std::abs(scale - 1.0) < 0.01) return out;
    const double plain = Fonts::appPointSize();
    for (QWidget *w : root->findChildren<QWidget *>()) {
        if (!w->isVisibleTo(root->window()) || !showsText(w) || w->property(Fonts::kFixedSizeProperty).toBool())
            continue;
        // A list or table painted by a delegate of its own draws in the delegate's fonts.
        if (auto *v = qobject_cast<QAbstractItemView *>(w); v && !qobject_cast<QHeaderView *>(w) && v->itemDelegate() &&
                                                            typeid(*v->itemDelegate()) != typeid(QStyledItemDelegate))
            continue;
        // A text view draws in its document's font, whatever the widget's.
        QFont font = w->font();
        if (auto *t = qobject_cast<QTextEdit *>(w)) font = t->document()->defaultFont();
        if (auto *t = qobject_cast<QPlainTextEdit *>(w)) font = t->document()->defaultFont();
        if (std::abs(font.pointSizeF() - plain) < 0.01)
            out << describe(w) + QStringLiteral(": font %1 pt, the unscaled default").arg(w->font().pointSizeF());
    }
    return out;
}
} // namespace LookChecks
