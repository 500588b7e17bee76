#pragma once
#include "ui/DraggableDivider.h"
#include <QLabel>
#include <QPointer>
#include <QScrollArea>
#include <functional>

class Ticker;

// The frame the Pomodoro and reminders pages share: a header band with the title and subtitle on the
// left and a live clock over the date on the right, and below it the list on the left and the detail
// on the right, split by a draggable divider. The page adds its own header buttons, list and detail.
class SplitPageFrame : public QObject {
    Q_OBJECT
public:
    struct Style {
        double headerH = 70;      // the band's height
        bool scaledClock = false; // the clock's digits follow the font scale
        bool emojiRoom = false;   // the header's labels get a tenth more than their line (emoji run taller)
    };
    SplitPageFrame(QWidget *page, const Style &style);

    // Builds the views in the page, anew after the page's clearContent() has deleted the last ones.
    void build();
    bool isBuilt() const { return !hdrBg_.isNull(); }
    // Places the views for the page's current size with a list listW wide.
    void layout(double listW);
    void setTitles(const QString &title, const QString &subtitle);

    // The clock ticks once a second while the page is shown; it is set at once on start.
    void startClock();
    void stopClock();
    bool clockRunning() const;
    void tickClock();

    double headerH() const { return style_.headerH; }
    QLabel *titleLabel() const { return titleLbl_; }
    QLabel *subtitleLabel() const { return subLbl_; }
    QLabel *clockLabel() const { return clockLbl_; }
    QWidget *listPanel() const { return listPanel_; }
    QScrollArea *listScroll() const { return listScroll_; }
    DraggableDivider *divider() const { return divider_; }
    QWidget *detailHost() const { return detailHost_; }

    // The divider was dragged to x (the page's coordinates, unclamped).
    std::function<void(double x)> onDividerDrag;

private:
    QWidget *page_;
    Style style_;
    Ticker *clockTimer_;
    QPointer<QWidget> hdrBg_;
    QPointer<QLabel> titleLbl_, subLbl_, clockLbl_, dateLbl_;
    QPointer<QWidget> listPanel_, detailHost_;
    QPointer<QScrollArea> listScroll_;
    QPointer<DraggableDivider> divider_;
};
