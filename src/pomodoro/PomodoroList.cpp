// The list of the Pomodoro page and the choice of detail.
#include "platform/Keys.h"
#include "platform/Clock.h"
#include "pomodoro/PomListRows.h"
#include "pomodoro/PomListView.h"
#include "pomodoro/PomStatCard.h"
#include "pomodoro/PomUi.h"
#include "pomodoro/PomodoroTimer.h"
#include "pomodoro/PomodoroView.h"
#include "pomodoro/ProjectStore.h"
#include "pomodoro/TaskStore.h"
#include "ui/UiKit.h"
#include "ui/TintButton.h"
#include "ui/AW.h"
#include "ui/Geometry.h"
#include "ui/Lang.h"
#include "ui/Theme.h"
#include <QScrollBar>

using namespace PomUi;

namespace {
TintButton *listButton(const QString &title, QWidget *parent) {
    auto *b = new TintButton(title, VF::accent(), 0.15, 0, 8, parent);
    b->setFont(Fonts::scaledFont(12, QFont::DemiBold));
    return b;
}

QString pomodoroHeader() {
    return QStringLiteral("🍅  ") +
           L::t({.en = "POMODORO", .es = "POMODORO", .de = "POMODORO", .fr = "POMODORO", .uk = "ПОМОДОРО", .pl = "POMODORO"});
}
QString todayHeader() {
    return QStringLiteral("📋  ") + L::t({.en = "TODAY'S TASKS",
                                          .es = "TAREAS DE HOY",
                                          .de = "HEUTIGE AUFGABEN",
                                          .fr = "TÂCHES DU JOUR",
                                          .uk = "ЗАВДАННЯ НА СЬОГОДНІ",
                                          .pl = "ZADANIA NA DZIŚ"});
}
QString projectsHeader() {
    return QStringLiteral("📁  ") +
           L::t({.en = "PROJECTS", .es = "PROYECTOS", .de = "PROJEKTE", .fr = "PROJETS", .uk = "ПРОЕКТИ", .pl = "PROJEKTY"});
}
constexpr double kHeaderPx = 9;

// An empty section's hint, wrapped over as many lines as the width and the font scale ask; what
// follows moves down to match. Returns where the next item goes.
double emptyHint(QWidget *parent, const QString &text, double y, double W, const char *name) {
    QLabel *l = label(parent, text, 11, QFont::Normal, VF::muted());
    l->setObjectName(QLatin1String(name));
    l->setWordWrap(true);
    const int width = std::max(1, int(W - 28));
    const int extra = std::max(0, l->heightForWidth(width) - 16);
    l->setGeometry(QRectF(14, y, width, 16 + extra).toRect());
    return y + 26 + extra;
}
} // namespace

void PomodoroView::rebuildList(double W) {
    clearChildren(listContent_);
    rewireHeaderButtons();
    if (W <= 0) W = listScroll_->width() > 0 ? listScroll_->width() : 260;
    QPointer<PomodoroView> self(this);

    double y = addListHeader(pomodoroHeader(),
                             8, W);
    std::vector<PomListView::Block> blocks;
    const PomodoroTimer &timer = PomodoroTimer::shared();
    listContent_->setTimerRow(PomListRows::timerRow(timer.phase(), timer.remaining(), timer.isRunning()));
    blocks.push_back({PomListView::Source::timer, y, {}});
    y += PomListView::kRowPitch;

    y = addListHeader(todayHeader(),
                      y, W);
    std::vector<int> today = PomListRows::todaysTaskIndexes(TaskStore::shared().tasks(), Clock::get().today());
    if (today.empty()) {
        y = emptyHint(listContent_,
                      L::t({.en = "No tasks today",
                            .es = "Sin tareas hoy",
                            .de = "Keine Aufgaben heute",
                            .fr = "Aucune tâche aujourd'hui",
                            .uk = "Сьогодні завдань немає",
                            .pl = "Brak zadań na dziś"}),
                      y, W, "noTasksHint");
    } else {
        const double top = y;
        y += double(today.size()) * PomListView::kRowPitch;
        blocks.push_back({PomListView::Source::task, top, std::move(today)});
    }
    auto *addTask = listButton(QStringLiteral("＋  ") + L::t({.en = "Add new task",
                                                              .es = "Nueva tarea",
                                                              .de = "Neue Aufgabe",
                                                              .fr = "Ajouter une tâche",
                                                              .uk = "Нове завдання",
                                                              .pl = "Nowe zadanie"}),
                               listContent_);
    addTask->setObjectName(QStringLiteral("addTaskButton"));
    addTask->setGeometry(QRectF(8, y, W - 16, 32).toRect());
    connect(addTask, &QPushButton::clicked, newAW([self] {
                if (self) self->showAddTaskDialog();
            }),
            &AW::run);

    y = addListHeader(projectsHeader(),
                      y + 40, W);
    const auto &projects = ProjectStore::shared().projects();
    if (projects.empty()) {
        y = emptyHint(listContent_,
                      L::t({.en = "No projects. Press ＋ to create one",
                            .es = "Sin proyectos. Pulsa ＋",
                            .de = "Keine Projekte. ＋ drücken",
                            .fr = "Aucun projet. Appuyez sur ＋",
                            .uk = "Проектів немає. Натисни ＋ для створення",
                            .pl = "Brak projektów. Naciśnij ＋, aby utworzyć"}),
                      y, W, "noProjectsHint");
    } else {
        std::vector<int> all(projects.size());
        for (size_t i = 0; i < all.size(); ++i) all[i] = int(i);
        blocks.push_back({PomListView::Source::project, y, std::move(all)});
        y += double(projects.size()) * PomListView::kRowPitch;
    }
    auto *addProj = listButton(QStringLiteral("＋  ") + L::t({.en = "New project",
                                                              .es = "Nuevo proyecto",
                                                              .de = "Neues Projekt",
                                                              .fr = "Nouveau projet",
                                                              .uk = "Новий проект",
                                                              .pl = "Nowy projekt"}),
                               listContent_);
    addProj->setObjectName(QStringLiteral("addProjectButton"));
    addProj->setGeometry(QRectF(8, y, W - 16, 32).toRect());
    connect(addProj, &QPushButton::clicked, newAW([self] {
                if (self) self->showAddProjectDialog();
            }),
            &AW::run);

    // At least as tall as the view, never taller than needed: Qt shows a scroll bar (not an overlay)
    // whenever the document is taller, and the page keeps no bounce-scrolling margin.
    listContent_->setBlocks(std::move(blocks), selectedItem_);
    listNeededH_ = y + 48;
    listContent_->setGeometry(0, 0, int(W), int(std::max(listNeededH_, double(listScroll_->viewport()->height()))));
    for (QWidget *w : listContent_->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) w->show();
}

double PomodoroView::addListHeader(const QString &title, double y, double W) {
    label(listContent_, title, kHeaderPx, QFont::DemiBold, VF::muted())->setGeometry(QRectF(14, y, W - 28, 14).toRect());
    auto *rule = new QWidget(listContent_);
    UiKit::fillBackground(rule, VF::border());
    rule->setGeometry(QRectF(14, y + 16, W - 28, 1).toRect());
    return y + 26;
}

void PomodoroView::selectRow(const QString &id) {
    if (!selectedItem_ || *selectedItem_ != id) {
        projDetailScrollY_ = 0;
        projDetailScrollID_.reset();
    }
    setSelectedItem(id);
}

void PomodoroView::rebuildDetail() {
    if (pomSettScrollRef_) pomSettScrollY_ = pomSettScrollRef_->verticalScrollBar()->value();
    pomSettScrollRef_.clear();
    if (projDetailScrollRef_) projDetailScrollY_ = projDetailScrollRef_->verticalScrollBar()->value();
    projDetailScrollRef_.clear();
    // The figure cards belong to the page: take them out before the old detail goes.
    for (PomStatCard *c : {statToday_, statStreak_, statTotal_, statFocus_}) {
        c->hide();
        c->setParent(this);
    }
    pomSmoothTicker_->stop();
    clearChildren(detailHost_);
    if (detailHost_->width() <= 10 || detailHost_->height() <= 10) return;

    const PomSelection sel = PomListRows::parse(selectedItem_);
    switch (sel.kind) {
    case PomSelection::Kind::none:
        showDetailEmpty();
        break;
    case PomSelection::Kind::timer:
        showPomodoroDetail();
        break;
    case PomSelection::Kind::task: {
        const auto &ts = TaskStore::shared().tasks();
        const auto it = std::find_if(ts.begin(), ts.end(), [&](const Task &t) { return t.id == sel.recordId; });
        if (it != ts.end()) showTaskDetail(*it);
        else showDetailEmpty();
        break;
    }
    case PomSelection::Kind::project: {
        const auto &ps = ProjectStore::shared().projects();
        const auto it =
            std::find_if(ps.begin(), ps.end(), [&](const Project &p) { return p.id == sel.recordId; });
        if (it != ps.end()) showProjectDetail(*it);
        else showDetailEmpty();
        break;
    }
    case PomSelection::Kind::other:
        break;
    }
    for (QWidget *w : detailHost_->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) w->show();
}

void PomodoroView::showDetailEmpty() {
    const double w = detailHost_->width(), h = detailHost_->height();
    QLabel *l = label(detailHost_,
                      L::t({.en = "← Select an item from the list",
                            .es = "← Selecciona un elemento",
                            .de = "← Element aus der Liste wählen",
                            .fr = "← Sélectionner un élément",
                            .uk = "← Виберіть елемент зі списку",
                            .pl = "← Wybierz element z listy"}),
                      15, QFont::Medium, VF::muted(), Qt::AlignCenter);
    l->setObjectName(QStringLiteral("emptyDetail"));
    l->setGeometry(yUp(h, 0, (h - 30) / 2, w, 30));
}

QWidget *PomodoroView::sectionHdrView(const QString &title, double y, double W, double pad) {
    auto *v = new QWidget;
    v->setGeometry(QRectF(0, y, W, 28).toRect());
    label(v, title, 9, QFont::DemiBold, VF::muted())->setGeometry(QRectF(pad, 2, 200, 12).toRect());
    auto *rule = new QWidget(v);
    UiKit::fillBackground(rule, VF::border());
    rule->setGeometry(QRectF(pad, 16, W - 2 * pad, 1).toRect());
    return v;
}

QList<EmojiPrep::Text> PomodoroView::listEmoji() {
    const QFont header = Fonts::scaledFont(kHeaderPx, QFont::DemiBold);
    return {{pomodoroHeader(), header}, {todayHeader(), header}, {projectsHeader(), header}};
}
