#include "app/MainTabVC.h"

#include "platform/Keys.h"
#include "app/PlaceholderView.h"
#include "app/SidebarView.h"
#include "finance/FinanceView.h"
#include "health/AlarmsView.h"
#include "platform/Notifier.h"
#include "exercises/ExercisesView.h"
#include "pomodoro/PomodoroView.h"
#include "settings/SettingsView.h"
#include "settings/SupportView.h"
#include "board/TasksView.h"
#include "board/CalendarView.h"
#include "stats/StatisticsView.h"
#include "notes/NotesView.h"
#include "ui/Fonts.h"
#include "ui/Page.h"
#include "ui/Theme.h"
#include <QWindow>

namespace {
constexpr int kSidebarW = 220;
constexpr int kPageX = 221;

// The order pages are built, cleared and set up in; settings set up before notes and support.
const QStringList &clearOrder() {
    static const QStringList o = {"pomodoro", "alarms", "tasks", "calendar", "finances", "exercises",
                                  "statistics", "notes", "support", "settings"};
    return o;
}
const QStringList &setupOrder() {
    static const QStringList o = {"pomodoro", "alarms", "tasks", "calendar", "finances", "exercises",
                                  "statistics", "settings", "notes", "support"};
    return o;
}
// These pages have their frame when they are first set up; the rest get it when first shown.
bool framedAtSetup(const QString &id) {
    return id == QLatin1String("pomodoro") || id == QLatin1String("tasks") || id == QLatin1String("calendar") ||
           id == QLatin1String("finances") || id == QLatin1String("settings");
}
} // namespace

const QStringList &MainTabVC::pageIds() {
    static const QStringList ids = {"pomodoro", "exercises", "alarms", "notes", "tasks",
                                    "calendar", "finances", "statistics", "settings", "support"};
    return ids;
}

MainTabVC::MainTabVC(QWidget *parent, PageFactory factory) : QWidget(parent), factory_(std::move(factory)) {
    resize(1200, 760);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, VF::bg());
    setPalette(p);

    divider_ = new QWidget(this);
    divider_->setAutoFillBackground(true);
    paintDivider();

    auto &n = Notifier::get();
    n.observe(Notify::languageChanged, this, [this](QObject *) { onLanguageChanged(); }, Qt::QueuedConnection);
    n.observe(Notify::themeChanged, this, [this](QObject *) { onThemeChanged(); }, Qt::QueuedConnection);
    n.observe(Notify::fontScaleChanged, this, [this](QObject *) { onFontScaleChanged(); }, Qt::QueuedConnection);

    layoutChildren();
    showPage(QStringLiteral("tasks"));
}

SidebarView *MainTabVC::sidebar() {
    if (sidebar_) return sidebar_;
    // Made on first use (at the latest when the window is first shown): its texts are what first
    // needs the font database, which an app sitting in the tray has no use for.
    sidebar_ = new SidebarView(this);
    if (!pendingId_.isEmpty() && pendingId_ != sidebar_->activeID()) sidebar_->select(pendingId_);
    QPointer<MainTabVC> self(this);
    sidebar_->onSelect = [self](const QString &id) {
        if (self) self->showPage(id);
    };
    sidebar_->stackUnder(divider_);
    layoutChildren();
    sidebar_->show();
    return sidebar_;
}

void MainTabVC::showEvent(QShowEvent *e) {
    QWidget::showEvent(e);
    if (everShown_ || exposeWatch_) return;
    // The content is built when the window is first on screen, just before its first paint (so it
    // is never seen without it): a window shown and hidden again at once (without a tray host, the
    // app shows its window at launch) costs nothing.
    QWindow *w = window()->windowHandle();
    if (!w || w->isExposed()) {
        buildContent();
        return;
    }
    exposeWatch_ = w;
    w->installEventFilter(this);
}

bool MainTabVC::eventFilter(QObject *o, QEvent *e) {
    if (o == exposeWatch_ && e->type() == QEvent::Expose && exposeWatch_->isExposed() && isVisible()) {
        exposeWatch_->removeEventFilter(this);
        exposeWatch_ = nullptr;
        buildContent();
    }
    return QWidget::eventFilter(o, e);
}

void MainTabVC::buildContent() {
    if (everShown_) return;
    everShown_ = true;
    sidebar();
    // The page chosen while the window was never shown.
    if (!pendingId_.isEmpty()) showPage(pendingId_);
}

Page *MainTabVC::defaultPage(const QString &id) {
    // Each page is added here as it is built; ids without a page show a placeholder.
    if (id == QLatin1String("pomodoro")) return new PomodoroView;
    if (id == QLatin1String("finances")) return new FinanceView;
    if (id == QLatin1String("exercises")) return new ExercisesView;
    if (id == QLatin1String("alarms")) return new AlarmsView;
    if (id == QLatin1String("settings")) return new SettingsView;
    if (id == QLatin1String("support")) return new SupportView;
    if (id == QLatin1String("tasks")) return new TasksView;
    if (id == QLatin1String("calendar")) return new CalendarView;
    if (id == QLatin1String("statistics")) return new StatisticsView;
    if (id == QLatin1String("notes")) return new NotesView;
    return nullptr;
}

Page *MainTabVC::build(const QString &id) {
    if (Page *pg = page(id)) return pg;
    if (!factory_ || built_.contains(id)) return nullptr; // asked once: an id without a page stays so
    built_.insert(id);
    Page *pg = factory_(id);
    if (!pg) return nullptr;
    pg->setParent(this);
    pg->setObjectName(id);
    pages_[id] = pg;
    pg->applyBackground();
    pg->hide();
    // Some pages take their frame at setup; the others start with an empty frame (not Qt's default
    // 100 x 30), as their setup expects, and get it when shown.
    pg->setGeometry(framedAtSetup(id) ? QRect(kPageX, 0, width() - kPageX, height()) : QRect());
    pg->setup();
    return pg;
}

Page *MainTabVC::page(const QString &id) const {
    auto it = pages_.find(id);
    return it == pages_.end() ? nullptr : it->second;
}

void MainTabVC::setupAll() {
    for (const QString &id : setupOrder())
        if (Page *pg = page(id)) pg->setup();
}

void MainTabVC::clearAll() {
    for (const QString &id : clearOrder())
        if (Page *pg = page(id)) pg->clearContent();
}

void MainTabVC::showPage(const QString &id) {
    pendingId_ = id;
    // Nothing is built for a window nobody has seen: the page is made when it is first shown.
    if (!everShown_) return;
    if (current_) {
        current_->hide();
        if (qobject_cast<PlaceholderView *>(current_)) current_->deleteLater();
        current_ = nullptr;
    }
    const QRect frame(kPageX, 0, width() - kPageX, height());
    if (Page *pg = build(id)) {
        pg->setGeometry(frame);
        pg->show();
        current_ = pg;
        pg->refresh();
        return;
    }
    auto *ph = new PlaceholderView(PlaceholderView::capitalized(id), QStringLiteral("🚧"), this);
    ph->setObjectName(QStringLiteral("placeholder"));
    ph->setGeometry(frame);
    ph->show();
    current_ = ph;
}

void MainTabVC::resizeEvent(QResizeEvent *) { layoutChildren(); }

void MainTabVC::layoutChildren() {
    const int H = height();
    if (sidebar_) sidebar_->setGeometry(0, 0, kSidebarW, H);
    divider_->setGeometry(kSidebarW, 0, 1, H);
    if (current_) current_->setGeometry(kPageX, 0, width() - kPageX, H);
}

void MainTabVC::paintDivider() {
    // The border colour is translucent: lay it over the page colour as the design shows it.
    QPalette p = divider_->palette();
    const QColor b = VF::border(), bg = VF::bg();
    const double a = b.alphaF();
    p.setColor(QPalette::Window, QColor::fromRgbF(float(b.redF() * a + bg.redF() * (1 - a)),
                                                  float(b.greenF() * a + bg.greenF() * (1 - a)),
                                                  float(b.blueF() * a + bg.blueF() * (1 - a))));
    divider_->setPalette(p);
}

// The finance and settings pages follow the language through their own observers.
void MainTabVC::onLanguageChanged() {
    if (sidebar_) sidebar_->rebuildNavItems();
    static const QStringList ids = {"pomodoro", "alarms", "tasks", "calendar", "statistics", "exercises", "notes", "support"};
    for (const QString &id : ids)
        if (Page *pg = page(id)) pg->refresh();
}

void MainTabVC::onThemeChanged() {
    QPalette p = palette();
    p.setColor(QPalette::Window, VF::bg());
    setPalette(p);
    paintDivider();
    if (sidebar_) sidebar_->applyTheme();
    emit themeApplied();
    clearAll();
    for (const QString &id : clearOrder())
        if (Page *pg = page(id)) pg->applyBackground();
    setupAll();
    showPage(activeId());
}

void MainTabVC::onFontScaleChanged() {
    if (sidebar_) {
        sidebar_->rebuildNavItems();
        sidebar_->setSubtitleFont(Fonts::scaledFont(9, QFont::DemiBold));
    }
    clearAll();
    setupAll();
    showPage(activeId());
}

QString MainTabVC::activeId() const {
    return sidebar_ ? sidebar_->activeID() : pendingId_;
}
