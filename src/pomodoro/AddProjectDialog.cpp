// The add-project dialog of the Pomodoro page.
#include "platform/Dialogs.h"
#include "pomodoro/PomDialogRules.h"
#include "pomodoro/PomListRows.h"
#include "pomodoro/PomUi.h"
#include "pomodoro/PomodoroView.h"
#include "pomodoro/ProjectStore.h"
#include "ui/CommonAlerts.h"
#include "ui/AW.h"
#include "ui/Geometry.h"
#include "ui/Lang.h"
#include "ui/Theme.h"
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

using namespace PomUi;

void PomodoroView::showAddProjectDialog() {
    if (!window()) return;
    auto *acc = new QWidget;
    acc->setFixedSize(420, 160);
    const double AH = 160;
    auto caption = [&](const QString &t, double x, double y, double w) {
        label(acc, t, 10, QFont::DemiBold, VF::sub())->setGeometry(yUp(AH, x, y, w, 14));
    };
    caption(L::t({.en = "Emoji", .es = "Emoji", .de = "Emoji", .fr = "Emoji", .uk = "Емодзі", .pl = "Emoji"}), 0, 144, 60);
    auto *emoji = new QLineEdit(QStringLiteral("📁"), acc);
    emoji->setObjectName(QStringLiteral("emojiField"));
    emoji->setAlignment(Qt::AlignCenter);
    emoji->setFont(Fonts::scaledFont(18));
    emoji->setGeometry(yUp(AH, 0, 118, 52, 26));
    const char *picks[] = {"🚀", "🎯", "💡", "🎨", "📚"};
    for (int k = 0; k < 5; ++k) {
        auto *b = new QPushButton(QString::fromUtf8(picks[k]), acc);
        b->setObjectName(QStringLiteral("pick%1").arg(k));
        b->setFocusPolicy(Qt::NoFocus);
        b->setFont(Fonts::scaledFont(16));
        b->setGeometry(yUp(AH, 60 + 34 * k, 118, 30, 30));
        const QString e = b->text();
        QPointer<QLineEdit> field(emoji);
        // The closure lives as long as its button.
        connect(b, &QPushButton::clicked, AW::attach(b, [field, e] {
                    if (field) field->setText(e);
                }),
                &AW::run);
    }
    caption(L::t({.en = "Name", .es = "Nombre", .de = "Name", .fr = "Nom", .uk = "Назва", .pl = "Nazwa"}), 0, 98, 420);
    auto *name = new QLineEdit(acc);
    name->setObjectName(QStringLiteral("nameField"));
    name->setPlaceholderText(L::t({.en = "Project name…", .es = "Nombre del proyecto…", .de = "Projektname…",
                                   .fr = "Nom du projet…", .uk = "Назва проекту…", .pl = "Nazwa projektu…"}));
    name->setFont(Fonts::scaledFont(13));
    name->setGeometry(yUp(AH, 0, 72, 420, 26));
    caption(L::t({.en = "Description (links supported)", .es = "Descripción (enlaces)", .de = "Beschreibung (Links unterstützt)",
                  .fr = "Description (liens)", .uk = "Опис (посилання підтримуються)", .pl = "Opis (linki obsługiwane)"}),
            0, 52, 420);
    auto *desc = new QPlainTextEdit(acc);
    desc->setObjectName(QStringLiteral("descriptionField"));
    desc->setFont(Fonts::scaledFont(12));
    styleTextBox(desc, 5);
    desc->setGeometry(yUp(AH, 0, 0, 420, 48));
    // Once the dialog has started: the cursor goes into the name, and the dialog takes the window's look.
    QPointer<QWidget> mainWin(window());
    QTimer::singleShot(0, name, [name, mainWin] {
        matchAppearance(name->window(), mainWin);
        name->setFocus();
    });

    Dialogs::Alert a;
    a.title = L::t({.en = "New project", .es = "Nuevo proyecto", .de = "Neues Projekt", .fr = "Nouveau projet", .uk = "Новий проект",
                    .pl = "Nowy projekt"});
    a.text = L::t({.en = "Enter project name and description", .es = "Ingresa nombre y descripción",
                   .de = "Projektname und Beschreibung eingeben", .fr = "Entrez le nom et la description",
                   .uk = "Введіть назву та опис проекту", .pl = "Wpisz nazwę i opis projektu"});
    a.buttons = {L::t({.en = "Create", .es = "Crear", .de = "Erstellen", .fr = "Créer", .uk = "Створити", .pl = "Utwórz"}),
                 cancelTitle()};
    a.accessory = acc;
    QPointer<PomodoroView> self(this);
    const int answer = Dialogs::get().alert(window(), a);
    std::optional<Project> project;
    if (answer == 0) project = PomDialogRules::newProject(name->text(), emoji->text(), desc->toPlainText());
    acc->deleteLater();
    if (!project) return;
    ProjectStore::shared().add(*project);
    if (self) self->selectRow(PomListRows::projectRowId(project->id));
}
