#include "Population.h"

#include "ServerSide.h"

#include <algorithm>
#include <cstring>

namespace telv::sim {
namespace {

constexpr std::uint32_t kRandomPickTries = 16;  // tries to find a free channel at random

DeviceIdField DeviceIdOf(const TELV_UDP_FULL_CHANEL_DATA& r) {
    DeviceIdField id{};
    std::copy_n(r.DeviceId().begin(), id.size(), id.begin());
    return id;
}

Bytes ListBuffer(std::uint8_t messageCode, std::uint32_t count, std::size_t recordSize) {
    Bytes out(kListHeaderLength + recordSize * count);
    out[0] = messageCode;
    wire::WriteU32(&out[1], count);
    return out;
}

// Record sizes of the list and statistics messages.
constexpr std::size_t kChanelSize = TELV_UDP_FULL_CHANEL_DATA::kSize;
constexpr std::size_t kClientSize = TELV_FULL_CLIENT_DATA::kSize;
constexpr std::size_t kStatsSize = TELV_STATISTICS_DATA::kSize;

}  // namespace

std::uint32_t Population::DeviceIdHash::operator()(const DeviceIdField& id) const {
    std::uint64_t a = 0, b = 0;
    std::memcpy(&a, id.data(), 8);
    std::memcpy(&b, id.data() + 8, 8);
    return static_cast<std::uint32_t>(Mix64(a ^ Mix64(b)));
}

DeviceIdField Population::ChanelIdAt::operator()(std::uint32_t at) const { return DeviceIdOf((*rows)[at]); }

std::uint64_t Population::ClientEndpointAt::operator()(std::uint32_t at) const {
    return EndpointKey((*rows)[at].Address(), (*rows)[at].Port());
}

std::uint64_t Population::EndpointKey(const Ipv4Address& address, std::uint16_t port) {
    return (std::uint64_t{wire::ReadU32(address.data())} << 16) | port;
}

Population::Population(const PopulationConfig& config)
    : config_(config),
      rng_(Mix64(config.seed ^ 0x5EED0F7E15E7ULL)),
      handles_(config.seed, [this](Handle h) { return HandleInUse(h); }, kFirstPopulationHandle, kFirstConsoleHandle),
      consoleRng_(Mix64(config.seed ^ 0xC025013EULL)),
      consoleHandles_(config.seed, [this](Handle h) { return HandleInUse(h); }, kFirstConsoleHandle,
                      kFirstOrphanHandle) {
    chanels_.reserve(config.devices);
    chanelByHandle_.Reserve(config.devices);
    chanelById_.Reserve(config.devices);
    clients_.reserve(config.clients);
    clientByHandle_.Reserve(config.clients);
    clientByEndpoint_.Reserve(config.clients);
    for (std::uint32_t i = 0; i < config.devices; ++i) AddChanel(NewChanelRecord(false), handles_.Allocate(rng_, false));
    for (std::uint32_t i = 0; i < config.clients; ++i) AddSimulatedClient(false);
}

bool Population::HandleInUse(Handle handle) const {
    return chanelByHandle_.Contains(handle) || clientByHandle_.Contains(handle) || ConsoleAt(handle).has_value();
}

std::optional<std::size_t> Population::ConsoleAt(Handle handle) const {
    for (std::size_t i = 0; i < consoles_.size(); ++i)
        if (consoles_[i].ClientHandle() == handle) return i;
    return std::nullopt;
}

TELV_UDP_FULL_CHANEL_DATA Population::NewChanelRecord(bool fresh) {
    for (;;) {
        TELV_UDP_FULL_CHANEL_DATA r = MakeChanel(rng_, nextSerial_++, config_.hostileTexts, fresh);
        if (!chanelById_.Contains(DeviceIdOf(r))) return r;
    }
}

void Population::AddChanel(TELV_UDP_FULL_CHANEL_DATA record, Handle handle) {
    record.SetChanelHandle(handle);
    const auto index = static_cast<std::uint32_t>(chanels_.size());
    chanels_.push_back(record);
    chanelByHandle_.Insert(handle, index);
    chanelById_.Insert(DeviceIdOf(record), index);
    ++chanelVersion_;
}

std::uint32_t Population::AddClientRecord(TELV_FULL_CLIENT_DATA record) {
    const auto index = static_cast<std::uint32_t>(clients_.size());
    clients_.push_back(record);
    clientByHandle_.Insert(record.ClientHandle(), index);
    clientByEndpoint_.Insert(EndpointKey(record.Address(), record.Port()), index);
    return index;
}

void Population::AddSimulatedClient(bool fresh) {
    TELV_FULL_CLIENT_DATA r = MakeClient(rng_, fresh);
    while (clientByEndpoint_.Contains(EndpointKey(r.Address(), r.Port()))) r.SetPort(MakePort(rng_));
    r.SetClientHandle(handles_.Allocate(rng_, fresh));
    const std::uint32_t index = AddClientRecord(r);
    const std::uint32_t roll = rng_.Below(100);
    if (roll < 50) {
        if (const auto chanel = RandomFreeChanel()) Link(index, *chanel);
    } else if (roll < 65) {
        clients_[index].SetState(state::EventTranslation);
    }
}

void Population::Link(std::uint32_t clientIndex, std::uint32_t chanelIndex) {
    TELV_FULL_CLIENT_DATA& client = clients_[clientIndex];
    TELV_UDP_FULL_CHANEL_DATA& chanel = chanels_[chanelIndex];
    client.SetState(state::Linked);
    client.SetLinkedChanel(chanel.ChanelHandle());
    chanel.SetState(state::Linked);
    chanel.SetLinkedClient(client.ClientHandle());
    ++chanelVersion_;
}

void Population::Unlink(Handle chanelHandle, Handle clientHandle) {
    if (const auto at = chanelByHandle_.Find(chanelHandle)) {
        chanels_[*at].SetState(state::Free);
        chanels_[*at].SetLinkedClient(0);
        ++chanelVersion_;
    }
    if (const auto at = clientByHandle_.Find(clientHandle)) {
        clients_[*at].SetState(state::Free);
        clients_[*at].SetLinkedChanel(0);
    }
}

std::optional<std::uint32_t> Population::RandomFreeChanel() {
    if (chanels_.empty()) return std::nullopt;
    for (std::uint32_t i = 0; i < kRandomPickTries; ++i) {
        const std::uint32_t index = rng_.Below(static_cast<std::uint32_t>(chanels_.size()));
        if (chanels_[index].State() == state::Free) return index;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> Population::RandomSimulatedClient() {
    if (clients_.empty()) return std::nullopt;
    return rng_.Below(static_cast<std::uint32_t>(clients_.size()));
}

void Population::RemoveChanelAt(std::uint32_t index) {
    const TELV_UDP_FULL_CHANEL_DATA removed = chanels_[index];
    if (removed.LinkedClient() != 0) Unlink(removed.ChanelHandle(), removed.LinkedClient());
    chanelByHandle_.Erase(removed.ChanelHandle());
    chanelById_.Erase(DeviceIdOf(removed));
    handles_.Release(removed.ChanelHandle());
    const auto last = static_cast<std::uint32_t>(chanels_.size() - 1);
    if (index != last) {
        chanelByHandle_.Move(chanels_[last].ChanelHandle(), index);
        chanelById_.Move(DeviceIdOf(chanels_[last]), index);
        chanels_[index] = chanels_[last];
    }
    chanels_.pop_back();
    ++chanelVersion_;
}

void Population::RemoveClientAt(std::uint32_t index) {
    const TELV_FULL_CLIENT_DATA removed = clients_[index];
    if (removed.LinkedChanel() != 0) Unlink(removed.LinkedChanel(), removed.ClientHandle());
    clientByHandle_.Erase(removed.ClientHandle());
    clientByEndpoint_.Erase(EndpointKey(removed.Address(), removed.Port()));
    handles_.Release(removed.ClientHandle());
    const auto last = static_cast<std::uint32_t>(clients_.size() - 1);
    if (index != last) {
        const TELV_FULL_CLIENT_DATA& moved = clients_[last];
        clientByHandle_.Move(moved.ClientHandle(), index);
        clientByEndpoint_.Move(EndpointKey(moved.Address(), moved.Port()), index);
        clients_[index] = clients_[last];
    }
    clients_.pop_back();
}

void Population::Tick() {
    ++ticks_;
    const std::uint64_t salt = Mix64(config_.seed) ^ (ticks_ * 0x9E3779B97F4A7C15ULL);
    for (TELV_UDP_FULL_CHANEL_DATA& c : chanels_) {
        c.SetSecondsOnLine(c.SecondsOnLine() + 1);
        const std::uint64_t h = Mix64(salt ^ c.ChanelHandle());
        if (c.State() == state::Linked) {
            c.SetRxBytes(c.RxBytes() + static_cast<std::uint32_t>(200 + h % 1800));
            c.SetTxBytes(c.TxBytes() + static_cast<std::uint32_t>(40 + (h >> 20) % 400));
        } else if ((h & 7) == 0) {  // an occasional keep-alive
            c.SetRxBytes(c.RxBytes() + static_cast<std::uint32_t>(16 + (h >> 8) % 48));
            c.SetTxBytes(c.TxBytes() + static_cast<std::uint32_t>(8 + (h >> 16) % 24));
        }
    }
    for (TELV_FULL_CLIENT_DATA& c : consoles_) c.SetSecondsOnLine(c.SecondsOnLine() + 1);
    for (TELV_FULL_CLIENT_DATA& c : clients_) {
        c.SetSecondsOnLine(c.SecondsOnLine() + 1);
        const std::uint64_t h = Mix64(salt ^ c.ClientHandle());
        if (c.State() == state::Linked) {
            c.SetRxBytes(c.RxBytes() + static_cast<std::uint32_t>(40 + (h >> 20) % 400));
            c.SetTxBytes(c.TxBytes() + static_cast<std::uint32_t>(200 + h % 1800));
        } else if (c.State() == state::EventTranslation && (h & 3) == 0) {
            c.SetTxBytes(c.TxBytes() + static_cast<std::uint32_t>(18 + (h >> 8) % 64));
        }
    }
    ++chanelVersion_;
}

ChurnReport Population::Churn(std::uint32_t drops) {
    ChurnReport report;
    const auto dropCount = std::min<std::size_t>(drops, chanels_.size());
    for (std::size_t i = 0; i < dropCount; ++i) {
        const std::uint32_t index = rng_.Below(static_cast<std::uint32_t>(chanels_.size()));
        report.dropped.push_back({chanels_[index].ChanelHandle(), DeviceIdOf(chanels_[index])});
        RemoveChanelAt(index);
    }
    const std::size_t room = config_.devices > chanels_.size() ? config_.devices - chanels_.size() : 0;
    const std::size_t connects = std::min<std::size_t>(drops, room);
    for (std::size_t i = 0; i < connects; ++i) {
        bool reused = false;
        TELV_UDP_FULL_CHANEL_DATA record = NewChanelRecord(true);
        AddChanel(record, handles_.Allocate(rng_, true, &reused));
        ++report.connected;
        if (reused) ++report.reusedHandles;
    }
    return report;
}

void Population::Relink(std::uint32_t changes) {
    for (std::uint32_t i = 0; i < changes; ++i) {
        const auto index = RandomSimulatedClient();
        if (!index) return;
        const TELV_FULL_CLIENT_DATA& client = clients_[*index];
        if (client.State() == state::Linked) {
            Unlink(client.LinkedChanel(), client.ClientHandle());
        } else if (client.State() == state::Free) {
            if (const auto chanel = RandomFreeChanel()) Link(*index, *chanel);
        }
    }
}

std::optional<RemovedClient> Population::ReplaceRandomClient() {
    const auto index = RandomSimulatedClient();
    if (!index) return std::nullopt;
    const TELV_FULL_CLIENT_DATA& client = clients_[*index];
    const RemovedClient removed{client.ClientHandle(), client.Address(), client.Port(), false};
    RemoveClientAt(*index);
    AddSimulatedClient(true);
    return removed;
}

std::optional<Handle> Population::FindChanel(const DeviceIdField& deviceId) const {
    const auto at = chanelById_.Find(deviceId);
    if (!at) return std::nullopt;
    return chanels_[*at].ChanelHandle();
}

bool Population::ResetChanel(Handle handle) {
    const auto at = chanelByHandle_.Find(handle);
    if (!at) return false;
    TELV_UDP_FULL_CHANEL_DATA& c = chanels_[*at];
    c.SetSecondsOnLine(0);
    c.SetRxBytes(0);
    c.SetTxBytes(0);
    ++chanelVersion_;
    return true;
}

std::optional<RemovedChanel> Population::CloseChanel(Handle handle) {
    const auto at = chanelByHandle_.Find(handle);
    if (!at) return std::nullopt;
    const std::uint32_t index = *at;
    const RemovedChanel removed{handle, DeviceIdOf(chanels_[index])};
    RemoveChanelAt(index);
    return removed;
}

std::optional<Handle> Population::FindClient(const Ipv4Address& address, std::uint16_t port) const {
    if (const auto at = clientByEndpoint_.Find(EndpointKey(address, port))) return clients_[*at].ClientHandle();
    for (const TELV_FULL_CLIENT_DATA& c : consoles_)
        if (c.Address() == address && c.Port() == port) return c.ClientHandle();
    return std::nullopt;
}

std::optional<RemovedClient> Population::CloseClient(Handle handle) {
    if (const auto at = clientByHandle_.Find(handle)) {
        const TELV_FULL_CLIENT_DATA& client = clients_[*at];
        const RemovedClient removed{handle, client.Address(), client.Port(), false};
        RemoveClientAt(*at);
        return removed;
    }
    if (const auto at = ConsoleAt(handle)) {
        const TELV_FULL_CLIENT_DATA& console = consoles_[*at];
        const RemovedClient removed{handle, console.Address(), console.Port(), true};
        consoles_.erase(consoles_.begin() + static_cast<std::ptrdiff_t>(*at));
        consoleHandles_.Release(handle);
        return removed;
    }
    return std::nullopt;
}

Handle Population::AddConsole(const Ipv4Address& address, std::uint16_t port, const std::uint8_t (&version)[4]) {
    if (const auto stale = FindClient(address, port)) CloseClient(*stale);
    TELV_FULL_CLIENT_DATA r;
    r.SetTypeCode("TELVCL", 6);
    for (int i = 0; i < 4; ++i) r.SetVersionByte(i, version[i]);
    r.SetAddress(address);
    r.SetPort(port);
    const Handle handle = consoleHandles_.Allocate(consoleRng_, false);
    r.SetClientHandle(handle);
    consoles_.push_back(r);
    return handle;
}

void Population::SetConsole(Handle handle, std::uint8_t clientState, std::uint32_t rxBytes, std::uint32_t txBytes) {
    const auto at = ConsoleAt(handle);
    if (!at) return;
    TELV_FULL_CLIENT_DATA& c = consoles_[*at];
    c.SetState(clientState);
    c.SetRxBytes(rxBytes);
    c.SetTxBytes(txBytes);
}

const TELV_UDP_FULL_CHANEL_DATA* Population::ChanelByHandle(Handle handle) const {
    const auto at = chanelByHandle_.Find(handle);
    return at ? &chanels_[*at] : nullptr;
}

const TELV_FULL_CLIENT_DATA* Population::ClientByHandle(Handle handle) const {
    if (const auto at = clientByHandle_.Find(handle)) return &clients_[*at];
    if (const auto at = ConsoleAt(handle)) return &consoles_[*at];
    return nullptr;
}

Bytes Population::EncodeChanelList() const {
    const auto n = static_cast<std::uint32_t>(chanels_.size());
    Bytes out = ListBuffer(code::ChannelList, n, kChanelSize);
    std::uint8_t* p = out.data() + kListHeaderLength;
    for (const TELV_UDP_FULL_CHANEL_DATA& r : chanels_) {
        std::memcpy(p, r.Bytes.data(), kChanelSize);
        p += kChanelSize;
    }
    return out;
}

Bytes Population::EncodeClientList() const {
    const auto n = static_cast<std::uint32_t>(ClientCount());
    Bytes out = ListBuffer(code::ClientList, n, kClientSize);
    std::uint8_t* p = out.data() + kListHeaderLength;
    for (const ClientRows* rows : {&clients_, &consoles_}) {
        for (const TELV_FULL_CLIENT_DATA& r : *rows) {
            std::memcpy(p, r.Bytes.data(), kClientSize);
            p += kClientSize;
        }
    }
    return out;
}

namespace {

// Records naming handles that no row has; their linked handles name nothing either.
void WriteOrphans(std::uint8_t* p, std::uint32_t count) {
    for (std::uint32_t k = 0; k < count; ++k, p += kStatsSize) {
        TELV_STATISTICS_DATA r;
        r.SetState(state::Linked);
        r.SetSecondsOnLine(60 + k);
        r.SetRxBytes(1000 + k);
        r.SetTxBytes(500 + k);
        r.SetOwnHandle(kFirstOrphanHandle + 0x10 * k);
        r.SetLinkedHandle(kFirstOrphanHandle + 0x08000000u + 0x10 * k);
        std::memcpy(p, r.Bytes.data(), kStatsSize);
    }
}

std::uint32_t OrphansThatFit(std::size_t rows, std::uint32_t orphans) {
    const std::size_t room = rows < kMaxRecordCount ? kMaxRecordCount - rows : 0;
    return static_cast<std::uint32_t>(std::min<std::size_t>(orphans, room));
}

}  // namespace

Bytes Population::EncodeChanelStatistics(std::uint32_t orphans) const {
    orphans = OrphansThatFit(chanels_.size(), orphans);
    const auto n = static_cast<std::uint32_t>(chanels_.size()) + orphans;
    Bytes out = ListBuffer(code::ChannelStatistics, n, kStatsSize);
    std::uint8_t* p = out.data() + kListHeaderLength;
    for (const TELV_UDP_FULL_CHANEL_DATA& r : chanels_) {
        const std::uint8_t* b = r.Bytes.data();
        p[0] = b[26];                   // state
        std::memcpy(p + 1, b + 33, 12);  // seconds, RX, TX
        std::memcpy(p + 13, b + 45, 8);  // own and linked handle
        p += kStatsSize;
    }
    WriteOrphans(p, orphans);
    return out;
}

Bytes Population::EncodeClientStatistics(std::uint32_t orphans) const {
    orphans = OrphansThatFit(ClientCount(), orphans);
    const auto n = static_cast<std::uint32_t>(ClientCount()) + orphans;
    Bytes out = ListBuffer(code::ClientStatistics, n, kStatsSize);
    std::uint8_t* p = out.data() + kListHeaderLength;
    for (const ClientRows* rows : {&clients_, &consoles_}) {
        for (const TELV_FULL_CLIENT_DATA& r : *rows) {
            const std::uint8_t* b = r.Bytes.data();
            p[0] = b[20];                   // state
            std::memcpy(p + 1, b + 16, 4);   // seconds
            std::memcpy(p + 5, b + 21, 8);   // RX, TX
            std::memcpy(p + 13, b + 29, 8);  // own and linked handle
            p += kStatsSize;
        }
    }
    WriteOrphans(p, orphans);
    return out;
}

}  // namespace telv::sim
