#pragma once
#include <QLabel>
#include <QString>

// Small placement helpers of the finance page's views.
namespace FinUi {
// Shows text in the label, cut with "…" at the label's width when it does not fit (the whole text
// then in the tooltip). Call again after a resize: the full text is kept on the label.
void setElided(QLabel *label, const QString &text);
void reElide(QLabel *label);
// A frame given y-up in a parent of height parentH, grown downward to at least the label font's
// line height so no glyph is cut at larger font scales.
void placeText(QWidget *w, double parentH, double x, double y, double width, double height);
} // namespace FinUi
