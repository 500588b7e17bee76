#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QFileInfo>

#ifndef MIVO_VERSION
#define MIVO_VERSION "0"
#endif

namespace {
// Options QGuiApplication and QApplication consume themselves, with one or two dashes; the first
// group takes a value.
const QStringList kQtValueOptions = {
    QStringLiteral("platform"),      QStringLiteral("platformpluginpath"),
    QStringLiteral("platformtheme"), QStringLiteral("plugin"),
    QStringLiteral("qmljsdebugger"), QStringLiteral("qwindowgeometry"),
    QStringLiteral("qwindowicon"),   QStringLiteral("qwindowtitle"),
    QStringLiteral("session"),       QStringLiteral("display"),
    QStringLiteral("geometry"),      QStringLiteral("title"),
    QStringLiteral("name"),          QStringLiteral("visual"),
    QStringLiteral("style"),         QStringLiteral("stylesheet"),
};
const QStringList kQtFlagOptions = {
    QStringLiteral("reverse"), QStringLiteral("nograb"),      QStringLiteral("dograb"),
    QStringLiteral("sync"),    QStringLiteral("widgetcount"),
};

QString qtOptionName(const QString &arg) {
    if (arg.startsWith(QLatin1String("--"))) return arg.mid(2);
    if (arg.startsWith(u'-')) return arg.mid(1);
    return QString();
}

// The arguments without Qt's own options, which the parser would not know.
QStringList withoutQtOptions(const QStringList &args) {
    QStringList out;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString name = i == 0 ? QString() : qtOptionName(args[i]);
        if (!name.isEmpty() && kQtValueOptions.contains(name) && i + 1 < args.size()) {
            ++i;
            continue;
        }
        if (!name.isEmpty() && kQtFlagOptions.contains(name)) continue;
        out << args[i];
    }
    return out;
}
} // namespace

QString CommandLine::versionText() {
    return QStringLiteral("mivo " MIVO_VERSION "\n");
}

CommandLine CommandLine::parse(const QStringList &args) {
    const QString program = args.isEmpty() ? QStringLiteral("mivo") : QFileInfo(args.first()).fileName();
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral(
        "A focus timer, health reminders and daily alarms, tasks, projects, notes, finances and\n"
        "exercises in the system tray. Starting it again brings the running window forward.\n"
        "Its data lives in $XDG_DATA_HOME/mivo (by default ~/.local/share/mivo); see mivo(1)."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Print this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Print the version and exit."));
    // Started by the app itself, with the window's connection and looks as arguments.
    QCommandLineOption browserWindow(QString::fromLatin1(kBrowserWindowFlag).mid(2));
    browserWindow.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(browserWindow);

    const auto refuse = [&program](const QString &why) {
        return CommandLine{
            Action::Refuse,
            QStringLiteral("%1: %2\nTry '%1 --help' for more information.\n").arg(program, why)};
    };
    if (!parser.parse(withoutQtOptions(args))) return refuse(parser.errorText());
    if (parser.isSet(help)) {
        // Qt's usage line names the running application object's program, or none before it exists.
        QString text = parser.helpText();
        text = QStringLiteral("Usage: %1 [options]").arg(program) + text.mid(text.indexOf(u'\n'));
        return CommandLine{Action::Print, text};
    }
    if (parser.isSet(version)) return CommandLine{Action::Print, versionText()};
    if (parser.isSet(browserWindow)) return CommandLine{Action::BrowserWindow, QString()};
    if (!parser.positionalArguments().isEmpty())
        return refuse(QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().first()));
    return CommandLine{};
}
