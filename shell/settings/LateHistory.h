// The server history of a settings key too large to read before the window is shown: the
// window reads the other values at once, without the history's lines, and the history is read
// on the settings thread afterwards and handed over whole.
//
// A connection made before the history came is saved at once, on the settings thread, onto the
// stored history as read there, and applied again to the history handed over: the window ends
// with the history it would have had if the history had been there from the start, and the file
// never holds less of it.
#pragma once

#include "ServerHistory.h"
#include "SettingsWriter.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace telv {

class TRegistry;

// A settings key file of this size or more (about 15,000 history entries) has its history read
// after the window is shown.
inline constexpr std::uintmax_t kLateHistoryFileSize = std::uintmax_t{1} << 20;

// True when the settings key's file is that large.
bool IsHistoryReadLate(const TRegistry& registry);

// While it lives, the registry reads the settings key without the history's values, for
// reading only (see TRegistry::SetSkippedValues).
class HistoryLeftOut {
public:
    explicit HistoryLeftOut(TRegistry& registry);
    ~HistoryLeftOut();
    HistoryLeftOut(const HistoryLeftOut&) = delete;
    HistoryLeftOut& operator=(const HistoryLeftOut&) = delete;

private:
    TRegistry& registry_;
};

// Puts each connection, oldest first, at the front of the history, as connecting does.
void ApplyConnections(ServerList& history, const std::vector<ServerInfo>& connections);

class LateHistory {
public:
    // Posts the reading to writer. arrived gets the stored history, with the connections made
    // before it came applied, on this thread: through its event loop or in the writer's Flush.
    // Lives no longer than the writer; the writer destroyed first never calls arrived.
    LateHistory(SettingsWriter& writer, std::function<void(ServerList)> arrived);
    LateHistory(const LateHistory&) = delete;
    LateHistory& operator=(const LateHistory&) = delete;

    bool Pending() const { return pending_; }
    // A connection made while the history is pending: saves "ServerAddress" and "ServerPort" as
    // typed, and the stored history with (address, port) in front, and keeps it for arrival.
    void Connected(const std::string& address, const std::string& portText, std::uint16_t port);

private:
    void Arrive(ServerList stored);

    SettingsWriter& writer_;
    std::function<void(ServerList)> arrived_;
    std::vector<ServerInfo> connections_;  // made while pending, oldest first
    bool pending_ = true;
};

}  // namespace telv
