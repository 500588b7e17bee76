#pragma once
#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>
#include <QWidget>
#include "ui/UiKit.h"

class QLabel;
class QPushButton;

// Small building helpers of the reminders page and its sheet. Labels come from the UI kit's makers;
// these place them so that no glyph is lost: heights follow the font, single lines are cut with "…"
// (the whole text in the tooltip), wrapping labels keep to their number of lines.
namespace AlarmsUi {
using UiKit::alpha;
// A kit label in the given font and colour, added to parent.
QLabel *label(QWidget *parent, const QFont &font, const QColor &color,
              Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter);
void colour(QLabel *l, const QColor &c);
// The frame r made tall enough for the font's line (lines of them), centred on r, or hanging from
// r's top edge when keepTop.
QRect fitHeight(const QRect &r, const QFont &font, int lines = 1, bool keepTop = false);
// Places l at the y-up frame (x, y, w, h) of a parent h points high, grown to fit its font.
void place(QLabel *l, double parentH, double x, double y, double w, double h, int lines = 1,
           bool keepTop = false);
// Sets the text, cut to the label's width (and, for a wrapping label, to maxLines lines); the whole
// text goes to the tooltip when it was cut. Unchanged text is left alone.
void setFitText(QLabel *l, const QString &text, int maxLines = 1);
// Sets a button's title, cut to what its width shows; the whole title goes to the tooltip when cut.
void setFitTitle(QPushButton *b, const QString &title);
// The "＋  Add alarm" title of the header's and the list's add buttons.
QString addAlarmText();

// A rounded box: a fill and an optional hairline border (cards, the time box, the accent band).
class RoundBox : public QWidget {
public:
    RoundBox(const QColor &fill, const QColor &border, double radius, double borderW, QWidget *parent);
    void setColors(const QColor &fill, const QColor &border);
    QColor fillColor() const { return fill_; }

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    QColor fill_, border_;
    double radius_, borderW_;
};
} // namespace AlarmsUi
