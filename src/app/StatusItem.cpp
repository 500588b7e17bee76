#include "app/StatusItem.h"

#include "app/MainWindow.h"
#include "platform/Prefs.h"
#include "pomodoro/PomodoroTimer.h"
#include "ui/Lang.h"
#include <QFontMetricsF>
#include <QApplication>
#include <QIcon>
#include <QIconEngine>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>
#include <cmath>

namespace {
// Icon sizes offered to a tray host that wants a list; one that paints the icon itself gets the
// size of its panel (22 on most).
constexpr int kIconSizes[] = {16, 22, 24, 32, 48, 64};
// The symbols are drawn on a 22-unit grid and scaled.
constexpr double kGrid = 22.0;

qint64 wholeSeconds(double remaining) {
    if (!std::isfinite(remaining) || remaining < 0) return 0;
    return qint64(remaining); // cut towards zero
}

// Whether text set in f at pixel size px fits box: its advance within the width, its capitals
// within nine tenths of the height.
bool fitsAt(QFont &f, int px, const QRectF &box, const QString &text, double *advance = nullptr,
            double *cap = nullptr) {
    f.setPixelSize(px);
    const QFontMetricsF fm(f);
    const double w = fm.horizontalAdvance(text), c = fm.capHeight();
    if (advance) *advance = w;
    if (cap) *cap = c;
    return w <= box.width() && c <= box.height() * 0.9;
}

// The largest bold font whose text fits box, so two digits fill the symbol and three still fit.
void drawFitted(QPainter &p, const QRectF &box, const QString &text) {
    QFont f = p.font();
    f.setBold(true);
    f.setStyleHint(QFont::SansSerif);
    const int px = StatusItem::fittedPixelSize(f, box, text);
    f.setPixelSize(px);
    p.setFont(f);
    const QFontMetricsF fm(f);
    const double x = box.center().x() - fm.horizontalAdvance(text) / 2;
    const double y = box.center().y() + fm.capHeight() / 2; // digits are cap height: centre them
    p.drawText(QPointF(x, y), text);
}

// The tray symbol for one phase and minute, drawn at the size the tray host asks for when it asks
// (most hosts ask for one size only) and kept per size until the minute or the phase changes (the
// status item then makes a new icon). Drawing exactly the asked size keeps it crisp where a host's
// panel size is none of the usual ones.
class TrayIconEngine : public QIconEngine {
public:
    TrayIconEngine(Phase phase, qint64 minutes) : phase_(phase), minutes_(minutes) {}

    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override {
        const int side = std::max(0, std::min(size.width(), size.height()));
        return {side, side};
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State) override {
        const int side = std::min(size.width(), size.height());
        if (side <= 0) return {};
        auto it = std::find_if(drawn_.begin(), drawn_.end(), [side](const auto &d) { return d.first == side; });
        if (it == drawn_.end()) {
            drawn_.emplace_back(side, QPixmap::fromImage(StatusItem::renderIcon(phase_, minutes_, side)));
            it = std::prev(drawn_.end());
        }
        if (mode == QIcon::Normal || mode == QIcon::Active) return it->second;
        // A disabled or selected look, as Qt gives any icon that has no pixmap of its own for it.
        QStyleOption opt;
        opt.palette = QApplication::palette();
        return QApplication::style()->generatedIconPixmap(mode, it->second, &opt);
    }

    void paint(QPainter *p, const QRect &rect, QIcon::Mode mode, QIcon::State state) override {
        const qreal dpr = p->device() ? p->device()->devicePixelRatio() : qApp->devicePixelRatio();
        const int side = std::min(rect.width(), rect.height());
        const QRect square(rect.x() + (rect.width() - side) / 2, rect.y() + (rect.height() - side) / 2, side, side);
        p->drawPixmap(square, pixmap(square.size() * dpr, mode, state));
    }

    // The sizes hosts that take the pixels over D-Bus are sent (drawn only when they ask).
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        QList<QSize> sizes;
        for (int s : kIconSizes)
            sizes << QSize(s, s);
        return sizes;
    }

    QIconEngine *clone() const override { return new TrayIconEngine(*this); }
    QString key() const override { return QStringLiteral("MivoTrayIcon"); }

private:
    Phase phase_;
    qint64 minutes_;
    std::vector<std::pair<int, QPixmap>> drawn_; // by side in device pixels
};
} // namespace

StatusItem::StatusItem(MainWindow *win, PomodoroTimer &timer, QObject *parent)
    : QObject(parent), win_(win), timer_(timer), tray_(new QSystemTrayIcon(this)), menu_(new QMenu) {
    tray_->setContextMenu(menu_);
    // Built when it opens, so it never shows a stale switch or the previous language.
    connect(menu_, &QMenu::aboutToShow, this, [this] { buildMenu(); });
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::Trigger && win_) win_->toggle();
    });
    buildMenu(); // a tray host that asks for the menu before the first opening gets a full one
    updateIcon();
    // Shown even with no tray host yet: on X11 the icon docks when a tray appears.
    tray_->show();
}

StatusItem::~StatusItem() {
    delete menu_;
}

void StatusItem::setReminders(ReminderList list, ReminderSwitch setOn) {
    reminders_ = std::move(list);
    setReminderOn_ = std::move(setOn);
}

QString StatusItem::titleFor(double remaining) {
    const qint64 secs = wholeSeconds(remaining);
    return QString::asprintf("  %02lld:%02lld", secs / 60, secs % 60);
}

void StatusItem::onPomChanged() {
    // Ticks come once a second; several posts in one turn still draw once.
    if (redrawQueued_) return;
    redrawQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            redrawQueued_ = false;
            updateIcon();
        },
        Qt::QueuedConnection);
}

void StatusItem::updateIcon() {
    const Phase phase = timer_.phase();
    const qint64 minutes = wholeSeconds(timer_.remaining()) / 60;
    if (phase != iconPhase_ || minutes != iconMinutes_) {
        iconPhase_ = phase;
        iconMinutes_ = minutes;
        tray_->setIcon(QIcon(new TrayIconEngine(phase, minutes)));
    }
    // A tray icon has no text beside it: the title the menu bar would show goes in the tooltip.
    const QString tip = Phases::label(phase) + titleFor(timer_.remaining());
    if (tip != tray_->toolTip()) tray_->setToolTip(tip);
}

QImage StatusItem::renderIcon(Phase phase, qint64 minutes, int size) {
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const double k = size / kGrid;
    p.scale(k, k);
    const QColor ink = Phases::accentColor(phase);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);

    QRectF digits; // where the minutes go, in grid units
    switch (phase) {
    case Phase::work: { // a stopwatch: round face with its crown and side button
        p.drawRoundedRect(QRectF(8.6, 0.2, 4.8, 2.0), 0.6, 0.6);
        p.drawRect(QRectF(10.2, 1.5, 1.6, 1.6));
        p.save();
        p.translate(18.2, 4.4);
        p.rotate(45);
        p.drawRoundedRect(QRectF(-1.2, -0.9, 2.4, 1.8), 0.5, 0.5);
        p.restore();
        p.drawEllipse(QPointF(11, 12.4), 9.5, 9.5);
        digits = QRectF(3.4, 6.4, 15.2, 12.0);
        break;
    }
    case Phase::rest: { // a cup on its saucer
        QPainterPath cup;
        cup.moveTo(0.6, 2.6);
        cup.lineTo(17.0, 2.6);
        cup.lineTo(16.2, 13.5);
        cup.quadTo(15.9, 17.4, 12.0, 17.4);
        cup.lineTo(5.6, 17.4);
        cup.quadTo(1.7, 17.4, 1.4, 13.5);
        cup.closeSubpath();
        p.drawPath(cup);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(ink, 2.0));
        p.drawArc(QRectF(14.2, 5.0, 6.6, 7.4), -90 * 16, 180 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawRoundedRect(QRectF(0.0, 18.6, 22.0, 2.8), 1.4, 1.4);
        digits = QRectF(1.6, 4.0, 14.6, 11.6);
        break;
    }
    case Phase::longRest: { // a double bed: headboard, mattress, pillow step, foot leg
        p.drawRoundedRect(QRectF(0.0, 2.0, 3.2, 19.6), 1.0, 1.0);
        p.drawRoundedRect(QRectF(2.4, 6.0, 19.6, 12.6), 1.6, 1.6);
        p.drawRect(QRectF(19.4, 17.0, 2.6, 4.6));
        digits = QRectF(3.6, 6.8, 17.6, 11.0);
        break;
    }
    }

    p.setPen(Qt::white);
    drawFitted(p, digits, QString::number(minutes));
    p.end();
    return img;
}

int StatusItem::fittedPixelSize(QFont f, const QRectF &box, const QString &text) {
    // Whole pixel sizes from the box's height down to 4; below that the text is drawn at the size
    // the walk ends on even if it spills over.
    const double height = box.height();
    if (!(height > 4)) return int(height);
    const int top = int(height);
    double advance = 0, cap = 0;
    if (fitsAt(f, top, box, text, &advance, &cap)) return top;
    if (top > 4) {
        // Advance and cap height grow in proportion to the size: one measurement gives the
        // estimate, then a step or two settles it where rounding made the estimate miss.
        double scale = 1.0;
        if (advance > 0) scale = std::min(scale, box.width() / advance);
        if (cap > 0) scale = std::min(scale, height * 0.9 / cap);
        int px = std::clamp(int(top * scale), 4, top - 1);
        if (fitsAt(f, px, box, text)) {
            while (px + 1 < top && fitsAt(f, px + 1, box, text))
                ++px;
            return px;
        }
        while (px > 4)
            if (fitsAt(f, --px, box, text)) return px;
    }
    // Nothing fits: where a walk down in half pixels stops, just below 4 or at 4 itself.
    double end = height;
    while (end > 4)
        end -= 0.5;
    return int(end);
}

QMenu *StatusItem::buildMenu() {
    menu_->clear();
    const bool running = timer_.isRunning();
    const QString sep = QStringLiteral(" ");

    auto header = [this](const QString &text) {
        menu_->addAction(QStringLiteral("── ") + text + QStringLiteral(" ──"))->setEnabled(false);
    };

    QString state = running ? QStringLiteral("⏱ ") + Phases::label(timer_.phase())
                            : QStringLiteral("⏸ ") + L::t({.en = "Paused",
                                                             .es = "En pausa",
                                                             .de = "Pausiert",
                                                             .fr = "En pause",
                                                             .uk = "На паузі",
                                                             .pl = "Wstrzymano"});
    menu_->addAction(state)->setEnabled(false);
    menu_->addSeparator();
    const QString toggle = running ? QStringLiteral("⏸ ") + L::t({.en = "Pause",
                                                                    .es = "Pausa",
                                                                    .de = "Pause",
                                                                    .fr = "Pause",
                                                                    .uk = "Пауза",
                                                                    .pl = "Pauza"})
                                   : QStringLiteral("▶ ") + L::t({.en = "Resume",
                                                                  .es = "Reanudar",
                                                                  .de = "Fortsetzen",
                                                                  .fr = "Reprendre",
                                                                  .uk = "Продовжити",
                                                                  .pl = "Wznów"});
    menu_->addAction(toggle, this, &StatusItem::toggleTimer);
    menu_->addAction(QStringLiteral("⏭ ") + L::t({.en = "Skip phase",
                                                  .es = "Saltar fase",
                                                  .de = "Phase überspringen",
                                                  .fr = "Passer la phase",
                                                  .uk = "Пропустити фазу",
                                                  .pl = "Pomiń fazę"}),
                     this, &StatusItem::skipPhase);
    menu_->addSeparator();

    const std::vector<ReminderRow> rows = reminders_ ? reminders_() : std::vector<ReminderRow>{};
    const Prefs &prefs = Prefs::get();
    header(L::t({.en = "Notifications",
                 .es = "Notificaciones",
                 .de = "Benachrichtigungen",
                 .fr = "Notifications",
                 .uk = "Сповіщення",
                 .pl = "Powiadomienia"}));
    for (const ReminderRow &r : rows) {
        QAction *a = menu_->addAction(r.emoji + sep + r.name);
        a->setCheckable(true);
        a->setChecked(prefs.switchOn(r.onKey));
        a->setData(r.onKey);
        connect(a, &QAction::triggered, this, [this, a] { toggleReminderOn(a->data().toString()); });
    }
    menu_->addSeparator();

    header(
        L::t({.en = "Sounds", .es = "Sonidos", .de = "Töne", .fr = "Sons", .uk = "Звуки", .pl = "Dźwięki"}));
    QAction *pom = menu_->addAction(
        QStringLiteral("🍅 Pomodoro ") +
            L::t({.en = "sound", .es = "sonido", .de = "Ton", .fr = "son", .uk = "звук", .pl = "dźwięk"}),
        this, &StatusItem::togglePomSound);
    pom->setCheckable(true);
    pom->setChecked(timer_.soundEnabled());
    for (const ReminderRow &r : rows) {
        QAction *a = menu_->addAction(r.emoji + sep + r.name);
        a->setCheckable(true);
        a->setChecked(prefs.switchOn(r.soundKey));
        a->setData(r.soundKey);
        connect(a, &QAction::triggered, this, [this, a] { toggleReminderSnd(a->data().toString()); });
    }
    menu_->addSeparator();

    QAction *open = menu_->addAction(QStringLiteral("🖥 ") + L::t({.en = "Open window",
                                                                     .es = "Abrir ventana",
                                                                     .de = "Fenster öffnen",
                                                                     .fr = "Ouvrir la fenêtre",
                                                                     .uk = "Відкрити вікно",
                                                                     .pl = "Otwórz okno"}),
                                     this, &StatusItem::openWindow);
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    menu_->addSeparator();
    QAction *quit = menu_->addAction(
        L::t({.en = "Quit", .es = "Salir", .de = "Beenden", .fr = "Quitter", .uk = "Вийти", .pl = "Zakończ"}),
        this, &StatusItem::quitRequested);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    return menu_;
}

void StatusItem::toggleTimer() {
    if (timer_.isRunning())
        timer_.pause();
    else
        timer_.start();
}

void StatusItem::skipPhase() {
    timer_.advance(false);
}

void StatusItem::toggleReminderOn(const QString &onKey) {
    if (onKey.isEmpty() || !reminders_ || !setReminderOn_) return;
    for (const ReminderRow &r : reminders_()) {
        if (r.onKey != onKey) continue;
        // The engine stores the switch, starts or stops the reminder and posts healthChanged.
        setReminderOn_(r.onKey, !Prefs::get().switchOn(r.onKey));
        return;
    }
}

void StatusItem::togglePomSound() {
    timer_.setSoundEnabled(!timer_.soundEnabled());
}

void StatusItem::toggleReminderSnd(const QString &soundKey) {
    if (soundKey.isEmpty() || !reminders_) return;
    for (const ReminderRow &r : reminders_()) {
        if (r.soundKey != soundKey) continue;
        Prefs::get().setBool(r.soundKey, !Prefs::get().switchOn(r.soundKey));
        return;
    }
}

void StatusItem::openWindow() {
    if (win_) win_->bringToFront();
}
