// The application object of a test program: made once, on first use, with the program's name.
#pragma once

#include <QCoreApplication>

#include <string>

namespace telv::test {

// Application is QCoreApplication, or QApplication for tests of widgets.
template <class Application = QCoreApplication>
void EnsureApplication(const char* programName) {
    if (QCoreApplication::instance()) return;
    static std::string name = programName;
    static int argc = 1;
    static char* argv[] = {name.data(), nullptr};
    new Application(argc, argv);
}

}  // namespace telv::test
