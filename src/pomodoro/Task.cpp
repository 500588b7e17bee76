#include "pomodoro/Task.h"

#include "platform/Clock.h"
#include "platform/RecordJson.h"
#include <algorithm>

using namespace RecordJson;

Task::Task(const QString &title, const QString &category, const QString &description)
    : id(newId()), title(title), description(description), category(category) {
    const QDate d = Clock::get().today();
    day = d.day();
    month = d.month();
    year = d.year();
}

void appendTask(QByteArray &out, const Task &t) {
    appendKey(out.append('{'), "id");
    appendString(out, t.id);
    appendKey(out.append(','), "title");
    appendString(out, t.title);
    appendKey(out.append(','), "description");
    appendString(out, t.description);
    appendKey(out.append(','), "category");
    appendString(out, t.category);
    appendKey(out.append(','), "day");
    appendInt(out, t.day);
    appendKey(out.append(','), "month");
    appendInt(out, t.month);
    appendKey(out.append(','), "year");
    appendInt(out, t.year);
    appendKey(out.append(','), "completed");
    appendBool(out, t.completed);
    out.append('}');
}

QByteArray encodeTasks(const std::vector<Task> &tasks) {
    QByteArray out;
    out.reserve(qsizetype(tasks.size()) * 200 + 2);
    appendArray(out, tasks, appendTask);
    return out;
}

std::optional<std::vector<Task>> decodeTasks(const QByteArray &bytes) {
    static constexpr std::array<std::string_view, 8> keys{"id",  "title", "description", "category",
                                                          "day", "month", "year",        "completed"};
    std::array<RecordJson::Value, keys.size()> m;
    return readArray(bytes, [&](Value o) -> std::optional<Task> {
        Task t;
        if (!members(o, keys, m) || !asString(m[0], t.id) || !asString(m[1], t.title) ||
            !asString(m[2], t.description) || !asString(m[3], t.category) || !asInt(m[4], t.day) ||
            !asInt(m[5], t.month) || !asInt(m[6], t.year) || !asBool(m[7], t.completed))
            return std::nullopt;
        return t;
    });
}

std::vector<Task> tasksInDateOrder(const std::vector<Task> &tasks, std::optional<TaskCat> cat) {
    std::vector<Task> out;
    const QString raw = cat ? TaskCats::rawValue(*cat) : QString();
    for (const Task &t : tasks)
        if (!cat || t.category == raw) out.push_back(t);
    std::stable_sort(out.begin(), out.end(), [](const Task &a, const Task &b) {
        if (a.year != b.year) return a.year < b.year;
        if (a.month != b.month) return a.month < b.month;
        return a.day < b.day;
    });
    return out;
}

QString taskDateText(const Task &t) {
    return QStringLiteral("%1.%2.%3").arg(t.day).arg(t.month, 2, 10, QLatin1Char('0')).arg(t.year);
}
