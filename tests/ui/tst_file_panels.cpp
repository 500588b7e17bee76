// The file panels: they propose and return what the pages ask for, and they list a folder without
// reading the files in it, since a file whose contents never end or never come (/proc/kmsg, a named
// pipe) would hold the whole application.
#include "common/TestEnv.h"
#include "ui/NameOnlyIconProvider.h"
#include "ui/WidgetDialogs.h"
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMimeDatabase>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <fcntl.h>
#include <functional>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// The entries of one folder that anything opened or read while it watched. The folder's own opens
// (a listing) are not counted.
class OpenWatch {
public:
    explicit OpenWatch(const QString &dir) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        if (fd_ >= 0 && inotify_add_watch(fd_, QFile::encodeName(dir).constData(), IN_OPEN | IN_ACCESS) < 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~OpenWatch() {
        if (fd_ >= 0) ::close(fd_);
    }
    OpenWatch(const OpenWatch &) = delete;
    OpenWatch &operator=(const OpenWatch &) = delete;
    bool ok() const { return fd_ >= 0; }

    QStringList opened() {
        alignas(inotify_event) char buf[8192];
        for (;;) {
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n <= 0) break;
            for (const char *p = buf; p < buf + n;) {
                const auto *e = reinterpret_cast<const inotify_event *>(p);
                if (e->len > 0 && !(e->mask & IN_ISDIR)) names_ << QString::fromLocal8Bit(e->name);
                p += sizeof(inotify_event) + e->len;
            }
        }
        names_.removeDuplicates();
        return names_;
    }

private:
    int fd_;
    QStringList names_;
};

// A folder of entries whose type only their contents would tell: a text file without an extension,
// a link to it, a named pipe, beside a file and a folder that their names tell. The pipe has a writer
// and bytes waiting, so a regression that reads it shows as an open instead of a test that hangs.
class Folder {
public:
    Folder() {
        write(QStringLiteral("notes"), "plain words, no extension\n");
        write(QStringLiteral("report.json"), "{\"a\": 1}\n");
        QDir(dir_.path()).mkdir(QStringLiteral("sub"));
        QFile::link(path(QStringLiteral("notes")), path(QStringLiteral("link")));
        const QByteArray pipe = QFile::encodeName(path(QStringLiteral("pipe")));
        if (::mkfifo(pipe.constData(), 0600) == 0) pipeFd_ = ::open(pipe.constData(), O_RDWR | O_NONBLOCK);
        if (pipeFd_ >= 0 && ::write(pipeFd_, "data", 4) != 4) {
            ::close(pipeFd_);
            pipeFd_ = -1;
        }
    }
    ~Folder() {
        if (pipeFd_ >= 0) ::close(pipeFd_);
    }
    Folder(const Folder &) = delete;
    Folder &operator=(const Folder &) = delete;
    bool ok() const { return dir_.isValid() && pipeFd_ >= 0; }
    QString path() const { return dir_.path(); }
    QString path(const QString &name) const { return dir_.filePath(name); }
    static QStringList entries() {
        return {QStringLiteral("notes"), QStringLiteral("report.json"), QStringLiteral("sub"),
                QStringLiteral("link"), QStringLiteral("pipe")};
    }

private:
    void write(const QString &name, const QByteArray &bytes) {
        QFile f(path(name));
        if (f.open(QIODevice::WriteOnly)) f.write(bytes);
    }

    QTemporaryDir dir_;
    int pipeFd_ = -1;
};

// Runs step every turn of the event loop (10 ms apart) while a panel is open, with the panel Qt
// shows; step returns false when it is done. Gives up, closing the panel, after many turns: a panel
// that never shows or never loads fails the test instead of leaving it waiting.
void driveOpenPanel(const std::function<bool(QFileDialog *)> &step, bool *gaveUp) {
    auto *timer = new QTimer(qApp);
    auto turns = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        QFileDialog *panel = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *d = qobject_cast<QFileDialog *>(w); d && d->isVisible()) panel = d;
        if (!panel) {
            if (++*turns > 6000) {
                *gaveUp = true;
                timer->deleteLater();
            }
            return;
        }
        if (!step(panel) || ++*turns > 6000) {
            *gaveUp = *turns > 6000;
            timer->deleteLater();
            if (panel->isVisible()) panel->reject();
        }
    });
    timer->start(10);
}
} // namespace

class FilePanelsTest : public QObject {
    Q_OBJECT
private slots:
    static void initMain() { useOffscreenWhenHeadless(); }

    // Icons and type names come from the names: nothing in the folder is opened, the pipe included,
    // and a file's type is still the one its extension says.
    void iconsAndTypesComeFromNamesAlone() {
        Folder folder;
        QVERIFY(folder.ok());
        OpenWatch watch(folder.path());
        QVERIFY(watch.ok());
        NameOnlyIconProvider icons;
        for (const QString &name : Folder::entries()) {
            const QFileInfo info(folder.path(name));
            QVERIFY2(!icons.icon(info).isNull(), qPrintable(name));
            QVERIFY2(!icons.type(info).isEmpty(), qPrintable(name));
        }
        QCOMPARE(icons.type(QFileInfo(folder.path(QStringLiteral("report.json")))),
                 QMimeDatabase().mimeTypeForName(QStringLiteral("application/json")).comment());
        const QStringList opened = watch.opened();
        QVERIFY2(opened.isEmpty(), qPrintable(QStringLiteral("opened: ") + opened.join(QStringLiteral(", "))));
    }

    // The panel a page's Save opens proposes the page's name in the home folder and returns the path
    // chosen; the Open panel starts in the home folder too.
    void panelsStartAtHomeAndReturnTheChoice() {
        WidgetDialogs dialogs;
        QString proposed, folder;
        bool gaveUp = false;
        driveOpenPanel(
            [&](QFileDialog *panel) {
                auto *name = panel->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
                proposed = name ? name->text() : QString();
                folder = panel->directory().absolutePath();
                QMetaObject::invokeMethod(panel, "accept"); // as the Save button does
                return false;
            },
            &gaveUp);
        const QString chosen = dialogs.savePath(nullptr, QStringLiteral("Export"),
                                                QStringLiteral("week 12.json"), {"JSON (*.json)"});
        QVERIFY(!gaveUp);
        QCOMPARE(proposed, QStringLiteral("week 12.json"));
        QCOMPARE(folder, QDir::homePath());
        QCOMPARE(chosen, QDir::home().filePath(QStringLiteral("week 12.json")));

        driveOpenPanel(
            [&](QFileDialog *panel) {
                folder = panel->directory().absolutePath();
                return false;
            },
            &gaveUp);
        QCOMPARE(dialogs.openPath(nullptr, QString(), {"JSON (*.json)"}), QString());
        QVERIFY(!gaveUp);
        QCOMPARE(folder, QDir::homePath());
    }

    // A user types a folder into the name field, as they would "/proc/": the panel lists it, the event
    // loop keeps turning, and no entry of the folder was opened to draw the list.
    void typingAFolderListsItWithoutOpeningItsFiles() {
        Folder folder;
        QVERIFY(folder.ok());
        OpenWatch watch(folder.path());
        QVERIFY(watch.ok());
        WidgetDialogs dialogs;
        bool widgetPanel = false, loaded = false, gaveUp = false;
        int turnsAfterLoad = 0;
        driveOpenPanel(
            [&](QFileDialog *panel) {
                auto *name = panel->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
                auto *model = panel->findChild<QFileSystemModel *>();
                if (!widgetPanel) {
                    widgetPanel = name && model;
                    if (!widgetPanel) return false;
                    connect(model, &QFileSystemModel::directoryLoaded, panel, [&](const QString &path) {
                        if (QFileInfo(path) == QFileInfo(folder.path())) loaded = true;
                    });
                    name->clear();
                    QTest::keyClicks(name, folder.path() + QLatin1Char('/'));
                    return true;
                }
                // A few more turns after the listing, so whatever draws it has run.
                return !loaded || ++turnsAfterLoad < 10;
            },
            &gaveUp);
        QCOMPARE(dialogs.savePath(nullptr, QString(), QStringLiteral("out.json"), {}), QString());
        QVERIFY2(widgetPanel, "the panel is Qt's own, with its name field and folder model");
        QVERIFY(!gaveUp);
        QVERIFY(loaded);
        const QStringList opened = watch.opened();
        QVERIFY2(opened.isEmpty(), qPrintable(QStringLiteral("opened: ") + opened.join(QStringLiteral(", "))));
    }
};

QTEST_MAIN(FilePanelsTest)
#include "tst_file_panels.moc"
