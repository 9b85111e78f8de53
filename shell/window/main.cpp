// The TELV console: one window that monitors and controls a device-gateway server.
#include "ColorScheme.h"
#include "ConsoleApplication.h"
#include "MainForm.h"
#include "SignalRelay.h"
#include "SocketCore.h"

#include <clocale>
#include <cstdio>
#include <exception>

int main(int argc, char* argv[]) {
    telv::TAsyncSocket::SockInit();
    int result = 0;
    try {
        telv::ConsoleApplication app(argc, argv);
        std::setlocale(LC_NUMERIC, "C");  // printf-style numbers with a decimal point
        telv::ApplyColorScheme();
        // TERM, INT and HUP close the window as Ctrl+Q does: the settings are saved. A signal
        // that comes while the window is being made waits in the relay until the loop runs.
        telv::SignalRelay signalRelay;
        telv::TMainFrame window;
        QObject::connect(&signalRelay, &telv::SignalRelay::Received, &window, [&window] { telv::CloseOnSignal(window); });
        window.show();
        result = telv::ConsoleApplication::exec();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "telv-console: %s\n", e.what());
        result = 1;
    }
    telv::TAsyncSocket::SockDone();
    return result;
}
