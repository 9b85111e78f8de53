// The console's colours: the desktop's palette by default; a dark palette (Fusion style) when
// TELV_COLOR_SCHEME=dark, or when GTK_THEME names a dark variant ("Adwaita:dark") and
// TELV_COLOR_SCHEME does not say "light". The widgets use palette roles only.
#pragma once

#include <QPalette>

#include <string_view>

namespace telv {

// From the two environment values (empty when unset).
bool WantsDarkPalette(std::string_view telvColorScheme, std::string_view gtkTheme);
QPalette DarkPalette();
// Reads the environment and switches the application to the dark palette when asked (call
// once the application object exists).
void ApplyColorScheme();

}  // namespace telv
