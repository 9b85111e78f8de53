// Messages of a realistic server population at the protocol's limits, and the console's tables
// fed with them the way the connection controller feeds them. Shared by the benchmarks.
#pragma once

#include "ListView.h"
#include "ListViewModel.h"
#include "MonitorTables.h"
#include "Protocol.h"

#include <cstdint>
#include <memory>
#include <string>

namespace telv::bench {

// The protocol's count limit: the largest list a server may send.
inline constexpr std::uint32_t kFullChanels = kMaxRecordCount;  // 1,048,560
inline constexpr std::uint32_t kFullClients = 100000;

// The sizes the scaling benchmarks double through: 1/4, 1/2 and all of the full list.
inline constexpr std::uint32_t kQuarterChanels = kFullChanels / 4;
inline constexpr std::uint32_t kHalfChanels = kFullChanels / 2;

// The four messages of one state of a simulated population (random handles, links between
// channels and clients, realistic IDs, addresses and counters).
struct PopulationMessages {
    Bytes chanelList;        // 32
    Bytes clientList;        // 48
    Bytes chanelStatistics;  // 33, every channel
    Bytes clientStatistics;  // 49, every client
    Bytes laterChanelStatistics;  // 33 a second later: other times and counters
};

// Built once per process and size (the simulator's population, seed 1).
const PopulationMessages& Messages(std::uint32_t chanels, std::uint32_t clients);

// The first `count` records of a list or statistics message, as a message of its own.
Bytes Prefix(const Bytes& message, std::uint32_t count);
// Every other record of a list or statistics message (the first, third, ...).
Bytes EveryOther(const Bytes& message);

// The console's two views (with their Qt models attached, as in the window) and its tables.
class ConsoleTables : private StatusPanels {
public:
    ConsoleTables();
    ~ConsoleTables() override;

    // Decodes one whole server message in place and acts on it as the controller does.
    void Receive(const Bytes& message);

    TListView& ChanelRows() { return chanelRows_; }
    TListView& ClientRows() { return clientRows_; }
    MonitorTables& Tables() { return tables_; }

private:
    void SetPanelText(int panel, const std::string& text) override;

    TListView chanelRows_;
    TListView clientRows_;
    std::unique_ptr<ListViewModel> chanelModel_;
    std::unique_ptr<ListViewModel> clientModel_;
    MonitorTables tables_;
    std::string panels_[2];
};

// Resident and peak memory of this process from /proc/self/status, in bytes (0 if unknown).
std::uint64_t ResidentBytes();
std::uint64_t PeakResidentBytes();

}  // namespace telv::bench
