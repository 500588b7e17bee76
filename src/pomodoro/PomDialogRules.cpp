#include "pomodoro/PomDialogRules.h"

#include <algorithm>

namespace PomDialogRules {

namespace {
bool isSpaceOrTab(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }
} // namespace

QString trimSpacesTabs(const QString &s) {
    qsizetype b = 0, e = s.size();
    while (b < e && isSpaceOrTab(s[b])) ++b;
    while (e > b && isSpaceOrTab(s[e - 1])) --e;
    return s.mid(b, e - b);
}

QString trimWhitespace(const QString &s) { return s.trimmed(); }

std::optional<qint64> parseWholeNumber(const QString &s) {
    if (s.isEmpty()) return std::nullopt;
    qsizetype i = 0;
    bool negative = false;
    if (s[0] == QLatin1Char('+') || s[0] == QLatin1Char('-')) {
        negative = s[0] == QLatin1Char('-');
        i = 1;
    }
    if (i >= s.size()) return std::nullopt;
    qint64 v = 0;
    for (; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        if (c < u'0' || c > u'9') return std::nullopt;
        if (__builtin_mul_overflow(v, qint64(10), &v) || __builtin_add_overflow(v, qint64(c - u'0'), &v))
            return std::nullopt;
    }
    return negative ? -v : v;
}

qint64 stepStart(const QString &text, qint64 previous) {
    const auto v = parseWholeNumber(text);
    if (!v) return previous;
    return std::clamp(*v, -kMaxStepDays, kMaxStepDays);
}

qint64 stepLength(const QString &text) {
    const auto v = parseWholeNumber(text);
    if (!v) return 1;
    return std::clamp(*v, qint64(1), kMaxStepDays);
}

ProjectCheckpoint newStepAfter(const std::vector<ProjectCheckpoint> &steps) {
    ProjectCheckpoint s; // fresh id, empty texts, 3 days, open
    s.durationDays = 3;
    s.startOffset = steps.empty() ? 0 : std::clamp(steps.back().dayEnd(), -kMaxStepDays, kMaxStepDays);
    return s;
}

std::optional<Task> newTask(const QString &title, int categoryIndex, const QString &description,
                            const QDate &day) {
    const QString t = trimSpacesTabs(title);
    if (t.isEmpty()) return std::nullopt;
    const TaskCat cat = categoryIndex >= 0 && categoryIndex < int(TaskCats::allCases.size())
                            ? TaskCats::allCases[std::size_t(categoryIndex)]
                            : TaskCat::work;
    Task task(t, TaskCats::rawValue(cat), trimWhitespace(description));
    task.day = day.day();
    task.month = day.month();
    task.year = day.year();
    return task;
}

std::optional<Project> newProject(const QString &name, const QString &emoji, const QString &description) {
    const QString n = trimSpacesTabs(name);
    if (n.isEmpty()) return std::nullopt;
    QString e = trimSpacesTabs(emoji);
    if (e.isEmpty()) e = QStringLiteral("📁");
    return Project(n, e, trimWhitespace(description));
}

std::optional<Project> mergeEdit(const Project &stored, const ProjectEdit &edit) {
    const QString n = trimSpacesTabs(edit.name);
    if (n.isEmpty()) return std::nullopt;
    Project p = stored;
    p.name = n;
    p.emoji = trimSpacesTabs(edit.emoji);
    p.description = trimWhitespace(edit.description);
    p.imagePaths = edit.imagePaths;
    p.checkpoints = edit.steps;
    for (ProjectCheckpoint &s : p.checkpoints) {
        const auto it = std::find_if(stored.checkpoints.begin(), stored.checkpoints.end(),
                                     [&](const ProjectCheckpoint &o) { return o.id == s.id; });
        if (it != stored.checkpoints.end()) s.completed = it->completed;
    }
    return p;
}

} // namespace PomDialogRules
