#include "CommandLine.h"

#include "VersionRecord.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

namespace telv {
namespace {

// Options the application object reads itself; they pass here untouched.
const char* const kQtValueOptions[] = {"platform", "platformpluginpath", "platformtheme", "plugin",
                                       "qwindowgeometry", "qwindowtitle", "qwindowicon", "style",
                                       "stylesheet", "session", "display", "geometry"};
const char* const kQtFlagOptions[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

}  // namespace

ConnectTarget SplitHostPort(const QString& text) {
    const qsizetype colon = text.lastIndexOf(':');
    if (colon < 0) return {text, std::nullopt};
    return {text.left(colon), text.mid(colon + 1)};
}

ConsoleCommandLine ParseConsoleCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    // "-platform offscreen" is one option, as the application object reads it.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{"h", "help"});
    const QCommandLineOption version(QStringList{"v", "version"});
    const QCommandLineOption connect("connect", {}, "HOST[:PORT]");
    const QCommandLineOption settingsDir("settings-dir", {}, "DIR");
    parser.addOptions({help, version, connect, settingsDir});
    for (const char* name : kQtValueOptions) {
        QCommandLineOption option(QString::fromLatin1(name), {}, "value");
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char* name : kQtFlagOptions) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    ConsoleCommandLine result;
    const bool parsed = parser.parse(arguments);
    // Help wins over every mistake after it, as it does in telv-sim.
    if (parser.isSet(help)) {
        result.Do = ConsoleCommandLine::Action::ShowHelp;
        return result;
    }
    if (!parsed) {
        const QStringList unknown = parser.unknownOptionNames();
        result.Do = ConsoleCommandLine::Action::Error;
        result.Error = unknown.isEmpty() ? parser.errorText()
                                         : QString("unknown option %1%2").arg(unknown.first().size() == 1 ? "-" : "--",
                                                                              unknown.first());
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.Do = ConsoleCommandLine::Action::Error;
        result.Error = QString("unexpected argument \"%1\"").arg(parser.positionalArguments().first());
        return result;
    }
    if (parser.isSet(version)) {
        result.Do = ConsoleCommandLine::Action::ShowVersion;
        return result;
    }
    if (parser.isSet(connect)) result.Connect = SplitHostPort(parser.values(connect).constLast());
    if (parser.isSet(settingsDir)) {
        result.SettingsDir = parser.values(settingsDir).constLast();
        if (result.SettingsDir.isEmpty()) {
            result.Do = ConsoleCommandLine::Action::Error;
            result.Error = "--settings-dir needs a folder";
        }
    }
    return result;
}

QString ConsoleUsage() {
    return "usage: telv-console [options]\n"
           "Monitors and controls a TELV device-gateway server.\n"
           "\n"
           "  --connect HOST[:PORT]    fill in the server and connect at start (port: from the\n"
           "                           history, else 5100); the history is updated as for the button\n"
           "  --settings-dir DIR       keep the settings in DIR (made when missing) instead of\n"
           "                           ~/.config/telv-console\n"
           "  -h, --help               print this help and exit\n"
           "  -v, --version            print the version and exit\n"
           "\n"
           "Qt's own options (-platform NAME, -style NAME, ...) are passed to Qt.\n";
}

QString ConsoleVersionText() {
    return QString("telv-console %1").arg(QString::fromLatin1(version_record::kFileVersion.data(),
                                                   static_cast<qsizetype>(version_record::kFileVersion.size())));
}

bool PrepareSettingsDir(const QString& dir, QString& error) {
    const QFileInfo info(dir);
    if (info.exists() && !info.isDir()) {
        error = QString("the settings folder %1 is not a folder").arg(dir);
        return false;
    }
    if (!QDir().mkpath(dir)) {
        error = QString("cannot make the settings folder %1").arg(dir);
        return false;
    }
    const QFileInfo made(dir);
    if (!made.isWritable()) {
        error = QString("the settings folder %1 cannot be written").arg(dir);
        return false;
    }
    return true;
}

}  // namespace telv
