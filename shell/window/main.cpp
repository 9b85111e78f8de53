// The TELV console: one window that monitors and controls a device-gateway server.
#include "MainForm.h"
#include "SocketCore.h"

#include <QApplication>

#include <clocale>
#include <cstdio>
#include <exception>

int main(int argc, char* argv[]) {
    telv::TAsyncSocket::SockInit();
    int result = 0;
    try {
        QApplication app(argc, argv);
        std::setlocale(LC_NUMERIC, "C");  // printf-style numbers with a decimal point
        telv::TMainFrame window;
        window.show();
        result = QApplication::exec();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "telv-console: %s\n", e.what());
        result = 1;
    }
    telv::TAsyncSocket::SockDone();
    return result;
}
