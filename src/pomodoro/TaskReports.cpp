#include "pomodoro/TaskReports.h"

#include <QStringList>

namespace {
const QString kTitle = QStringLiteral("Mivo — Tasks");
const QChar kRule(0x2500);
const QString kDone = QStringLiteral("✓");
const QString kOpen = QStringLiteral("○");
const QString kArrow = QStringLiteral("↳");

QString mark(const Task &t) {
    return t.completed ? kDone : kOpen;
}

QString csvQuoted(QString s) {
    s.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + s + QLatin1Char('"');
}
} // namespace

namespace TaskReports {
QString txt(const std::vector<Task> &tasks) {
    QStringList lines{kTitle, QString(40, kRule), QString()};
    for (TaskCat c : TaskCats::allCases) {
        lines << TaskCats::emoji(c) + QLatin1Char(' ') + TaskCats::display(c);
        const auto list = tasksInDateOrder(tasks, c);
        if (list.empty()) lines << QStringLiteral("  (no tasks)");
        for (const Task &t : list) {
            lines << QStringLiteral("  %1 [%2.%3] %4")
                         .arg(mark(t))
                         .arg(t.day)
                         .arg(t.month, 2, 10, QLatin1Char('0'))
                         .arg(t.title);
            if (!t.description.isEmpty())
                lines << QStringLiteral("     ") + kArrow + QLatin1Char(' ') + t.description;
        }
        lines << QString();
    }
    return lines.join(QLatin1Char('\n'));
}

QString csv(const std::vector<Task> &tasks) {
    QStringList lines{QStringLiteral("Category,Date,Task,Description,Done")};
    for (TaskCat c : TaskCats::allCases) {
        const QString name = QLatin1Char('"') + TaskCats::display(c) + QLatin1Char('"');
        for (const Task &t : tasksInDateOrder(tasks, c)) {
            lines << name + QLatin1Char(',') + QLatin1Char('"') + taskDateText(t) + QLatin1Char('"') +
                         QLatin1Char(',') + csvQuoted(t.title) + QLatin1Char(',') + csvQuoted(t.description) +
                         QLatin1Char(',') + (t.completed ? QStringLiteral("Yes") : QStringLiteral("No"));
        }
    }
    return lines.join(QLatin1Char('\n'));
}

QString pdfText(const std::vector<Task> &tasks) {
    QStringList lines{kTitle, QString(48, kRule), QString()};
    for (TaskCat c : TaskCats::allCases) {
        lines << TaskCats::emoji(c) + QStringLiteral("  ") + TaskCats::display(c).toUpper();
        const auto list = tasksInDateOrder(tasks, c);
        if (list.empty()) lines << QStringLiteral("    (no tasks)");
        for (const Task &t : list) {
            lines << QStringLiteral("  ") + mark(t) + QStringLiteral("  [") + taskDateText(t) +
                         QStringLiteral("]  ") + t.title;
            if (!t.description.isEmpty())
                lines << QStringLiteral("       ") + kArrow + QLatin1Char(' ') + t.description;
        }
        lines << QString();
    }
    const auto done = std::count_if(tasks.begin(), tasks.end(), [](const Task &t) { return t.completed; });
    lines << QString(48, kRule);
    lines
        << QStringLiteral("Total: %1 tasks, completed: %2").arg(qsizetype(tasks.size())).arg(qsizetype(done));
    return lines.join(QLatin1Char('\n'));
}
} // namespace TaskReports
