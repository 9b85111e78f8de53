#include "NameLookup.h"

#include "WinsockErrors.h"

#include <QSocketNotifier>

#include <netdb.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

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

// What the worker thread and the lookup share: the result, and the event descriptor through
// which the worker says it is there. Whichever lets go last closes the descriptor.
struct TNameLookup::Shared {
    explicit Shared(int fd) : eventFd(fd) {}
    ~Shared() { ::close(eventFd); }
    Shared(const Shared&) = delete;
    Shared& operator=(const Shared&) = delete;

    const int eventFd;
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
    const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0) {
        SetLastErrorFromErrno();
        return nullptr;
    }
    auto shared = std::make_shared<Shared>(fd);
    TResolveFunction resolve;
    {
        const std::lock_guard lock(resolveMutex);
        resolve = InstalledResolve();
    }
    if (!resolve) resolve = ResolveIpv4;
    std::unique_ptr<TNameLookup> lookup(new TNameLookup(shared, std::move(done)));
    try {
        ++runningLookups;
        std::thread([shared, resolve = std::move(resolve), host] {
            in_addr_t address = 0;
            int error = resolve(host, address);
            if (error == EAI_SYSTEM) error = errno ? WinsockErrorFromErrno(errno) : WSAHOST_NOT_FOUND;
            else if (error != 0) error = WinsockErrorFromResolver(error);
            {
                const std::lock_guard lock(shared->mutex);
                shared->error = error;
                shared->address = address;
            }
            const std::uint64_t one = 1;
            static_cast<void>(::write(shared->eventFd, &one, sizeof one));
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
    : shared_(std::move(shared)),
      notifier_(std::make_unique<QSocketNotifier>(shared_->eventFd, QSocketNotifier::Read)),
      done_(std::move(done)) {
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { Finished(); });
}

TNameLookup::~TNameLookup() {
    notifier_.reset();  // before the descriptor may close
}

void TNameLookup::Finished() {
    notifier_->setEnabled(false);
    std::uint64_t count = 0;
    static_cast<void>(::read(shared_->eventFd, &count, sizeof count));
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
