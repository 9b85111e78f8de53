#include "ChmViewer.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <array>
#include <memory>
#include <utility>

namespace telv {
namespace {

constexpr std::string_view kTopicSeparator = "::/";
constexpr std::string_view kDataFolder = "telv-console";

// The viewers in order of preference.
constexpr std::array<std::string_view, 4> kViewers = {"xchm", "chmsee", "kchmviewer", "uchmviewer"};

QString ToQt(const std::string& text) { return QString::fromStdString(text); }

std::filesystem::path ToPath(const QString& path) { return std::filesystem::path(QFile::encodeName(path).toStdString()); }

// The arguments that make a viewer show a topic of a help file (an absolute path).
std::vector<std::string> ViewerArguments(std::string_view viewerName, const std::string& helpFile,
                                         std::string_view topic) {
    if (viewerName == "xchm") return {"file:" + helpFile + "#xchm:/" + std::string(topic)};
    if (viewerName == "chmsee") return {helpFile + std::string(kTopicSeparator) + std::string(topic)};
    return {helpFile};
}

}  // namespace

ChmViewer::Environment ChmViewer::SystemEnvironment() {
    Environment environment;
    if (QCoreApplication::instance()) {
        environment.HelpDirectories.push_back(ToPath(QCoreApplication::applicationDirPath()));
    }
    for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        environment.HelpDirectories.push_back(ToPath(dir) / std::string(kDataFolder));
    }
    environment.FindExecutable = [](const std::string& name) {
        return QStandardPaths::findExecutable(ToQt(name)).toStdString();
    };
    environment.Start = [](const HelpCommand& command) {
        QStringList arguments;
        for (const std::string& argument : command.Arguments) arguments << ToQt(argument);
        return QProcess::startDetached(ToQt(command.Program), arguments);
    };
    return environment;
}

ChmViewer::ChmViewer(Environment environment) : environment_(std::move(environment)) {
    if (!environment_.FindExecutable) return;
    for (const std::string_view name : kViewers) {
        std::string path = environment_.FindExecutable(std::string(name));
        if (!path.empty()) {
            viewer_ = std::move(path);
            viewerName_ = std::string(name);
            return;
        }
    }
}

std::optional<std::filesystem::path> ChmViewer::FindHelpFile(std::string_view fileName) const {
    if (fileName.empty() || fileName.find('/') != std::string_view::npos) return std::nullopt;
    for (const std::filesystem::path& dir : environment_.HelpDirectories) {
        const std::filesystem::path candidate = dir / std::string(fileName);
        const QFileInfo info(QFile::decodeName(candidate.c_str()));
        if (info.isFile() && info.isReadable()) return ToPath(info.absoluteFilePath());
    }
    return std::nullopt;
}

std::optional<HelpCommand> ChmViewer::CommandFor(std::string_view topicAddress) const {
    if (viewer_.empty()) return std::nullopt;
    const std::size_t separator = topicAddress.find(kTopicSeparator);
    if (separator == std::string_view::npos) return std::nullopt;
    const std::optional<std::filesystem::path> helpFile = FindHelpFile(topicAddress.substr(0, separator));
    if (!helpFile) return std::nullopt;
    const std::string_view topic = topicAddress.substr(separator + kTopicSeparator.size());
    return HelpCommand{viewer_, ViewerArguments(viewerName_, helpFile->string(), topic)};
}

bool ChmViewer::Show(std::string_view topicAddress) const {
    const std::optional<HelpCommand> command = CommandFor(topicAddress);
    return command && environment_.Start && environment_.Start(*command);
}

HtmlHelpFunc LoadHtmlHelp(ChmViewer::Environment environment) {
    auto viewer = std::make_shared<const ChmViewer>(std::move(environment));
    if (viewer->ViewerProgram().empty()) return {};
    return [viewer](const std::string& topicAddress) { viewer->Show(topicAddress); };
}

}  // namespace telv
