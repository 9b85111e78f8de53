// Name lookups under a test's control: a resolver installed for the life of a scope, and one that
// holds every lookup until the test releases it (a slow name server).
#pragma once

#include "NameLookup.h"

#include <QCoreApplication>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace telv::test {

// Waits, running the event loop, until every lookup's worker thread has ended.
inline bool LookupsEnded(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (RunningLookups() > 0) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Installs a resolver for the life of the object; the system's comes back after it.
class ResolverScope {
public:
    explicit ResolverScope(TResolveFunction resolve) { SetResolveFunction(std::move(resolve)); }
    ~ResolverScope() { SetResolveFunction(nullptr); }
    ResolverScope(const ResolverScope&) = delete;
    ResolverScope& operator=(const ResolverScope&) = delete;
};

// A resolver that holds each lookup until Release, then gives its address or error. Released
// and waited for at the latest when it goes.
class HeldResolver {
public:
    HeldResolver(in_addr_t address, int error) : address_(address), error_(error) {}
    ~HeldResolver() {
        Release();
        LookupsEnded();
    }
    HeldResolver(const HeldResolver&) = delete;
    HeldResolver& operator=(const HeldResolver&) = delete;

    TResolveFunction Function() {
        return [this](const std::string& host, in_addr_t& address) {
            std::unique_lock lock(mutex_);
            hosts_.push_back(host);
            released_.wait(lock, [this] { return release_; });
            address = address_;
            return error_;
        };
    }
    void Release() {
        const std::lock_guard lock(mutex_);
        release_ = true;
        released_.notify_all();
    }
    // The names asked for so far.
    std::vector<std::string> Hosts() {
        const std::lock_guard lock(mutex_);
        return hosts_;
    }

private:
    std::mutex mutex_;
    std::condition_variable released_;
    bool release_ = false;
    std::vector<std::string> hosts_;
    in_addr_t address_;
    int error_;
};

}  // namespace telv::test
