#pragma once
#include <QColor>
#include <QPushButton>

// A push button painted as the pages draw their action buttons: a rounded box filled with the tint
// at one opacity, bordered with it at another, and the title in the tint. No focus ring.
class TintButton : public QPushButton {
    Q_OBJECT
public:
    TintButton(const QString &title, const QColor &tint, double bgAlpha, double borderAlpha, double radius,
               QWidget *parent = nullptr);
    // Colours given whole (for the neutral buttons drawn in white at fixed opacities).
    void setLook(const QColor &tint, const QColor &background, const QColor &border);

    QColor tint() const { return tint_; }
    QColor background() const { return bg_; }
    QColor borderColor() const { return border_; }

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    QColor tint_, bg_, border_;
    double radius_;
};
