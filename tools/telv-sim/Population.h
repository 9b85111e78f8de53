// The device channels and client connections the simulated server holds, keyed by handle, with
// consistent links between the two tables, the growth of their counters, churn, the operator's
// commands, and the list and statistics messages built from them.
#pragma once

#include "HandleAllocator.h"
#include "IndexTable.h"
#include "Protocol.h"
#include "RecordFactory.h"
#include "Records.h"
#include "SimRandom.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace telv::sim {

struct PopulationConfig {
    std::uint32_t devices = 0;
    std::uint32_t clients = 0;
    std::uint64_t seed = 1;
    bool hostileTexts = false;
};

struct RemovedChanel {
    Handle handle = 0;
    DeviceIdField deviceId{};
};

struct RemovedClient {
    Handle handle = 0;
    Ipv4Address address{};
    std::uint16_t port = 0;
    bool console = false;
};

struct ChurnReport {
    std::vector<RemovedChanel> dropped;
    std::uint32_t connected = 0;
    std::uint32_t reusedHandles = 0;  // new channels that got a handle freed earlier
};

// Channel and client states as the records carry them.
namespace state {
inline constexpr std::uint8_t Free = 0;
inline constexpr std::uint8_t Linked = 1;
inline constexpr std::uint8_t EventTranslation = 2;  // clients only
}  // namespace state

class Population {
public:
    explicit Population(const PopulationConfig& config);
    // The index tables and the handle allocators refer to this object's own members.
    Population(const Population&) = delete;
    Population& operator=(const Population&) = delete;

    // One second passes: every time on line grows by one, traffic grows (more on linked
    // channels and clients); the consoles' traffic is set by SetConsole instead.
    void Tick();
    // Drops up to `drops` random channels and connects as many new ones as keep the count at
    // most the configured number of devices.
    ChurnReport Churn(std::uint32_t drops);
    // A few links between free simulated clients and free channels are made or broken.
    void Relink(std::uint32_t changes);
    // A random simulated client leaves and a new one connects; none when there are none.
    std::optional<RemovedClient> ReplaceRandomClient();

    std::optional<Handle> FindChanel(const DeviceIdField& deviceId) const;
    // Time on line and counters restart; the channel keeps its handle, ID and link.
    bool ResetChanel(Handle handle);
    std::optional<RemovedChanel> CloseChanel(Handle handle);

    std::optional<Handle> FindClient(const Ipv4Address& address, std::uint16_t port) const;
    std::optional<RemovedClient> CloseClient(Handle handle);

    // A console connected to the simulator becomes a "TELVCL" row of the client table. Console
    // rows have their own handle range and random stream, so consoles coming and going never
    // change what the simulated population does.
    Handle AddConsole(const Ipv4Address& address, std::uint16_t port, const std::uint8_t (&version)[4]);
    void SetConsole(Handle handle, std::uint8_t clientState, std::uint32_t rxBytes, std::uint32_t txBytes);

    std::span<const TELV_UDP_FULL_CHANEL_DATA> Chanels() const { return chanels_; }
    std::span<const TELV_FULL_CLIENT_DATA> SimulatedClients() const { return clients_; }
    std::span<const TELV_FULL_CLIENT_DATA> Consoles() const { return consoles_; }
    // Rows of the client list: the simulated clients, then the consoles.
    std::size_t ClientCount() const { return clients_.size() + consoles_.size(); }
    const TELV_UDP_FULL_CHANEL_DATA* ChanelByHandle(Handle handle) const;
    const TELV_FULL_CLIENT_DATA* ClientByHandle(Handle handle) const;
    // Changes whenever anything in the channel table changes.
    std::uint64_t ChanelVersion() const { return chanelVersion_; }
    std::uint64_t Ticks() const { return ticks_; }

    Bytes EncodeChanelList() const;
    Bytes EncodeClientList() const;
    // With orphans > 0, that many extra records whose handles belong to no row.
    Bytes EncodeChanelStatistics(std::uint32_t orphans = 0) const;
    Bytes EncodeClientStatistics(std::uint32_t orphans = 0) const;

private:
    using ChanelRows = std::vector<TELV_UDP_FULL_CHANEL_DATA>;
    using ClientRows = std::vector<TELV_FULL_CLIENT_DATA>;
    struct HandleHash {
        std::uint32_t operator()(Handle h) const { return static_cast<std::uint32_t>(Mix64(h)); }
    };
    struct KeyHash {
        std::uint32_t operator()(std::uint64_t k) const { return static_cast<std::uint32_t>(Mix64(k)); }
    };
    struct DeviceIdHash {
        std::uint32_t operator()(const DeviceIdField& id) const;
    };
    struct ChanelHandleAt {
        const ChanelRows* rows;
        Handle operator()(std::uint32_t at) const { return (*rows)[at].ChanelHandle(); }
    };
    struct ChanelIdAt {
        const ChanelRows* rows;
        DeviceIdField operator()(std::uint32_t at) const;
    };
    struct ClientHandleAt {
        const ClientRows* rows;
        Handle operator()(std::uint32_t at) const { return (*rows)[at].ClientHandle(); }
    };
    struct ClientEndpointAt {
        const ClientRows* rows;
        std::uint64_t operator()(std::uint32_t at) const;
    };
    static std::uint64_t EndpointKey(const Ipv4Address& address, std::uint16_t port);

    bool HandleInUse(Handle handle) const;
    void AddChanel(TELV_UDP_FULL_CHANEL_DATA record, Handle handle);
    void AddSimulatedClient(bool fresh);
    std::uint32_t AddClientRecord(TELV_FULL_CLIENT_DATA record);
    std::optional<std::size_t> ConsoleAt(Handle handle) const;
    void RemoveChanelAt(std::uint32_t index);
    void RemoveClientAt(std::uint32_t index);
    void Link(std::uint32_t clientIndex, std::uint32_t chanelIndex);
    void Unlink(Handle chanelHandle, Handle clientHandle);
    std::optional<std::uint32_t> RandomFreeChanel();
    std::optional<std::uint32_t> RandomSimulatedClient();
    TELV_UDP_FULL_CHANEL_DATA NewChanelRecord(bool fresh);

    PopulationConfig config_;
    SimRandom rng_;
    std::uint64_t ticks_ = 0;
    std::uint64_t nextSerial_ = 0;
    std::uint64_t chanelVersion_ = 0;

    ChanelRows chanels_;
    ClientRows clients_;
    ClientRows consoles_;
    IndexTable<Handle, ChanelHandleAt, HandleHash> chanelByHandle_{ChanelHandleAt{&chanels_}};
    IndexTable<DeviceIdField, ChanelIdAt, DeviceIdHash> chanelById_{ChanelIdAt{&chanels_}};
    IndexTable<Handle, ClientHandleAt, HandleHash> clientByHandle_{ClientHandleAt{&clients_}};
    IndexTable<std::uint64_t, ClientEndpointAt, KeyHash> clientByEndpoint_{ClientEndpointAt{&clients_}};
    HandleAllocator handles_;
    SimRandom consoleRng_;
    HandleAllocator consoleHandles_;
};

}  // namespace telv::sim
