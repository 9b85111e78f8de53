// The console's command line. It is read before the application object exists, so --help,
// --version and mistakes are answered without a display.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace telv {

// A server named on the command line: the texts that go into the address and port boxes.
struct ConnectTarget {
    QString Host;
    std::optional<QString> Port;  // absent: "HOST" without ":PORT"
    bool operator==(const ConnectTarget&) const = default;
};

struct ConsoleCommandLine {
    enum class Action { Run, ShowHelp, ShowVersion, Error };
    Action Do = Action::Run;
    QString Error;                         // Action::Error: what is wrong
    std::optional<ConnectTarget> Connect;  // --connect HOST[:PORT]
    QString SettingsDir;                   // --settings-dir DIR; empty: the user's own settings
};

// Parses the arguments, the program name first. Options of Qt itself (-platform, -style, ...)
// are accepted and left for the application object.
ConsoleCommandLine ParseConsoleCommandLine(const QStringList& arguments);

// "HOST[:PORT]": the host before the last colon, the port text after it. Neither is checked here:
// the connect action judges them as it judges the boxes.
ConnectTarget SplitHostPort(const QString& text);

QString ConsoleUsage();
QString ConsoleVersionText();  // "telv-console 1.3.8.17"

// Makes the settings folder when it is missing; false with a reason when it cannot be made or
// is not a writable folder.
bool PrepareSettingsDir(const QString& dir, QString& error);

}  // namespace telv
