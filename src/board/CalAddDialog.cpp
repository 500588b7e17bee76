// The calendar's add-event sheet.
#include "board/BoardRules.h"
#include "board/BoardUi.h"
#include "board/CalendarView.h"
#include "platform/Dialogs.h"
#include "pomodoro/TaskStore.h"
#include "ui/EmojiText.h"
#include "ui/CommonAlerts.h"
#include "ui/Geometry.h"
#include "ui/Lang.h"
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>

using namespace BoardUi;

namespace {
QLabel *caption(QWidget *parent, const QString &text, const QRect &r) {
    QLabel *l = label(parent, 11, QFont::DemiBold, dark() ? grey(1, 0.55) : grey(0, 0.55));
    place(l, r);
    setFitted(l, text);
    return l;
}
} // namespace

void CalendarView::addTaskDialog(int day) {
    if (!window()) return;
    const double AW = 420, AH = 210;
    auto *acc = new QWidget;
    acc->setFixedSize(int(AW), int(AH));
    caption(acc,
            L::t({.en = "Task title",
                  .es = "Título de la tarea",
                  .de = "Aufgabentitel",
                  .fr = "Titre de la tâche",
                  .uk = "Заголовок завдання",
                  .pl = "Tytuł zadania"}),
            yUp(AH, 2, 190, AW, 15));
    auto *titleField = new QLineEdit(acc);
    titleField->setObjectName(QStringLiteral("titleField"));
    titleField->setPlaceholderText(QStringLiteral("E.g.: Meeting, submit project, workout…"));
    titleField->setFont(Fonts::scaledFont(13));
    titleField->setGeometry(yUp(AH, 0, 160, AW, 28));
    caption(acc,
            L::t({.en = "Category",
                  .es = "Categoría",
                  .de = "Kategorie",
                  .fr = "Catégorie",
                  .uk = "Категорія",
                  .pl = "Kategoria"}),
            yUp(AH, 2, 140, AW, 15));
    auto *popup = new QComboBox(acc);
    popup->setObjectName(QStringLiteral("categoryPopup"));
    for (TaskCat c : TaskCats::allCases)
        popup->addItem(TaskCats::emoji(c) + QStringLiteral("  ") + TaskCats::display(c));
    popup->setCurrentIndex(0);
    popup->setFont(Fonts::scaledFont(13));
    EmojiText::colourItems(popup);
    popup->setGeometry(yUp(AH, 0, 110, AW, 28));
    caption(acc,
            L::t({.en = "Description (links clickable)",
                  .es = "Descripción (enlaces clicables)",
                  .de = "Beschreibung (Links klickbar)",
                  .fr = "Description (liens cliquables)",
                  .uk = "Опис (посилання клікабельні)",
                  .pl = "Opis (linki klikalne)"}),
            yUp(AH, 2, 90, AW, 15));
    auto *desc = new QPlainTextEdit(acc);
    desc->setObjectName(QStringLiteral("descriptionField"));
    desc->setFont(Fonts::scaledFont(12.5));
    desc->document()->setDocumentMargin(6);
    QPalette dp = desc->palette();
    dp.setColor(QPalette::Base, dark() ? grey(0.13, 1) : grey(1, 1));
    dp.setColor(QPalette::Text, dark() ? grey(1, 0.88) : grey(0, 0.88));
    desc->setPalette(dp);
    desc->setGeometry(yUp(AH, 0, 0, AW, 86));

    Dialogs::Alert a;
    a.title = L::t({.en = "New event",
                    .es = "Nuevo evento",
                    .de = "Neues Ereignis",
                    .fr = "Nouvel événement",
                    .uk = "Нова подія",
                    .pl = "Nowe zdarzenie"});
    a.text = BoardRules::dayDateText(day, ym_.month, ym_.year);
    a.buttons = {L::t({.en = "Add",
                       .es = "Agregar",
                       .de = "Hinzufügen",
                       .fr = "Ajouter",
                       .uk = "Додати",
                       .pl = "Dodaj"}),
                 cancelTitle()};
    a.accessory = acc;
    QPointer<QWidget> mainWin(window());
    QPointer<CalendarView> self(this);
    // A blank title keeps the sheet open, with no message and the cursor back in the title.
    for (;;) {
        QTimer::singleShot(0, titleField, [titleField, mainWin] {
            if (mainWin && dark()) titleField->window()->setPalette(mainWin->palette());
            titleField->setFocus();
        });
        if (Dialogs::get().alert(mainWin, a) != 0 || !self) break;
        const int idx = popup->currentIndex();
        const TaskCat cat = idx >= 0 && idx < 4 ? TaskCats::allCases[std::size_t(idx)] : TaskCat::work;
        const auto task = BoardRules::newTask(titleField->text(), TaskCats::rawValue(cat),
                                              desc->toPlainText(), day, self->ym_);
        if (!task) continue;
        TaskStore::shared().add(*task);
        break;
    }
    acc->deleteLater();
}
