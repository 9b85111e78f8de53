// Connecting at start to the server named on the command line.
#pragma once

#include "CommandLine.h"

namespace telv {

class TMainFrame;

// Puts the server into the address and port boxes (without a port: the one the history keeps
// for that address, else the default port; the history of a large settings file is waited
// for) and presses the connect action once the event loop runs, so the window is on screen first. The attempt, its errors and the history update are
// the connect action's own.
void ConnectAtStart(TMainFrame& window, const ConnectTarget& target);

}  // namespace telv
