#pragma once
#include <QColor>
#include <QString>
#include <array>
#include <optional>

// The category a task is filed under. The case order is the order of the board's columns and of
// every report.
enum class TaskCat { work, health, personal, projects };

namespace TaskCats {
inline constexpr std::array<TaskCat, 4> allCases{TaskCat::work, TaskCat::health, TaskCat::personal,
                                                 TaskCat::projects};
QString rawValue(TaskCat c);
std::optional<TaskCat> fromRaw(const QString &raw); // exactly the four raw values, case-sensitive
QString display(TaskCat c);                         // in the current interface language
QString emoji(TaskCat c);
QString bigIcon(TaskCat c);
QColor color(TaskCat c);
} // namespace TaskCats
