#pragma once
#include "stats/StatsModel.h"
#include "ui/EmojiPrep.h"
#include <QWidget>

// The statistics page's scrolling content, painted from the model: the four summary cards on the
// left, the timer, exercises, tasks and finance sections on the right. One widget whatever the
// number of rows; a paint draws only the rows it is asked for.
class StatsContentView : public QWidget {
    Q_OBJECT
public:
    explicit StatsContentView(QWidget *parent = nullptr);
    // The rows' and the cards' emoji the view may show, in the fonts of the current font scale.
    static QList<EmojiPrep::Text> emojiShown();

    // Lays the model out for this width and takes the height it needs.
    void setModel(const StatsModel &model, int width);
    const StatsModel &model() const { return model_; }

    // Where a row or header lands (content coordinates, y down), for the page's tests.
    struct Placed {
        QRectF rect;
        enum Kind { sectionHeader, row, subHeader, emptyText, card } kind;
        const StatsSection *section = nullptr;
        int index = -1; // row or card index
    };
    const std::vector<Placed> &placed() const { return placed_; }

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    void layoutModel(int width);
    StatsModel model_;
    std::vector<Placed> placed_;
};
