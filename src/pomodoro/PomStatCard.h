#pragma once
#include <QWidget>

class QLabel;

// One figure of the timer panel: an icon, the value and a caption in capitals, on a faint card.
// The page owns its four cards for its whole life; each timer panel build moves them into place.
class PomStatCard : public QWidget {
    Q_OBJECT
public:
    PomStatCard(const QString &icon, const QString &label, QWidget *parent = nullptr);

    QLabel *valLbl;
    QLabel *tagLbl;
    QLabel *icnLbl;

    void setCaption(const QString &label); // shown in upper case
    static QFont iconFont();
    // Card and label colours for the current theme, label fonts for the current font scale.
    void applyThemeColors();
    // How high a card must be for its icon, value and caption to sit one above the other, each whole,
    // in the fonts of the current font scale (the design's 72 points at scale 1.0).
    int neededHeight() const;

protected:
    void resizeEvent(QResizeEvent *e) override;
    void paintEvent(QPaintEvent *e) override;

private:
    // The rows of the icon, the value and the caption, top down.
    struct Rows {
        double icon, value, caption;
    };
    Rows rows() const;
    void place();
    QColor bg_, border_;
};
