#pragma once
#include <QByteArray>
#include <QString>
#include <optional>

class Prefs;

// Autostart at login through the XDG autostart folder. The file's existence is the setting; the app
// keeps no other record of it. A file of ours that desktop tools switched off (Hidden=true or
// X-GNOME-Autostart-enabled=false) counts as off.
namespace Autostart {
// $XDG_CONFIG_HOME/autostart/com.mivo.app.desktop; an unset, empty or relative XDG_CONFIG_HOME
// means ~/.config.
QString filePath();
// The desktop entry that starts the executable at exePath, with the launcher's icon, each line ending
// in a line feed; nothing for a path with control characters (it cannot be written safely).
std::optional<QByteArray> fileText(const QString &exePath);
// The Exec value for exePath: quoted and escaped by the desktop-entry rules.
std::optional<QString> quotedExec(const QString &exePath);
// Whether autostart is on, read from the file at path.
bool isOn(const QString &path = filePath());
// Writes (atomically) or removes the file. False when that failed; failures are otherwise silent.
bool set(bool on, const QString &exePath, const QString &path = filePath());
// Turns autostart on by itself, once per preferences domain: at the first start with no file at path,
// the file is written and autostartDefaultSet stored. Later starts change nothing, so a switch
// turned off or a file deleted by hand stays so. A domain that cannot keep the flag (a read-only
// database) writes nothing, or every start would write the file again. True when it wrote.
bool applyFirstStartDefault(Prefs &prefs, const QString &exePath, const QString &path = filePath());
// When autostart is on with a file of ours that starts another executable (a build folder's, while
// this is the installed one, or the other way round) or that an earlier version wrote, rewrites it
// for exePath. A file the user or a desktop tool changed is left as it is. True when it was rewritten.
bool followExecutable(const QString &exePath, const QString &path = filePath());
} // namespace Autostart
