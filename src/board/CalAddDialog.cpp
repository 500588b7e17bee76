// The calendar's add-event sheet.
#include "board/BoardRules.h"
#include "board/BoardUi.h"
#include "board/CalendarView.h"
#include "board/TaskSheet.h"
#include "platform/Dialogs.h"
#include "ui/EmojiText.h"
#include "ui/CommonAlerts.h"
#include "ui/Geometry.h"
#include "ui/Lang.h"
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>

using namespace BoardUi;

void CalendarView::addTaskDialog(int day) {
    if (!window()) return;
    const double AW = 420, AH = 210;
    auto *acc = new QWidget;
    acc->setFixedSize(int(AW), int(AH));
    QLineEdit *titleField = TaskSheet::titleField(acc, QStringLiteral("E.g.: Meeting, submit project, workout…"),
                                                  yUp(AH, 2, 190, AW, 15), yUp(AH, 0, 160, AW, 28));
    TaskSheet::caption(acc,
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
    QPlainTextEdit *desc = TaskSheet::descriptionField(acc, yUp(AH, 2, 90, AW, 15), yUp(AH, 0, 0, AW, 86));

    Dialogs::Alert a;
    a.title = L::t({.en = "New event",
                    .es = "Nuevo evento",
                    .de = "Neues Ereignis",
                    .fr = "Nouvel événement",
                    .uk = "Нова подія",
                    .pl = "Nowe zdarzenie"});
    a.text = BoardRules::dayDateText(day, ym_.month, ym_.year);
    a.buttons = {TaskSheet::addWord(), cancelTitle()};
    a.accessory = acc;
    TaskSheet::run(this, a, titleField, desc, day, ym_, [popup] {
        const int idx = popup->currentIndex();
        return idx >= 0 && idx < 4 ? TaskCats::allCases[std::size_t(idx)] : TaskCat::work;
    });
    acc->deleteLater();
}
