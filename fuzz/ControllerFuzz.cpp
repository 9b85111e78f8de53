#include "ControllerFuzz.h"

#include "ConnectionController.h"
#include "DisconnectCommands.h"
#include "MonitorTables.h"
#include "RowTexts.h"
#include "Sorting.h"
#include "Sysutil.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <set>
#include <string_view>
#include <vector>

namespace telv::fuzz {
namespace {

class Failure {
public:
    void Note(const std::string& what) {
        if (first_.empty()) first_ = what;
    }
    bool Any() const { return !first_.empty(); }
    const std::string& First() const { return first_; }

private:
    std::string first_;
};

class FuzzView : public ConnectionView {
public:
    FuzzView(const InputOptions& options, Failure& failure)
        : autoRequest_(options.autoRequest), events_(options.events), failure_(failure) {}

    std::string AddressText() const override { return "127.0.0.1"; }
    std::string PortText() const override { return "5100"; }
    void SetServerEditsEnabled(bool) override {}
    void SetConnectCaption(const std::string&) override {}
    bool AutoRequestChecked() const override { return autoRequest_; }
    bool EventsChecked() const override { return events_; }
    void LogEvent(const std::string& text) override {
        ++lines;
        if (const std::string problem = ShownTextProblem(text); !problem.empty())
            failure_.Note("log line " + std::to_string(lines) + ": " + problem);
    }
    void ServerConnected(const std::string&, const std::string&, std::uint16_t) override {
        failure_.Note("a server was recorded in the history without a connection");
    }

    std::size_t lines = 0;

private:
    bool autoRequest_;
    bool events_;
    Failure& failure_;
};

class FuzzPanels : public StatusPanels {
public:
    explicit FuzzPanels(Failure& failure) : failure_(failure) {}
    void SetPanelText(int panel, const std::string& text) override {
        if (panel < 0 || panel > 1) failure_.Note(Format("status panel %d", panel));
        if (const std::string problem = ShownTextProblem(text); !problem.empty())
            failure_.Note("status panel: " + problem);
    }

private:
    Failure& failure_;
};

class Random {
public:
    explicit Random(std::uint8_t seed) : state_(0x9E3779B9u ^ (std::uint32_t{seed} * 0x01000193u)) {}
    std::uint32_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    std::uint32_t Below(std::uint32_t n) { return Next() % n; }

private:
    std::uint32_t state_;
};

// What the controller must have done with the bytes so far, worked out independently: the
// unconsumed bytes in a plain vector, the state changes of the handshake, one log line per
// logged message, and the handles that have rows.
class Reference {
public:
    Reference(int startState, int startTicks, Failure& failure)
        : state(startState), ticks_(startTicks), failure_(failure) {}

    // Returns the number of messages decoded from the bytes waiting after this piece.
    std::size_t Receive(const std::uint8_t* bytes, std::size_t count) {
        pending.insert(pending.end(), bytes, bytes + count);
        const std::size_t n = pending.size();
        if (n == 0) return 0;
        // Decoded from a block of exactly the waiting bytes, so that any read past them is caught.
        const std::vector<std::uint8_t> block(pending.begin(), pending.end());
        std::size_t pos = 0;
        std::size_t decoded = 0;
        while (pos < n) {
            const DecodedMessage m = DecodeNext(state, block.data() + pos, n - pos);
            if (m.outcome == DecodeOutcome::Incomplete) break;
            if (m.outcome == DecodeOutcome::DiscardAll) {
                pos = n;
                break;
            }
            if (m.length == 0 || m.length > n - pos) {
                failure_.Note(Format("DecodeNext consumes %zu of %zu bytes", m.length, n - pos));
                pos = n;
                break;
            }
            pos += m.length;
            if (m.outcome == DecodeOutcome::Message) {
                Apply(m);
                ++decoded;
            }
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(pos));
        return decoded;
    }

    // One tick of the handshake countdown.
    void Tick() {
        if (ticks_ == 0 || --ticks_ > 0) return;
        if (state == WaitingHello || state == WaitingAck) {
            logLines += 2;  // the error, then "Соединение завершено"
            state = Disconnected;
        }
    }

    int state;
    std::vector<std::uint8_t> pending;
    std::size_t logLines = 0;
    std::size_t messages = 0;
    std::set<Handle> chanelRows;
    std::set<Handle> clientRows;

private:
    template <class Records, class KeyOf>
    static std::set<Handle> HandlesOf(const Records& records, KeyOf keyOf) {
        std::set<Handle> handles;
        for (std::uint32_t i = 0; i < records.size(); ++i) handles.insert(keyOf(records[i]));
        return handles;
    }
    static void KeepOnly(std::set<Handle>& rows, const std::set<Handle>& mentioned) {
        std::erase_if(rows, [&](Handle h) { return !mentioned.contains(h); });
    }

    void Apply(const DecodedMessage& m) {
        ++messages;
        const auto ownHandle = [](const TELV_STATISTICS_DATA& r) { return r.OwnHandle(); };
        switch (m.kind) {
        case MessageKind::ServerVersion:
            state = WaitingAck;
            ++logLines;
            break;
        case MessageKind::ClientVersionAck: state = Running; break;
        case MessageKind::EventMode:
            if (m.eventMode != EventModeText::Other) ++logLines;
            break;
        case MessageKind::ChannelNotice:
        case MessageKind::TextMessage:
        case MessageKind::ClientClosed: ++logLines; break;
        case MessageKind::ChannelList:
            chanelData_ = HandlesOf(m.chanels, [](const TELV_UDP_FULL_CHANEL_DATA& r) { return r.ChanelHandle(); });
            break;
        case MessageKind::ClientList:
            clientData_ = HandlesOf(m.clients, [](const TELV_FULL_CLIENT_DATA& r) { return r.ClientHandle(); });
            chanelRows = chanelData_;
            clientRows = clientData_;
            break;
        case MessageKind::ChannelStatistics: KeepOnly(chanelRows, HandlesOf(m.statistics, ownHandle)); break;
        case MessageKind::ClientStatistics: KeepOnly(clientRows, HandlesOf(m.statistics, ownHandle)); break;
        case MessageKind::Empty: break;
        }
    }

    int ticks_;
    Failure& failure_;
    std::set<Handle> chanelData_;
    std::set<Handle> clientData_;
};

// Rows and the handle index of one view agree, and the rows are those of the reference.
void CheckRows(const char* name, const TListView& view, const RowItems& items,
               const std::set<Handle>& expected, Failure& failure) {
    if (static_cast<std::size_t>(view.Count()) != items.size())
        failure.Note(Format("%s: %d rows, %zu indexed", name, view.Count(), items.size()));
    std::set<Handle> shown;
    for (int i = 0; i < view.Count(); ++i) {
        const TListItem* row = view.Item(i);
        const auto handle = static_cast<Handle>(row->Data);
        if (items.Find(handle) != row || row->Index() != i || row->Deleted())
            failure.Note(Format("%s: row %d (handle %u) is not indexed as itself", name, i, handle));
        shown.insert(handle);
    }
    if (shown != expected)
        failure.Note(Format("%s: %zu distinct handles shown, %zu expected", name, shown.size(), expected.size()));
}

void CheckCells(const char* name, const TListView& view, Failure& failure) {
    for (int i = 0; i < view.Count() && !failure.Any(); ++i)
        for (int column = 0; column < view.ColumnCount(); ++column)
            if (const std::string problem = ShownTextProblem(view.Text(i, column)); !problem.empty())
                failure.Note(Format("%s: cell %d,%d: %s", name, i, column, problem.c_str()));
}

template <class Data, class Compare>
void CheckSorted(const char* name, const TListView& view, const Data& data, int sortCode, Compare compare,
                 Failure& failure) {
    for (int i = 0; i + 1 < view.Count(); ++i)
        if (compare(view, data, *view.Item(i), *view.Item(i + 1), sortCode) > 0)
            failure.Note(Format("%s: rows %d and %d out of order for sort code 0x%X", name, i, i + 1, sortCode));
}

void SortAView(MonitorTables& tables, Random& random, Failure& failure) {
    const bool descending = random.Below(2) == 1;
    if (random.Below(2) == 0) {
        const int code = SortCode(static_cast<int>(random.Below(kChanelColumns)), descending);
        SortChanelRows(tables.ChanelListView, tables.ChanelData, code);
        CheckSorted("channels", tables.ChanelListView, tables.ChanelData, code, CompareChanelRows, failure);
    } else {
        const int code = SortCode(kFirstClientColumnCode + static_cast<int>(random.Below(kClientColumns)), descending);
        SortClientRows(tables.ClientListView, tables.ClientData, code);
        CheckSorted("clients", tables.ClientListView, tables.ClientData, code, CompareClientRows, failure);
    }
}

// Selects some rows and builds the operator's commands for them: one per selected row that has
// a stored record, each made of that record's fields.
void CommandSelectedRows(MonitorTables& tables, Random& random, Failure& failure) {
    for (TListView* view : {&tables.ChanelListView, &tables.ClientListView})
        for (int i = 0; i < view->Count(); ++i) view->SetSelected(*view->Item(i), random.Below(3) == 0);

    const auto mode = static_cast<std::uint8_t>(random.Below(3));
    std::vector<const TELV_UDP_FULL_CHANEL_DATA*> chanels;
    for (int i = 0; i < tables.ChanelListView.Count(); ++i) {
        const TListItem& row = *tables.ChanelListView.Item(i);
        const auto it = tables.ChanelData.find(static_cast<Handle>(row.Data));
        if (row.Selected() && it != tables.ChanelData.end()) chanels.push_back(&it->second);
    }
    const std::vector<Bytes> commands = ChanelDisconnectCommands(tables.ChanelListView, tables.ChanelData, mode);
    if (commands.size() != chanels.size())
        failure.Note(Format("%zu channel commands for %zu selected rows", commands.size(), chanels.size()));
    for (std::size_t i = 0; i < std::min(commands.size(), chanels.size()); ++i) {
        const Bytes& c = commands[i];
        const TextField id = chanels[i]->DeviceId();
        if (c.size() != kChannelCommandLength || c[0] != code::ChannelCommand || c[1] != mode ||
            !std::equal(id.begin(), id.end(), c.begin() + 2))
            failure.Note(Format("channel command %zu is not made of its row's record", i));
    }

    std::vector<const TELV_FULL_CLIENT_DATA*> clients;
    for (int i = 0; i < tables.ClientListView.Count(); ++i) {
        const TListItem& row = *tables.ClientListView.Item(i);
        const auto it = tables.ClientData.find(static_cast<Handle>(row.Data));
        if (row.Selected() && it != tables.ClientData.end()) clients.push_back(&it->second);
    }
    const std::vector<Bytes> closes = CloseClientCommands(tables.ClientListView, tables.ClientData);
    if (closes.size() != clients.size())
        failure.Note(Format("%zu client commands for %zu selected rows", closes.size(), clients.size()));
    for (std::size_t i = 0; i < std::min(closes.size(), clients.size()); ++i) {
        const Bytes& c = closes[i];
        const auto& record = clients[i]->Bytes;
        if (c.size() != kClientCloseLength || c[0] != code::ClientClose ||
            !std::equal(record.begin() + TELV_FULL_CLIENT_DATA::kAddressOffset,
                        record.begin() + TELV_FULL_CLIENT_DATA::kPortOffset + 2, c.begin() + 1))
            failure.Note(Format("client command %zu is not made of its row's record", i));
    }
}

std::size_t NextPieceSize(const InputOptions& options, Random& random, std::size_t left) {
    std::size_t size = left;
    switch (options.pieces) {
    case PieceMode::Whole: break;
    case PieceMode::SingleBytes: size = 1; break;
    case PieceMode::Fixed: size = std::size_t{options.pieceParam} + 1; break;
    case PieceMode::Varying: size = random.Below(std::uint32_t{options.pieceParam} + 2); break;
    }
    return std::min(size, left);
}

}  // namespace

std::string ShownTextProblem(std::string_view text) {
    static constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<std::uint8_t>(text[i]);
        std::size_t extra = 0;
        char32_t c = lead;
        if (lead >= 0x80) {
            if ((lead & 0xE0) == 0xC0) {
                extra = 1;
                c = lead & 0x1Fu;
            } else if ((lead & 0xF0) == 0xE0) {
                extra = 2;
                c = lead & 0x0Fu;
            } else if ((lead & 0xF8) == 0xF0) {
                extra = 3;
                c = lead & 0x07u;
            } else {
                return Format("invalid UTF-8 byte 0x%02X at %zu", lead, i);
            }
        }
        if (text.size() - i <= extra) return Format("UTF-8 sequence cut at %zu", i);
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<std::uint8_t>(text[i + k]);
            if ((next & 0xC0) != 0x80) return Format("invalid UTF-8 continuation at %zu", i + k);
            c = (c << 6) | (next & 0x3Fu);
        }
        if (c < kSmallest[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return Format("malformed UTF-8 at %zu", i);
        if (c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x2028 || c == 0x2029)
            return Format("control character U+%04X at %zu", static_cast<unsigned>(c), i);
        i += extra + 1;
    }
    return {};
}

InputOptions ParseHeader(const std::uint8_t* header) {
    InputOptions o;
    o.startState = (header[0] & 0x07) % 5;
    o.autoRequest = header[0] & 0x08;
    o.events = header[0] & 0x10;
    o.timerTicks = header[0] & 0x20;
    o.sortRows = header[0] & 0x40;
    o.selectRows = header[0] & 0x80;
    o.pieces = static_cast<PieceMode>(header[1] & 0x03);
    o.handshakeTicks = static_cast<std::uint8_t>(header[1] >> 2);
    o.pieceParam = header[2];
    o.seed = header[3];
    return o;
}

Bytes MakeInput(const InputOptions& o, const Bytes& serverBytes) {
    Bytes input;
    input.reserve(kHeaderSize + serverBytes.size());
    input.push_back(static_cast<std::uint8_t>((o.startState % 5) | (o.autoRequest ? 0x08 : 0) |
                                              (o.events ? 0x10 : 0) | (o.timerTicks ? 0x20 : 0) |
                                              (o.sortRows ? 0x40 : 0) | (o.selectRows ? 0x80 : 0)));
    input.push_back(static_cast<std::uint8_t>(static_cast<std::uint8_t>(o.pieces) | ((o.handshakeTicks & 0x3F) << 2)));
    input.push_back(o.pieceParam);
    input.push_back(o.seed);
    input.insert(input.end(), serverBytes.begin(), serverBytes.end());
    return input;
}

RunResult RunControllerInput(const std::uint8_t* data, std::size_t size) {
    std::uint8_t header[kHeaderSize] = {};
    std::memcpy(header, data, std::min(size, kHeaderSize));
    const InputOptions options = ParseHeader(header);
    const std::uint8_t* stream = data + std::min(size, kHeaderSize);
    const std::size_t streamSize = size - std::min(size, kHeaderSize);

    Failure failure;
    FuzzView view(options, failure);
    FuzzPanels panels(failure);
    TListView chanels(kChanelColumns, RenderCell);
    TListView clients(kClientColumns, RenderCell);
    MonitorTables tables(chanels, clients, panels);
    ConnectionController controller(view, tables);
    controller.State = options.startState;
    const bool handshaking = options.startState == WaitingHello || options.startState == WaitingAck;
    controller.TimeoutTicks = handshaking ? options.handshakeTicks : 0;
    Reference reference(controller.State, controller.TimeoutTicks, failure);
    Random random(options.seed);

    try {
        for (std::size_t offset = 0; offset < streamSize && !failure.Any();) {
            const std::size_t piece = NextPieceSize(options, random, streamSize - offset);
            controller.BytesReceived(stream + offset, piece);
            const std::size_t decoded = reference.Receive(stream + offset, piece);
            offset += piece;

            bool tablesTouched = decoded > 0;
            if (options.timerTicks) {
                for (std::uint32_t n = random.Below(4); n > 0; --n) {
                    controller.TimerTimer();
                    reference.Tick();
                }
                controller.ReqTimerTimer();        // nothing to send without a socket
                controller.RequestActionExecute();
            }
            if (options.sortRows && random.Below(2) == 0) {
                SortAView(tables, random, failure);
                tablesTouched = true;
            }
            if (options.selectRows && random.Below(2) == 0) CommandSelectedRows(tables, random, failure);

            if (controller.State != reference.state)
                failure.Note(Format("state %d, expected %d", controller.State, reference.state));
            if (controller.RecvBuffer.Remaining() != reference.pending.size() ||
                (!reference.pending.empty() &&
                 std::memcmp(controller.RecvBuffer.Front(), reference.pending.data(), reference.pending.size()) != 0))
                failure.Note(Format("receive buffer holds %zu bytes, expected %zu", controller.RecvBuffer.Remaining(),
                                    reference.pending.size()));
            if (controller.RecvBuffer.Capacity() > 2 * std::max<std::size_t>(4096, offset))
                failure.Note(Format("receive buffer of %zu bytes for %zu received", controller.RecvBuffer.Capacity(),
                                    offset));
            if (view.lines != reference.logLines)
                failure.Note(Format("%zu log lines, expected %zu", view.lines, reference.logLines));
            if (tablesTouched) {
                CheckRows("channels", chanels, tables.ChanelItems, reference.chanelRows, failure);
                CheckRows("clients", clients, tables.ClientItems, reference.clientRows, failure);
            }
        }
    } catch (const std::exception& e) {
        failure.Note(std::string("exception: ") + e.what());
    }
    CheckCells("channels", chanels, failure);
    CheckCells("clients", clients, failure);

    RunResult result;
    result.failure = failure.First();
    result.messages = reference.messages;
    result.logLines = view.lines;
    result.finalState = controller.State;
    result.chanelRows = chanels.Count();
    result.clientRows = clients.Count();
    return result;
}

}  // namespace telv::fuzz
