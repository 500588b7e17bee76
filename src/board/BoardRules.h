#pragma once
#include "pomodoro/Task.h"
#include "pomodoro/TaskCat.h"
#include <QDate>
#include <QString>
#include <array>
#include <optional>
#include <vector>

class QMimeData;
class TaskStore;

// The task board's and the calendar's rules, worked out without widgets: month arithmetic, what a
// month shows, the drop of a dragged task and the clean-up of an imported task list.
namespace BoardRules {

struct YearMonth {
    int year = 0;
    int month = 1; // 1…12
    bool operator==(const YearMonth &) const = default;
};
// One month back (delta −1) or forward (+1), across year ends.
YearMonth stepMonth(YearMonth ym, int delta);
// Days of the month; 30 when the month cannot be formed (as the board starts out).
int daysInMonth(YearMonth ym);
// Saturday or Sunday, whatever the locale; false for a day that cannot be formed.
bool isWeekendDay(YearMonth ym, int day);
// "MON", "TUE"… in English in every language; empty for a day that cannot be formed.
QString weekdayName(YearMonth ym, int day);
// day.MM.yyyy with the month on two digits: 5.03.2026.
QString dayDateText(int day, int month, int year);

// A task lies on a day of the month only when all three numbers match and the day exists: stored
// records may carry any numbers.
bool isOnDayOf(const Task &t, YearMonth ym, int day);

// Row height of a board day whose fullest category holds n tasks: 28m + 8 + 5(m − 1) + 8, m = max(n, 1).
double boardRowHeight(int n);

// One month of the store, as the board shows it.
struct CatFigures {
    int done = 0, total = 0;
    int pct() const { return total > 0 ? int(double(done) / double(total) * 100.0) : 0; }
};
struct BoardMonth {
    YearMonth ym;
    int days = 30;
    // cells[d - 1][cat] = the tasks of day d in that category, in store order.
    std::vector<std::array<std::vector<Task>, 4>> cells;
    std::array<CatFigures, 4> figures;
    // Share of the month's tasks in the four categories that are done; 0 with none.
    double ratio() const;
    int overallPct() const { return int(ratio() * 100.0); }
    int maxInDay(int day) const; // 0 for a day outside the month
};
// One pass over the store. Tasks whose category is none of the four, or whose day is not a day of
// this month, are neither counted nor placed.
BoardMonth buildMonth(const std::vector<Task> &tasks, YearMonth ym);

// Drag and drop. A drag carries the task's id under exactly one of the two types; the type alone
// says whether the drop moves or copies.
enum class DropKind { none, move, copy };
DropKind dropKind(const QMimeData &mime);
QString draggedId(const QMimeData &mime);
QMimeData *makeDragMime(const QString &taskId, bool copy);
// A press becomes a drag only once the pointer is more than 5 points away.
bool movedFarEnough(double dx, double dy);

struct CellRef {
    TaskCat cat = TaskCat::work;
    int day = 1, month = 1, year = 2000;
    bool operator==(const CellRef &) const = default;
};
// Applies a drop onto target through the store. A drop onto the cell the drag came from, of an id
// the store does not hold, or of no task type, changes nothing and answers false. A move keeps id,
// texts and completion and changes category and date; a copy appends an open copy with a new id.
bool applyDrop(TaskStore &store, DropKind kind, const QString &id, const std::optional<CellRef> &source,
               const CellRef &target);
// The calendar's drop: the date changes, the category and completion stay. Only moves are taken;
// a drop onto the source day changes nothing.
bool applyDayDrop(TaskStore &store, DropKind kind, const QString &id, const std::optional<QDate> &sourceDay,
                  const QDate &target);

// An imported list as it is stored: every later record that repeats an id gets a fresh one, so each
// record can be addressed on its own. Returns how many ids were renewed.
int renewDuplicateIds(std::vector<Task> &tasks);

// The calendar's month grid (Monday first).
struct CalMonth {
    bool valid = false;
    int offset = 0; // column of day 1: Monday 0 … Sunday 6
    int days = 0;
    int weeks = 0;
    // Tasks of each day (index d − 1), store order.
    std::vector<std::vector<Task>> dayTasks;
    std::vector<double> weekHeights;
    int weekOf(int day) const { return (offset + day - 1) / 7; }
    int columnOf(int day) const { return (offset + day - 1) % 7; }
    double contentHeight() const; // sum of the week heights; 400 when the month cannot be formed
};
CalMonth buildCalMonth(const std::vector<Task> &tasks, YearMonth ym);
// Height a calendar day needs for n tasks: max(17n + 26, 56).
double calDayNeed(int n);
// The week heights stretched to fill avail when they sum to less; unchanged otherwise.
std::vector<double> fillWeeks(const std::vector<double> &heights, double avail);

// The new task of an add dialog, or nothing when the title is blank. Title trimmed of spaces and
// tabs, description of all white space.
std::optional<Task> newTask(const QString &title, const QString &category, const QString &description,
                            int day, YearMonth ym);

} // namespace BoardRules
