// The TELV console: one window that monitors and controls a device-gateway server.
#include "ColorScheme.h"
#include "CommandLine.h"
#include "ConsoleApplication.h"
#include "MainForm.h"
#include "SignalRelay.h"
#include "SocketCore.h"
#include "StartupConnect.h"

#include <clocale>
#include <cstdio>
#include <exception>
#include <memory>

namespace {

void Print(std::FILE* stream, const QString& text) { std::fputs(text.toLocal8Bit().constData(), stream); }

}  // namespace

int main(int argc, char* argv[]) {
    // The command line is read before the application object, which needs a display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const telv::ConsoleCommandLine commandLine = telv::ParseConsoleCommandLine(arguments);
    switch (commandLine.Do) {
    case telv::ConsoleCommandLine::Action::ShowHelp:
        Print(stdout, telv::ConsoleUsage());
        return 0;
    case telv::ConsoleCommandLine::Action::ShowVersion:
        Print(stdout, telv::ConsoleVersionText() + "\n");
        return 0;
    case telv::ConsoleCommandLine::Action::Error:
        Print(stderr, "telv-console: " + commandLine.Error + "\n\n" + telv::ConsoleUsage());
        return 2;
    case telv::ConsoleCommandLine::Action::Run:
        break;
    }
    std::unique_ptr<telv::TRegistry> registry;
    if (!commandLine.SettingsDir.isEmpty()) {
        QString error;
        if (!telv::PrepareSettingsDir(commandLine.SettingsDir, error)) {
            Print(stderr, "telv-console: " + error + "\n");
            return 2;
        }
        registry = std::make_unique<telv::TRegistry>(commandLine.SettingsDir.toStdString());
    }

    telv::TAsyncSocket::SockInit();
    int result = 0;
    try {
        telv::ConsoleApplication app(argc, argv);
        std::setlocale(LC_NUMERIC, "C");  // printf-style numbers with a decimal point
        telv::ApplyColorScheme();
        // TERM, INT and HUP close the window as Ctrl+Q does: the settings are saved. A signal
        // that comes while the window is being made waits in the relay until the loop runs.
        telv::SignalRelay signalRelay;
        telv::TMainFrame window(std::move(registry));
        QObject::connect(&signalRelay, &telv::SignalRelay::Received, &window, [&window] { telv::CloseOnSignal(window); });
        window.show();
        if (commandLine.Connect) telv::ConnectAtStart(window, *commandLine.Connect);
        result = telv::ConsoleApplication::exec();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "telv-console: %s\n", e.what());
        result = 1;
    }
    telv::TAsyncSocket::SockDone();
    return result;
}
