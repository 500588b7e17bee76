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

MainTabVC::MainTabVC(QWidget *parent, PageFactory factory) : QWidget(parent) {
    resize(1200, 760);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, VF::bg());
    setPalette(p);

    sidebar_ = new SidebarView(this);
    QPointer<MainTabVC> self(this);
    sidebar_->onSelect = [self](const QString &id) {
        if (self) self->showPage(id);
    };
    divider_ = new QWidget(this);
    divider_->setAutoFillBackground(true);
    paintDivider();

    createPages(factory);
    for (const QString &id : clearOrder()) {
        if (Page *pg = page(id)) {
            pg->applyBackground();
            pg->hide();
            // The others start with an empty frame (not Qt's default 100 x 30), as their setup expects.
            pg->setGeometry(framedAtSetup(id) ? QRect(kPageX, 0, width() - kPageX, height()) : QRect());
        }
    }
    setupAll();

    auto &n = Notifier::get();
    n.observe(Notify::languageChanged, this, [this](QObject *) { onLanguageChanged(); }, Qt::QueuedConnection);
    n.observe(Notify::themeChanged, this, [this](QObject *) { onThemeChanged(); }, Qt::QueuedConnection);
    n.observe(Notify::fontScaleChanged, this, [this](QObject *) { onFontScaleChanged(); }, Qt::QueuedConnection);

    layoutChildren();
    showPage(QStringLiteral("tasks"));
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

void MainTabVC::createPages(const PageFactory &factory) {
    for (const QString &id : clearOrder()) {
        if (Page *pg = factory ? factory(id) : nullptr) {
            pg->setParent(this);
            pg->setObjectName(id);
            pages_[id] = pg;
        }
    }
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
    if (current_) {
        current_->hide();
        if (qobject_cast<PlaceholderView *>(current_)) current_->deleteLater();
        current_ = nullptr;
    }
    const QRect frame(kPageX, 0, width() - kPageX, height());
    if (Page *pg = page(id)) {
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
    sidebar_->setGeometry(0, 0, kSidebarW, H);
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
    sidebar_->rebuildNavItems();
    static const QStringList ids = {"pomodoro", "alarms", "tasks", "calendar", "statistics", "exercises", "notes", "support"};
    for (const QString &id : ids)
        if (Page *pg = page(id)) pg->refresh();
}

void MainTabVC::onThemeChanged() {
    QPalette p = palette();
    p.setColor(QPalette::Window, VF::bg());
    setPalette(p);
    paintDivider();
    sidebar_->applyTheme();
    emit themeApplied();
    clearAll();
    for (const QString &id : clearOrder())
        if (Page *pg = page(id)) pg->applyBackground();
    setupAll();
    showPage(sidebar_->activeID());
}

void MainTabVC::onFontScaleChanged() {
    sidebar_->rebuildNavItems();
    sidebar_->setSubtitleFont(Fonts::scaledFont(9, QFont::DemiBold));
    clearAll();
    setupAll();
    showPage(sidebar_->activeID());
}
