#include "settings/Autostart.h"

#include "platform/AtomicFile.h"
#include "platform/Keys.h"
#include "platform/Prefs.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace Autostart {

QString filePath() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base)) base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/autostart/") + QLatin1String(kBundleId) + QStringLiteral(".desktop");
}

std::optional<QString> quotedExec(const QString &exePath) {
    QString inner;
    for (const QChar c : exePath) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) return std::nullopt;
        // Inside double quotes the desktop-entry rules want these four escaped with a backslash...
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') inner += u'\\';
        inner += c;
    }
    // ...and the value as a whole is a string, whose own escaping doubles every backslash again.
    inner.replace(QStringLiteral("\\"), QStringLiteral("\\\\"));
    // A lone % would be read as a field code.
    inner.replace(QStringLiteral("%"), QStringLiteral("%%"));
    return QStringLiteral("\"") + inner + QStringLiteral("\"");
}

namespace {
// The icon is the launcher's, installed under the application's id.
constexpr char kHead[] = "[Desktop Entry]\nType=Application\nName=Mivo\nIcon=com.mivo.app\nExec=";
constexpr char kTail[] = "\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
// What earlier versions wrote: no icon and no final line feed. Still ours, and brought up to date.
constexpr char kOldHead[] = "[Desktop Entry]\nType=Application\nName=Mivo\nExec=";
constexpr char kOldTail[] = "\nTerminal=false\nX-GNOME-Autostart-enabled=true";

// Our own text with some Exec line on one line of its own; anything else was edited and is the user's.
bool isOurs(const QByteArray &text) {
    const auto framed = [&text](const char *head, const char *tail) {
        const QByteArray h(head), t(tail);
        return text.startsWith(h) && text.endsWith(t) && text.size() >= h.size() + t.size() &&
               text.count('\n') == h.count('\n') + t.count('\n');
    };
    return framed(kHead, kTail) || framed(kOldHead, kOldTail);
}
} // namespace

std::optional<QByteArray> fileText(const QString &exePath) {
    const auto exec = quotedExec(exePath);
    if (!exec) return std::nullopt;
    return QByteArray(kHead) + exec->toUtf8() + QByteArray(kTail);
}

bool isOn(const QString &path) {
    QFile f(path);
    if (!QFileInfo(path).isFile()) return false;
    if (!f.open(QIODevice::ReadOnly)) return true; // there, but not ours to read: the session will still see it
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (QByteArray line : lines) {
        line = line.trimmed();
        const int eq = line.indexOf('=');
        if (eq < 0) continue;
        const QByteArray key = line.left(eq).trimmed();
        const QByteArray val = line.mid(eq + 1).trimmed().toLower();
        if (key == "Hidden" && val == "true") return false;
        if (key == "X-GNOME-Autostart-enabled" && val == "false") return false;
    }
    return true;
}

bool set(bool on, const QString &exePath, const QString &path) {
    if (!on) return !QFileInfo::exists(path) || QFile::remove(path);
    if (exePath.isEmpty()) return false;
    const auto text = fileText(exePath);
    if (!text) return false;
    QDir().mkpath(QFileInfo(path).absolutePath());
    return AtomicFile::write(path, *text).ok;
}

bool applyFirstStartDefault(Prefs &prefs, const QString &exePath, const QString &path) {
    if (prefs.boolValue(QLatin1String(kAutostartDefaultSet)) || QFileInfo::exists(path)) return false;
    if (prefs.access() == Prefs::Access::ReadOnly || prefs.access() == Prefs::Access::None) return false;
    prefs.setBool(QLatin1String(kAutostartDefaultSet), true);
    return set(true, exePath, path);
}

bool followExecutable(const QString &exePath, const QString &path) {
    const auto text = fileText(exePath);
    if (!text || !isOn(path)) return false;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray now = f.readAll();
    f.close();
    if (now == *text || !isOurs(now)) return false;
    return AtomicFile::write(path, *text).ok;
}

} // namespace Autostart
