#include "pomodoro/PomodoroView.h"

#include "platform/Keys.h"
#include "platform/Clock.h"
#include "platform/Notifier.h"
#include "pomodoro/EditProjectPanel.h"
#include "pomodoro/PomListRows.h"
#include "pomodoro/PomListView.h"
#include "pomodoro/PomStatCard.h"
#include "pomodoro/Phase.h"
#include "pomodoro/PomodoroTimer.h"
#include "pomodoro/TimerFigures.h"
#include "pomodoro/PomUi.h"
#include "ui/UiKit.h"
#include "ui/AW.h"
#include "ui/FadedScroller.h"
#include "ui/FlippedView.h"
#include "ui/Fonts.h"
#include "ui/Geometry.h"
#include "ui/Lang.h"
#include "ui/Makers.h"
#include "ui/RingView.h"
#include "ui/SplitPageFrame.h"
#include "ui/TextFit.h"
#include "ui/Theme.h"
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <algorithm>

namespace {
QString titleText() {
    return QStringLiteral("🍅  ") + L::t({.en = "Pomodoro",
                                          .es = "Pomodoro",
                                          .de = "Pomodoro",
                                          .fr = "Pomodoro",
                                          .uk = "Помодоро",
                                          .pl = "Pomodoro"});
}
QString subtitleText() {
    return L::t({.en = "Timer · Tasks · Projects",
                 .es = "Temporizador · Tareas · Proyectos",
                 .de = "Timer · Aufgaben · Projekte",
                 .fr = "Minuteur · Tâches · Projets",
                 .uk = "Таймер · Завдання · Проекти",
                 .pl = "Timer · Zadania · Projekty"});
}
QString importText() {
    return QStringLiteral("📥 ") + L::t({.en = "Import",
                                         .es = "Importar",
                                         .de = "Importieren",
                                         .fr = "Importer",
                                         .uk = "Імпортувати",
                                         .pl = "Importuj"});
}
QString exportText() {
    return QStringLiteral("📤 ") + L::t({.en = "Export",
                                         .es = "Exportar",
                                         .de = "Exportieren",
                                         .fr = "Exporter",
                                         .uk = "Експортувати",
                                         .pl = "Eksportuj"});
}
const QString kStatIcons[] = {QStringLiteral("🍅"), QStringLiteral("🔥"), QStringLiteral("✅"), QStringLiteral("⏱")};
} // namespace

QList<EmojiPrep::Text> PomodoroView::emojiShown() {
    QList<EmojiPrep::Text> out;
    for (const QString &icon : kStatIcons) out.append({icon, PomStatCard::iconFont()});
    // The list's emoji column measures its font on the tomato before its rows draw the phase's icon.
    out.append({QStringLiteral("🍅"), PomListView::emojiFontToFit()});
    for (Phase p : {Phase::work, Phase::rest, Phase::longRest}) {
        out.append({Phases::emoji(p), Fonts::scaledFont(kPhaseIconPx)});
        out.append({Phases::emoji(p), PomListView::emojiFontToFit()});
    }
    out.append({titleText(), SplitPageFrame::titleFont()});
    for (const QString &t : {importText(), exportText()}) out.append({t, hdrBtnFont(false)});
    return out + listEmoji() + timerPanelEmoji();
}

// The clock's digits keep their size at every font scale.
PomodoroView::PomodoroView(QWidget *parent)
    : Page(parent), frame_(new SplitPageFrame(this, {.headerH = 70, .list = {160, 0.55}, .listFrac = 0.3})) {
    pomSmoothTicker_ = Clock::get().makeTicker(this);
    connect(pomSmoothTicker_, &Ticker::timeout, this, [this] { onRingTick(); });

    // Observers are connected once, for the life of the page; every change only asks for a redraw.
    auto &n = Notifier::get();
    n.observe(Notify::pomodoroChanged, this, [this](QObject *) { onPomodoroChanged(); });
    n.observe(Notify::languageChanged, this, [this](QObject *) {
        frame_->setTitles(titleText(), subtitleText());
        requestRebuild();
    });
    n.observe(Notify::tasksChanged, this, [this](QObject *) { requestRebuild(); });
    n.observe(Notify::projectsChanged, this, [this](QObject *) { requestRebuild(); });
}

PomodoroView::~PomodoroView() {
    for (const auto &p : std::as_const(editPanels_))
        if (p) p->deleteLater();
}

void PomodoroView::setSelectedItem(const std::optional<QString> &id) {
    selectedItem_ = id;
    requestRebuild();
}

QWidget *PomodoroView::listContent() const { return listContent_; }
bool PomodoroView::clockRunning() const { return frame_->clockRunning(); }
bool PomodoroView::ringTickerRunning() const { return pomSmoothTicker_->isActive(); }

EditProjectPanel *PomodoroView::editPanel(const QString &projectId) const {
    return editPanels_.value(projectId).data();
}

void PomodoroView::setup() {
    // clearContent() has deleted the previous views (theme or font-scale change): build them anew.
    applyBackground();
    frame_->build();
    listScroll_ = frame_->listScroll();
    detailHost_ = frame_->detailHost();
    listContent_ = new PomListView;
    QPointer<PomodoroView> rowsOf(this);
    listContent_->onRowClicked = [rowsOf](const QString &id) {
        if (rowsOf) rowsOf->selectRow(id);
    };
    listScroll_->setWidget(listContent_);

    QPointer<PomodoroView> self(this);
    frame_->onRelayout = [self] {
        if (!self) return;
        self->layoutFrame();
        self->requestRebuild();
    };

    importBtnPom_ = makeHdrBtn(new QPushButton, importText(), false, this);
    exportBtnPom_ = makeHdrBtn(new QPushButton, exportText(), false, this);
    frame_->setTitles(titleText(), subtitleText());

    statToday_ = new PomStatCard(kStatIcons[0], QStringLiteral("Today"), this);
    statStreak_ = new PomStatCard(kStatIcons[1], QStringLiteral("Streak"), this);
    statTotal_ = new PomStatCard(kStatIcons[2], QStringLiteral("Total"), this);
    statFocus_ = new PomStatCard(kStatIcons[3], QStringLiteral("Focus"), this);
    for (PomStatCard *c : {statToday_, statStreak_, statTotal_, statFocus_}) c->hide();

    lastListW_ = 0;
    for (QWidget *w : findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        if (!qobject_cast<PomStatCard *>(w)) w->show();
    layoutFrame();
    frame_->startClock();
    refresh();
}

void PomodoroView::layoutFrame() {
    if (!frame_->isBuilt()) return;
    frame_->layout();
    placeHeaderButtons();
    listContent_->resize(listContent_->width(), int(std::max(listNeededH_, double(listScroll_->viewport()->height()))));
}

// The buttons keep their 90-point frames unless a title needs more (a long word in some
// languages); they then grow leftwards, so the title is never cut.
void PomodoroView::placeHeaderButtons() {
    const double W = width(), H = height();
    const double ew = hdrBtnWidth(exportBtnPom_, 90), iw = hdrBtnWidth(importBtnPom_, 90);
    const double ex = W - 220 - ew;
    exportBtnPom_->setGeometry(yUp(H, ex, H - 50, ew, 26));
    importBtnPom_->setGeometry(yUp(H, ex - 6 - iw, H - 50, iw, 26));
}

PomodoroView::TimerShape PomodoroView::timerShape() {
    const PomodoroTimer &t = PomodoroTimer::shared();
    return {double(t.phase()),      double(t.isRunning()),      double(t.cycleCount()),  double(t.todayCount()),
            double(t.focusSecsToday()), double(t.totalCount()), double(t.streak()),      double(t.dailyGoal()),
            double(t.cyclesBeforeLong()), t.workMins(),         t.breakMins(),           t.longBreakMins(),
            double(t.soundEnabled()),   double(t.notificationsEnabled())};
}

// The timer beats every second while it runs. A beat that changes only the remaining time updates
// the timer row and the time in place; anything else the page shows from the timer (phase, run
// state, counters, settings) changes its structure and asks for a rebuild.
void PomodoroView::onPomodoroChanged() {
    if (!listContent_ || !isVisible() || rebuildPending() || timerShape() != shownShape_) {
        requestRebuild();
        return;
    }
    updateTimerInPlace();
}

void PomodoroView::updateTimerInPlace() {
    if (!listContent_) return;
    const PomodoroTimer &timer = PomodoroTimer::shared();
    listContent_->setTimerRow(PomListRows::timerRow(timer.phase(), timer.remaining(), timer.isRunning()));
    // While the ring animates, its next frame (at most 33 ms away) sets the time with the ring it
    // overlaps, so the beat does not repaint the ring a second time.
    if (pomTimeLblRef_ && !pomSmoothTicker_->isActive()) {
        const QString t = TimerFigures::timeText(timer.remaining());
        if (pomTimeLblRef_->text() != t) pomTimeLblRef_->setText(t);
    }
}

void PomodoroView::rebuild() {
    if (!listContent_) return; // not set up yet
    shownShape_ = timerShape();
    rebuildList(0);
    rebuildDetail();
}

// Hidden (another page shown, or the window hidden): nothing ticks (the frame stops its clock).
// Shown again: the clock and the ring pick up at once, and Page redraws whatever changed meanwhile.
void PomodoroView::showEvent(QShowEvent *e) {
    Page::showEvent(e);
    if (pomRingRef_) startPomSmoothTicker();
}

void PomodoroView::hideEvent(QHideEvent *e) {
    Page::hideEvent(e);
    pomSmoothTicker_->stop();
}

AW *PomodoroView::keep(AW *aw) {
    awStore_.append(aw);
    return aw;
}

AW *PomodoroView::newAW(std::function<void()> fn) { return keep(new AW(std::move(fn), this)); }

void PomodoroView::rewireHeaderButtons() {
    // The previous targets may belong to the button being clicked right now: release them later.
    for (AW *aw : std::as_const(awStore_)) aw->deleteLater();
    awStore_.clear();
    QPointer<PomodoroView> self(this);
    AW *imp = newAW([self] {
        if (self) self->doImportPom();
    });
    AW *exp = newAW([self] {
        if (self) self->doExportPom();
    });
    importBtnPom_->setText(importText());
    exportBtnPom_->setText(exportText());
    frame_->setTitles(titleText(), subtitleText());
    placeHeaderButtons();
    importBtnPom_->disconnect();
    exportBtnPom_->disconnect();
    connect(importBtnPom_, &QPushButton::clicked, imp, &AW::run);
    connect(exportBtnPom_, &QPushButton::clicked, exp, &AW::run);
}

void PomodoroView::showEditProjectDialog(const Project &project) {
    if (!window() || !isVisible()) return;
    if (EditProjectPanel *open = editPanel(project.id)) {
        open->show();
        open->raise();
        open->activateWindow();
        return;
    }
    auto *panel = new EditProjectPanel(project);
    PomUi::matchAppearance(panel, window());
    QPointer<PomodoroView> self(this);
    panel->onSaved = [self](const QString &id) {
        if (self) self->setSelectedItem(PomListRows::projectRowId(id));
    };
    editPanels_.insert(project.id, panel);
    panel->open();
}
