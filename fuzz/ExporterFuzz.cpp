#include "ExporterFuzz.h"

#include "ControllerFuzz.h"
#include "MetricsCollector.h"
#include "ServerMonitor.h"
#include "Sysutil.h"

#include <prometheus/text_serializer.h>

#include <QCoreApplication>

#include <algorithm>
#include <cstring>
#include <exception>
#include <set>

namespace telv::fuzz {
namespace {

using namespace telv::exporter;

// The metrics a scrape would get of these tables: counts that add up to the rows, per-channel
// series within the limit, label values that are clean text, no series twice, and one text line
// per sample whatever the texts hold.
std::string MetricsProblem(const RecordTables& tables, bool perChannel, std::size_t limit) {
    auto snapshot = std::make_shared<ServerSnapshot>();
    snapshot->name = "fuzz";
    snapshot->up = true;
    snapshot->version = "1.2.3.4";
    auto t = std::make_shared<TableSnapshot>(SnapshotTables(tables, perChannel, limit));
    const std::size_t chanels = tables.LiveChanels.size();
    if (t->channelsFree + t->channelsLinked + t->channelsOther != chanels)
        return Format("channel counts add up to %llu, not %zu rows",
                      static_cast<unsigned long long>(t->channelsFree + t->channelsLinked + t->channelsOther), chanels);
    std::uint64_t clients = 0;
    for (const auto& [kind, count] : t->clientsByKind) clients += count;
    if (clients != tables.LiveClients.size())
        return Format("client kinds add up to %llu, not %zu rows", static_cast<unsigned long long>(clients),
                      tables.LiveClients.size());
    if (t->clientsByKind.size() > kMaxClientKinds + 1) return Format("%zu client kinds", t->clientsByKind.size());
    const std::size_t shown = perChannel ? std::min(limit, chanels) : 0;
    if (t->channels.size() != shown || (perChannel && t->channelsLeftOut != chanels - shown))
        return Format("%zu per-channel series and %llu left out of %zu rows", t->channels.size(),
                      static_cast<unsigned long long>(t->channelsLeftOut), chanels);
    snapshot->tables = t;

    const auto families = BuildFamilies({snapshot}, perChannel);
    std::size_t samples = 0;
    for (const auto& family : families) {
        std::set<std::vector<prometheus::ClientMetric::Label>> seen;
        for (const auto& metric : family.metric) {
            ++samples;
            if (!seen.insert(metric.label).second) return family.name + ": a series twice";
            for (const auto& label : metric.label)
                if (const std::string problem = ShownTextProblem(label.value); !problem.empty())
                    return family.name + " label " + label.name + ": " + problem;
        }
    }
    const std::string text = prometheus::TextSerializer().Serialize(families);
    const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    if (lines != samples + 2 * families.size())
        return Format("%zu text lines for %zu samples of %zu families", lines, samples, families.size());
    return {};
}

std::size_t PieceSize(const InputOptions& o, std::uint32_t& random, std::size_t left) {
    random = random * 1103515245u + 12345u;
    std::size_t size = left;
    switch (o.pieces) {
    case PieceMode::Whole: break;
    case PieceMode::SingleBytes: size = 1; break;
    case PieceMode::Fixed: size = std::size_t{o.pieceParam} + 1; break;
    case PieceMode::Varying: size = (random >> 8) % (std::uint32_t{o.pieceParam} + 2); break;
    }
    return std::min(size, left);
}

}  // namespace

ExporterRunResult RunExporterInput(const std::uint8_t* data, std::size_t size) {
    // The monitor's timers need an application object; the event loop never runs.
    static int argc = 1;
    static char name[] = "exporter_fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    (void)app;
    std::uint8_t header[kHeaderSize] = {};
    std::memcpy(header, data, std::min(size, kHeaderSize));
    const InputOptions options = ParseHeader(header);
    const std::uint8_t* stream = data + std::min(size, kHeaderSize);
    const std::size_t streamSize = size - std::min(size, kHeaderSize);

    ExporterRunResult result;
    const auto note = [&result](const std::string& what) {
        if (result.failure.empty()) result.failure = what;
    };
    MonitorOptions monitorOptions;
    monitorOptions.perChannel = options.sortRows;
    monitorOptions.perChannelLimit = options.selectRows ? options.seed % 4 : kDefaultPerChannelLimit;
    std::shared_ptr<const ServerSnapshot> published;
    ServerMonitor monitor(
        ServerConfig{"fuzz", "127.0.0.1", 5100, 5, options.events}, monitorOptions,
        [&](std::shared_ptr<const ServerSnapshot> s) {
            published = std::move(s);
            ++result.published;
        },
        [&](const std::string& line) {
            ++result.logLines;
            if (const std::string problem = ShownTextProblem(line); !problem.empty())
                note("log line " + std::to_string(result.logLines) + ": " + problem);
        },
        [] { return 0.5; });
    ConnectionController& controller = monitor.Controller();
    controller.State = options.startState;
    if (options.startState == WaitingHello || options.startState == WaitingAck)
        controller.TimeoutTicks = options.handshakeTicks;

    std::uint32_t random = options.seed;
    try {
        for (std::size_t offset = 0; offset < streamSize && result.failure.empty();) {
            const std::size_t piece = PieceSize(options, random, streamSize - offset);
            const std::size_t waiting = controller.RecvBuffer.Remaining();
            const int state = controller.State;
            controller.BytesReceived(stream + offset, piece);
            offset += piece;
            if (options.timerTicks) {
                for (std::uint32_t n = (random >> 4) % 4; n > 0; --n) controller.TimerTimer();
                controller.ReqTimerTimer();  // nothing to send without a socket
            }
            // The metrics are checked whenever bytes were consumed or the state moved (a piece
            // that only adds to an unfinished message changes nothing they show), and at the end.
            const bool changed = controller.RecvBuffer.Remaining() != waiting + piece || controller.State != state;
            if (changed || offset == streamSize)
                if (const std::string problem =
                        MetricsProblem(monitor.Tables(), monitorOptions.perChannel, monitorOptions.perChannelLimit);
                    !problem.empty())
                    note(problem);
            if (published && published->up != monitor.Up()) note("the published status is not the monitor's");
            if (published && published->tables && published->version.find_first_not_of("0123456789.") != std::string::npos)
                note("version label \"" + published->version + "\"");
        }
    } catch (const std::exception& e) {
        note(std::string("exception: ") + e.what());
    }
    result.finalState = controller.State;
    return result;
}

}  // namespace telv::fuzz
