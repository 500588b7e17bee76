#include "health/AlarmsView.h"

#include "health/AlarmListView.h"
#include "health/AlarmsUi.h"
#include "health/CustomReminderStore.h"
#include "platform/Clock.h"
#include "platform/Keys.h"
#include "platform/Notifier.h"
#include "ui/UiKit.h"
#include "ui/AW.h"
#include "ui/FadedScroller.h"
#include "ui/Fonts.h"
#include "ui/Geometry.h"
#include "ui/Lang.h"
#include "ui/Makers.h"
#include "ui/SplitPageFrame.h"
#include "ui/Theme.h"
#include "ui/TintButton.h"
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <algorithm>

using namespace AlarmsUi;

namespace {
QString titleText() {
    return QStringLiteral("⏰  ") + L::t({.en = "Reminders",
                                         .es = "Recordatorios",
                                         .de = "Erinnerungen",
                                         .fr = "Rappels",
                                         .uk = "Нагадування",
                                         .pl = "Przypomnienia"});
}
QString subtitleText() {
    return L::t({.en = "Pomodoro · Health · My alarms",
                 .es = "Pomodoro · Salud · Mis alarmas",
                 .de = "Pomodoro · Gesundheit · Meine Alarme",
                 .fr = "Pomodoro · Santé · Mes alarmes",
                 .uk = "Помодоро · Здоров'я · Мої нагадування",
                 .pl = "Pomodoro · Zdrowie · Moje alarmy"});
}
} // namespace

AlarmsView::AlarmsView(QWidget *parent) : Page(parent), frame_(new SplitPageFrame(
          this, {.headerH = 74, .scaledClock = true, .emojiRoom = true, .list = kListRule, .listFrac = 0.42})) {
    // Connected once for the life of the page; each notification updates in place or asks for a rebuild.
    auto &n = Notifier::get();
    // The beats (every second) only move values on; the alarms and the language can change what the
    // views are made of.
    for (const char *name : {Notify::healthChanged, Notify::pomodoroChanged})
        n.observe(QString::fromLatin1(name), this, [this](QObject *) { onChange(false); });
    for (const char *name : {Notify::customRemindersChanged, Notify::languageChanged})
        n.observe(QString::fromLatin1(name), this, [this](QObject *) { onChange(true); });
}

AlarmsView::~AlarmsView() = default;

void AlarmsView::setSelectedItem(const std::optional<QString> &id) {
    selectedItem_ = id;
    requestRebuild();
}

QPushButton *AlarmsView::addButton() const {
    return addBtn_;
}
bool AlarmsView::clockRunning() const {
    return frame_->clockRunning();
}

void AlarmsView::setup() {
    // clearContent() has deleted the previous views (theme or font-scale change): build them anew.
    applyBackground();
    live_.clear();
    builtKey_.clear();
    frame_->build();
    addBtn_ = new TintButton(QString(), VF::accent(), 0.15, 0.45, 8, this);
    addBtn_->setObjectName(QStringLiteral("addAlarmHeaderButton"));
    addBtn_->setFont(Fonts::scaledFont(12, QFont::DemiBold));
    QPointer<AlarmsView> self(this);
    // The header button keeps its own target: it outlives every list rebuild.
    connect(addBtn_, &QPushButton::clicked,
            AW::attach(addBtn_,
                       [self] {
                           if (self) self->showAddAlarmDialog();
                       }),
            &AW::run);

    listScroll_ = frame_->listScroll();
    listView_ = new AlarmListView;
    listView_->setObjectName(QStringLiteral("alarmList"));
    listView_->rowFor = [this](const QString &id) { return rowFor(id); };
    listView_->onSelect = [self](const QString &id) {
        if (self) self->setSelectedItem(id);
    };
    listScroll_->setWidget(listView_);
    frame_->onRelayout = [self] {
        if (!self) return;
        self->layoutFrame();
        self->requestRebuild();
    };
    detailHost_ = frame_->detailHost();

    for (QWidget *w : findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        w->show();
    layoutFrame();
    frame_->startClock();
    refresh();
}

void AlarmsView::refresh() {
    layoutFrame(); // relabels the header, whose add button follows its title's width
    requestRebuild();
}

void AlarmsView::relabelHeader() {
    if (!addBtn_) return;
    frame_->setTitles(titleText(), subtitleText());
    setFitTitle(addBtn_, addAlarmText());
}

void AlarmsView::layoutFrame() {
    if (!frame_->isBuilt()) return;
    const double W = width(), H = height();
    frame_->layout();
    // 132 wide, 10 points left of the clock column; wider, leftwards, when the title needs it.
    const double addW = std::max(132, addBtn_->fontMetrics().horizontalAdvance(addAlarmText()) + 20);
    addBtn_->setGeometry(yUp(H, W - 210 - addW, H - 52, addW, 26));
    relabelHeader();
}

void AlarmsView::showEvent(QShowEvent *e) {
    Page::showEvent(e);
    // Values moved on while hidden, and the alarms may have changed (a restore, say).
    if (!listView_ || rebuildPending()) return;
    if (structureKey() != builtKey_)
        requestRebuild();
    else
        updateInPlace();
}

void AlarmsView::onChange(bool mayRestructure) {
    if (!listView_ || !isVisible()) return; // caught up when shown (showEvent)
    if (rebuildPending()) return;           // the queued rebuild draws the values as they are then
    if (mayRestructure && structureKey() != builtKey_)
        requestRebuild();
    else
        updateInPlace();
}

QString AlarmsView::structureKey() const {
    // Everything the views are made of, and nothing that only changes a value shown in them.
    QString k = AppLangs::rawValue(L::lang());
    k += QLatin1Char('|') + selectedItem_.value_or(QString());
    const auto &items = CustomReminderStore::shared().items();
    k += QLatin1Char('|') + QString::number(items.size());
    for (const CustomReminder &a : items)
        k += QLatin1Char(',') + a.id;
    const AlarmSelection sel = AlarmsRows::parse(selectedItem_);
    if (sel.kind == AlarmSelection::Kind::custom) {
        auto it = std::find_if(items.begin(), items.end(),
                               [&](const CustomReminder &a) { return a.id == sel.key; });
        k += it == items.end()     ? QStringLiteral("|gone")
             : it->dailyCheckpoint ? QStringLiteral("|daily")
                                   : QStringLiteral("|once");
    }
    return k;
}

void AlarmsView::rebuild() {
    if (!listView_) return; // not set up yet
    ++structureBuilds_;
    for (AW *aw : std::as_const(awStore_))
        aw->deleteLater(); // a target may be running right now
    awStore_.clear();
    live_.clear();
    rebuildList(0);
    rebuildDetail();
    builtKey_ = structureKey();
    updateInPlace();
}

void AlarmsView::updateInPlace() {
    if (!listView_) return;
    listView_->update(); // the painted list asks for its rows' values as it paints
    for (const auto &fn : live_)
        fn();
}

void AlarmsView::live(std::function<void()> fn) {
    fn();
    live_.push_back(std::move(fn));
}

AW *AlarmsView::newAW(std::function<void()> fn) {
    auto *aw = new AW(std::move(fn), this);
    awStore_.append(aw);
    return aw;
}

// ---- makers the panes build with

void AlarmsView::accentBar(double H, double W, const QColor &color, std::function<QColor()> follow) {
    auto *bar = new RoundBox(color, Qt::transparent, 0, 0, detailHost_);
    bar->setObjectName(QStringLiteral("accentBar"));
    bar->setGeometry(yUp(H, 0, H - 4, W, 4));
    if (follow) {
        QPointer<RoundBox> b(bar);
        live([b, follow] {
            if (b) b->setColors(follow(), Qt::transparent);
        });
    }
}

TintButton *AlarmsView::actionBtn(const QString &title, const QColor &accent, std::function<void()> action) {
    auto *b = new TintButton(title, accent, 0.15, 0.45, 8);
    b->setFont(Fonts::scaledFont(12, QFont::DemiBold));
    connect(b, &QPushButton::clicked, newAW(std::move(action)), &AW::run);
    return b;
}

void AlarmsView::sectionHdr(const QString &text, double y, double W, double pad) {
    const double H = detailHost_->height();
    QLabel *l = label(detailHost_, Fonts::scaledFont(9, QFont::DemiBold), VF::muted());
    place(l, H, pad, y, W - 2 * pad, 12);
    setFitText(l, text);
    auto *rule = new QWidget(detailHost_);
    UiKit::fillBackground(rule, VF::border());
    const QRectF r = yUpF(H, pad, y + 14, W - 2 * pad, 0.5);
    rule->setGeometry(QRect(int(r.x()), int(r.y()), int(r.width()), 1));
}

QLabel *AlarmsView::monoLbl(const QString &text, double size) {
    QLabel *l = mkMono(size, QFont::Thin);
    colour(l, VF::text());
    l->setText(text);
    return l;
}

QLabel *AlarmsView::plainLbl(const QString &text, double size) {
    QLabel *l = mkLbl(size, QFont::Normal, 1.0);
    l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    colour(l, VF::sub());
    l->setText(text);
    return l;
}

QWidget *AlarmsView::cardBg(double y, double W, double pad, double h) {
    auto *card = new RoundBox(QColor::fromRgbF(1, 1, 1, 0.05f), VF::border(), 10, 0.5, nullptr);
    card->setGeometry(yUp(detailHost_->height(), pad, y, W - 2 * pad, h));
    return card;
}
