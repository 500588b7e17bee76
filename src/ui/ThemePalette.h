#pragma once
#include <QPalette>

class QCheckBox;
class QWidget;

// The widget palette of the current theme: dark fields, buttons and tool tips in the dark theme, the
// style's light ones in the others; window colour, highlight and text from the theme. Windows of
// their own (dialogs, panels, alerts) take it from the application, so applyToApp() after a theme
// change reaches every field that does not choose its colours itself.
namespace ThemePalette {
QPalette make();
// The palette of check boxes: make(), with a square that stands out from dark windows.
QPalette checkBox();
// Gives box that palette whatever window it is shown in (with highlight as the tick's colour when
// valid). The application gives it to check boxes too, but a window's own palette overrides that.
void applyToCheckBox(QCheckBox *box, const QColor &highlight = QColor());
// Makes make() the application's palette (and so every window's); the main window calls it when it
// takes a theme.
void applyToApp();
// For a window built before or without the main window (alerts, tests): the theme's palette on it.
void applyTo(QWidget *window);
} // namespace ThemePalette
