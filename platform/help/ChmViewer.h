// Shows help topics with a CHM viewer installed on the system.
//
// A topic address "TelvServer.chm::/topic.htm" names the help file without a folder; the file is
// looked for beside the executable and in the program's data folders. The viewer is the first of
// xchm, chmsee, kchmviewer and uchmviewer found on PATH. xchm and chmsee are handed the topic;
// the other two open the file at its start page. Without a viewer, or without the help file,
// nothing is shown and nothing is reported.
#pragma once

#include "Help.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace telv {

// One program start: the program's path and its arguments.
struct HelpCommand {
    std::string Program;
    std::vector<std::string> Arguments;
    bool operator==(const HelpCommand&) const = default;
};

class ChmViewer {
public:
    // Where the viewer looks for things and how it starts a program; replaced in tests.
    struct Environment {
        std::vector<std::filesystem::path> HelpDirectories;  // searched in order for the help file
        std::function<std::string(const std::string& name)> FindExecutable;  // full path or ""
        std::function<bool(const HelpCommand&)> Start;       // starts the program detached
    };
    // The executable's folder, <data dir>/telv-console for each data dir, PATH, QProcess::startDetached.
    static Environment SystemEnvironment();

    explicit ChmViewer(Environment environment = SystemEnvironment());

    // The viewer program found on PATH when the viewer was made; empty when there is none.
    const std::string& ViewerProgram() const { return viewer_; }
    // The command that would show the topic address; nothing without a viewer, for an address
    // without "::/" or when the help file is not found.
    std::optional<HelpCommand> CommandFor(std::string_view topicAddress) const;
    // Starts that command; false when there was none or it could not start.
    bool Show(std::string_view topicAddress) const;

private:
    std::optional<std::filesystem::path> FindHelpFile(std::string_view fileName) const;

    Environment environment_;
    std::string viewer_;
    std::string viewerName_;
};

// Help set-up: the entry point that FormHelp calls, showing topics with the viewer; empty when
// no CHM viewer is installed (help requests are then refused).
HtmlHelpFunc LoadHtmlHelp(ChmViewer::Environment environment = ChmViewer::SystemEnvironment());

}  // namespace telv
