#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace telv::sim::test {
namespace {

using SteadyClock = std::chrono::steady_clock;

int RemainingMs(SteadyClock::time_point deadline) {
    const auto left = std::chrono::duration_cast<Millis>(deadline - SteadyClock::now()).count();
    return static_cast<int>(std::clamp<std::int64_t>(left, 0, 60'000));
}

bool IsNotice(const Received& r) {
    return r.Is(MessageKind::ChannelNotice) || r.Is(MessageKind::TextMessage) || r.Is(MessageKind::ClientClosed) ||
           r.Is(MessageKind::Empty);
}

}  // namespace

SimHarness::SimHarness(SimOptions options) : now_(std::make_shared<std::atomic<std::int64_t>>(1'000'000)) {
    options.listenAddress = "127.0.0.1";
    options.listenPort = 0;
    auto now = now_;
    simulator_ = std::make_unique<Simulator>(
        std::move(options), [now] { return Millis(now->load()); },
        [this](const std::string& line) {
            std::lock_guard lock(logMutex_);
            log_.push_back(line);
        });
    std::string error;
    if (!simulator_->Start(error)) throw std::runtime_error("simulator did not start: " + error);
    simulator_->RunInThread();
}

SimHarness::~SimHarness() {
    simulator_->Stop();
    simulator_->Join();
}

bool SimHarness::Logged(const std::string& text) const {
    std::lock_guard lock(logMutex_);
    return std::any_of(log_.begin(), log_.end(), [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

bool SimHarness::WaitForExit(Millis timeout) {
    const auto deadline = SteadyClock::now() + timeout;
    while (SteadyClock::now() < deadline) {
        if (Logged("stopped")) {
            simulator_->Join();
            return true;
        }
        std::this_thread::sleep_for(5ms);
    }
    return false;
}

TestConsole::TestConsole(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return;
    }
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    localPort_ = ntohs(address.sin_port);
    fd_ = fd;
}

TestConsole::~TestConsole() {
    if (fd_ >= 0) ::close(fd_);
}

void TestConsole::Send(const Bytes& bytes) {
    std::size_t sent = 0;
    while (fd_ >= 0 && sent < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            ADD_FAILURE() << "send failed: " << std::strerror(errno);
            return;
        }
        sent += static_cast<std::size_t>(n);
    }
}

bool TestConsole::ReadSome(Millis timeout) {
    if (fd_ < 0 || peerClosed_) return false;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return false;
    static thread_local std::vector<std::uint8_t> chunk(std::size_t{1} << 20);
    const ssize_t n = ::recv(fd_, chunk.data(), chunk.size(), MSG_DONTWAIT);
    if (n > 0) {
        buffer_.Append(chunk.data(), static_cast<std::size_t>(n));
        return true;
    }
    if (n == 0 || (errno != EAGAIN && errno != EINTR)) peerClosed_ = true;
    return false;
}

std::optional<Received> TestConsole::Next(Millis timeout) {
    const auto deadline = SteadyClock::now() + timeout;
    for (;;) {
        if (buffer_.Remaining() > 0) {
            const std::size_t count = buffer_.Remaining();
            Bytes exact;
            const std::uint8_t* front = buffer_.Front();
            if (exactCopies_) {
                exact.assign(front, front + count);
                front = exact.data();
            }
            const DecodedMessage m = DecodeNext(state_, front, count);
            if (m.outcome != DecodeOutcome::Incomplete) {
                Received r;
                r.outcome = m.outcome;
                r.length = m.outcome == DecodeOutcome::DiscardAll ? count : m.length;
                r.kind = m.kind;
                r.state = state_;
                EXPECT_LE(r.length, count) << "the decoder consumed more than it was given";
                if (m.outcome == DecodeOutcome::Message) r.bytes.assign(front, front + m.length);
                if (m.outcome == DecodeOutcome::DiscardAll)
                    buffer_.DiscardAll();
                else
                    buffer_.Consume(std::min(r.length, count));
                return r;
            }
        }
        const int left = RemainingMs(deadline);
        if (left == 0 && SteadyClock::now() >= deadline) return std::nullopt;
        if (!ReadSome(Millis(left)) && (peerClosed_ || SteadyClock::now() >= deadline)) return std::nullopt;
    }
}

std::optional<Received> TestConsole::NextOfKind(MessageKind kind, Millis timeout) {
    const auto deadline = SteadyClock::now() + timeout;
    for (;;) {
        auto r = Next(Millis(RemainingMs(deadline)));
        if (!r) return std::nullopt;
        if (r->Is(kind)) return r;
        if (!IsNotice(*r)) {
            ADD_FAILURE() << "unexpected outcome " << static_cast<int>(r->outcome) << " kind "
                          << static_cast<int>(r->kind) << " while waiting for kind " << static_cast<int>(kind);
            return std::nullopt;
        }
        ++passedOver_;
    }
}

bool TestConsole::Silent(Millis timeout) {
    const std::size_t before = buffer_.Remaining();
    ReadSome(timeout);
    return buffer_.Remaining() == before && !peerClosed_;
}

bool TestConsole::WaitForClose(Millis timeout) {
    const auto deadline = SteadyClock::now() + timeout;
    while (!peerClosed_ && SteadyClock::now() < deadline) ReadSome(Millis(RemainingMs(deadline)));
    return peerClosed_;
}

bool TestConsole::Handshake(Millis timeout) {
    state_ = WaitingHello;
    Request(code::VersionRequest);
    for (;;) {
        const auto r = Next(timeout);
        if (!r) return false;
        if (r->Is(MessageKind::ServerVersion)) break;
        if (r->outcome != DecodeOutcome::Skip) return false;
    }
    state_ = WaitingAck;
    const int version[4] = {1, 3, 8, 17};
    Send(EncodeClientVersion(version));
    for (;;) {
        const auto r = Next(timeout);
        if (!r) return false;
        if (r->Is(MessageKind::ClientVersionAck)) break;
        if (r->outcome != DecodeOutcome::Skip) return false;
    }
    state_ = Running;
    return true;
}

bool TestConsole::Start(bool events, Millis timeout) {
    if (!Handshake(timeout)) return false;
    Send(EncodeEventMode(events));
    const auto echo = NextOfKind(MessageKind::EventMode, timeout);
    return echo && echo->View().eventMode == (events ? EventModeText::Enable : EventModeText::Disable);
}

std::vector<TELV_UDP_FULL_CHANEL_DATA> ChanelsOf(const Received& list) {
    const DecodedMessage m = list.View();
    std::vector<TELV_UDP_FULL_CHANEL_DATA> out;
    out.reserve(m.chanels.size());
    for (std::uint32_t i = 0; i < m.chanels.size(); ++i) out.push_back(m.chanels[i]);
    return out;
}

std::vector<TELV_FULL_CLIENT_DATA> ClientsOf(const Received& list) {
    const DecodedMessage m = list.View();
    std::vector<TELV_FULL_CLIENT_DATA> out;
    for (std::uint32_t i = 0; i < m.clients.size(); ++i) out.push_back(m.clients[i]);
    return out;
}

std::vector<TELV_STATISTICS_DATA> StatisticsOf(const Received& stats) {
    const DecodedMessage m = stats.View();
    std::vector<TELV_STATISTICS_DATA> out;
    out.reserve(m.statistics.size());
    for (std::uint32_t i = 0; i < m.statistics.size(); ++i) out.push_back(m.statistics[i]);
    return out;
}

std::optional<Received> FetchList(TestConsole& console, std::uint8_t requestCode, Millis timeout) {
    console.Request(requestCode);
    MessageKind kind = MessageKind::ChannelList;
    switch (requestCode) {
    case code::ChannelStatistics: kind = MessageKind::ChannelStatistics; break;
    case code::ClientList: kind = MessageKind::ClientList; break;
    case code::ClientStatistics: kind = MessageKind::ClientStatistics; break;
    default: break;
    }
    return console.NextOfKind(kind, timeout);
}

std::set<Handle> HandlesOf(const std::vector<TELV_UDP_FULL_CHANEL_DATA>& chanels) {
    std::set<Handle> out;
    for (const auto& c : chanels) out.insert(c.ChanelHandle());
    return out;
}

std::set<Handle> HandlesOf(const std::vector<TELV_FULL_CLIENT_DATA>& clients) {
    std::set<Handle> out;
    for (const auto& c : clients) out.insert(c.ClientHandle());
    return out;
}

DeviceIdField IdOf(const TELV_UDP_FULL_CHANEL_DATA& chanel) {
    DeviceIdField id{};
    std::copy_n(chanel.DeviceId().begin(), id.size(), id.begin());
    return id;
}

SimOptions QuietOptions(std::uint32_t devices, std::uint32_t clients) {
    SimOptions o;
    o.devices = devices;
    o.clients = clients;
    o.noticeIntervalSeconds = 0;
    o.churnPerSecond = 0;
    o.seed = 7;
    return o;
}

}  // namespace telv::sim::test
