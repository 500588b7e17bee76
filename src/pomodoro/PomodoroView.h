#pragma once
#include "pomodoro/Project.h"
#include "pomodoro/Task.h"
#include "pomodoro/TaskListFile.h"
#include "ui/EmojiPrep.h"
#include "ui/Page.h"
#include "ui/RingView.h"
#include <QLabel>
#include <QScrollArea>
#include <QColor>
#include <QHash>
#include <QPointer>
#include <array>
#include <optional>

class AW;
class EditProjectPanel;
class FlippedView;
class PomListView;
class PomStatCard;
class QLabel;
class QPushButton;
class QScrollArea;
class RingView;
class SplitPageFrame;
class Ticker;

// The "pomodoro" page: a header band with the title, the clock and the import and export buttons;
// the list of the timer, today's tasks and the projects on the left; the detail of the selected row
// on the right (timer panel, task or project), split by a draggable divider.
//
// Redraws are requested and merged (Page); the 1-second clock and the 30 Hz ring ticker run only
// while the page is shown, and a redraw never runs inside the click that asked for it.
class PomodoroView : public Page {
    Q_OBJECT
public:
    explicit PomodoroView(QWidget *parent = nullptr);
    ~PomodoroView() override;

    void setup() override;
    // The texts with emoji the page shows first (the timer panel's), in the current language and the
    // fonts of the current font scale.
    static QList<EmojiPrep::Text> emojiShown();
    // The size of the phase's icon over the timer.
    static constexpr double kPhaseIconPx = 28;

    std::optional<QString> selectedItem() const { return selectedItem_; }
    void setSelectedItem(const std::optional<QString> &id);

    QWidget *detailHost() const { return detailHost_; }
    QWidget *listContent() const;
    PomListView *listView() const { return listContent_; }
    bool clockRunning() const;
    bool ringTickerRunning() const;
    RingView *ring() const { return pomRingRef_; }
    EditProjectPanel *editPanel(const QString &projectId) const;

    // The header actions (also reached by tests).
    void doExportPom();
    void doImportPom();
    void showAddTaskDialog();
    void showAddProjectDialog();
    void showEditProjectDialog(const Project &project);

protected:
    void rebuild() override;
    void showEvent(QShowEvent *e) override;
    void hideEvent(QHideEvent *e) override;

private:
    // frame (PomodoroView.cpp)
    void layoutFrame();
    void placeHeaderButtons();
    void onPomodoroChanged();
    void updateTimerInPlace();
    // What the page shows from the timer apart from the remaining time.
    using TimerShape = std::array<double, 14>;
    static TimerShape timerShape();
    // The texts with emoji the list and the timer panel show (see emojiShown).
    static QList<EmojiPrep::Text> listEmoji();
    static QList<EmojiPrep::Text> timerPanelEmoji();
    TimerShape shownShape_{};
    void rewireHeaderButtons();
    AW *keep(AW *aw);
    AW *newAW(std::function<void()> fn);
    // The task list import once its file is read (TaskListTransfer.cpp).
    void importPomRead(TaskListFile::ReadResult r);

    // list (PomodoroList.cpp)
    void rebuildList(double w);
    double addListHeader(const QString &title, double y, double w);
    void rebuildDetail();
    void showDetailEmpty();
    QWidget *sectionHdrView(const QString &title, double y, double w, double pad);
    void selectRow(const QString &id);

    // timer panel (TimerPanel.cpp)
    void showPomodoroDetail();
    void startPomSmoothTicker();
    void onRingTick();

    // task detail and add-task dialog (TaskDetail.cpp)
    void showTaskDetail(const Task &task);

    // project detail (ProjectDetail.cpp)
    void showProjectDetail(const Project &project);

    SplitPageFrame *frame_ = nullptr;
    QWidget *detailHost_ = nullptr;   // the frame's, as built
    QScrollArea *listScroll_ = nullptr; // the frame's, as built
    PomListView *listContent_ = nullptr;
    double lastListW_ = 0;
    double listNeededH_ = 0;
    std::optional<QString> selectedItem_ = QStringLiteral("pom_timer");
    QList<AW *> awStore_;
    Ticker *pomSmoothTicker_ = nullptr;
    QPointer<RingView> pomRingRef_;
    QPointer<QLabel> pomTimeLblRef_;
    double pomSettScrollY_ = 0;
    QPointer<QScrollArea> pomSettScrollRef_;
    double projDetailScrollY_ = 0;
    std::optional<QString> projDetailScrollID_;
    QPointer<QScrollArea> projDetailScrollRef_;
    PomStatCard *statToday_ = nullptr;
    PomStatCard *statStreak_ = nullptr;
    PomStatCard *statTotal_ = nullptr;
    PomStatCard *statFocus_ = nullptr;
    QPushButton *importBtnPom_ = nullptr;
    QPushButton *exportBtnPom_ = nullptr;
    QHash<QString, QPointer<EditProjectPanel>> editPanels_;
};
