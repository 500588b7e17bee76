#pragma once
#include <QLabel>

class QAbstractButton;
class QPainter;

// Texts never lose glyphs. A single line that is wider than its frame is drawn cut at the end with
// "…" and its full text becomes the widget's tool tip; a frame lower than the font's line height
// grows to it, about its centre. The kit's makers build their labels from FitLabel and paint their
// buttons' titles through TextFit::drawText, so pages built with them get this for free.
namespace TextFit {
// Set (true) on every widget that elides its text this way; the render test's fit check relies on it.
inline constexpr char kElidesProperty[] = "mivoElides";
// Set to whether the last paint had to elide.
inline constexpr char kElidedProperty[] = "mivoElided";

// Draws text in r with the given alignment, elided when wider than r; on w it sets or clears the
// tool tip it set before. Returns true when the text was elided.
bool drawText(QPainter &p, QWidget *w, const QRectF &r, int alignment, const QString &text);
// The line height of a font, rounded up to whole pixels.
int lineHeight(const QFont &font);

// Where a button's title does not fit its frame but its row has room, the button grows into the
// room before its title is elided: away from the side it is anchored on (grow = Qt::LeftEdge keeps
// its right edge, Qt::RightEdge its left edge), up to gap pixels from the nearest sibling in its row
// (for a sibling label, the end of its text; the label's frame is shortened to match) or from the
// parent's edge. inset is the room the button keeps on each side of its title. Returns the width
// gained. Call after the row's widgets have their frames.
int growIntoRow(QAbstractButton *button, Qt::Edge grow = Qt::LeftEdge, double inset = 8, int gap = 10);
} // namespace TextFit

// A plain-text label that follows the rules above. Rich text, pictures and word-wrapped labels are
// drawn by QLabel as usual (word-wrapped ones still grow to their first line's height).
class FitLabel : public QLabel {
    Q_OBJECT
public:
    explicit FitLabel(QWidget *parent = nullptr);
    FitLabel(const QString &text, QWidget *parent = nullptr);

    // True while the last paint had to elide the text.
    bool isElided() const { return elided_; }

protected:
    void paintEvent(QPaintEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void changeEvent(QEvent *e) override;

private:
    void growToLineHeight();
    bool elided_ = false;
};
