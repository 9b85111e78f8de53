#include "LateHistory.h"

#include "ClientSettings.h"
#include "Registry.h"

#include <filesystem>
#include <system_error>
#include <utility>

namespace telv {

bool IsHistoryReadLate(const TRegistry& registry) {
    const std::optional<std::filesystem::path> file = registry.KeyFilePath(kSettingsKeyPath);
    if (!file) return false;
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(*file, error);
    return !error && size >= kLateHistoryFileSize;
}

HistoryLeftOut::HistoryLeftOut(TRegistry& registry) : registry_(registry) {
    registry_.SetSkippedValues(IsHistoryValueName);
}

HistoryLeftOut::~HistoryLeftOut() { registry_.SetSkippedValues(nullptr); }

void ApplyConnections(ServerList& history, const std::vector<ServerInfo>& connections) {
    for (const ServerInfo& connection : connections) AddServer(history, connection.Address, connection.Port);
}

LateHistory::LateHistory(SettingsWriter& writer, std::function<void(ServerList)> arrived)
    : writer_(writer), arrived_(std::move(arrived)) {
    // Written on the writer's thread, taken on this one after the writer's lock handed it over.
    auto read = std::make_shared<ServerList>();
    writer_.Read([read](TRegistry& registry) { *read = ReadServerHistory(registry); },
                 [this, read] { Arrive(std::move(*read)); });
}

void LateHistory::Connected(const std::string& address, const std::string& portText, std::uint16_t port) {
    connections_.push_back(ServerInfo{address, port});
    // Runs after the reading. Each such save applies every connection so far to what is stored:
    // putting an address in front twice is as once, so a history that already holds the earlier
    // ones comes out the same.
    writer_.Post(SettingsWriter::Kind::ServerSettings,
                 [address, portText, connections = connections_](TRegistry& registry) {
                     ServerList history = ReadServerHistory(registry);
                     ApplyConnections(history, connections);
                     return SaveServerSettings(registry, address, portText, history);
                 });
}

void LateHistory::Arrive(ServerList stored) {
    ApplyConnections(stored, connections_);
    connections_.clear();
    pending_ = false;
    arrived_(std::move(stored));
}

}  // namespace telv
