#include "board/TaskSheet.h"
#include "board/BoardUi.h"
#include "pomodoro/TaskStore.h"
#include "ui/Lang.h"
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>

using namespace BoardUi;

namespace TaskSheet {
QString addWord() {
    return L::t(
        {.en = "Add", .es = "Agregar", .de = "Hinzufügen", .fr = "Ajouter", .uk = "Додати", .pl = "Dodaj"});
}

QLabel *caption(QWidget *parent, const QString &text, const QRect &r) {
    QLabel *l = label(parent, 11, QFont::DemiBold, dark() ? grey(1, 0.55) : grey(0, 0.55));
    place(l, r);
    setFitted(l, text);
    return l;
}

QLineEdit *titleField(QWidget *acc, const QString &placeholder, const QRect &captionAt, const QRect &at) {
    caption(acc,
            L::t({.en = "Task title",
                  .es = "Título de la tarea",
                  .de = "Aufgabentitel",
                  .fr = "Titre de la tâche",
                  .uk = "Заголовок завдання",
                  .pl = "Tytuł zadania"}),
            captionAt);
    auto *field = new QLineEdit(acc);
    field->setObjectName(QStringLiteral("titleField"));
    field->setPlaceholderText(placeholder);
    field->setFont(Fonts::scaledFont(13));
    field->setGeometry(at);
    return field;
}

QPlainTextEdit *descriptionField(QWidget *acc, const QRect &captionAt, const QRect &at) {
    caption(acc,
            L::t({.en = "Description (links clickable)",
                  .es = "Descripción (enlaces clicables)",
                  .de = "Beschreibung (Links klickbar)",
                  .fr = "Description (liens cliquables)",
                  .uk = "Опис (посилання клікабельні)",
                  .pl = "Opis (linki klikalne)"}),
            captionAt);
    auto *desc = new QPlainTextEdit(acc);
    desc->setObjectName(QStringLiteral("descriptionField"));
    desc->setFont(Fonts::scaledFont(12.5));
    desc->document()->setDocumentMargin(6);
    QPalette dp = desc->palette();
    dp.setColor(QPalette::Base, dark() ? grey(0.13, 1) : grey(1, 1));
    dp.setColor(QPalette::Text, dark() ? grey(1, 0.88) : grey(0, 0.88));
    desc->setPalette(dp);
    desc->setGeometry(at);
    return desc;
}

void run(QWidget *view, const Dialogs::Alert &a, QLineEdit *title, QPlainTextEdit *desc, int day,
         const BoardRules::YearMonth &ym, const std::function<TaskCat()> &cat) {
    QPointer<QWidget> mainWin(view->window());
    QPointer<QWidget> self(view);
    for (;;) {
        QTimer::singleShot(0, title, [title, mainWin] {
            // Dialog windows take the dark look in the dark theme so the light captions stay readable.
            if (mainWin && dark()) title->window()->setPalette(mainWin->palette());
            title->setFocus();
        });
        if (Dialogs::get().alert(mainWin, a) != 0 || !self) break;
        // ym is read only while view is there.
        const auto task =
            BoardRules::newTask(title->text(), TaskCats::rawValue(cat()), desc->toPlainText(), day, ym);
        if (!task) continue;
        TaskStore::shared().add(*task);
        break;
    }
}
} // namespace TaskSheet
