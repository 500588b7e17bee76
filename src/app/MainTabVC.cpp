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
#include "ui/EmojiPrep.h"
#include "ui/Fonts.h"
#include "ui/Page.h"
#include "ui/Theme.h"
#include <QTimer>
#include <QWindow>

namespace {
constexpr int kSidebarW = 220;
constexpr int kPageX = 221;

template <class P> Page *make() { return new P; }

// Every page of the window, once: how it is made, how it is set up and what it needs at launch.
struct PageKind {
    const char *id;
    Page *(*make)();
    const QMetaObject *type;
    // Has its frame when first set up; the others start with an empty frame and get it when shown.
    bool framedAtSetup;
    // Relabels itself through its own observer; the switcher refreshes the others on a language change.
    bool ownLanguage;
    // Work the page's settings need at every launch, page built or not; pages are built on first
    // show, and a user may never show one.
    void (*atLaunch)();
    // The emoji texts the page is known to show, drawn ahead on a worker once the window is on
    // screen (see EmojiPrep); nullptr where there are none worth it.
    QList<EmojiPrep::Text> (*emojiShown)();
};

// In the order pages are cleared and set up again after a theme or font-scale change.
constexpr PageKind kPages[] = {
    {"pomodoro", make<PomodoroView>, &PomodoroView::staticMetaObject, true, false, nullptr, &PomodoroView::emojiShown},
    {"alarms", make<AlarmsView>, &AlarmsView::staticMetaObject, false, false, nullptr, nullptr},
    {"tasks", make<TasksView>, &TasksView::staticMetaObject, true, false, nullptr, nullptr},
    {"calendar", make<CalendarView>, &CalendarView::staticMetaObject, true, false, nullptr, nullptr},
    {"finances", make<FinanceView>, &FinanceView::staticMetaObject, true, true, nullptr, nullptr},
    {"exercises", make<ExercisesView>, &ExercisesView::staticMetaObject, false, false, nullptr, nullptr},
    {"statistics", make<StatisticsView>, &StatisticsView::staticMetaObject, false, false, nullptr,
     &StatisticsView::emojiShown},
    {"settings", make<SettingsView>, &SettingsView::staticMetaObject, true, true, &SettingsView::prepareAtLaunch,
     &SettingsView::emojiShown},
    {"notes", make<NotesView>, &NotesView::staticMetaObject, false, false, nullptr, nullptr},
    {"support", make<SupportView>, &SupportView::staticMetaObject, false, false, nullptr, nullptr},
};

// The page in place at launch.
constexpr char kStartPage[] = "tasks";

const PageKind *kindOf(const QString &id) {
    for (const PageKind &k : kPages)
        if (id == QLatin1String(k.id)) return &k;
    return nullptr;
}

const PageKind *kindOf(const Page *pg) {
    for (const PageKind &k : kPages)
        if (pg->metaObject() == k.type) return &k;
    return nullptr;
}
} // namespace

const QStringList &MainTabVC::pageIds() { return SidebarView::pageIds(); }

void MainTabVC::prepareAtLaunch() {
    for (const PageKind &k : kPages)
        if (k.atLaunch) k.atLaunch();
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
    // Qt's own menus and dialogs follow the scale through the application font.
    n.observe(Notify::fontScaleChanged, this, [](QObject *) { Fonts::applyAppFont(VF::fontScale()); });

    layoutChildren();
    showPage(QLatin1String(kStartPage));
}

SidebarView *MainTabVC::sidebar() {
    if (sidebar_) return sidebar_;
    // Made on first use (at the latest when the window is first shown): its texts are what first
    // needs the font database, which an app sitting in the tray has no use for.
    sidebar_ = new SidebarView(this);
    if (!active_.isEmpty() && active_ != sidebar_->activeID()) sidebar_->select(active_);
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
    if (!active_.isEmpty()) showPage(active_);
    // Once the start page is on screen: the worker's font loading holds the font database a while.
    QTimer::singleShot(300, this, [this] { prepareEmoji(); });
}

void MainTabVC::prepareEmoji() {
    QList<EmojiPrep::Text> texts;
    for (const PageKind &k : kPages)
        if (k.emojiShown && !page(QLatin1String(k.id))) texts += k.emojiShown();
    EmojiPrep::prepare(texts);
}

Page *MainTabVC::defaultPage(const QString &id) {
    const PageKind *k = kindOf(id);
    return k ? k->make() : nullptr; // ids without a page show a placeholder
}

Page *MainTabVC::build(const QString &id) {
    auto [it, first] = pages_.try_emplace(id);
    if (!first) return it->second; // asked once: an id without a page stays so
    if (!factory_) return nullptr;
    Page *pg = factory_(id);
    if (!pg) return nullptr;
    it->second = pg;
    pg->setParent(this);
    pg->setObjectName(id);
    setUpPage(pg, QRect(kPageX, 0, width() - kPageX, height()));
    return pg;
}

void MainTabVC::setUpPage(Page *pg, const QRect &frame) {
    pg->applyBackground();
    pg->hide();
    // Some pages take their frame at setup; the others start with an empty frame (not Qt's default
    // 100 x 30), as their setup expects, and get it when shown.
    const PageKind *k = kindOf(pg);
    pg->setGeometry(k && k->framedAtSetup ? frame : QRect());
    pg->setup();
}

void MainTabVC::putPageInPlace(Page *pg, const QRect &frame) {
    pg->setGeometry(frame);
    pg->show();
    pg->refresh();
}

Page *MainTabVC::page(const QString &id) const {
    auto it = pages_.find(id);
    return it == pages_.end() ? nullptr : it->second;
}

void MainTabVC::forEachBuilt(const std::function<void(Page *)> &fn) const {
    for (const PageKind &k : kPages)
        if (Page *pg = page(QLatin1String(k.id))) fn(pg);
}

void MainTabVC::showPage(const QString &id) {
    active_ = id;
    // Nothing is built for a window nobody has seen: the page is made when it is first shown.
    if (!everShown_) return;
    if (current_) {
        current_->hide();
        if (qobject_cast<PlaceholderView *>(current_)) current_->deleteLater();
        current_ = nullptr;
    }
    const QRect frame(kPageX, 0, width() - kPageX, height());
    if (Page *pg = build(id)) {
        current_ = pg;
        putPageInPlace(pg, frame);
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

void MainTabVC::onLanguageChanged() {
    if (sidebar_) sidebar_->rebuildNavItems();
    for (const PageKind &k : kPages)
        if (Page *pg = page(QLatin1String(k.id)); pg && !k.ownLanguage) pg->refresh();
    if (everShown_) prepareEmoji(); // the pages not built yet, in the new language
}

void MainTabVC::onThemeChanged() {
    QPalette p = palette();
    p.setColor(QPalette::Window, VF::bg());
    setPalette(p);
    paintDivider();
    if (sidebar_) sidebar_->applyTheme();
    emit themeApplied();
    forEachBuilt([](Page *pg) { pg->clearContent(); });
    forEachBuilt([](Page *pg) { pg->applyBackground(); });
    forEachBuilt([](Page *pg) { pg->setup(); });
    showPage(active_);
    if (everShown_) prepareEmoji(); // the pages not built yet, in the new sizes
}

void MainTabVC::onFontScaleChanged() {
    if (sidebar_) {
        sidebar_->rebuildNavItems();
        sidebar_->setSubtitleFont(Fonts::scaledFont(9, QFont::DemiBold));
    }
    forEachBuilt([](Page *pg) { pg->clearContent(); });
    forEachBuilt([](Page *pg) { pg->setup(); });
    showPage(active_);
    if (everShown_) prepareEmoji(); // the pages not built yet, in the new sizes
}
