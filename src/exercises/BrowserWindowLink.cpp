#include "exercises/BrowserWindowLink.h"

#include "app/CommandLine.h"
#include "exercises/BrowserCountdown.h"
#include "exercises/SocketLines.h"
#include "exercises/YouTubeBrowserWindow.h"
#include "platform/Prefs.h"
#include "ui/Lang.h"
#include "ui/Theme.h"
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QTimer>
#include <QUuid>

namespace {
// A window process that does not end after "close" is ended after this long.
constexpr int kCloseGraceMs = 5000;
constexpr int kConnectMs = 10000;

void centreOnScreen(QWidget *w) {
    if (QScreen *sc = QGuiApplication::primaryScreen())
        w->move(sc->availableGeometry().center() - w->rect().center());
}

// Shows the window, centred the first time.
void showInFront(YouTubeBrowserWindow *w, bool &placed) {
    if (!placed && !w->isVisible()) centreOnScreen(w);
    placed = true;
    w->show();
    w->raise();
    w->activateWindow();
}

QByteArray openMessage(const QUrl &url, qint64 seconds) {
    return "open " + QByteArray::number(seconds) + ' ' + url.toEncoded();
}

// The window in this process.
class LocalLink final : public BrowserWindowLink {
public:
    LocalLink() : window_(new YouTubeBrowserWindow) {
        window_->onFinished = [this] { emit finished(); };
        connect(window_->countdown(), &BrowserCountdown::textChanged, this,
                [this] { emit remainingChanged(window_->countdown()->remaining()); });
    }
    ~LocalLink() override {
        if (!window_) return;
        window_->onFinished = nullptr;
        window_->stopAndClose();
        window_->deleteLater(); // possibly from inside its own finish callback
    }
    void open(const QUrl &url, qint64 seconds) override { window_->load(url.toString(), seconds); }
    void front() override {
        bool placed = window_->isVisible();
        showInFront(window_, placed);
    }
    void close() override { window_->stopAndClose(); }
    YouTubeBrowserWindow *localWindow() const override { return window_; }

private:
    QPointer<YouTubeBrowserWindow> window_;
};

// The window in a process of its own.
class ProcessLink final : public BrowserWindowLink {
public:
    explicit ProcessLink(const QString &program) {
        server_ = new QLocalServer(this);
        server_->setSocketOptions(QLocalServer::UserAccessOption);
        server_->setMaxPendingConnections(1);
        server_->listen(QStringLiteral("mivo-browser-%1-%2")
                            .arg(QCoreApplication::applicationPid())
                            .arg(QUuid::createUuid().toString(QUuid::Id128)));
        connect(server_, &QLocalServer::newConnection, this, [this] {
            QLocalSocket *s = server_->nextPendingConnection();
            if (!s || lines_) return;
            server_->close(); // one window, one connection
            lines_ = new SocketLines(s, this);
            connect(lines_, &SocketLines::lineReceived, this, &ProcessLink::onLine);
            connect(lines_, &SocketLines::closed, this, &ProcessLink::lost);
            for (const QByteArray &line : std::as_const(queued_))
                lines_->send(line);
            queued_.clear();
        });

        // Not our child: after "close" the process is left to end by itself (it ends its web
        // engine's helpers on the way), and is ended only if it does not.
        auto *p = new QProcess(QCoreApplication::instance());
        process_ = p;
        p->setProcessChannelMode(QProcess::ForwardedChannels);
        connect(p, &QProcess::finished, p, &QObject::deleteLater);
        connect(p, &QProcess::finished, this, &ProcessLink::lost);
        connect(p, &QProcess::errorOccurred, this, [this, p](QProcess::ProcessError e) {
            if (e != QProcess::FailedToStart) return;
            p->deleteLater();
            lost();
        });
        p->start(program, {QString::fromLatin1(CommandLine::kBrowserWindowFlag), server_->fullServerName(),
                           AppLangs::rawValue(L::lang()), AppThemes::rawValue(VF::theme()),
                           QString::number(VF::fontScale(), 'g', 17)});
    }
    ~ProcessLink() override {
        send("close");
        if (lines_) lines_->flush();
        if (QProcess *p = process_; p && !gone_) QTimer::singleShot(kCloseGraceMs, p, [p] { p->kill(); });
    }
    void open(const QUrl &url, qint64 seconds) override { send(openMessage(url, seconds)); }
    void front() override { send("front"); }
    void close() override { send("close"); }

private:
    void send(const QByteArray &line) {
        if (gone_) return;
        if (lines_)
            lines_->send(line);
        else
            queued_ << line;
    }
    void onLine(const QByteArray &line) {
        if (line == "finished")
            emit finished();
        else if (line.startsWith("left "))
            emit remainingChanged(line.mid(5).toLongLong());
    }
    // The process ended or the connection closed: this window is gone for good. The process, if it
    // still runs, is ended: nothing could reach it any more.
    void lost() {
        if (gone_) return;
        gone_ = true;
        queued_.clear();
        if (QProcess *p = process_; p && p->state() != QProcess::NotRunning) p->kill();
        emit gone();
    }

    QLocalServer *server_ = nullptr;
    QPointer<SocketLines> lines_;
    QPointer<QProcess> process_;
    QList<QByteArray> queued_; // sent once the window process has connected
    bool gone_ = false;
};
} // namespace

std::unique_ptr<BrowserWindowLink> BrowserWindowLink::inThisProcess() {
    return std::make_unique<LocalLink>();
}

std::unique_ptr<BrowserWindowLink> BrowserWindowLink::inOwnProcess(const QString &program) {
    return std::make_unique<ProcessLink>(program);
}

int BrowserWindowLink::runWindowProcess(const QStringList &args) {
    if (args.size() < 6) return CommandLine::kUsageExitCode;
    // The app owns the preferences database: this process never opens it. What the window reads
    // from the settings (language, theme, font size) comes from the app and is kept in memory.
    static Prefs memory(QStringLiteral(":memory:"));
    Prefs::install(&memory);
    L::setLang(AppLangs::fromRaw(args[3]).value_or(AppLang::en));
    VF::setTheme(AppThemes::fromRaw(args[4]).value_or(AppTheme::silver));
    VF::setFontScale(args[5].toDouble());

    auto *socket = new QLocalSocket;
    socket->connectToServer(args[2]);
    if (!socket->waitForConnected(kConnectMs)) {
        delete socket;
        return 1;
    }
    SocketLines lines(socket);
    YouTubeBrowserWindow window;
    bool placed = false;
    window.onFinished = [&lines] {
        lines.send("finished");
        lines.flush();
    };
    QObject::connect(window.countdown(), &BrowserCountdown::textChanged, &lines,
                     [&] { lines.send("left " + QByteArray::number(window.countdown()->remaining())); });
    QObject::connect(&lines, &SocketLines::lineReceived, &window, [&](const QByteArray &line) {
        if (line.startsWith("open ")) {
            const qsizetype sp = line.indexOf(' ', 5);
            if (sp < 0) return;
            window.load(QString::fromUtf8(line.mid(sp + 1)), line.mid(5, sp - 5).toLongLong());
        } else if (line == "front") {
            showInFront(&window, placed);
        } else if (line == "close") {
            window.stopAndClose();
            QCoreApplication::quit();
        }
    });
    // The app is gone, dropped the window, or sent what no app sends: so is this process.
    QObject::connect(&lines, &SocketLines::closed, &window, [] { QCoreApplication::quit(); });
    return QCoreApplication::exec();
}
