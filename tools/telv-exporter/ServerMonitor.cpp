#include "ServerMonitor.h"

#include "OwnVersion.h"
#include "Sysutil.h"
#include "WinsockErrors.h"

namespace telv::exporter {
namespace {

using Clock = ReconnectBackoff::Clock;

// One line for the log: control characters (a server's text may hold line breaks) become blanks.
std::string OneLine(const std::string& text) {
    std::string line = text;
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    return line;
}

double UnixSeconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

}  // namespace

void ExporterTables::SessionStarted() {
    RecordTables::SessionStarted();
    if (onSessionStarted) onSessionStarted();
}

void ExporterTables::ClientListReceived(RecordArray<TELV_FULL_CLIENT_DATA> records) {
    RecordTables::ClientListReceived(records);
    if (onRefreshed) onRefreshed();
}

void ExporterTables::ClientStatisticsReceived(RecordArray<TELV_STATISTICS_DATA> records) {
    RecordTables::ClientStatisticsReceived(records);
    if (onRefreshed) onRefreshed();
}

ServerMonitor::ServerMonitor(ServerConfig config, MonitorOptions options, Publisher publish, LogSink log,
                             std::function<double()> random)
    : config_(std::move(config)),
      options_(options),
      publish_(std::move(publish)),
      log_(std::move(log)),
      controller_(*this, tables_),
      backoff_(std::move(random)) {
    ReadOwnVersion(controller_.ClientVersion);
    tables_.onSessionStarted = [this] { SessionStarted(); };
    tables_.onRefreshed = [this] { Refreshed(); };
    status_.name = config_.name;
    tick_.setInterval(100);
    tick_.setTimerType(Qt::CoarseTimer);
    QObject::connect(&tick_, &QTimer::timeout, [this] { Tick(); });
    refresh_.setInterval(config_.refreshSeconds * 1000);
    QObject::connect(&refresh_, &QTimer::timeout, [this] { Refresh(); });
}

ServerMonitor::~ServerMonitor() {
    tick_.stop();
    refresh_.stop();
}

void ServerMonitor::Start() {
    Publish();
    tick_.start();
    refresh_.start();
    Attempt();
}

const char* ServerMonitor::ReasonOfError(int error) {
    switch (error) {
    case WSAECONNREFUSED: return "refused";
    case WSAETIMEDOUT: return "timeout";
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
    case WSAENETDOWN:
    case WSAEHOSTDOWN: return "unreachable";
    case WSAEINVAL:  // the address is empty or names no IPv4 host
    case WSAHOST_NOT_FOUND:
    case WSATRY_AGAIN:
    case WSANO_RECOVERY:
    case WSANO_DATA: return "resolve";
    default: return "connect";
    }
}

void ServerMonitor::Attempt() {
    phase_ = Phase::Connecting;
    attemptStarted_ = Clock::now();
    pendingReason_ = nullptr;
    lastError_ = 0;
    controller_.ConnectDisconectActionExecute();
}

void ServerMonitor::Tick() {
    controller_.TimerTimer();
    if (phase_ == Phase::Connecting && controller_.State == Connecting &&
        Clock::now() - attemptStarted_ > options_.connectTimeout) {
        pendingReason_ = "timeout";
        controller_.ConnectDisconectActionExecute();
    }
    // The controller reports every end of a connection; this only guards the invariant.
    if (phase_ != Phase::Idle && controller_.State == Disconnected) CheckEnded();
    if (phase_ == Phase::Idle && backoff_.Due(Clock::now())) Attempt();
}

void ServerMonitor::Refresh() {
    if (phase_ != Phase::Up) return;
    if (!refreshPending_) {
        refreshPending_ = true;
        refreshStarted_ = Clock::now();
    }
    controller_.ReqTimerTimer();
}

void ServerMonitor::ServerConnected(const std::string&, const std::string&, std::uint16_t) {
    if (phase_ == Phase::Connecting) phase_ = Phase::Handshake;
}

void ServerMonitor::SessionStarted() {
    phase_ = Phase::Up;
    status_.up = true;
    ++status_.connects;
    status_.tables.reset();  // the tables are out of step until the lists have arrived
    refreshPending_ = true;
    refreshStarted_ = Clock::now();
    refresh_.start();  // the first periodic request one interval after the lists
    Publish();
}

void ServerMonitor::Refreshed() {
    if (phase_ != Phase::Up) return;
    if (refreshPending_)
        status_.refreshDurationSeconds = std::chrono::duration<double>(Clock::now() - refreshStarted_).count();
    refreshPending_ = false;
    status_.lastRefreshSeconds = UnixSeconds();
    auto tables = std::make_shared<TableSnapshot>(
        SnapshotTables(tables_, options_.perChannel, options_.perChannelLimit));
    status_.channelSeriesDropped += tables->channelsLeftOut;
    status_.tables = std::move(tables);
    backoff_.Succeeded();  // the server answers sensibly: a later loss starts the backoff afresh
    Publish();
}

void ServerMonitor::LogEvent(const std::string& text) {
    if (log_) log_(config_.name + ": " + OneLine(text));
}

void ServerMonitor::ServerVersionReceived(const std::string& version) {
    if (version == status_.version) return;
    status_.version = version;
    Publish();
}

void ServerMonitor::ConnectAttemptFailed(int error, const std::string&) { lastError_ = error; }

void ServerMonitor::ConnectionEnded(ConnectionEnd) { CheckEnded(); }

void ServerMonitor::CheckEnded() {
    if (phase_ == Phase::Idle || controller_.State != Disconnected) return;
    const char* reason = pendingReason_;
    if (!reason) {
        switch (phase_) {
        case Phase::Connecting: reason = ReasonOfError(lastError_); break;
        case Phase::Handshake: reason = "handshake"; break;
        default: reason = "closed"; break;
        }
    }
    Ended(reason);
}

void ServerMonitor::Ended(const char* reason) {
    phase_ = Phase::Idle;
    pendingReason_ = nullptr;
    refreshPending_ = false;
    status_.up = false;
    ++status_.failures[reason];
    const auto now = Clock::now();
    backoff_.Failed(now);
    const auto wait = std::chrono::duration<double>(backoff_.NextAttempt() - now).count();
    if (log_) log_(Format("%s: %s; next attempt in %.1f s", config_.name.c_str(), reason, wait));
    Publish();
}

void ServerMonitor::Publish() {
    if (publish_) publish_(std::make_shared<const ServerSnapshot>(status_));
}

}  // namespace telv::exporter
