#include "exercises/YouTubeBrowserWindow.h"

#include "exercises/BrowserAddress.h"
#include "exercises/BrowserCountdown.h"
#include "ui/Fonts.h"
#include "ui/Lang.h"
#include "ui/Theme.h"
#include "ui/TintButton.h"
#include "ui/WebLinks.h"
#include "ui/WebModule.h"
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

namespace {
constexpr int kToolbarH = 50;
constexpr int kStripH = 3;
const QColor kPillGreen = QColor::fromRgbF(0.2f, 0.82f, 0.45f);
const QColor kStopRed = QColor::fromRgbF(1.0f, 0.38f, 0.38f);

void fill(QWidget *w, const QColor &c) {
    w->setAutoFillBackground(true);
    QPalette p = w->palette();
    p.setColor(QPalette::Window, c);
    w->setPalette(p);
}

QString stopWord() {
    return L::t(
        {.en = "Stop", .es = "Detener", .de = "Stopp", .fr = "Arrêter", .uk = "Зупинити", .pl = "Zatrzymaj"});
}

// The pill is a painted rounded box: a style sheet would be rebuilt on every countdown tick.
class PillView : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override;
};
} // namespace

void PillView::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    p.fillPath(path, QColor::fromRgbF(0.1f, 0.22f, 0.14f));
    QColor border = kPillGreen;
    border.setAlphaF(0.5f);
    p.setPen(QPen(border, 1));
    p.drawPath(path);
}

QString YouTubeBrowserWindow::userAgent() {
    return QStringLiteral("Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 (KHTML, like "
                          "Gecko) Version/17.4 Safari/605.1.15");
}

YouTubeBrowserWindow::YouTubeBrowserWindow(QWidget *parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("browserWindow"));
    setWindowTitle(QStringLiteral("🌐  Browser · Mivo"));
    resize(1100, 720);
    setMinimumSize(600, 400);
    fill(this, QColor::fromRgbF(0.07f, 0.08f, 0.1f));
    countdown_ = new BrowserCountdown(this);
    build();
    connect(countdown_, &BrowserCountdown::textChanged, timerLbl_, &QLabel::setText);
    connect(countdown_, &BrowserCountdown::expired, this, [this] { closeAndFinish(); });
}

YouTubeBrowserWindow::~YouTubeBrowserWindow() = default;

void YouTubeBrowserWindow::build() {
    toolbar_ = new QWidget(this);
    fill(toolbar_, QColor::fromRgbF(0.1f, 0.11f, 0.15f));
    toolbarLine_ = new QWidget(toolbar_);
    fill(toolbarLine_, QColor::fromRgbF(1, 1, 1, 0.08f));

    QColor navTint = Qt::white;
    navTint.setAlphaF(0.55f);
    auto nav = [&](const QString &title) {
        auto *b = new TintButton(title, navTint, 0.0, 0.0, 6, toolbar_);
        b->setFont(Fonts::scaledFont(15, QFont::Medium));
        return b;
    };
    backBtn_ = nav(QStringLiteral("←"));
    fwdBtn_ = nav(QStringLiteral("→"));
    reloadBtn_ = nav(QStringLiteral("↻"));
    address_ = new QLineEdit(toolbar_);
    address_->setObjectName(QStringLiteral("addressField"));
    // The address is drawn at one size whatever the font scale, as the countdown beside it.
    address_->setFont(Fonts::monospaced(12, QFont::Normal, false));
    address_->setProperty(Fonts::kFixedSizeProperty, true);
    {
        // The window is dark whatever the theme, its field included.
        QPalette ap = address_->palette();
        ap.setColor(QPalette::Base, QColor::fromRgbF(0.14f, 0.15f, 0.19f));
        ap.setColor(QPalette::Text, QColor::fromRgbF(1, 1, 1, 0.85f));
        ap.setColor(QPalette::PlaceholderText, QColor::fromRgbF(1, 1, 1, 0.35f));
        address_->setPalette(ap);
    }
    address_->setPlaceholderText(L::t({.en = "Address…",
                                       .es = "Dirección…",
                                       .de = "Adresse…",
                                       .fr = "Adresse…",
                                       .uk = "Адреса…",
                                       .pl = "Adres…"}));
    pill_ = new PillView(toolbar_);
    timerLbl_ = new QLabel(BrowserCountdown::placeholder(), pill_);
    timerLbl_->setObjectName(QStringLiteral("timerLbl"));
    timerLbl_->setFont(Fonts::monoDigits(13, QFont::DemiBold, false));
    timerLbl_->setAlignment(Qt::AlignCenter);
    QPalette tp = timerLbl_->palette();
    tp.setColor(QPalette::WindowText, kPillGreen);
    timerLbl_->setPalette(tp);
    stopBtn_ = new TintButton(QStringLiteral("✕  ") + stopWord(), kStopRed, 0.12, 0.35, 8, toolbar_);
    stopBtn_->setObjectName(QStringLiteral("stopButton"));
    stopBtn_->setFont(Fonts::scaledFont(12, QFont::DemiBold));

    progressBg_ = new QWidget(this);
    fill(progressBg_,
         VF::theme() == AppTheme::dark ? QColor::fromRgbF(1, 1, 1, 0.07f) : QColor::fromRgbF(0, 0, 0, 0.1f));

    QPointer<YouTubeBrowserWindow> self(this);
    WebViews *views = webViews();
    if (views) page_ = views->makeBrowserPage(this, userAgent());
    if (page_) {
        content_ = page_->widget();
        page_->onUrlCommitted = [self](const QUrl &url) {
            if (self && !url.isEmpty()) self->address_->setText(url.toString());
        };
    } else {
        // No web engine on this system: the address can still be opened in the default browser.
        content_ = new QWidget(this);
        fallbackLbl_ = new QLabel(L::t({.en = "The built-in browser is not available.",
                                        .es = "El navegador integrado no está disponible.",
                                        .de = "Der eingebaute Browser ist nicht verfügbar.",
                                        .fr = "Le navigateur intégré n'est pas disponible.",
                                        .uk = "Вбудований браузер недоступний.",
                                        .pl = "Wbudowana przeglądarka jest niedostępna."}),
                                  content_);
        fallbackLbl_->setFont(Fonts::scaledFont(15, QFont::Medium));
        fallbackLbl_->setAlignment(Qt::AlignCenter);
        QPalette fp = fallbackLbl_->palette();
        fp.setColor(QPalette::WindowText, QColor::fromRgbF(1, 1, 1, 0.7f));
        fallbackLbl_->setPalette(fp);
        openExtBtn_ =
            new TintButton(QStringLiteral("🌐  ") + L::t({.en = "Open in default browser",
                                                         .es = "Abrir en el navegador predeterminado",
                                                         .de = "Im Standardbrowser öffnen",
                                                         .fr = "Ouvrir dans le navigateur par défaut",
                                                         .uk = "Відкрити в браузері за замовчуванням",
                                                         .pl = "Otwórz w domyślnej przeglądarce"}),
                           kPillGreen, 0.15, 0.45, 8, content_);
        openExtBtn_->setObjectName(QStringLiteral("openExternallyButton"));
        openExtBtn_->setFont(Fonts::scaledFont(13, QFont::DemiBold));
        openExtBtn_->setEnabled(false);
        connect(openExtBtn_, &QPushButton::clicked, this, [self] {
            if (self && self->url_.isValid()) WebLinks::open(self->url_);
        });
    }

    connect(backBtn_, &QPushButton::clicked, this, [self] {
        if (self && self->page_) self->page_->back();
    });
    connect(fwdBtn_, &QPushButton::clicked, this, [self] {
        if (self && self->page_) self->page_->forward();
    });
    connect(reloadBtn_, &QPushButton::clicked, this, [self] {
        if (self && self->page_) self->page_->reload();
    });
    connect(address_, &QLineEdit::returnPressed, this, [self] {
        if (self) self->loadTyped();
    });
    connect(stopBtn_, &QPushButton::clicked, this, [self] {
        if (self) self->closeAndFinish();
    });
    layoutChildren();
}

void YouTubeBrowserWindow::resizeEvent(QResizeEvent *e) {
    QWidget::resizeEvent(e);
    layoutChildren();
}

void YouTubeBrowserWindow::layoutChildren() {
    const int W = width(), H = height();
    toolbar_->setGeometry(0, 0, W, kToolbarH);
    toolbarLine_->setGeometry(0, kToolbarH - 1, W, 1);
    const int navW = 30, navH = 30, cy = (kToolbarH - navH) / 2;
    backBtn_->setGeometry(10, cy, navW, navH);
    fwdBtn_->setGeometry(10 + navW + 2, cy, navW, navH);
    reloadBtn_->setGeometry(10 + 2 * (navW + 2), cy, navW, navH);
    // Stop keeps its design width unless its title needs more (longer words, larger font scale).
    const int stopW = std::max(78, stopBtn_->fontMetrics().horizontalAdvance(stopBtn_->text()) + 20);
    const int stopX = W - 10 - stopW;
    const int pillW =
        std::max(110, timerLbl_->fontMetrics().horizontalAdvance(BrowserCountdown::format(5999)) + 16);
    const int pillX = stopX - 8 - pillW;
    stopBtn_->setGeometry(stopX, (kToolbarH - 30) / 2, stopW, 30);
    pill_->setGeometry(pillX, (kToolbarH - 30) / 2, pillW, 30);
    timerLbl_->setGeometry(8, 0, pillW - 16, 30);
    const int addrX = 10 + 3 * navW + 2 * 2 + 8;
    address_->setGeometry(addrX, (kToolbarH - 32) / 2, std::max(40, pillX - 10 - addrX), 32);
    progressBg_->setGeometry(0, kToolbarH, W, kStripH);
    content_->setGeometry(0, kToolbarH + kStripH, W, std::max(0, H - kToolbarH - kStripH));
    if (fallbackLbl_) {
        const int cw = content_->width(), ch = content_->height();
        fallbackLbl_->setGeometry(20, ch / 2 - 50, cw - 40, 30);
        const int bw = std::max(260, openExtBtn_->fontMetrics().horizontalAdvance(openExtBtn_->text()) + 32);
        openExtBtn_->setGeometry((cw - bw) / 2, ch / 2, bw, 36);
    }
}

bool YouTubeBrowserWindow::load(const QString &urlString, qint64 seconds) {
    const auto url = BrowserAddress::fromLink(urlString);
    if (!url) return false;
    showUrl(*url);
    countdown_->start(seconds);
    return true;
}

void YouTubeBrowserWindow::showUrl(const QUrl &url) {
    url_ = url;
    address_->setText(url.toString());
    if (page_) page_->load(url);
    if (openExtBtn_) openExtBtn_->setEnabled(true);
}

void YouTubeBrowserWindow::loadTyped() {
    if (const auto url = BrowserAddress::fromTyped(address_->text())) showUrl(*url);
}

void YouTubeBrowserWindow::stopAndClose() {
    countdown_->stop();
    close();
}

void YouTubeBrowserWindow::closeEvent(QCloseEvent *e) {
    // Closed by the user with time left: "Open again" brings the window back counting on from there.
    resumeOnShow_ = countdown_->isRunning();
    countdown_->stop();
    QWidget::closeEvent(e);
}

void YouTubeBrowserWindow::showEvent(QShowEvent *e) {
    QWidget::showEvent(e);
    if (!resumeOnShow_) return;
    resumeOnShow_ = false;
    countdown_->start(countdown_->remaining());
}

void YouTubeBrowserWindow::closeAndFinish() {
    countdown_->stop();
    close();
    // After the close has been handled, and only while the window exists.
    QTimer::singleShot(0, this, [this] {
        if (onFinished) onFinished();
    });
}
