#pragma once
#include "ui/DraggableDivider.h"
#include <QLabel>
#include <QPointer>
#include <QScrollArea>
#include <functional>
#include <limits>

class Ticker;

// The frame the Pomodoro and reminders pages share: a header band with the title and subtitle on the
// left and a live clock over the date on the right, and below it the list on the left and the detail
// on the right, split by a draggable divider. The page adds its own header buttons, list and detail.
class SplitPageFrame : public QObject {
    Q_OBJECT
public:
    // How wide the list may be: minW at least and maxShare of the page at most; a drag of the divider
    // also stops at maxDragW.
    struct ListRule {
        double minW, maxShare, maxDragW = std::numeric_limits<double>::infinity();
    };
    // The list width for a page of width w and a stored fraction.
    static double listWidth(const ListRule &rule, double w, double frac);
    // The fraction stored for a divider dragged to x on a page of width w.
    static double fractionForDrag(const ListRule &rule, double x, double w);

    struct Style {
        double headerH = 70;      // the band's height
        bool scaledClock = false; // the clock's digits follow the font scale
        bool emojiRoom = false;   // the header's labels get a tenth more than their line (emoji run taller)
        ListRule list;
        double listFrac = 0.3; // the list's share of the page at start
    };
    SplitPageFrame(QWidget *page, const Style &style);

    // Builds the views in the page, anew after the page's clearContent() has deleted the last ones.
    void build();
    bool isBuilt() const { return !hdrBg_.isNull(); }
    // Places the views for the page's current size.
    void layout();
    double listFrac() const { return listFrac_; }
    void setTitles(const QString &title, const QString &subtitle);
    // The title's font.
    static QFont titleFont();

    // The clock ticks once a second while the page is shown (the frame follows the page's show and
    // hide); it is set at once on start.
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

    // The frame was laid out anew (the page resized, the divider dragged): the page places its own
    // views and redraws.
    std::function<void()> onRelayout;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *page_;
    Style style_;
    double listFrac_;
    Ticker *clockTimer_;
    QPointer<QWidget> hdrBg_;
    QPointer<QLabel> titleLbl_, subLbl_, clockLbl_, dateLbl_;
    QPointer<QWidget> listPanel_, detailHost_;
    QPointer<QScrollArea> listScroll_;
    QPointer<DraggableDivider> divider_;
};
