#include "board/TasksView.h"

#include "board/BoardCards.h"
#include "board/BoardGrid.h"
#include "board/BoardUi.h"
#include "board/TaskDetailPanel.h"
#include "platform/Clock.h"
#include "platform/Keys.h"
#include "platform/Notifier.h"
#include "pomodoro/TaskStore.h"
#include "ui/UiKit.h"
#include "ui/FadedScroller.h"
#include "ui/Geometry.h"
#include "ui/Lang.h"
#include "ui/TaggedView.h"
#include <QFontMetricsF>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

using namespace BoardUi;

namespace {
constexpr int kHdrTag = 8800;
constexpr int kScrollDelayMs = 100;
constexpr double kExportMinW = 90;

QString subtitleText() {
    return L::t({.en = "Drag tasks between days. Click cell to add.",
                 .es = "Arrastra tareas entre días. Clic en celda para añadir.",
                 .de = "Aufgaben zwischen Tagen ziehen. Zelle klicken zum Hinzufügen.",
                 .fr = "Glissez les tâches entre les jours. Cliquez pour ajouter.",
                 .uk = "Перетягуйте завдання між днями. Клікніть клітинку, щоб додати.",
                 .pl = "Przeciągaj zadania między dniami. Kliknij komórkę, aby dodać."});
}
QString progressText() {
    return L::t({.en = "Overall monthly progress",
                 .es = "Progreso mensual general",
                 .de = "Monatlicher Gesamtfortschritt",
                 .fr = "Progression mensuelle globale",
                 .uk = "Загальний прогрес місяця",
                 .pl = "Ogólny postęp miesiąca"});
}
QString tasksWord() {
    return L::t(
        {.en = "Tasks", .es = "Tareas", .de = "Aufgaben", .fr = "Tâches", .uk = "Завдання", .pl = "Zadania"});
}
} // namespace

TasksView::TasksView(QWidget *parent) : Page(parent) {
    const QDate t = Clock::get().today();
    ym_ = {t.year(), t.month()};
}

void TasksView::setup() {
    // The switcher empties the page before setting it up again: the tree is built anew on next show.
    built_ = false;
    hdrBand_ = nullptr;
    grid_ = nullptr;
    for (const auto &c : observers_)
        QObject::disconnect(c);
    observers_.clear();
    auto &n = Notifier::get();
    observers_ << n.observe(QLatin1String(Notify::tasksChanged), this,
                            [this](QObject *) { requestRebuild(); });
    observers_ << n.observe(QLatin1String(Notify::languageChanged), this,
                            [this](QObject *) { requestRebuild(); });
    observers_ << n.observe(QStringLiteral("showTaskDetail"), this, [this](QObject *sender) {
        const QVariant v = sender ? sender->property("taskID") : QVariant();
        if (v.typeId() != QMetaType::QString) return;
        const QString id = v.toString();
        QTimer::singleShot(0, this, [this, id] { showTaskDetail(id); });
    });
    requestRebuild();
}

void TasksView::buildTree() {
    built_ = true;
    applyBackground();
    hdrBand_ = new TaggedView(kHdrTag, this);
    UiKit::fillBackground(hdrBand_, VF::hdrBg());

    titleLbl_ = label(this, 24, QFont::Bold, VF::text());
    subtitleLbl_ = label(this, 11.5, QFont::Normal, VF::sub());
    prevBtn_ = makeHdrBtn(new QPushButton, QStringLiteral("←"), false, this);
    prevBtn_->setFont(Fonts::scaledFont(14, QFont::Medium));
    prevBtn_->setObjectName(QStringLiteral("prevMonth"));
    monthLbl_ = label(this, 14, QFont::DemiBold, VF::text(), Qt::AlignCenter);
    nextBtn_ = makeHdrBtn(new QPushButton, QStringLiteral("→"), false, this);
    nextBtn_->setFont(Fonts::scaledFont(14, QFont::Medium));
    nextBtn_->setObjectName(QStringLiteral("nextMonth"));
    exportBtn_ = makeHdrBtn(new QPushButton, QStringLiteral("📤 Export ▾"), true, this);
    exportBtn_->setObjectName(QStringLiteral("exportMenu"));
    connect(prevBtn_, &QPushButton::clicked, this, [this] { navMonth(-1); });
    connect(nextBtn_, &QPushButton::clicked, this, [this] { navMonth(1); });
    connect(exportBtn_, &QPushButton::clicked, this, [this] { showExportMenu(); });

    for (TaskCat c : TaskCats::allCases)
        cards_[std::size_t(c)] = new StatCard(c, this);
    progressLbl_ = label(this, 11.5, QFont::Normal, VF::sub());
    track_ = new ProgressTrack(this);
    overallPct_ = label(this, 14, QFont::Bold, VF::accent(), Qt::AlignRight | Qt::AlignVCenter);
    colHdr_ = new ColumnHeadings(this);

    scroll_ = UiKit::plainScrollArea(this, true);
    grid_ = new BoardGrid;
    QPointer<TasksView> self(this);
    grid_->onAdd = [self](int day, TaskCat cat) {
        // Opened after the click has been handled, so the sheet's event loop never runs inside it.
        if (self)
            QTimer::singleShot(0, self, [self, day, cat] {
                if (self) self->addTaskDialog(day, cat);
            });
    };
    scroll_->setWidget(grid_);

    for (QWidget *w : findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        w->show();
    layoutFrame();
}

void TasksView::resizeEvent(QResizeEvent *e) {
    Page::resizeEvent(e);
    layoutFrame();
}

void TasksView::layoutFrame() {
    if (!built_) return;
    const double W = width(), H = height();
    hdrBand_->setGeometry(yUp(H, 0, H - 74, W, 74));
    // A month name longer than the design's 112 points widens the switcher to the left.
    const double monthW = std::max(
        112.0,
        QFontMetricsF(monthLbl_->font()).horizontalAdvance(monthLbl_->property("fullText").toString()) + 8);
    // The export title is the same in every language; the button grows, right-aligned, when a larger
    // font scale needs more room, and the month switcher moves left with it.
    const double ew =
        std::max(kExportMinW, exportBtn_->fontMetrics().horizontalAdvance(exportBtn_->text()) + 18.0);
    const double x0 = W - 300 - (monthW - 112) - (ew - kExportMinW);
    prevBtn_->setGeometry(yUp(H, x0, H - 54, 30, 30));
    place(monthLbl_, yUp(H, x0 + 34, H - 52, monthW, 26));
    nextBtn_->setGeometry(yUp(H, x0 + 34 + monthW, H - 54, 30, 30));
    // As wide as the room before the month switcher allows, so long month names are not cut.
    place(titleLbl_, yUp(H, 20, H - 46, std::max(380.0, x0 - 28), 30));
    place(subtitleLbl_, yUp(H, 20, H - 64, std::max(400.0, x0 - 28), 16));
    exportBtn_->setGeometry(yUp(H, W - 20 - ew, H - 52, ew, 26));
    const double c = (W - 52) * 0.25;
    for (int i = 0; i < 4; ++i)
        cards_[std::size_t(i)]->setGeometry(yUp(H, 20 + i * (c + 4), H - 198, c, 120));
    // A caption longer than the design's 160 points pushes the track's start to the right.
    const double pw = std::max(
        160.0,
        QFontMetricsF(progressLbl_->font()).horizontalAdvance(progressLbl_->property("fullText").toString()) +
            4);
    place(progressLbl_, yUp(H, 20, H - 226, pw, 16));
    track_->setGeometry(yUp(H, 20 + pw + 4, H - 224, std::max(0.0, W - 270 - (pw - 160)), 10));
    place(overallPct_, yUp(H, W - 84, H - 230, 64, 22));
    colHdr_->setGeometry(yUp(H, 0, H - 266, W, 32));
    scroll_->setGeometry(yUp(H, 0, 0, W, std::max(0.0, H - 266)));
}

void TasksView::updateTitle() {
    const QString month = L::monthYear(ym_.year, ym_.month, L::lang());
    setFitted(titleLbl_, tasksWord() + QStringLiteral(" — ") + month);
    setFitted(monthLbl_, month);
    layoutFrame();
}

QString TasksView::titleText() const {
    return titleLbl_ ? titleLbl_->property("fullText").toString() : QString();
}
QString TasksView::overallPctText() const {
    return overallPct_ ? overallPct_->text() : QString();
}

void TasksView::rebuild() {
    if (!built_) buildTree();
    setFitted(subtitleLbl_, subtitleText());
    setFitted(progressLbl_, progressText());
    updateTitle(); // lays the frame out again for the new texts
    BoardRules::BoardMonth month = BoardRules::buildMonth(TaskStore::shared().tasks(), ym_);
    for (TaskCat c : TaskCats::allCases) {
        const auto &f = month.figures[std::size_t(c)];
        cards_[std::size_t(c)]->update(f.done, f.total, f.pct());
    }
    setFitted(overallPct_, QString::number(month.overallPct()) + QLatin1Char('%'));
    track_->setRatio(month.ratio());
    colHdr_->update();
    grid_->setMonth(std::move(month), Clock::get().today());
    grid_->setMinimumHeight(
        int(std::ceil(grid_->rowTop(grid_->month().days) + grid_->rowHeight(grid_->month().days))));
    if (needsInitialScroll_) {
        needsInitialScroll_ = false;
        scrollToToday();
    }
}

void TasksView::navMonth(int delta) {
    ym_ = BoardRules::stepMonth(ym_, delta);
    needsInitialScroll_ = true;
    requestRebuild();
}

void TasksView::scrollToToday() {
    const QDate t = Clock::get().today();
    if (t.year() != ym_.year || t.month() != ym_.month) return;
    const int day = t.day();
    QTimer::singleShot(kScrollDelayMs, this, [this, day] {
        if (!grid_ || !scroll_) return;
        const double top = grid_->rowTop(day), h = grid_->rowHeight(day);
        scroll_->ensureVisible(0, int(top + h / 2), 0, int(h / 2) + 1);
    });
}

QList<TaskDetailPanel *> TasksView::openPanels() const {
    QList<TaskDetailPanel *> out;
    for (const auto &p : panels_)
        if (p) out << p.data();
    return out;
}

void TasksView::showTaskDetail(const QString &taskId) {
    const auto &all = TaskStore::shared().tasks();
    auto it = std::find_if(all.begin(), all.end(), [&](const Task &t) { return t.id == taskId; });
    if (it == all.end() || !window()) return;
    panels_.removeAll(QPointer<TaskDetailPanel>());
    auto *panel = new TaskDetailPanel(*it, window());
    panels_ << panel;
    panel->present();
}
