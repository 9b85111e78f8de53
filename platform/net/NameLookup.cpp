#include "NameLookup.h"

#include "WinsockErrors.h"

#include <netdb.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <mutex>
#include <thread>

namespace telv {
namespace {

std::mutex resolveMutex;
TResolveFunction& InstalledResolve() {
    static TResolveFunction resolve;
    return resolve;
}

std::atomic<int> runningLookups{0};

}  // namespace

// What the worker thread and the lookup share: the result.
struct TNameLookup::Shared {
    std::mutex mutex;
    int error = 0;
    in_addr_t address = 0;
};

int ResolveIpv4(const std::string& host, in_addr_t& address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int result = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (result != 0) return result;
    if (found == nullptr) return EAI_NONAME;
    address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    ::freeaddrinfo(found);
    return 0;
}

void SetResolveFunction(TResolveFunction resolve) {
    const std::lock_guard lock(resolveMutex);
    InstalledResolve() = std::move(resolve);
}

int RunningLookups() { return runningLookups.load(); }

std::unique_ptr<TNameLookup> TNameLookup::Start(const std::string& host, Done done) {
    auto shared = std::make_shared<Shared>();
    TResolveFunction resolve;
    {
        const std::lock_guard lock(resolveMutex);
        resolve = InstalledResolve();
    }
    if (!resolve) resolve = ResolveIpv4;
    std::unique_ptr<TNameLookup> lookup;
    try {
        ++runningLookups;
        lookup.reset(new TNameLookup(shared, std::move(done)));
        std::thread([shared, finished = lookup->wakeUp_.MakeTrigger(), resolve = std::move(resolve), host] {
            in_addr_t address = 0;
            int error = resolve(host, address);
            if (error == EAI_SYSTEM) error = errno ? WinsockErrorFromErrno(errno) : WSAHOST_NOT_FOUND;
            else if (error != 0) error = WinsockErrorFromResolver(error);
            {
                const std::lock_guard lock(shared->mutex);
                shared->error = error;
                shared->address = address;
            }
            finished.Signal();
            --runningLookups;
        }).detach();
    } catch (const std::system_error& e) {
        --runningLookups;
        WSASetLastError(WinsockErrorFromErrno(e.code().value()));
        return nullptr;
    }
    return lookup;
}

TNameLookup::TNameLookup(std::shared_ptr<Shared> shared, Done done)
    : shared_(std::move(shared)), wakeUp_([this] { Finished(); }), done_(std::move(done)) {}

TNameLookup::~TNameLookup() = default;

void TNameLookup::Finished() {
    int error = 0;
    in_addr_t address = 0;
    {
        const std::lock_guard lock(shared_->mutex);
        error = shared_->error;
        address = shared_->address;
    }
    const Done done = std::move(done_);
    done_ = nullptr;
    if (done) done(error, address);
}

}  // namespace telv
