#pragma once
#include <QColor>
#include <QWidget>
#include <functional>

// A rounded card painted with a fill and a border: the rows and choice cards of the settings and
// support pages. A card with an onClick runs it on a left click released inside it.
class SettingsCard : public QWidget {
    Q_OBJECT
public:
    SettingsCard(const QColor &fill, const QColor &border, double borderWidth, double radius, QWidget *parent);
    std::function<void()> onClick;

protected:
    void paintEvent(QPaintEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;

private:
    QColor fill_, border_;
    double borderW_, radius_;
};
