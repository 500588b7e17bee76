#include "exercises/BrowserWindowHost.h"

#include "exercises/BrowserAddress.h"
#include "exercises/BrowserWindowLink.h"
#include "ui/WebModule.h"
#include <QCoreApplication>
#include <QFileInfo>

QString BrowserWindowHost::windowProgram() {
    const QString dir = QCoreApplication::applicationDirPath();
    for (const QString &path : {dir + QStringLiteral("/mivo"), dir + QStringLiteral("/../mivo")}) {
        const QFileInfo f(path);
        if (f.isFile() && f.isExecutable()) return f.canonicalFilePath();
    }
    return QString();
}

BrowserWindowHost::BrowserWindowHost(QObject *parent) : QObject(parent) {
    if (!webViewsInstalled()) program_ = windowProgram();
    link(); // the window process starts now: it is ready by the time the step shows it
}

BrowserWindowHost::~BrowserWindowHost() {
    delete link_.data(); // closes the window
}

BrowserWindowLink *BrowserWindowHost::link() {
    if (link_) return link_;
    std::unique_ptr<BrowserWindowLink> made =
        program_.isEmpty() ? BrowserWindowLink::inThisProcess() : BrowserWindowLink::inOwnProcess(program_);
    BrowserWindowLink *l = made.release();
    l->setParent(this);
    link_ = l;
    connect(l, &BrowserWindowLink::finished, this, &BrowserWindowHost::finish);
    connect(l, &BrowserWindowLink::remainingChanged, this, [this](qint64 s) { remaining_ = s; });
    connect(l, &BrowserWindowLink::gone, this, [this, l] {
        if (link_ == l) link_ = nullptr;
        l->deleteLater(); // from inside its own signal
        if (!closed_) emit windowLost();
    });
    return l;
}

bool BrowserWindowHost::load(const QString &urlString, qint64 seconds) {
    const auto url = BrowserAddress::fromLink(urlString);
    if (!url) return false;
    url_ = *url;
    remaining_ = seconds;
    link()->open(url_, seconds);
    return true;
}

void BrowserWindowHost::bringToFront() {
    if (closed_) return;
    if (!link_ && url_.isValid()) link()->open(url_, remaining_); // its process ended: a new one
    link()->front();
}

void BrowserWindowHost::stopAndClose() {
    closed_ = true;
    if (link_) link_->close();
}

void BrowserWindowHost::finish() {
    if (closed_) return;
    closed_ = true;
    if (onFinished) onFinished();
}

bool BrowserWindowHost::hasWindow() const {
    return !link_.isNull();
}

YouTubeBrowserWindow *BrowserWindowHost::localWindow() const {
    return link_ ? link_->localWindow() : nullptr;
}

int BrowserWindowHost::runWindowProcess(const QStringList &args) {
    return BrowserWindowLink::runWindowProcess(args);
}
