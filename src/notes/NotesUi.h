#pragma once
// Small drawing helpers and colours shared by the parts of the notes page (frame, text detail, table
// detail, find bar). Private to the page.
#include "ui/DisplayText.h"
#include "ui/CommonAlerts.h"
#include "ui/Fonts.h"
#include "ui/TintButton.h"
#include "ui/Lang.h"
#include "ui/Theme.h"
#include "ui/UiKit.h"
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <algorithm>

namespace NotesUi {
inline const QColor kNoteAccent = QColor::fromRgbF(0.5f, 0.78f, 1.0f);
inline const QColor kTableAccent = QColor::fromRgbF(0.2f, 0.72f, 0.42f);
inline const QColor kDeleteRed = QColor::fromRgbF(1.0f, 0.4f, 0.4f);

inline void fillBg(QWidget *w, const QColor &c) { UiKit::fillBackground(w, c); }

inline QLabel *label(QWidget *parent, const QString &text, double size, QFont::Weight weight, const QColor &color) {
    auto *l = new QLabel(text, parent);
    l->setFont(Fonts::scaledFont(size, weight));
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, color);
    l->setPalette(p);
    l->setTextFormat(Qt::PlainText);
    return l;
}

inline void elideTo(QLabel *l, const QString &whole) {
    const QString text = DisplayText::cut(whole);
    const QString shown = l->fontMetrics().elidedText(text, Qt::ElideRight, std::max(10, l->width()));
    l->setText(shown);
    l->setToolTip(shown == text ? QString() : text);
}

inline QPushButton *tintButton(QWidget *parent, const QString &title, const QColor &tint, double bgA, double brA,
                        QFont::Weight weight, double size = 12) {
    // The kit's button: a title too long for its frame is elided with "…" rather than cut.
    auto *b = new TintButton(title, tint, bgA, brA, 8, parent);
    b->setFont(Fonts::scaledFont(size, weight));
    return b;
}

inline QScrollArea *plainScroll(QWidget *parent, bool horizontal) {
    return UiKit::plainScrollArea(parent, false, horizontal);
}

inline QString trimmed(const QString &s) {
    int a = 0, b = int(s.size());
    while (a < b && (s.at(a) == u' ' || s.at(a) == u'\t')) ++a;
    while (b > a && (s.at(b - 1) == u' ' || s.at(b - 1) == u'\t')) --b;
    return s.mid(a, b - a);
}

inline QString deleteWord() {
    return L::t({.en = "Delete", .es = "Eliminar", .de = "Löschen", .fr = "Supprimer", .uk = "Видалити", .pl = "Usuń"});
}

// The detail's export button, also the title of the panel that names the exported file.
inline QString exportWord() {
    return L::t({.en = "Export", .es = "Exportar", .de = "Exportieren", .fr = "Exporter", .uk = "Експорт", .pl = "Eksportuj"});
}

inline QColor findBarBorder() {
    switch (VF::theme()) {
    case AppTheme::dark: return QColor::fromRgbF(1, 1, 1, 0.07f);
    case AppTheme::pink: return QColor::fromRgbF(0.85f, 0.55f, 0.65f, 0.25f);
    case AppTheme::mint: return QColor::fromRgbF(0.66f, 0.84f, 0.76f, 0.3f);
    default: return QColor::fromRgbF(0.6f, 0.68f, 0.8f, 0.3f);
    }
}
} // namespace NotesUi
