#include "NotificationQueue.h"

#include "WinsockErrors.h"

#include <QCoreApplication>
#include <QEvent>
#include <QSocketNotifier>

#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <thread>

namespace telv {
namespace {

QEvent::Type DeliveryEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

std::function<void()>& WaitIdleHook() {
    static std::function<void()> hook;
    return hook;
}

int SocketOption(int handle, int option) {
    int value = 0;
    socklen_t length = sizeof value;
    if (::getsockopt(handle, SOL_SOCKET, option, &value, &length) != 0) return -1;
    return value;
}

bool HasPeer(int handle) {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    return ::getpeername(handle, reinterpret_cast<sockaddr*>(&peer), &length) == 0;
}

}  // namespace

TNotificationQueue::TNotificationQueue(Receiver receiver) : receiver_(std::move(receiver)) {}

TNotificationQueue::~TNotificationQueue() = default;  // QObject drops the posted events

void TNotificationQueue::Select(int handle, int eventMask) {
    StopWatching();
    if (handle < 0 || (eventMask & FD_ALL_EVENTS) == 0) return;
    handle_ = handle;
    mask_ = eventMask & FD_ALL_EVENTS;
    datagram_ = SocketOption(handle, SO_TYPE) == SOCK_DGRAM;

    read_ = std::make_unique<QSocketNotifier>(handle, QSocketNotifier::Read);
    write_ = std::make_unique<QSocketNotifier>(handle, QSocketNotifier::Write);
    urgent_ = std::make_unique<QSocketNotifier>(handle, QSocketNotifier::Exception);
    for (QSocketNotifier* notifier : {read_.get(), write_.get(), urgent_.get()}) notifier->setEnabled(false);
    connect(read_.get(), &QSocketNotifier::activated, this, [this] { OnReadable(); });
    connect(write_.get(), &QSocketNotifier::activated, this, [this] { OnWritable(); });
    connect(urgent_.get(), &QSocketNotifier::activated, this, [this] { OnUrgent(); });

    ProbePhase();
    switch (phase_) {
    case Phase::Connected:
        // Writable from the start (a datagram socket, an accepted connection).
        Enable(read_.get(), true);
        Enable(write_.get(), true);
        Enable(urgent_.get(), true);
        break;
    case Phase::Idle:       // watched in case it becomes a listening socket
    case Phase::Listening:
        Enable(read_.get(), true);
        break;
    case Phase::Connecting:
    case Phase::Ended:
        break;
    }
}

void TNotificationQueue::StopWatching() {
    // The notifiers go before the owner closes the handle.
    read_.reset();
    write_.reset();
    urgent_.reset();
    handle_ = -1;
    mask_ = 0;
    phase_ = Phase::Idle;
    queue_.clear();
    QCoreApplication::removePostedEvents(this, DeliveryEventType());
}

// Where a stream socket stands now: listening, connected, or neither yet.
void TNotificationQueue::ProbePhase() {
    if (datagram_ || HasPeer(handle_))
        phase_ = Phase::Connected;
    else if (SocketOption(handle_, SO_ACCEPTCONN) == 1)
        phase_ = Phase::Listening;
    else
        phase_ = Phase::Idle;
}

void TNotificationQueue::Enable(QSocketNotifier* notifier, bool on) {
    if (notifier && notifier->isEnabled() != on) notifier->setEnabled(on);
}

bool TNotificationQueue::Enabled(const QSocketNotifier* notifier) const {
    return notifier && notifier->isEnabled();
}

void TNotificationQueue::Report(int event, int error) {
    if (mask_ & event) Post({handle_, event, error});
}

// After FD_CLOSE or a failed connect the socket signals nothing more.
void TNotificationQueue::EndWatching() {
    phase_ = Phase::Ended;
    Enable(read_.get(), false);
    Enable(write_.get(), false);
    Enable(urgent_.get(), false);
}

void TNotificationQueue::ReceiveCalled() {
    if (phase_ == Phase::Connected) {
        Enable(read_.get(), true);
        Enable(urgent_.get(), true);
    } else if (phase_ == Phase::Idle) {
        Enable(read_.get(), true);
    }
}

void TNotificationQueue::SendBlocked() {
    if (phase_ == Phase::Connected) Enable(write_.get(), true);
}

void TNotificationQueue::ConnectStarted() {
    if (handle_ < 0 || datagram_ || phase_ == Phase::Ended) return;
    phase_ = Phase::Connecting;
    Enable(read_.get(), false);
    Enable(urgent_.get(), false);
    Enable(write_.get(), true);
}

void TNotificationQueue::ConnectAbandoned() {
    if (phase_ == Phase::Connecting) EndWatching();
}

void TNotificationQueue::AcceptCalled() {
    if (phase_ == Phase::Listening || phase_ == Phase::Idle) Enable(read_.get(), true);
}

void TNotificationQueue::OnReadable() {
    if (phase_ == Phase::Idle) {
        ProbePhase();
        if (phase_ == Phase::Idle) {
            // A stream socket that is neither connected nor listening reports a hang-up all
            // the time; nothing to tell until the owner connects or accepts.
            Enable(read_.get(), false);
            return;
        }
    }
    switch (phase_) {
    case Phase::Listening:
        Enable(read_.get(), false);
        Report(FD_ACCEPT, 0);
        return;
    case Phase::Connected:
        break;
    default:
        Enable(read_.get(), false);
        return;
    }
    if (datagram_) {
        Enable(read_.get(), false);
        Report(FD_READ, 0);
        return;
    }
    // Readiness is level-triggered: peek to tell data from the end of the stream or a failure.
    char byte = 0;
    const auto peeked = ::recv(handle_, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (peeked > 0) {
        Enable(read_.get(), false);
        Report(FD_READ, 0);
    } else if (peeked == 0) {
        EndWatching();
        Report(FD_CLOSE, 0);
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        const int error = WinsockErrorFromErrno(errno);
        EndWatching();
        Report(FD_CLOSE, error);
    }
}

void TNotificationQueue::OnWritable() {
    Enable(write_.get(), false);
    if (phase_ == Phase::Connecting) {
        // The one reader of the pending error: it is the outcome of the connection attempt.
        const int pending = SocketOption(handle_, SO_ERROR);
        const int error = pending < 0 ? WinsockErrorFromErrno(errno) : WinsockErrorFromErrno(pending);
        if (error != 0) {
            EndWatching();
            Report(FD_CONNECT, error);
            return;
        }
        phase_ = Phase::Connected;
        Enable(read_.get(), true);
        Enable(urgent_.get(), true);
        Report(FD_CONNECT, 0);
        Report(FD_WRITE, 0);
        return;
    }
    if (phase_ == Phase::Connected) Report(FD_WRITE, 0);
}

void TNotificationQueue::OnUrgent() {
    Enable(urgent_.get(), false);
    if (phase_ == Phase::Connected) Report(FD_OOB, 0);
}

void TNotificationQueue::Post(const TSocketNotification& notification) {
    queue_.push_back(notification);
    // One delivery event per notification; a delivery finding the queue empty does nothing.
    QCoreApplication::postEvent(this, new QEvent(DeliveryEventType()));
}

std::optional<TSocketNotification> TNotificationQueue::Take() {
    if (queue_.empty()) return std::nullopt;
    const TSocketNotification front = queue_.front();
    queue_.pop_front();
    return front;
}

void TNotificationQueue::PollOnce(int timeoutMs) {
    short events = 0;
    if (Enabled(read_.get())) events |= POLLIN;
    if (Enabled(write_.get())) events |= POLLOUT;
    if (Enabled(urgent_.get())) events |= POLLPRI;
    const int waitMs = timeoutMs > 0 ? timeoutMs : 0;
    if (handle_ < 0 || events == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
        return;
    }
    pollfd entry{handle_, events, 0};
    if (::poll(&entry, 1, waitMs) <= 0) return;  // time-out, or interrupted: the caller goes on waiting
    bool signalled = false;
    if ((entry.revents & (POLLIN | POLLHUP | POLLERR)) && Enabled(read_.get())) {
        OnReadable();
        signalled = true;
    }
    if ((entry.revents & (POLLOUT | POLLERR)) && Enabled(write_.get())) {
        OnWritable();
        signalled = true;
    }
    if ((entry.revents & POLLPRI) && Enabled(urgent_.get())) {
        OnUrgent();
        signalled = true;
    }
    // A condition none of the watched events stands for (a hang-up seen only by poll) would
    // make the caller spin: let the time pass instead.
    if (!signalled) std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
}

bool TNotificationQueue::event(QEvent* event) {
    if (event->type() != DeliveryEventType()) return QObject::event(event);
    if (queue_.empty()) return true;
    const TSocketNotification notification = queue_.front();
    queue_.pop_front();
    // The receiver may close or delete the socket, and this queue with it: nothing here is
    // touched after the call.
    const Receiver receiver = receiver_;
    if (receiver) receiver(notification);
    return true;
}

void SetWaitIdleHook(std::function<void()> hook) { WaitIdleHook() = std::move(hook); }

void RunWaitIdleHook() {
    // A copy: the hook may replace itself.
    if (const std::function<void()> hook = WaitIdleHook()) hook();
}

}  // namespace telv
