// Calls a function on the thread that made the wake-up, from that thread's event loop, after
// another thread signalled it. Signals that come before the call are answered by one call.
//
// It is an eventfd watched by a QSocketNotifier, and nothing is allocated per signal. The kernel
// orders a signal's write before the call's read, and ThreadSanitizer models that ordering;
// it does not see the synchronisation of Qt's queued calls, whose futexes are not instrumented.
#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace telv {

class WakeUp {
public:
    // What another thread keeps to signal; it may outlive the wake-up, whose call then never
    // comes. Signalling costs a write of eight bytes and never blocks.
    class Trigger {
    public:
        void Signal() const;

    private:
        friend class WakeUp;
        struct Descriptor;
        std::shared_ptr<const Descriptor> descriptor_;
    };

    // Throws std::system_error when no event descriptor can be made.
    explicit WakeUp(std::function<void()> onWake);
    ~WakeUp();
    WakeUp(const WakeUp&) = delete;
    WakeUp& operator=(const WakeUp&) = delete;

    Trigger MakeTrigger() const { return trigger_; }
    void Signal() const { trigger_.Signal(); }

private:
    void Woken();

    Trigger trigger_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::function<void()> onWake_;
};

}  // namespace telv
