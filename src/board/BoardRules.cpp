#include "board/BoardRules.h"

#include "platform/Keys.h"
#include "platform/RecordJson.h"
#include "pomodoro/PomDialogRules.h"
#include "pomodoro/TaskStore.h"
#include <QLocale>
#include <QMimeData>
#include <QSet>
#include <algorithm>
#include <cmath>

namespace BoardRules {

namespace {
QDate dateOf(YearMonth ym, int day) {
    return QDate(ym.year, ym.month, day);
}

// The index of a category raw value among the four; -1 for any other string.
int catIndex(const QString &raw) {
    const auto c = TaskCats::fromRaw(raw);
    return c ? int(*c) : -1;
}

bool inDayRange(qint64 day, int days) {
    return day >= 1 && day <= days;
}
} // namespace

YearMonth stepMonth(YearMonth ym, int delta) {
    int m = ym.month + (delta < 0 ? -1 : 1);
    int y = ym.year;
    if (m < 1) {
        m = 12;
        --y;
    } else if (m > 12) {
        m = 1;
        ++y;
    }
    return {y, m};
}

int daysInMonth(YearMonth ym) {
    const QDate d = dateOf(ym, 1);
    return d.isValid() ? d.daysInMonth() : 30;
}

bool isWeekendDay(YearMonth ym, int day) {
    const QDate d = dateOf(ym, day);
    return d.isValid() && d.dayOfWeek() >= 6;
}

QString weekdayName(YearMonth ym, int day) {
    const QDate d = dateOf(ym, day);
    if (!d.isValid()) return {};
    static const QLocale en(QStringLiteral("en_US"));
    return en.toString(d, QStringLiteral("ddd")).toUpper();
}

QString dayDateText(int day, int month, int year) {
    return QStringLiteral("%1.%2.%3").arg(day).arg(month, 2, 10, QLatin1Char('0')).arg(year);
}

bool isOnDayOf(const Task &t, YearMonth ym, int day) {
    return t.year == ym.year && t.month == ym.month && t.day == day && inDayRange(day, daysInMonth(ym));
}

double boardRowHeight(int n) {
    const int m = std::max(n, 1);
    return 28.0 * m + 8 + 5.0 * (m - 1) + 8;
}

double BoardMonth::ratio() const {
    int done = 0, total = 0;
    for (const CatFigures &f : figures) {
        done += f.done;
        total += f.total;
    }
    return total > 0 ? double(done) / double(total) : 0.0;
}

int BoardMonth::maxInDay(int day) const {
    if (day < 1 || day > int(cells.size())) return 0;
    std::size_t n = 0;
    for (const auto &v : cells[std::size_t(day - 1)])
        n = std::max(n, v.size());
    return int(n);
}

BoardMonth buildMonth(const std::vector<Task> &tasks, YearMonth ym) {
    BoardMonth m;
    m.ym = ym;
    m.days = daysInMonth(ym);
    m.cells.resize(std::size_t(m.days));
    for (const Task &t : tasks) {
        if (t.month != ym.month || t.year != ym.year) continue;
        const int c = catIndex(t.category);
        if (c < 0) continue;
        // The cards count the month's tasks; only those on a real day of it get a place.
        ++m.figures[std::size_t(c)].total;
        if (t.completed) ++m.figures[std::size_t(c)].done;
        if (inDayRange(t.day, m.days)) m.cells[std::size_t(t.day - 1)][std::size_t(c)].push_back(t);
    }
    return m;
}

DropKind dropKind(const QMimeData &mime) {
    if (mime.hasFormat(QLatin1String(taskCopyDragType))) return DropKind::copy;
    if (mime.hasFormat(QLatin1String(taskDragType))) return DropKind::move;
    return DropKind::none;
}

QString draggedId(const QMimeData &mime) {
    const char *type = dropKind(mime) == DropKind::copy ? taskCopyDragType : taskDragType;
    return QString::fromUtf8(mime.data(QLatin1String(type)));
}

QMimeData *makeDragMime(const QString &taskId, bool copy) {
    auto *m = new QMimeData;
    m->setData(QLatin1String(copy ? taskCopyDragType : taskDragType), taskId.toUtf8());
    return m;
}

bool movedFarEnough(double dx, double dy) {
    return std::hypot(dx, dy) > 5.0;
}

bool applyDrop(TaskStore &store, DropKind kind, const QString &id, const std::optional<CellRef> &source,
               const CellRef &target) {
    if (kind == DropKind::none || (source && *source == target)) return false;
    const QString cat = TaskCats::rawValue(target.cat);
    if (kind == DropKind::copy)
        return store.copyTask(id, cat, target.day, target.month, target.year).has_value();
    const auto &all = store.tasks();
    if (std::none_of(all.begin(), all.end(), [&](const Task &t) { return t.id == id; })) return false;
    store.moveTask(id, cat, target.day, target.month, target.year);
    return true;
}

bool applyDayDrop(TaskStore &store, DropKind kind, const QString &id, const std::optional<QDate> &sourceDay,
                  const QDate &target) {
    if (kind != DropKind::move || !target.isValid() || (sourceDay && *sourceDay == target)) return false;
    const auto &all = store.tasks();
    auto it = std::find_if(all.begin(), all.end(), [&](const Task &t) { return t.id == id; });
    if (it == all.end()) return false;
    store.moveTask(id, it->category, target.day(), target.month(), target.year());
    return true;
}

int renewDuplicateIds(std::vector<Task> &tasks) {
    QSet<QString> seen;
    seen.reserve(qsizetype(tasks.size()));
    int renewed = 0;
    for (Task &t : tasks) {
        if (seen.contains(t.id)) {
            do {
                t.id = RecordJson::newId();
            } while (seen.contains(t.id));
            ++renewed;
        }
        seen.insert(t.id);
    }
    return renewed;
}

double calDayNeed(int n) {
    return std::max(n * 17.0 + 22 + 4, 56.0);
}

double CalMonth::contentHeight() const {
    if (!valid) return 400;
    double s = 0;
    for (double h : weekHeights)
        s += h;
    return s;
}

CalMonth buildCalMonth(const std::vector<Task> &tasks, YearMonth ym) {
    CalMonth c;
    const QDate first = dateOf(ym, 1);
    if (!first.isValid()) return c;
    c.valid = true;
    c.offset = first.dayOfWeek() - 1; // Qt counts Monday 1 … Sunday 7
    c.days = first.daysInMonth();
    c.weeks = (c.offset + c.days + 6) / 7;
    c.dayTasks.resize(std::size_t(c.days));
    for (const Task &t : tasks)
        if (t.month == ym.month && t.year == ym.year && inDayRange(t.day, c.days))
            c.dayTasks[std::size_t(t.day - 1)].push_back(t);
    c.weekHeights.assign(std::size_t(c.weeks), 56.0);
    for (int d = 1; d <= c.days; ++d) {
        double &w = c.weekHeights[std::size_t(c.weekOf(d))];
        w = std::max(w, calDayNeed(int(c.dayTasks[std::size_t(d - 1)].size())));
    }
    return c;
}

std::vector<double> fillWeeks(const std::vector<double> &heights, double avail) {
    double sum = 0;
    for (double h : heights)
        sum += h;
    if (heights.empty() || sum >= avail) return heights;
    const double extra = (avail - sum) / double(heights.size());
    std::vector<double> out = heights;
    for (double &h : out)
        h += extra;
    return out;
}

std::optional<Task> newTask(const QString &title, const QString &category, const QString &description,
                            int day, YearMonth ym) {
    const QString t = PomDialogRules::trimSpacesTabs(title);
    if (t.isEmpty()) return std::nullopt;
    Task task(t, category, PomDialogRules::trimWhitespace(description));
    task.day = day;
    task.month = ym.month;
    task.year = ym.year;
    return task;
}

} // namespace BoardRules
