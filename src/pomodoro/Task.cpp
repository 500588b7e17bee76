#include "pomodoro/Task.h"

#include "platform/Clock.h"
#include "pomodoro/RecordJson.h"
#include <algorithm>

using namespace RecordJson;

Task::Task(const QString &title, const QString &category, const QString &description)
    : id(newId()), title(title), description(description), category(category) {
    const QDate d = Clock::get().today();
    day = d.day();
    month = d.month();
    year = d.year();
}

QByteArray encodeTasks(const std::vector<Task> &tasks) {
    OrderedJson doc = OrderedJson::array();
    for (const Task &t : tasks) {
        OrderedJson o;
        o["id"] = str(t.id);
        o["title"] = str(t.title);
        o["description"] = str(t.description);
        o["category"] = str(t.category);
        o["day"] = t.day;
        o["month"] = t.month;
        o["year"] = t.year;
        o["completed"] = t.completed;
        doc.push_back(std::move(o));
    }
    return dump(doc);
}

std::optional<std::vector<Task>> decodeTasks(const QByteArray &bytes) {
    const auto doc = parse(bytes);
    if (!doc || !doc->is_array()) return std::nullopt;
    std::vector<Task> out;
    out.reserve(doc->size());
    for (const Json &o : *doc) {
        Task t;
        if (!readString(o, "id", t.id) || !readString(o, "title", t.title) ||
            !readString(o, "description", t.description) || !readString(o, "category", t.category) ||
            !readInt(o, "day", t.day) || !readInt(o, "month", t.month) || !readInt(o, "year", t.year) ||
            !readBool(o, "completed", t.completed))
            return std::nullopt;
        out.push_back(std::move(t));
    }
    return out;
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
