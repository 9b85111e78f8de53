#include "BenchData.h"

#include "Population.h"
#include "RowTexts.h"

#include <fstream>
#include <map>
#include <stdexcept>
#include <utility>

namespace telv::bench {
namespace {

std::size_t RecordSizeOfMessage(const Bytes& message) {
    const std::size_t size = message.empty() ? 0 : RecordSizeOf(message[0]);
    if (size == 0 || message.size() < kListHeaderLength) throw std::invalid_argument("not a list message");
    return size;
}

Bytes WithHeader(std::uint8_t messageCode, std::uint32_t count, std::size_t recordSize) {
    Bytes out(kListHeaderLength + recordSize * count);
    out[0] = messageCode;
    wire::WriteU32(&out[1], count);
    return out;
}

std::uint64_t StatusKilobytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.compare(0, prefix.size(), prefix) == 0) return std::stoull(line.substr(prefix.size()));
    return 0;
}

}  // namespace

const PopulationMessages& Messages(std::uint32_t chanels, std::uint32_t clients) {
    static std::map<std::pair<std::uint32_t, std::uint32_t>, PopulationMessages> built;
    auto [it, isNew] = built.try_emplace({chanels, clients});
    if (isNew) {
        sim::Population population(sim::PopulationConfig{chanels, clients, 1, false});
        PopulationMessages& m = it->second;
        m.chanelList = population.EncodeChanelList();
        m.clientList = population.EncodeClientList();
        m.chanelStatistics = population.EncodeChanelStatistics();
        m.clientStatistics = population.EncodeClientStatistics();
        population.Tick();
        m.laterChanelStatistics = population.EncodeChanelStatistics();
    }
    return it->second;
}

Bytes Prefix(const Bytes& message, std::uint32_t count) {
    const std::size_t size = RecordSizeOfMessage(message);
    count = std::min(count, wire::ReadU32(&message[1]));
    Bytes out = WithHeader(message[0], count, size);
    std::copy_n(message.begin() + kListHeaderLength, size * count, out.begin() + kListHeaderLength);
    return out;
}

Bytes EveryOther(const Bytes& message) {
    const std::size_t size = RecordSizeOfMessage(message);
    const std::uint32_t total = wire::ReadU32(&message[1]);
    const std::uint32_t kept = (total + 1) / 2;
    Bytes out = WithHeader(message[0], kept, size);
    for (std::uint32_t i = 0; i < kept; ++i)
        std::copy_n(message.begin() + static_cast<std::ptrdiff_t>(kListHeaderLength + size * 2 * i), size,
                    out.begin() + static_cast<std::ptrdiff_t>(kListHeaderLength + size * i));
    return out;
}

ConsoleTables::ConsoleTables()
    : chanelRows_(kChanelViewColumns, RenderCell),
      clientRows_(kClientViewColumns, RenderCell),
      chanelModel_(std::make_unique<ListViewModel>(chanelRows_, QStringList(kChanelViewColumns, "c"))),
      clientModel_(std::make_unique<ListViewModel>(clientRows_, QStringList(kClientViewColumns, "c"))),
      tables_(chanelRows_, clientRows_, *this) {}

ConsoleTables::~ConsoleTables() = default;

void ConsoleTables::Receive(const Bytes& message) {
    const DecodedMessage m = DecodeNext(Running, message.data(), message.size());
    if (m.outcome != DecodeOutcome::Message) throw std::invalid_argument("not a whole message");
    switch (m.kind) {
    case MessageKind::ChannelList: tables_.ReplaceChanels(m.chanels); break;
    case MessageKind::ClientList:
        tables_.ReplaceClients(m.clients);
        tables_.ResetTotals(true, true);
        tables_.RebuildViews();
        tables_.ShowTotals();
        break;
    case MessageKind::ChannelStatistics: tables_.ChanelStatisticsPass(m.statistics); break;
    case MessageKind::ClientStatistics: tables_.ClientStatisticsPass(m.statistics); break;
    default: throw std::invalid_argument("not a table message");
    }
}

void ConsoleTables::SetPanelText(int panel, const std::string& text) {
    if (panel >= 0 && panel < 2) panels_[panel] = text;
}

std::uint64_t ResidentBytes() { return StatusKilobytes("VmRSS") * 1024; }
std::uint64_t PeakResidentBytes() { return StatusKilobytes("VmHWM") * 1024; }

}  // namespace telv::bench
