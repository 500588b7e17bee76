#pragma once
#include "health/AlarmsRows.h"
#include "ui/Page.h"
#include "ui/SplitPageFrame.h"
#include <QHash>
#include <QPointer>
#include <functional>
#include <optional>
#include <vector>

class AW;
class AlarmListView;
class QLabel;
class QPushButton;
class QScrollArea;
class TintButton;
struct CustomReminder;
struct HReminder;

// The "alarms" page: a header band with the title, the live clock and the add button; on the left
// the list of the phase timer, the four health reminders and the user's alarms; on the right the
// detail of the selected row (timer, reminder or alarm), split by a draggable divider.
//
// The page follows the engines every second without rebuilding: each value shown is refreshed in
// place (texts, colours, check boxes, steppers, bars, button titles). Its views are rebuilt only when
// what they are made of changes (a row added or removed, the selection, the language, the size);
// rebuilds are queued and merged (Page), so none runs inside a click or under an open alert, and
// none while the page is hidden.
class AlarmsView : public Page {
    Q_OBJECT
public:
    explicit AlarmsView(QWidget *parent = nullptr);
    ~AlarmsView() override;

    void setup() override;
    void refresh() override;

    // The list keeps 200 points at least and 60 % of the page at most; a drag stops at 500 points.
    static constexpr SplitPageFrame::ListRule kListRule{200, 0.6, 500};

    std::optional<QString> selectedItem() const { return selectedItem_; }
    void setSelectedItem(const std::optional<QString> &id);

    QWidget *detailHost() const { return detailHost_; }
    AlarmListView *listView() const { return listView_; }
    QPushButton *addButton() const;
    bool clockRunning() const;
    // How many times the views were built; an in-place update leaves it alone.
    int structureBuilds() const { return structureBuilds_; }

    // The add-alarm sheet (the header's and the list's add buttons).
    void showAddAlarmDialog();

    // Brings every value shown up to date without building anything.
    void updateInPlace();

protected:
    void rebuild() override;
    void showEvent(QShowEvent *e) override;

private:
    // frame (AlarmsView.cpp)
    void layoutFrame();
    void onChange(bool mayRestructure);
    void relabelHeader();
    QString structureKey() const;
    AW *newAW(std::function<void()> fn);
    // Registers a refresher of values shown and runs it once.
    void live(std::function<void()> fn);

    // The makers the panes build with (AlarmsView.cpp).
    void accentBar(double H, double W, const QColor &color, std::function<QColor()> follow = {});
    TintButton *actionBtn(const QString &title, const QColor &accent, std::function<void()> action);
    void sectionHdr(const QString &text, double y, double W, double pad);
    QLabel *monoLbl(const QString &text, double size);
    QLabel *plainLbl(const QString &text, double size);
    QWidget *cardBg(double y, double W, double pad, double h);

    // list and detail dispatch (AlarmsList.cpp)
    void rebuildList(double w);
    AlarmRow rowFor(const QString &id) const;
    void rebuildDetail();

    // panes (AlarmsPanes.cpp)
    void showPomodoroDetail();
    void showHealthDetail(const HReminder &r);
    void showCustomDetail(const CustomReminder &a);
    void confirmDelete(const CustomReminder &a);

    SplitPageFrame *frame_ = nullptr;
    TintButton *addBtn_ = nullptr;
    QScrollArea *listScroll_ = nullptr; // the frame's, as built
    AlarmListView *listView_ = nullptr;
    QWidget *detailHost_ = nullptr; // the frame's, as built
    std::optional<QString> selectedItem_;
    QList<AW *> awStore_;
    std::vector<std::function<void()>> live_;
    QString builtKey_;
    QHash<QString, qsizetype> alarmIndex_; // alarm id to its place in the store, as last built
    int structureBuilds_ = 0;
};
