#include "ColorScheme.h"

#include <QApplication>
#include <QStyleFactory>

#include <cstdlib>

namespace telv {

bool WantsDarkPalette(std::string_view telvColorScheme, std::string_view gtkTheme) {
    if (telvColorScheme == "dark") return true;
    if (telvColorScheme == "light") return false;
    return gtkTheme.ends_with(":dark");
}

QPalette DarkPalette() {
    const QColor window(45, 45, 48), base(30, 30, 32), text(220, 220, 220), disabled(128, 128, 128);
    const QColor highlight(42, 110, 187);
    QPalette p;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, QColor(40, 40, 43));
    p.setColor(QPalette::ToolTipBase, window);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, disabled);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Link, QColor(90, 160, 240));
    p.setColor(QPalette::Highlight, highlight);
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Light, QColor(70, 70, 74));
    p.setColor(QPalette::Midlight, QColor(58, 58, 62));
    p.setColor(QPalette::Mid, QColor(38, 38, 40));
    p.setColor(QPalette::Dark, QColor(25, 25, 27));
    p.setColor(QPalette::Shadow, Qt::black);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
    p.setColor(QPalette::Disabled, QPalette::Base, window);
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(70, 70, 74));
    return p;
}

void ApplyColorScheme() {
    const char* scheme = std::getenv("TELV_COLOR_SCHEME");
    const char* gtkTheme = std::getenv("GTK_THEME");
    if (!WantsDarkPalette(scheme ? scheme : "", gtkTheme ? gtkTheme : "")) return;
    if (QStyle* fusion = QStyleFactory::create("Fusion")) QApplication::setStyle(fusion);
    QApplication::setPalette(DarkPalette());
}

}  // namespace telv
