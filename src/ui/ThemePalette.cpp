#include "ui/ThemePalette.h"

#include "ui/Theme.h"
#include <QApplication>
#include <QCheckBox>
#include <QStyle>
#include <QWidget>

namespace ThemePalette {
QPalette make() {
    QPalette p = QApplication::style()->standardPalette();
    if (VF::theme() == AppTheme::dark) {
        // Fields a shade darker than cards, buttons a shade lighter, so both read on the window.
        const QColor text(235, 235, 235);
        p.setColor(QPalette::WindowText, text);
        p.setColor(QPalette::Base, QColor(22, 26, 22));
        p.setColor(QPalette::AlternateBase, QColor(34, 40, 34));
        p.setColor(QPalette::Text, text);
        p.setColor(QPalette::Button, QColor(40, 44, 40));
        p.setColor(QPalette::ButtonText, text);
        p.setColor(QPalette::BrightText, Qt::white);
        p.setColor(QPalette::Light, QColor(64, 70, 64));
        p.setColor(QPalette::Midlight, QColor(52, 58, 52));
        p.setColor(QPalette::Mid, QColor(36, 40, 36));
        p.setColor(QPalette::Dark, QColor(18, 20, 18));
        p.setColor(QPalette::Shadow, QColor(0, 0, 0));
        p.setColor(QPalette::ToolTipBase, QColor(40, 44, 40));
        p.setColor(QPalette::ToolTipText, text);
        p.setColor(QPalette::PlaceholderText, QColor(150, 150, 150));
        p.setColor(QPalette::HighlightedText, Qt::white);
        p.setColor(QPalette::Disabled, QPalette::Text, QColor(120, 120, 120));
        p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(120, 120, 120));
        p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(120, 120, 120));
        p.setColor(QPalette::Disabled, QPalette::Base, QColor(30, 34, 30));
        p.setColor(QPalette::Disabled, QPalette::Button, QColor(34, 38, 34));
    }
    p.setColor(QPalette::Window, VF::bg());
    p.setColor(QPalette::Highlight, VF::accent());
    return p;
}

QPalette checkBox() {
    QPalette p = make();
    if (VF::theme() == AppTheme::dark) {
        // The style outlines a check box's square in the window colour made darker, which on a dark
        // window is all but black: a light window colour (never painted behind a check box) gives a
        // light outline, and the square's fill stands a shade above the cards.
        p.setColor(QPalette::Window, QColor(200, 208, 200));
        p.setColor(QPalette::Base, QColor(40, 48, 40));
    }
    return p;
}

void applyToCheckBox(QCheckBox *box, const QColor &highlight) {
    if (!box) return;
    QPalette p = checkBox();
    if (highlight.isValid()) p.setColor(QPalette::Highlight, highlight);
    // Every role its own: a dialog's palette set on the window must not bring the dark outline back.
    p.setResolveMask(~QPalette::ResolveMask(0));
    box->setPalette(p);
}

void applyToApp() {
    QApplication::setPalette(make());
    QApplication::setPalette(checkBox(), "QCheckBox");
}

void applyTo(QWidget *window) {
    if (window) window->setPalette(make());
}
} // namespace ThemePalette
