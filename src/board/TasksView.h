#pragma once
#include "board/BoardRules.h"
#include "ui/Page.h"
#include <QList>
#include <QMetaObject>
#include <QPointer>
#include <array>

class BoardGrid;
class ColumnHeadings;
class ProgressTrack;
class QLabel;
class QPushButton;
class QScrollArea;
class StatCard;
class TaskDetailPanel;
class TaggedView;

// The "tasks" page: the task board. One row per day of the shown month and one column per category,
// with the month's figures per category and overall above it, month navigation and the export menu.
// It keeps no data: every redraw reads the task store. It is the first page the user sees, so its
// view tree is built the first time it is shown, not while the window is still hidden at start-up.
class TasksView : public Page {
    Q_OBJECT
public:
    explicit TasksView(QWidget *parent = nullptr);

    void setup() override;

    BoardRules::YearMonth displayMonth() const { return ym_; }
    void navMonth(int delta);
    bool isBuilt() const { return built_; }

    BoardGrid *grid() const { return grid_; }
    QScrollArea *scrollArea() const { return scroll_; }
    StatCard *statCard(TaskCat c) const { return cards_[std::size_t(c)]; }
    ProgressTrack *progressTrack() const { return track_; }
    QString overallPctText() const;
    QString titleText() const;
    QList<TaskDetailPanel *> openPanels() const;

    // The dialogs and the export menu's actions (also reached by tests).
    void addTaskDialog(int day, TaskCat cat);
    void showTaskDetail(const QString &taskId);
    void showExportMenu();
    void doExportCSV();
    void doExportTXT();
    void doExportPDF();
    void doExportJSON();
    void doImportJSON();

protected:
    void rebuild() override;
    void resizeEvent(QResizeEvent *e) override;

private:
    void buildTree();
    void layoutFrame();
    void updateTitle();
    void scrollToToday();
    void writeExport(const QString &proposedName, const QStringList &filters, const QByteArray &bytes);

    BoardRules::YearMonth ym_;
    bool built_ = false;
    bool needsInitialScroll_ = true;
    QList<QMetaObject::Connection> observers_;
    QList<QPointer<TaskDetailPanel>> panels_;

    TaggedView *hdrBand_ = nullptr;
    QLabel *titleLbl_ = nullptr;
    QLabel *subtitleLbl_ = nullptr;
    QLabel *monthLbl_ = nullptr;
    QPushButton *prevBtn_ = nullptr;
    QPushButton *nextBtn_ = nullptr;
    QPushButton *exportBtn_ = nullptr;
    std::array<StatCard *, 4> cards_{};
    QLabel *progressLbl_ = nullptr;
    ProgressTrack *track_ = nullptr;
    QLabel *overallPct_ = nullptr;
    ColumnHeadings *colHdr_ = nullptr;
    QScrollArea *scroll_ = nullptr;
    BoardGrid *grid_ = nullptr;
};
