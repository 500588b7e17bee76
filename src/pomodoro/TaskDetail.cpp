// The task detail of the Pomodoro page and its add-task dialog.
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "pomodoro/PomBox.h"
#include "pomodoro/PomDialogRules.h"
#include "pomodoro/PomListRows.h"
#include "pomodoro/PomUi.h"
#include "pomodoro/PomodoroView.h"
#include "pomodoro/TaskStore.h"
#include "ui/EmojiText.h"
#include "ui/CommonAlerts.h"
#include "ui/TintButton.h"
#include "ui/AW.h"
#include "ui/Geometry.h"
#include "ui/Lang.h"
#include "ui/Theme.h"
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>

using namespace PomUi;

namespace {
const QColor kDeleteColour = QColor::fromRgbF(1.0f, 0.4f, 0.4f);
constexpr int kMaxDescriptionLines = 4;

// The first lines of a text, at most n of them.
QString firstLines(const QString &text, int n) {
    const QStringList lines = text.split(QLatin1Char('\n'));
    return lines.mid(0, n).join(QLatin1Char('\n'));
}

QLabel *fieldCaption(QWidget *parent, const QString &text) {
    return label(parent, text, 11, QFont::DemiBold, VF::sub());
}
} // namespace

void PomodoroView::showTaskDetail(const Task &task) {
    const double W = detailHost_->width(), H = detailHost_->height();
    const TaskCat cat = PomListRows::categoryOf(task);
    QWidget *host = detailHost_;

    auto *band = new PomBox(task.completed ? VF::accentDim() : TaskCats::color(cat), 0, host);
    band->setObjectName(QStringLiteral("taskBand"));
    band->setGeometry(yUp(H, 0, H - 4, W, 4));
    iconLabel(host, TaskCats::emoji(cat), 38, 50)->setGeometry(yUp(H, 32, H - 76, 50, 48));
    QLabel *title = label(host, task.title, 20, QFont::Bold, VF::text());
    title->setGeometry(yUp(H, 86, H - 50, W - 118, 26));
    label(host, TaskCats::display(cat) + QStringLiteral(" · ") + taskDateText(task), 11.5, QFont::Normal, VF::sub())
        ->setGeometry(yUp(H, 86, H - 72, W - 118, 22));
    const QString status =
        task.completed
            ? QStringLiteral("✓  ") + L::t({.en = "DONE", .es = "HECHO", .de = "ERLEDIGT", .fr = "FAIT", .uk = "ВИКОНАНО", .pl = "GOTOWE"})
            : QStringLiteral("◯  ") + L::t({.en = "IN PROGRESS", .es = "EN PROGRESO", .de = "IN BEARBEITUNG", .fr = "EN COURS",
                                            .uk = "В ПРОЦЕСІ", .pl = "W TOKU"});
    QLabel *st = label(host, status, 11, QFont::DemiBold, task.completed ? VF::accent() : VF::sub(), Qt::AlignCenter);
    st->setObjectName(QStringLiteral("taskStatus"));
    st->setGeometry(yUp(H, 0, H - 108, W, 18));
    if (!task.description.isEmpty()) {
        QLabel *d = label(host, firstLines(task.description, kMaxDescriptionLines), 12.5, QFont::Normal, VF::sub(),
                          Qt::AlignLeft | Qt::AlignTop);
        d->setObjectName(QStringLiteral("taskDescription"));
        d->setWordWrap(true);
        d->setGeometry(yUp(H, 32, H - 180, W - 64, 62));
    }
    auto *sep = new PomBox(VF::border(), 0, host);
    sep->setGeometry(yUp(H, 32, H - 196, W - 64, 1));

    QPointer<PomodoroView> self(this);
    const QString id = task.id;
    const QString taskTitle = task.title;
    const QColor t1 = task.completed ? VF::sub() : VF::accent();
    auto *toggle = new TintButton(task.completed ? QStringLiteral("↩ ") + L::t({.en = "Mark active", .es = "Marcar activo",
                                                                                .de = "Als aktiv markieren", .fr = "Marquer actif",
                                                                                .uk = "Позначити активним", .pl = "Oznacz jako aktywne"})
                                                 : QStringLiteral("✓  ") + L::t({.en = "Complete task", .es = "Completar tarea",
                                                                                 .de = "Aufgabe abschließen", .fr = "Terminer la tâche",
                                                                                 .uk = "Завершити завдання", .pl = "Ukończ zadanie"}),
                                  t1, 0.15, 0.45, 8, host);
    toggle->setObjectName(QStringLiteral("toggleTaskButton"));
    toggle->setFont(Fonts::scaledFont(12, QFont::DemiBold));
    toggle->setGeometry(yUp(H, 32, H - 240, W - 64, 36));
    connect(toggle, &QPushButton::clicked, newAW([self, id] {
                TaskStore::shared().toggle(id);
                if (self) self->setSelectedItem(std::nullopt);
            }),
            &AW::run);

    auto *del = new TintButton(QStringLiteral("🗑  ") + L::t({.en = "Delete task", .es = "Eliminar tarea", .de = "Aufgabe löschen",
                                                               .fr = "Supprimer la tâche", .uk = "Видалити завдання", .pl = "Usuń zadanie"}),
                               kDeleteColour, 0.12, 0.35, 8, host);
    del->setObjectName(QStringLiteral("deleteTaskButton"));
    del->setFont(Fonts::scaledFont(12, QFont::DemiBold));
    del->setGeometry(yUp(H, 32, H - 288, W - 64, 36));
    connect(del, &QPushButton::clicked, newAW([self, id, taskTitle] {
                Dialogs::Alert a;
                a.title = L::t({.en = "Delete task?", .es = "¿Eliminar la tarea?", .de = "Aufgabe löschen?",
                                .fr = "Supprimer la tâche ?", .uk = "Видалити завдання?", .pl = "Usunąć zadanie?"});
                a.text = QStringLiteral("«") + taskTitle + QStringLiteral("» ") +
                         L::t({.en = "will be deleted.", .es = "será eliminada.", .de = "wird gelöscht.",
                               .fr = "sera supprimée.", .uk = "буде видалено.", .pl = "zostanie usunięte."});
                a.buttons = {L::t({.en = "Delete", .es = "Eliminar", .de = "Löschen", .fr = "Supprimer", .uk = "Видалити", .pl = "Usuń"}),
                             cancelTitle()};
                a.warning = true;
                if (Dialogs::get().alert(self ? self->window() : nullptr, a) != 0) return;
                TaskStore::shared().remove(id);
                if (self) self->setSelectedItem(std::nullopt);
            }),
            &AW::run);
}

void PomodoroView::showAddTaskDialog() {
    if (!window()) return;
    // The task is dated the day the dialog showed, whenever the user confirms.
    const QDate today = Clock::get().today();

    auto *acc = new QWidget;
    acc->setFixedSize(420, 220);
    const double AH = 220;
    fieldCaption(acc, L::t({.en = "Category", .es = "Categoría", .de = "Kategorie", .fr = "Catégorie", .uk = "Категорія", .pl = "Kategoria"}))
        ->setGeometry(yUp(AH, 2, 198, 420, 15));
    auto *popup = new QComboBox(acc);
    popup->setObjectName(QStringLiteral("categoryPopup"));
    for (TaskCat c : TaskCats::allCases) popup->addItem(TaskCats::emoji(c) + QLatin1Char(' ') + TaskCats::display(c));
    popup->setCurrentIndex(0);
    popup->setFont(Fonts::scaledFont(13));
    EmojiText::colourItems(popup);
    popup->setGeometry(yUp(AH, 0, 170, 420, 26));
    fieldCaption(acc, L::t({.en = "Task title", .es = "Título de la tarea", .de = "Aufgabentitel", .fr = "Titre de la tâche",
                            .uk = "Заголовок завдання", .pl = "Tytuł zadania"}))
        ->setGeometry(yUp(AH, 2, 148, 420, 15));
    auto *titleField = new QLineEdit(acc);
    titleField->setObjectName(QStringLiteral("titleField"));
    titleField->setPlaceholderText(L::t({.en = "E.g.: Write report, meeting…", .es = "Ej.: Informe, reunión…",
                                         .de = "Z.B.: Bericht, Meeting…", .fr = "Ex. : Rapport, réunion…",
                                         .uk = "Напр.: Написати звіт, нарада…", .pl = "Np.: Napisz raport, spotkanie…"}));
    titleField->setFont(Fonts::scaledFont(13));
    titleField->setGeometry(yUp(AH, 0, 118, 420, 28));
    fieldCaption(acc, L::t({.en = "Description (links clickable)", .es = "Descripción (enlaces clicables)",
                            .de = "Beschreibung (Links klickbar)", .fr = "Description (liens cliquables)",
                            .uk = "Опис (посилання клікабельні)", .pl = "Opis (linki klikalne)"}))
        ->setGeometry(yUp(AH, 2, 98, 420, 15));
    auto *desc = new QPlainTextEdit(acc);
    desc->setObjectName(QStringLiteral("descriptionField"));
    desc->setFont(Fonts::scaledFont(12.5));
    styleTextBox(desc, 6);
    desc->setGeometry(yUp(AH, 0, 0, 420, 94));
    // Once the dialog has started: the cursor goes into the title, and the dialog takes the window's look.
    QPointer<QWidget> mainWin(window());
    QTimer::singleShot(0, titleField, [titleField, mainWin] {
        matchAppearance(titleField->window(), mainWin);
        titleField->setFocus();
    });

    Dialogs::Alert a;
    a.title = L::t({.en = "New task", .es = "Nueva tarea", .de = "Neue Aufgabe", .fr = "Nouvelle tâche", .uk = "Нове завдання", .pl = "Nowe zadanie"});
    a.text = L::t({.en = "Task will be added for today — ", .es = "Tarea añadida para hoy — ",
                   .de = "Aufgabe wird für heute hinzugefügt — ", .fr = "Tâche ajoutée pour aujourd'hui — ",
                   .uk = "Завдання буде додано на сьогодні — ", .pl = "Zadanie zostanie dodane na dziś — "}) +
             QStringLiteral("%1.%2.%3").arg(today.day()).arg(today.month(), 2, 10, QLatin1Char('0')).arg(today.year());
    a.buttons = {L::t({.en = "Add", .es = "Agregar", .de = "Hinzufügen", .fr = "Ajouter", .uk = "Додати", .pl = "Dodaj"}),
                 cancelTitle()};
    a.accessory = acc;
    QPointer<PomodoroView> self(this);
    const int answer = Dialogs::get().alert(window(), a);
    std::optional<Task> task;
    if (answer == 0)
        task = PomDialogRules::newTask(titleField->text(), popup->currentIndex(), desc->toPlainText(), today);
    acc->deleteLater();
    if (!task) return;
    TaskStore::shared().add(*task);
    if (self) self->setSelectedItem(PomListRows::taskRowId(task->id));
}
