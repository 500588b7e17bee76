#pragma once
#include "stats/StatsModel.h"
#include "ui/EmojiPrep.h"
#include "ui/Page.h"
#include <optional>

class QLabel;
class QPushButton;
class QScrollArea;
class StatsContentView;

// The "statistics" page: a header with the title, the Day/Month switch, the period arrows and the
// export menu, over a scrolling view of the statistics model for the shown day or month. It redraws
// (queued, merged, only while shown) when its inputs changed: the stores, the counters, today's date
// or the language. The scroll position stays where the user left it.
class StatisticsView : public Page {
    Q_OBJECT
public:
    explicit StatisticsView(QWidget *parent = nullptr);
    // The texts with emoji the page may show, in the current language and font scale (see EmojiPrep).
    static QList<EmojiPrep::Text> emojiShown();

    void setup() override;
    void refresh() override;

    const StatsPeriod &period() const { return period_; }
    // Day or Month, back on the current day or month.
    void setMode(StatsMode mode);
    void navPeriod(int step);

    void showExportMenu();
    void doExportCSV();
    void doExportTXT();
    void doExportPDF();

    // Reached by tests.
    StatsContentView *content() const { return content_; }
    QLabel *periodLabel() const { return periodLbl_; }
    QPushButton *dayButton() const { return dayBtn_; }
    QPushButton *monthButton() const { return monthBtn_; }
    QPushButton *exportButton() const { return exportBtn_; }
    QScrollArea *scrollArea() const { return scroll_; }
    int contentBuilds() const { return contentBuilds_; }
    int changesSeen() const { return changesSeen_; } // observed notifications

protected:
    void rebuild() override;
    void resizeEvent(QResizeEvent *e) override;

private:
    void relabel();
    void updateModeButtons();
    void layoutFrame();
    void exportText(const QString &text, const char *extension, const QStringList &filters);

    StatsPeriod period_;
    QWidget *hdrBg_ = nullptr;
    QLabel *titleLbl_ = nullptr, *subLbl_ = nullptr, *periodLbl_ = nullptr;
    QPushButton *dayBtn_ = nullptr, *monthBtn_ = nullptr, *prevBtn_ = nullptr, *nextBtn_ = nullptr,
                *exportBtn_ = nullptr;
    QScrollArea *scroll_ = nullptr;
    StatsContentView *content_ = nullptr;
    // What the content was last drawn from; equal inputs draw nothing.
    std::optional<StatsSnapshot> drawnFrom_;
    StatsPeriod drawnPeriod_;
    int drawnWidth_ = -1;
    QString drawnPeriodLabel_;
    int contentBuilds_ = 0;
    // The content's first draw waits one turn after the page's frame: each paint (the first of
    // their fonts and emoji too) then fits in a frame of its own.
    bool contentDrawn_ = false, firstDrawQueued_ = false;
    StatsModel firstModel_;
    int firstWidth_ = 0;
    void drawContent(const StatsModel &model, int width);
    int changesSeen_ = 0;
};
