// Resolves a host name to its first IPv4 address on a worker thread, so that the event loop goes
// on meanwhile (a resolver may take its whole time-out, seconds, for a name it cannot find). The
// outcome reaches the thread that started the lookup through its event loop, like a socket's
// readiness. Destroying the lookup cancels it: a result that comes later is dropped.
#pragma once

#include "WakeUp.h"

#include <netinet/in.h>

#include <functional>
#include <memory>
#include <string>

namespace telv {

class TNameLookup {
public:
    // error: 0 with the address (network order), or the Winsock code of the failure.
    using Done = std::function<void(int error, in_addr_t address)>;

    // Starts looking host up; null with the thread's last error set when it cannot start. done
    // runs on this thread, from its event loop, at most once; it must not destroy the lookup.
    static std::unique_ptr<TNameLookup> Start(const std::string& host, Done done);
    ~TNameLookup();
    TNameLookup(const TNameLookup&) = delete;
    TNameLookup& operator=(const TNameLookup&) = delete;

private:
    struct Shared;
    TNameLookup(std::shared_ptr<Shared> shared, Done done);
    void Finished();

    std::shared_ptr<Shared> shared_;
    WakeUp wakeUp_;
    Done done_;
};

// What the lookups call on their worker threads: fills address (network order) with the first
// IPv4 address of host and returns 0, or returns the resolver's error (an EAI_ code of
// getaddrinfo). Tests install their own to make names slow or failing; an empty function
// restores the system's resolver. Lookups take the function in force when they start.
using TResolveFunction = std::function<int(const std::string& host, in_addr_t& address)>;
void SetResolveFunction(TResolveFunction resolve);
// The system's resolver (getaddrinfo).
int ResolveIpv4(const std::string& host, in_addr_t& address);
// Worker threads that have not ended yet (a cancelled lookup's thread runs to its end).
int RunningLookups();

}  // namespace telv
