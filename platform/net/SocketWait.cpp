#include "SocketWait.h"

#include "WinsockErrors.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace telv {

int WaitForSocket(int handle, short events, int timeoutMs) {
    if (handle < 0) {
        WSASetLastError(WSAENOTSOCK);
        return -1;
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    int remaining = std::max(timeoutMs, 0);
    for (;;) {
        pollfd entry{handle, events, 0};
        const int result = ::poll(&entry, 1, remaining);
        if (result > 0) {
            if (entry.revents & POLLNVAL) {
                WSASetLastError(WSAENOTSOCK);
                return -1;
            }
            return 1;
        }
        if (result == 0) return 0;
        if (errno != EINTR) {
            SetLastErrorFromErrno();
            return -1;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        remaining = static_cast<int>(std::max<decltype(left)>(left, 0));
    }
}

}  // namespace telv
