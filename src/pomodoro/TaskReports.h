#pragma once
#include "pomodoro/Task.h"
#include <QString>
#include <vector>

// The three text reports of a task list, walking the categories in their case order and each
// category's tasks in date order. Category names follow the interface language; everything else is
// fixed English text. Tasks whose category is none of the four are listed nowhere (the PDF total
// still counts them).
namespace TaskReports {
QString txt(const std::vector<Task> &tasks);     // ends with one "\n"
QString csv(const std::vector<Task> &tasks);     // header "Category,Date,Task,Description,Done"
QString pdfText(const std::vector<Task> &tasks); // ends with the total line
} // namespace TaskReports
