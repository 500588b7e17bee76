#include "ui/BannerWindow.h"

#include "ui/DisplayText.h"
#include "platform/Clock.h"
#include "ui/BannerSlots.h"
#include "ui/Fonts.h"
#include "ui/Geometry.h"
#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <vector>

namespace {
std::vector<BannerWindow *> g_active;
double g_fadeScale = 1.0;

QColor white(double a) {
    return QColor::fromRgbF(1, 1, 1, float(a));
}

QLabel *label(QWidget *parent, const QString &text, const QFont &font, const QColor &color) {
    auto *l = new QLabel(text, parent);
    l->setFont(font);
    l->setTextFormat(Qt::PlainText);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, color);
    l->setPalette(p);
    return l;
}

int scaledMs(int ms) {
    return int(ms * g_fadeScale);
}
} // namespace

void BannerWindow::show(const QString &title, const QString &body, const QColor &accent) {
    // Always a later turn of the main loop, also from the main thread: the caller finishes first.
    QMetaObject::invokeMethod(
        qApp, [title, body, accent] { present(title, body, accent); }, Qt::QueuedConnection);
}

void BannerWindow::dismissAll() {
    QMetaObject::invokeMethod(
        qApp,
        [] {
            const auto open = g_active; // banners leave the list only when their fade has ended
            for (BannerWindow *b : open)
                b->dismiss();
        },
        Qt::QueuedConnection);
}

BannerWindow *BannerWindow::present(const QString &title, const QString &body, const QColor &accent) {
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen) return nullptr;
    std::vector<int> held;
    for (BannerWindow *b : g_active)
        held.push_back(b->slot_);
    const int slot = BannerSlots::lowestFree(held);
    auto *b = new BannerWindow(title, body, accent, slot);
    b->setGeometry(BannerSlots::frame(screen->availableGeometry(), slot));
    b->setWindowOpacity(0.0);
    b->QWidget::show();
    b->raise();
    g_active.push_back(b);
    b->fadeIn();
    return b;
}

QList<BannerWindow *> BannerWindow::active() {
    return QList<BannerWindow *>(g_active.begin(), g_active.end());
}

QString BannerWindow::iconFor(const QString &title) {
    static const char *const icons[] = {"💧", "👁", "🧘", "🤸", "💪", "🛋"};
    for (const char *i : icons) {
        const QString icon = QString::fromUtf8(i);
        if (title.startsWith(icon)) return icon;
    }
    return QStringLiteral("🍵");
}

void BannerWindow::setFadeScale(double scale) {
    g_fadeScale = std::max(0.0, scale);
}

BannerWindow::BannerWindow(const QString &title, const QString &body, const QColor &accent, int slot)
    : QWidget(nullptr,
              Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      slot_(slot), accent_(accent) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_X11NetWmWindowTypeNotification);
    setAttribute(Qt::WA_DeleteOnClose, false); // freed by finishClose, after its fade
    setFixedSize(BannerSlots::kWidth, BannerSlots::kHeight);

    const double H = BannerSlots::kHeight;
    icon_ = label(this, iconFor(title), Fonts::scaledFont(26), white(1.0));
    icon_->setGeometry(yUp(H, 14, 22, 34, 34));
    title_ = label(this, title, Fonts::scaledFont(13, QFont::DemiBold), white(1.0));
    title_->setGeometry(yUp(H, 56, 42, 268, 20));
    body_ = label(this, QString(), Fonts::scaledFont(11.5), white(0.65));
    body_->setGeometry(yUp(H, 56, 14, 268, 18));
    // One line, cut at the end: the banner never grows.
    QString oneLine = body;
    oneLine.replace(u'\n', u' ');
    body_->setText(QFontMetrics(body_->font()).elidedText(DisplayText::cut(oneLine), Qt::ElideRight, 268));

    close_ = new QPushButton(QStringLiteral("×"), this);
    close_->setFlat(true);
    close_->setFocusPolicy(Qt::NoFocus);
    close_->setFont(Fonts::scaledFont(15, QFont::Light));
    close_->setCursor(Qt::PointingHandCursor);
    QPalette cp = close_->palette();
    cp.setColor(QPalette::ButtonText, white(0.3));
    close_->setPalette(cp);
    close_->setGeometry(yUp(H, 314, 50, 22, 22));
    connect(close_, &QPushButton::clicked, this, &BannerWindow::dismiss);

    lifetime_ = Clock::get().makeTicker(this);
    lifetime_->setSingleShot(true);
    connect(lifetime_, &Ticker::timeout, this, &BannerWindow::dismiss);
}

QString BannerWindow::title() const {
    return title_->text();
}
QString BannerWindow::bodyShown() const {
    return body_->text();
}

void BannerWindow::fadeIn() {
    state_ = State::fadingIn;
    lifetime_->start(kLifetimeMs);
    auto *a = new QPropertyAnimation(this, "windowOpacity", this);
    a->setDuration(scaledMs(kFadeInMs));
    a->setStartValue(0.0);
    a->setEndValue(1.0);
    connect(a, &QPropertyAnimation::finished, this, [this] {
        if (state_ == State::fadingIn) state_ = State::shown;
    });
    fade_ = a;
    a->start(QAbstractAnimation::DeleteWhenStopped);
}

void BannerWindow::dismiss() {
    // The state decides, not the opacity: without a compositor the opacity is never applied.
    if (state_ != State::fadingIn && state_ != State::shown) return;
    state_ = State::fadingOut;
    lifetime_->stop();
    if (fade_) fade_->stop();
    const int ms = scaledMs(kFadeOutMs);
    if (ms <= 0) {
        QTimer::singleShot(0, this, [this] { finishClose(); });
        return;
    }
    auto *a = new QPropertyAnimation(this, "windowOpacity", this);
    a->setDuration(ms);
    a->setEndValue(0.0);
    connect(a, &QPropertyAnimation::finished, this, [this] { finishClose(); });
    fade_ = a;
    a->start(QAbstractAnimation::DeleteWhenStopped);
}

void BannerWindow::finishClose() {
    if (state_ == State::closed) return;
    state_ = State::closed;
    hide();
    g_active.erase(std::remove(g_active.begin(), g_active.end(), this), g_active.end());
    deleteLater(); // the "×" whose click started this may still be on the stack
}

void BannerWindow::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath card;
    card.addRoundedRect(QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25), 14, 14);
    p.fillPath(card, QColor::fromRgbF(0.12f, 0.12f, 0.12f, 0.97f));
    p.setPen(QPen(white(0.1), 0.5));
    p.drawPath(card);
    QPainterPath bar;
    bar.addRoundedRect(QRectF(yUp(BannerSlots::kHeight, 0, 8, 4, 60)), 2, 2);
    p.fillPath(bar, accent_);
}
