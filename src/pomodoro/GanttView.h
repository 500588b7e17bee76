#pragma once
#include "pomodoro/ProjectCheckpoint.h"
#include <QWidget>
#include <vector>

class QPainter;

// A project's steps as a Gantt chart: a day scale with grid lines along the top, then one row per step
// with its name left of the axis and a bar from its start offset over its length. Painted entirely
// here; takes no input. Theme and font scale are read at every paint.
class GanttView : public QWidget {
    Q_OBJECT
public:
    static constexpr double kLabelColumn = 110; // left edge of the day axis
    static constexpr double kRightMargin = 16;
    static constexpr double kRowPitch = 31;
    static constexpr double kTopBand = 18; // holds the scale labels
    static constexpr double kBarHeight = 18;
    static constexpr double kBarRadius = 4;
    static constexpr double kMinBarWidth = 6;
    static constexpr double kDaysTextMinWidth = 24; // bars this wide or narrower carry no day count
    static constexpr qint64 kScaleDivisions = 6;

    explicit GanttView(QWidget *parent = nullptr);

    const std::vector<ProjectCheckpoint> &checkpoints() const { return checkpoints_; }
    void setCheckpoints(std::vector<ProjectCheckpoint> steps);

    // 31 per step + 24, at least 40; the view has no width of its own.
    static int intrinsicHeight(std::size_t steps);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The day scale for a project of totalDays days: the step (totalDays / 6, at least 1) and the
    // labelled days 0, s, 2s, ... not above totalDays. Empty when totalDays < 1.
    static qint64 scaleStep(qint64 totalDays);
    static std::vector<qint64> scaleDays(qint64 totalDays);
    // The step's title, or "Step n" (1-based) when the title is empty.
    static QString stepName(const ProjectCheckpoint &step, std::size_t index);

    // Paints the chart for a view of the given size (used by paintEvent; tests paint into images).
    static void paintChart(QPainter &p, const QSizeF &size, const std::vector<ProjectCheckpoint> &steps);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::vector<ProjectCheckpoint> checkpoints_;
};
