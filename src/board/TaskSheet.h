#pragma once
// The parts the board's and the calendar's new-task sheets share: captions, the title and
// description fields, and the sheet's loop.
#include "board/BoardRules.h"
#include "platform/Dialogs.h"
#include <QRect>
#include <QString>
#include <functional>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QWidget;

namespace TaskSheet {
QString addWord();
// A caption above a field of the sheet's accessory.
QLabel *caption(QWidget *parent, const QString &text, const QRect &r);
// "Task title" and its field.
QLineEdit *titleField(QWidget *acc, const QString &placeholder, const QRect &captionAt, const QRect &at);
// "Description (links clickable)" and its field.
QPlainTextEdit *descriptionField(QWidget *acc, const QRect &captionAt, const QRect &at);
// Shows the sheet from view's window till it is cancelled, view goes, or a task is added from what
// was typed, dated on day of the month ym holds when the sheet ends, in the category cat gives then.
// A blank title opens the sheet again with what was typed, the cursor back in the title.
void run(QWidget *view, const Dialogs::Alert &a, QLineEdit *title, QPlainTextEdit *desc, int day,
         const BoardRules::YearMonth &ym, const std::function<TaskCat()> &cat);
} // namespace TaskSheet
