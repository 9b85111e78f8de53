#include "Simulator.h"

#include "NoticeTexts.h"
#include "Sysutil.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <utility>

namespace telv::sim {
namespace {

// While a console has this much queued, its further requests wait (and so does its socket).
constexpr std::size_t kBackpressureBytes = std::size_t{16} << 20;
// Unhandled input kept per console at most; reading stops above it.
constexpr std::size_t kMaxPendingInput = std::size_t{1} << 20;
// Flood messages are added while less than this is queued.
constexpr std::size_t kFloodQueueBytes = 256 * 1024;
constexpr std::uint32_t kFloodBatch = 64;
constexpr std::uint32_t kOrphanRecords = 3;
constexpr int kMaxPollWaitMs = 50;
// A clock that jumps further than this is not caught up second by second.
constexpr std::uint64_t kMaxCatchUpTicks = 3600;
constexpr Millis kSecond{1000};

// The codes the console accepts while running; running garbage avoids them as first bytes so
// that the console drops it instead of waiting for a message that never ends.
bool IsRunningCode(std::uint8_t b) {
    switch (b) {
    case code::EventMode:
    case code::ChannelCommand:
    case code::TextMessage:
    case code::ClientClose:
    case code::ChannelList:
    case code::ChannelStatistics:
    case code::ClientList:
    case code::ClientStatistics:
    case code::Empty: return true;
    default: return false;
    }
}

// Device IDs in log lines: printable ASCII as is, anything else as \xNN.
std::string Printable(TextField field) {
    std::string out;
    for (std::size_t i = 0; i < BoundedLength(field.data(), field.size()); ++i) {
        const std::uint8_t b = field[i];
        if (b >= 0x20 && b < 0x7F)
            out.push_back(static_cast<char>(b));
        else
            AppendFormat(out, "\\x%02X", b);
    }
    return out;
}

std::string AddressText(const Ipv4Address& a, std::uint16_t port) {
    return Format("%u.%u.%u.%u:%u", a[0], a[1], a[2], a[3], port);
}

SharedBytes Share(Bytes bytes) { return std::make_shared<const Bytes>(std::move(bytes)); }

std::string VFormat(const char* format, va_list args) {
    va_list measure;
    va_copy(measure, args);
    const int needed = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (needed <= 0) return {};
    std::string text(static_cast<std::size_t>(needed) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<std::size_t>(needed));
    return text;
}

}  // namespace

Simulator::Simulator(SimOptions options, Clock clock, LogSink log)
    : options_(std::move(options)),
      clock_(std::move(clock)),
      log_(std::move(log)),
      rng_(Mix64(options_.seed) ^ 0xC0FFEE) {
    if (!clock_)
        clock_ = [] {
            return std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now().time_since_epoch());
        };
    if (!log_) log_ = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
}

Simulator::~Simulator() {
    Stop();
    Join();
    connections_.clear();
    for (int fd : {listenFd_, wakeRead_, wakeWrite_})
        if (fd >= 0) ::close(fd);
}

Millis Simulator::Now() const { return clock_(); }

void Simulator::Log(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = VFormat(format, args);
    va_end(args);
    const auto elapsed = static_cast<double>((Now() - start_).count()) / 1000.0;
    log_(Format("telv-sim [%9.3f] %s", start_.count() ? elapsed : 0.0, text.c_str()));
}

void Simulator::LogConnection(const ConsoleConnection& c, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = VFormat(format, args);
    va_end(args);
    Log("%s: %s", c.Name().c_str(), text.c_str());
}

bool Simulator::Start(std::string& error) {
    if (listenFd_ >= 0) return true;
    const auto began = Now();
    population_ = std::make_unique<Population>(
        PopulationConfig{options_.devices, options_.clients, options_.seed, options_.hostileTexts});
    Log("population: %zu devices, %zu clients, seed %llu (built in %lld ms)", population_->Chanels().size(),
        population_->ClientCount(), static_cast<unsigned long long>(options_.seed),
        static_cast<long long>((Now() - began).count()));

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(options_.listenPort);
    if (inet_pton(AF_INET, options_.listenAddress.c_str(), &address.sin_addr) != 1) {
        error = "not an IPv4 address: " + options_.listenAddress;
        return false;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = Format("socket: %s", std::strerror(errno));
        return false;
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 64) != 0) {
        error = Format("cannot listen on %s:%u: %s", options_.listenAddress.c_str(), options_.listenPort,
                       std::strerror(errno));
        ::close(fd);
        return false;
    }
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0) {
        error = Format("pipe: %s", std::strerror(errno));
        ::close(fd);
        return false;
    }
    listenFd_ = fd;
    wakeRead_ = pipeFds[0];
    wakeWrite_ = pipeFds[1];
    port_ = ntohs(address.sin_port);
    Log("listening on %s:%u", options_.listenAddress.c_str(), port_);
    if ((ntohl(address.sin_addr.s_addr) >> 24) != 127)
        Log("warning: %s is not a loopback address; the simulator is reachable from other hosts",
            options_.listenAddress.c_str());
    return true;
}

void Simulator::RunInThread() { thread_ = std::thread([this] { Run(); }); }

void Simulator::Stop() {
    stopRequested_.store(true);
    if (wakeWrite_ >= 0) {
        [[maybe_unused]] const ssize_t ignored = ::write(wakeWrite_, "x", 1);
    }
}

void Simulator::Join() {
    if (thread_.joinable()) thread_.join();
}

void Simulator::Run() {
    if (listenFd_ < 0) return;
    start_ = Now();
    nextTick_ = start_ + kSecond;
    const auto noticeEvery = Millis(static_cast<std::int64_t>(std::llround(options_.noticeIntervalSeconds * 1000)));
    nextNotice_ = start_ + noticeEvery;
    nextFloodReport_ = start_ + kSecond;
    if (options_.runSeconds > 0)
        end_ = start_ + Millis(static_cast<std::int64_t>(std::llround(options_.runSeconds * 1000)));

    std::vector<pollfd> fds;
    while (!stopRequested_.load()) {
        Millis now = Now();
        if (end_ && now >= *end_) {
            Log("run time of %g s is over", options_.runSeconds);
            break;
        }
        // Fed before polling, so that the poll waits for the socket to take more, not for a timer.
        FeedFlood(now);
        fds.clear();
        fds.push_back({wakeRead_, POLLIN, 0});
        fds.push_back({listenFd_, POLLIN, 0});
        for (const auto& c : connections_) {
            short events = 0;
            if (WantsInput(*c)) events |= POLLIN;
            if (const auto due = c->Output().DueTime(); due && *due <= now) events |= POLLOUT;
            fds.push_back({c->Fd(), events, 0});
        }
        if (::poll(fds.data(), fds.size(), PollTimeout(now)) < 0) {
            if (errno == EINTR) continue;
            Log("poll failed: %s", std::strerror(errno));
            break;
        }
        if (stopRequested_.load()) break;
        // Time moves first: a request answered in this pass sees every second that has passed.
        now = Now();
        RunTimers(now);
        if (fds[0].revents) {
            char drain[64];
            while (::read(wakeRead_, drain, sizeof drain) > 0) {
            }
        }
        const std::size_t served = fds.size() - 2;  // connections accepted below are polled next time
        if (fds[1].revents & POLLIN) AcceptAll();
        for (std::size_t i = 0; i < served; ++i) ServeConnection(*connections_[i], fds[i + 2].revents, now);
        std::erase_if(connections_, [](const auto& c) { return c->finished; });
    }
    const Millis now = Now();
    for (auto& c : connections_)
        if (!c->finished) Drop(*c, "the simulator stops", now);
    connections_.clear();
    Log("stopped");
}

int Simulator::PollTimeout(Millis now) const {
    Millis next = now + Millis(kMaxPollWaitMs);
    next = std::min(next, nextTick_);
    if (options_.noticeIntervalSeconds > 0) next = std::min(next, nextNotice_);
    if (end_) next = std::min(next, *end_);
    for (const PendingClose& p : pendingCloses_) next = std::min(next, p.due);
    for (const auto& c : connections_) {
        if (const auto due = c->Output().DueTime()) next = std::min(next, *due);
        if (c->lingerUntil) next = std::min(next, *c->lingerUntil);
    }
    return static_cast<int>(std::clamp<std::int64_t>((next - now).count(), 0, kMaxPollWaitMs));
}

void Simulator::AcceptAll() {
    for (;;) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        const int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) Log("accept failed: %s", std::strerror(errno));
            return;
        }
        Ipv4Address address{};
        std::memcpy(address.data(), &peer.sin_addr.s_addr, 4);  // network order, first octet first
        const std::uint16_t port = ntohs(peer.sin_port);
        if (connections_.size() >= kMaxConsoles) {
            Log("refused %s: already %u consoles", AddressText(address, port).c_str(), kMaxConsoles);
            ::close(fd);
            continue;
        }
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        connections_.push_back(
            std::make_unique<ConsoleConnection>(fd, nextConnectionId_++, address, port, options_.splitBytes));
        LogConnection(*connections_.back(), "connected");
    }
}

bool Simulator::WantsInput(const ConsoleConnection& c) const {
    if (c.finished) return false;
    if (c.lingerUntil) return true;  // only to see the console close
    return c.Output().QueuedBytes() <= kBackpressureBytes && c.Input().size() < kMaxPendingInput;
}

void Simulator::ServeConnection(ConsoleConnection& c, short revents, Millis now) {
    if (c.finished) return;
    if (revents & (POLLERR | POLLNVAL)) {
        Drop(c, "socket error", now);
        return;
    }
    if (revents & (POLLIN | POLLHUP)) {
        if (c.Read() == ConsoleConnection::ReadResult::Closed) {
            Drop(c, c.lingerUntil ? c.closeReason : "closed by the console", now);
            return;
        }
        if (c.lingerUntil) c.ConsumeInput(c.Input().size());
    }
    ProcessInput(c, now);
    FlushConnection(c, now);
    // Requests held back while the queue was full go on once it has drained.
    if (!c.finished && !c.Input().empty() && c.Output().QueuedBytes() <= kBackpressureBytes) {
        ProcessInput(c, now);
        FlushConnection(c, now);
    }
}

void Simulator::ProcessInput(ConsoleConnection& c, Millis now) {
    const std::vector<std::uint8_t>& input = c.Input();
    std::size_t offset = 0;
    std::size_t unknown = 0;
    while (offset < input.size() && !c.finished) {
        if (c.closeRequested) {
            offset = input.size();  // nothing after a close is answered
            break;
        }
        if (c.Output().QueuedBytes() > kBackpressureBytes) break;
        const server::ConsoleMessage m = server::DecodeConsoleMessage(input.data() + offset, input.size() - offset);
        if (m.kind == server::ConsoleMessageKind::Incomplete) break;
        if (m.kind == server::ConsoleMessageKind::Unknown) {
            ++unknown;
        } else {
            if (unknown) LogConnection(c, "skipped %zu bytes of unknown codes", std::exchange(unknown, 0));
            HandleMessage(c, m, now);
        }
        offset += m.length;
    }
    if (unknown) LogConnection(c, "skipped %zu bytes of unknown codes", unknown);
    if (!c.finished) c.ConsumeInput(offset);
}

void Simulator::Queue(ConsoleConnection& c, Bytes bytes, Millis at) { c.Output().Push(Share(std::move(bytes)), at); }

void Simulator::HandleMessage(ConsoleConnection& c, const server::ConsoleMessage& m, Millis now) {
    using Kind = server::ConsoleMessageKind;
    const Millis replyAt = now + Millis(options_.slowMs);
    switch (m.kind) {
    case Kind::VersionRequest:
        if (options_.noHello) {
            LogConnection(c, "version request: not answered (--no-hello)");
            break;
        }
        LogConnection(c, "version request: server version %u.%u.%u.%u", kServerVersion[0], kServerVersion[1],
                      kServerVersion[2], kServerVersion[3]);
        if (options_.garbage) QueueGarbage(c, kServerVersionLength, code::VersionRequest, replyAt);
        Queue(c, server::EncodeServerVersion(kServerVersion[0], kServerVersion[1], kServerVersion[2], kServerVersion[3]),
              replyAt);
        break;
    case Kind::ClientVersion:
        LogConnection(c, "client version %u.%u.%u.%u%s", m.version[0], m.version[1], m.version[2], m.version[3],
                      m.magicMatches ? "" : " (without \"TELVCL\")");
        if (!c.clientHandle) c.clientHandle = population_->AddConsole(c.PeerAddress(), c.PeerPort(), m.version);
        if (options_.noAck) {
            LogConnection(c, "client version not acknowledged (--no-ack)");
            break;
        }
        if (options_.garbage) QueueGarbage(c, kAckLength, code::ClientVersion, replyAt);
        Queue(c, server::EncodeAck(), replyAt);
        c.acknowledged = true;
        break;
    case Kind::EventMode:
        if (m.eventMode == EventModeText::Other) {
            LogConnection(c, "event mode with an unknown text: ignored");
            break;
        }
        c.eventsEnabled = m.eventMode == EventModeText::Enable;
        LogConnection(c, "event translation %s", c.eventsEnabled ? "on" : "off");
        Queue(c, server::EncodeEventMode(c.eventsEnabled), replyAt);
        break;
    case Kind::ChannelCommand: HandleChanelCommand(c, m, now); break;
    case Kind::ClientClose: HandleClientClose(c, m, now); break;
    case Kind::ChannelListRequest: {
        if (options_.overLimit) {
            LogConnection(c, "channel list request: header announcing %u records (--over-limit)", kMaxRecordCount + 1);
            QueueListReply(c, Share(server::EncodeListHeader(code::ChannelList, kMaxRecordCount + 1)), replyAt);
            break;
        }
        SharedBytes reply = ChanelList();
        LogConnection(c, "channel list request: %zu records, %zu bytes", population_->Chanels().size(), reply->size());
        QueueListReply(c, std::move(reply), replyAt);
        break;
    }
    case Kind::ChannelStatisticsRequest: {
        SharedBytes reply = ChanelStatistics();
        LogConnection(c, "channel statistics request: %u records, %zu bytes", wire::ReadU32(reply->data() + 1),
                      reply->size());
        QueueListReply(c, std::move(reply), replyAt);
        break;
    }
    case Kind::ClientListRequest: {
        RefreshConsoleRows();
        SharedBytes reply = Share(population_->EncodeClientList());
        LogConnection(c, "client list request: %zu records, %zu bytes", population_->ClientCount(), reply->size());
        QueueListReply(c, std::move(reply), replyAt);
        break;
    }
    case Kind::ClientStatisticsRequest: {
        RefreshConsoleRows();
        SharedBytes reply = Share(population_->EncodeClientStatistics(options_.orphanStats ? kOrphanRecords : 0));
        LogConnection(c, "client statistics request: %u records, %zu bytes", wire::ReadU32(reply->data() + 1),
                      reply->size());
        QueueListReply(c, std::move(reply), replyAt);
        break;
    }
    case Kind::Incomplete:
    case Kind::Unknown: break;
    }
}

void Simulator::HandleChanelCommand(ConsoleConnection& c, const server::ConsoleMessage& m, Millis now) {
    const std::string id = Printable(TextField(m.deviceId.data(), m.deviceId.size()));
    const auto handle = population_->FindChanel(m.deviceId);
    if (!handle) {
        LogConnection(c, "channel command %u for unknown device \"%s\": ignored", m.mode, id.c_str());
        return;
    }
    const Millis replyAt = now + Millis(options_.slowMs);
    switch (m.mode) {
    case 0:
        population_->ResetChanel(*handle);
        LogConnection(c, "channel command: reset device \"%s\"", id.c_str());
        Notify(Share(server::EncodeChannelNotice(0, TextField(m.deviceId.data(), m.deviceId.size()))), c.Id(),
               replyAt, now);
        break;
    case 1:
        population_->CloseChanel(*handle);
        LogConnection(c, "channel command: close device \"%s\"", id.c_str());
        Notify(Share(server::EncodeChannelNotice(1, TextField(m.deviceId.data(), m.deviceId.size()))), c.Id(),
               replyAt, now);
        break;
    case 2:
        if (std::any_of(pendingCloses_.begin(), pendingCloses_.end(),
                        [&](const PendingClose& p) { return p.handle == *handle; })) {
            LogConnection(c, "channel command: device \"%s\" is already closing", id.c_str());
            break;
        }
        pendingCloses_.push_back({*handle, m.deviceId, now + kPollingInterval, c.Id()});
        LogConnection(c, "channel command: device \"%s\" closes after its polling interval (%lld ms)", id.c_str(),
                      static_cast<long long>(kPollingInterval.count()));
        break;
    default:
        LogConnection(c, "channel command with unknown mode %u for \"%s\": ignored", m.mode, id.c_str());
        break;
    }
}

void Simulator::HandleClientClose(ConsoleConnection& c, const server::ConsoleMessage& m, Millis now) {
    const std::string endpoint = AddressText(m.address, m.port);
    const auto handle = population_->FindClient(m.address, m.port);
    if (!handle) {
        LogConnection(c, "client close for unknown client %s: ignored", endpoint.c_str());
        return;
    }
    const RemovedClient removed = *population_->CloseClient(*handle);
    LogConnection(c, "client close: %s%s", endpoint.c_str(), removed.console ? " (a console)" : "");
    NotifyClientClosed(removed, c.Id(), now + Millis(options_.slowMs), now);
    if (!removed.console) return;
    for (auto& other : connections_) {
        if (other->clientHandle != removed.handle) continue;
        other->clientHandle.reset();
        BeginClose(*other, Format("closed by a client close command of %s", c.Name().c_str()));
        FlushConnection(*other, now);
    }
}

void Simulator::Notify(const SharedBytes& notice, std::uint32_t issuer, Millis issuerAt, Millis now) {
    for (auto& c : connections_) {
        if (!c->acknowledged || c->closeRequested || c->finished) continue;
        if (c->Id() == issuer)
            c->Output().Push(notice, issuerAt);
        else if (c->eventsEnabled)
            c->Output().Push(notice, now);
    }
}

void Simulator::NotifyClientClosed(const RemovedClient& removed, std::uint32_t issuer, Millis issuerAt, Millis now) {
    Notify(Share(server::EncodeClientClosed(removed.address, removed.port)), issuer, issuerAt, now);
}

void Simulator::QueueListReply(ConsoleConnection& c, SharedBytes reply, Millis at) {
    if (options_.closeMidMessage && !c.cutSent) {
        const std::size_t cutAt = std::max<std::size_t>(1, reply->size() / 2);
        LogConnection(c, "sending %zu of %zu bytes, then closing (--close-mid-message)", cutAt, reply->size());
        c.cutSent = true;
        c.Output().PushCut(std::move(reply), cutAt, at);
        return;
    }
    c.Output().Push(std::move(reply), at);
    if (options_.garbage && rng_.OneIn(3)) QueueRunningGarbage(c, at);
}

void Simulator::QueueGarbage(ConsoleConnection& c, std::size_t length, int forbiddenFirstByte, Millis at) {
    Bytes bytes(length);
    for (std::uint8_t& b : bytes) b = rng_.Byte();
    if (bytes[0] == forbiddenFirstByte) bytes[0] = static_cast<std::uint8_t>(bytes[0] ^ 0x5A);
    Queue(c, std::move(bytes), at);
}

void Simulator::QueueRunningGarbage(ConsoleConnection& c, Millis at) {
    Bytes bytes(rng_.Between(1, 24));
    for (std::uint8_t& b : bytes) {
        do b = rng_.Byte();
        while (IsRunningCode(b));
    }
    Queue(c, std::move(bytes), at);
}

void Simulator::FlushConnection(ConsoleConnection& c, Millis now) {
    if (c.finished) return;
    switch (c.Flush(now)) {
    case OutputQueue::FlushResult::Failed: Drop(c, "write failed: the console is gone", now); return;
    case OutputQueue::FlushResult::Cut: BeginClose(c, "closed in the middle of a message (--close-mid-message)"); break;
    case OutputQueue::FlushResult::Done:
    case OutputQueue::FlushResult::WouldBlock: break;
    }
    if (c.closeRequested && c.Output().Empty() && !c.lingerUntil) {
        // The console sees the end of the stream after everything queued; its own close (or the
        // linger time) ends the connection.
        ::shutdown(c.Fd(), SHUT_WR);
        c.lingerUntil = now + kLinger;
    }
}

void Simulator::BeginClose(ConsoleConnection& c, const std::string& reason) {
    if (c.closeRequested || c.finished) return;
    c.closeRequested = true;
    c.closeReason = reason;
}

void Simulator::Drop(ConsoleConnection& c, const std::string& reason, Millis now) {
    if (c.finished) return;
    c.finished = true;
    LogConnection(c, "disconnected: %s (received %llu bytes, sent %llu bytes)", reason.c_str(),
                  static_cast<unsigned long long>(c.ReceivedBytes()), static_cast<unsigned long long>(c.SentBytes()));
    if (c.clientHandle) {
        if (const auto removed = population_->CloseClient(*c.clientHandle)) NotifyClientClosed(*removed, 0, now, now);
        c.clientHandle.reset();
    }
}

void Simulator::RefreshConsoleRows() {
    for (const auto& c : connections_) {
        if (!c->clientHandle) continue;
        population_->SetConsole(*c->clientHandle, c->eventsEnabled ? state::EventTranslation : state::Free,
                                static_cast<std::uint32_t>(c->ReceivedBytes()), static_cast<std::uint32_t>(c->SentBytes()));
    }
}

SharedBytes Simulator::ChanelList() {
    if (!chanelListCache_ || chanelListVersion_ != population_->ChanelVersion()) {
        chanelListCache_ = Share(population_->EncodeChanelList());
        chanelListVersion_ = population_->ChanelVersion();
    }
    return chanelListCache_;
}

SharedBytes Simulator::ChanelStatistics() {
    if (!chanelStatsCache_ || chanelStatsVersion_ != population_->ChanelVersion()) {
        chanelStatsCache_ = Share(population_->EncodeChanelStatistics(options_.orphanStats ? kOrphanRecords : 0));
        chanelStatsVersion_ = population_->ChanelVersion();
    }
    return chanelStatsCache_;
}

void Simulator::RunTimers(Millis now) {
    std::uint64_t ticks = 0;
    while (now >= nextTick_) {
        if (++ticks > kMaxCatchUpTicks) {
            nextTick_ = now + kSecond;
            break;
        }
        Tick(now);
        nextTick_ += kSecond;
    }
    if (options_.noticeIntervalSeconds > 0) {
        const auto every = Millis(static_cast<std::int64_t>(std::llround(options_.noticeIntervalSeconds * 1000)));
        if (now >= nextNotice_) {
            PeriodicNotices(now);
            nextNotice_ += std::max(every, Millis(1)) * ((now - nextNotice_) / std::max(every, Millis(1)) + 1);
        }
    }
    for (std::size_t i = 0; i < pendingCloses_.size();) {
        const PendingClose p = pendingCloses_[i];
        if (p.due > now) {
            ++i;
            continue;
        }
        pendingCloses_.erase(pendingCloses_.begin() + static_cast<std::ptrdiff_t>(i));
        if (population_->FindChanel(p.deviceId) != p.handle) continue;  // dropped meanwhile
        if (const auto removed = population_->CloseChanel(p.handle)) {
            const std::string id = Printable(TextField(removed->deviceId.data(), removed->deviceId.size()));
            Log("device \"%s\" closed after its polling interval", id.c_str());
            Notify(Share(server::EncodeChannelNotice(2, TextField(removed->deviceId.data(), removed->deviceId.size()))),
                   p.issuer, now, now);
        }
    }
    for (auto& c : connections_)
        if (c->lingerUntil && *c->lingerUntil <= now) Drop(*c, c->closeReason, now);
    if (now >= nextFloodReport_) {
        if (floodMessages_) Log("flood: %llu messages in the last second", static_cast<unsigned long long>(floodMessages_));
        floodMessages_ = 0;
        nextFloodReport_ = now + kSecond;
    }
    // Free the cached lists once the table has moved on.
    if (chanelListCache_ && chanelListVersion_ != population_->ChanelVersion()) chanelListCache_.reset();
    if (chanelStatsCache_ && chanelStatsVersion_ != population_->ChanelVersion()) chanelStatsCache_.reset();
}

void Simulator::Tick(Millis now) {
    population_->Tick();
    if (options_.churnPerSecond <= 0) return;
    churnCarry_ += options_.churnPerSecond;
    const auto drops = static_cast<std::uint32_t>(std::min(churnCarry_, 4.0e9));
    churnCarry_ -= drops;
    const ChurnReport report = population_->Churn(drops);
    population_->Relink(1 + drops / 10);
    if (report.dropped.empty() && report.connected == 0) return;
    Bytes notices;
    notices.reserve(report.dropped.size() * kChannelCommandLength);
    for (const RemovedChanel& d : report.dropped) {
        const Bytes one = server::EncodeChannelNotice(1, TextField(d.deviceId.data(), d.deviceId.size()));
        notices.insert(notices.end(), one.begin(), one.end());
    }
    if (!notices.empty()) Notify(Share(std::move(notices)), 0, now, now);
    Log("churn: %zu devices dropped, %u connected (%u with a reused handle)", report.dropped.size(), report.connected,
        report.reusedHandles);
}

void Simulator::PeriodicNotices(Millis now) {
    std::size_t texts = 0;
    for (auto& c : connections_) {
        if (!c->acknowledged || c->closeRequested || c->finished) continue;
        if (c->eventsEnabled) {
            const auto chanels = population_->Chanels();
            DeviceIdField id{};
            const DeviceIdField* about = nullptr;
            if (!chanels.empty()) {
                const auto& r = chanels[rng_.Below(static_cast<std::uint32_t>(chanels.size()))];
                std::copy_n(r.DeviceId().begin(), id.size(), id.begin());
                about = &id;
            }
            Queue(*c, server::EncodeTextMessage(MakeTextMessage(rng_, about, options_.hostileTexts)), now);
            ++texts;
        }
        if (rng_.OneIn(2)) Queue(*c, server::EncodeEmpty(), now);
        if (options_.garbage && rng_.OneIn(2)) QueueRunningGarbage(*c, now);
    }
    if (texts) Log("text message to %zu consoles", texts);
    if (options_.churnPerSecond > 0) {
        if (const auto left = population_->ReplaceRandomClient()) {
            Log("client %s left, a new one connected", AddressText(left->address, left->port).c_str());
            NotifyClientClosed(*left, 0, now, now);
        }
    }
}

void Simulator::FeedFlood(Millis now) {
    if (!options_.flood) return;
    const auto chanels = population_->Chanels();
    static constexpr std::uint8_t kModes[] = {0, 1, 2, 3, 255};
    for (auto& c : connections_) {
        if (!c->acknowledged || c->closeRequested || c->finished) continue;
        if (c->Output().QueuedBytes() >= kFloodQueueBytes) continue;
        Bytes batch;
        for (std::uint32_t i = 0; i < kFloodBatch; ++i) {
            Bytes one;
            DeviceIdField id{};
            if (!chanels.empty()) {
                const auto& r = chanels[rng_.Below(static_cast<std::uint32_t>(chanels.size()))];
                std::copy_n(r.DeviceId().begin(), id.size(), id.begin());
            } else {
                for (std::uint8_t& b : id) b = static_cast<std::uint8_t>('0' + rng_.Below(10));
            }
            switch (rng_.Below(4)) {
            case 0: one = server::EncodeChannelNotice(kModes[rng_.Below(5)], TextField(id.data(), id.size())); break;
            case 1: one = server::EncodeTextMessage(MakeTextMessage(rng_, &id, options_.hostileTexts)); break;
            case 2: one = server::EncodeClientClosed(MakePrivateAddress(rng_), MakePort(rng_)); break;
            default: one = server::EncodeEmpty(); break;
            }
            batch.insert(batch.end(), one.begin(), one.end());
        }
        c->Output().Push(Share(std::move(batch)), now);
        floodMessages_ += kFloodBatch;
    }
}

}  // namespace telv::sim
