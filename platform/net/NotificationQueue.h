// The per-socket notification queue: watches one socket handle on the thread's Qt event loop and
// turns its readiness into the six socket events with their error codes, in the manner of
// asynchronous select:
//   FD_CONNECT once when a connection attempt ends (its error from the socket's pending error),
//   FD_WRITE after a successful connect, and after a send that would block once writable again,
//   FD_READ when bytes are waiting, again only after the owner's next receive,
//   FD_ACCEPT on a listening socket, again only after the owner's next accept,
//   FD_OOB when urgent data are waiting, again only after the owner's next receive,
//   FD_CLOSE once when the peer closes (0) or the connection fails (its error).
// Notifications are queued in order and delivered one per posted event to the receiver, on the
// thread that owns the queue. Nothing is delivered after Select(-1, 0) or after destruction.
#pragma once

#include <QObject>

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

class QSocketNotifier;

namespace telv {

inline constexpr int FD_READ = 1;
inline constexpr int FD_WRITE = 2;
inline constexpr int FD_OOB = 4;
inline constexpr int FD_ACCEPT = 8;
inline constexpr int FD_CONNECT = 16;
inline constexpr int FD_CLOSE = 32;
inline constexpr int FD_ALL_EVENTS = 0x3F;

struct TSocketNotification {
    int handle;
    int event;
    int error;  // Winsock code, 0 for none
};

class TNotificationQueue final : public QObject {
    Q_OBJECT
public:
    using Receiver = std::function<void(const TSocketNotification&)>;

    explicit TNotificationQueue(Receiver receiver);
    ~TNotificationQueue() override;
    TNotificationQueue(const TNotificationQueue&) = delete;
    TNotificationQueue& operator=(const TNotificationQueue&) = delete;

    // Watches handle for the events of mask. Any earlier watch ends and its queued
    // notifications are dropped; a handle below 0 or an empty mask only does that.
    void Select(int handle, int eventMask);
    int WatchedHandle() const { return handle_; }

    // The owner's socket calls, which re-enable events as the system would.
    void ReceiveCalled();      // FD_READ and FD_OOB
    void SendBlocked();        // FD_WRITE
    void ConnectStarted();     // FD_CONNECT (and FD_WRITE after it)
    void AcceptCalled();       // FD_ACCEPT
    // The owner has reported the outcome of the connection attempt itself: nothing more of it.
    void ConnectAbandoned();

    // Queues a notification for delivery through the event loop.
    void Post(const TSocketNotification& notification);
    // Removes the oldest queued notification without delivering it.
    std::optional<TSocketNotification> Take();
    std::size_t Queued() const { return queue_.size(); }

    // Waits at most timeoutMs for the watched socket's readiness and queues what it signals,
    // delivering nothing: the way a waiting caller takes notifications past the event loop.
    void PollOnce(int timeoutMs);

protected:
    bool event(QEvent* event) override;

private:
    enum class Phase { Idle, Connecting, Connected, Listening, Ended };

    void StopWatching();
    void ProbePhase();
    void Enable(QSocketNotifier* notifier, bool on);
    bool Enabled(const QSocketNotifier* notifier) const;
    void Report(int event, int error);
    void EndWatching();

    void OnReadable();
    void OnWritable();
    void OnUrgent();

    Receiver receiver_;
    int handle_ = -1;
    int mask_ = 0;
    bool datagram_ = false;
    Phase phase_ = Phase::Idle;
    std::unique_ptr<QSocketNotifier> read_;
    std::unique_ptr<QSocketNotifier> write_;
    std::unique_ptr<QSocketNotifier> urgent_;
    std::deque<TSocketNotification> queue_;
};

// Called by message-pump waits each time they have polled without finding what they wait for:
// the point where the system would run messages sent to the waiting thread. Tests use it to act
// while a wait is in progress. One hook per program; an empty hook removes it.
void SetWaitIdleHook(std::function<void()> hook);
void RunWaitIdleHook();

}  // namespace telv
