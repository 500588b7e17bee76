#include "exercises/BrowserWindowHost.h"

#include "exercises/BrowserAddress.h"
#include "exercises/YouTubeBrowserWindow.h"
#include "platform/Prefs.h"
#include "ui/Lang.h"
#include "ui/Theme.h"
#include "ui/WebModule.h"
#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QScreen>
#include <QTimer>
#include <QUuid>

namespace {
// A window process that does not end after "close" is ended after this long.
constexpr int kCloseGraceMs = 5000;
constexpr int kConnectMs = 10000;

void centreOnScreen(QWidget *w) {
    if (QScreen *sc = QGuiApplication::primaryScreen()) w->move(sc->availableGeometry().center() - w->rect().center());
}

void front(QWidget *w) {
    w->show();
    w->raise();
    w->activateWindow();
}
} // namespace

QString BrowserWindowHost::windowProgram() {
    const QString dir = QCoreApplication::applicationDirPath();
    for (const QString &path : {dir + QStringLiteral("/mivo"), dir + QStringLiteral("/../mivo")}) {
        const QFileInfo f(path);
        if (f.isFile() && f.isExecutable()) return f.canonicalFilePath();
    }
    return QString();
}

BrowserWindowHost::BrowserWindowHost(QObject *parent) : QObject(parent) {
    const QString program = webViewsInstalled() ? QString() : windowProgram();
    if (program.isEmpty()) {
        local_ = new YouTubeBrowserWindow;
        local_->onFinished = [this] { finish(); };
        return;
    }
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    server_->setMaxPendingConnections(1);
    server_->listen(QStringLiteral("mivo-browser-%1-%2")
                        .arg(QCoreApplication::applicationPid())
                        .arg(QUuid::createUuid().toString(QUuid::Id128)));
    connect(server_, &QLocalServer::newConnection, this, [this] {
        QLocalSocket *s = server_->nextPendingConnection();
        if (!s || socket_) return;
        socket_ = s;
        server_->close(); // one window, one connection
        connect(s, &QLocalSocket::readyRead, this, [this] {
            buffer_ += socket_->readAll();
            for (int nl = buffer_.indexOf('\n'); nl >= 0; nl = buffer_.indexOf('\n')) {
                const QByteArray line = buffer_.left(nl);
                buffer_.remove(0, nl + 1);
                onLine(line);
            }
        });
        for (const QByteArray &line : std::as_const(queued_))
            s->write(line);
        queued_.clear();
    });

    // Not our child object: the process is left to end by itself after "close" (it ends its web
    // engine helpers on the way), and is ended only if it does not.
    auto *p = new QProcess(QCoreApplication::instance());
    process_ = p;
    p->setProcessChannelMode(QProcess::ForwardedChannels);
    connect(p, &QProcess::finished, p, &QObject::deleteLater);
    connect(p, &QProcess::errorOccurred, p, [p](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) p->deleteLater();
    });
    p->start(program, {QString::fromLatin1(kChildFlag), server_->fullServerName(), AppLangs::rawValue(L::lang()),
                       AppThemes::rawValue(VF::theme()), QString::number(VF::fontScale(), 'g', 17)});
}

BrowserWindowHost::~BrowserWindowHost() {
    if (local_) {
        local_->onFinished = nullptr;
        local_->stopAndClose();
        local_->deleteLater(); // possibly from inside its own finish callback
        return;
    }
    send("close\n");
    if (socket_) socket_->flush();
    if (QProcess *p = process_) QTimer::singleShot(kCloseGraceMs, p, [p] { p->kill(); });
}

bool BrowserWindowHost::isRemote() const {
    return server_ != nullptr;
}

YouTubeBrowserWindow *BrowserWindowHost::localWindow() const {
    return local_;
}

void BrowserWindowHost::send(const QByteArray &line) {
    if (socket_)
        socket_->write(line);
    else
        queued_ << line;
}

bool BrowserWindowHost::load(const QString &urlString, qint64 seconds) {
    const auto url = BrowserAddress::fromLink(urlString);
    if (!url) return false;
    url_ = *url;
    if (local_) return local_->load(urlString, seconds);
    send("open " + QByteArray::number(seconds) + ' ' + url_.toEncoded() + '\n');
    return true;
}

void BrowserWindowHost::bringToFront() {
    if (closed_) return;
    if (local_) {
        if (!local_->isVisible()) centreOnScreen(local_);
        front(local_);
        return;
    }
    send("front\n");
}

void BrowserWindowHost::stopAndClose() {
    closed_ = true;
    if (local_)
        local_->stopAndClose();
    else
        send("close\n");
}

void BrowserWindowHost::onLine(const QByteArray &line) {
    if (line == "finished") finish();
}

void BrowserWindowHost::finish() {
    if (closed_) return;
    closed_ = true;
    if (onFinished) onFinished();
}

int BrowserWindowHost::runWindowProcess(const QStringList &args) {
    if (args.size() < 6) return 2;
    // The app owns the preferences database: this process never opens it. What the window reads
    // from the settings (language, theme, font size) comes from the app and is kept in memory.
    static Prefs memory(QStringLiteral(":memory:"));
    Prefs::install(&memory);
    L::setLang(AppLangs::fromRaw(args[3]).value_or(AppLang::en));
    VF::setTheme(AppThemes::fromRaw(args[4]).value_or(AppTheme::silver));
    VF::setFontScale(args[5].toDouble());

    QLocalSocket socket;
    socket.connectToServer(args[2]);
    if (!socket.waitForConnected(kConnectMs)) return 1;
    YouTubeBrowserWindow window;
    bool shown = false;
    window.onFinished = [&socket] {
        socket.write("finished\n");
        socket.flush();
    };
    QByteArray buffer;
    QObject::connect(&socket, &QLocalSocket::readyRead, &window, [&] {
        buffer += socket.readAll();
        for (int nl = buffer.indexOf('\n'); nl >= 0; nl = buffer.indexOf('\n')) {
            const QByteArray line = buffer.left(nl);
            buffer.remove(0, nl + 1);
            if (line.startsWith("open ")) {
                const int sp = line.indexOf(' ', 5);
                if (sp < 0) continue;
                window.load(QString::fromUtf8(line.mid(sp + 1)), line.mid(5, sp - 5).toLongLong());
            } else if (line == "front") {
                if (!shown) centreOnScreen(&window);
                shown = true;
                front(&window);
            } else if (line == "close") {
                window.stopAndClose();
                QCoreApplication::quit();
            }
        }
    });
    // The app is gone (or dropped the window): so is this process.
    QObject::connect(&socket, &QLocalSocket::disconnected, &window, [] { QCoreApplication::quit(); });
    return QCoreApplication::exec();
}
