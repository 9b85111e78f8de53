#include "SocketCore.h"

#include "NameLookup.h"
#include "SocketLibrary.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace telv {
namespace {

constinit bool libraryStarted = false;  // started by this unit

// The program's own start and stop of the socket library.
struct ProgramSocketLibrary {
    ProgramSocketLibrary() { TAsyncSocket::SockInit(); }
    ~ProgramSocketLibrary() { TAsyncSocket::SockDone(); }
    ProgramSocketLibrary(const ProgramSocketLibrary&) = delete;
    ProgramSocketLibrary& operator=(const ProgramSocketLibrary&) = delete;
};
const ProgramSocketLibrary programSocketLibrary;

// The notification by which a finished name lookup reaches the socket through its queue, like
// the system's events (beyond the six; never passed to a handler as it is).
constexpr int kNameResolved = 0x100;

std::uint16_t PortInNetworkOrder(int port) { return htons(static_cast<std::uint16_t>(port & 0xFFFF)); }

// Sizes are ints in this interface; a negative one is refused before the system sees it.
bool ValidLength(int length) {
    if (length >= 0) return true;
    WSASetLastError(WSAEINVAL);
    return false;
}

}  // namespace

bool TAsyncSocket::SockInit() {
    if (!libraryStarted) libraryStarted = WSAStartup(MakeSocketVersion(2, 0)) == 0;
    return libraryStarted;
}

void TAsyncSocket::SockDone() {
    if (!libraryStarted) return;
    WSACleanup();
    libraryStarted = false;
}

TAsyncSocket::TAsyncSocket()
    : notifications_(std::make_unique<TNotificationQueue>(
          [this](const TSocketNotification& notification) { Dispatch(notification); })) {}

TAsyncSocket::~TAsyncSocket() {
    // A derived class has closed through its own Close already; this is the base's close.
    if (IsOpen()) TAsyncSocket::Close();
    lookup_.reset();  // before the queue it posts to
}

void TAsyncSocket::CancelLookup() {
    lookup_.reset();
    resolvedPending_ = false;
}

bool TAsyncSocket::Accept(TAsyncSocket& newSocket, sockaddr* address, socklen_t* length) {
    if (!IsOpen()) {
        WSASetLastError(WSAENOTSOCK);
        return false;
    }
    if (newSocket.IsOpen()) {
        WSASetLastError(WSAEINVAL);
        return false;
    }
    const int accepted = ::accept4(handle_, address, length, SOCK_NONBLOCK | SOCK_CLOEXEC);
    const int savedErrno = errno;
    notifications_->AcceptCalled();
    if (accepted < 0) {
        SetLastErrorFromErrno(savedErrno);
        return false;
    }
    newSocket.Adopt(accepted);
    return true;
}

void TAsyncSocket::Adopt(int handle) {
    handle_ = handle;
    notifications_->Select(handle_, FD_ALL_EVENTS);
}

void TAsyncSocket::Close() {
    if (IsOpen()) {
        notifications_->Select(-1, 0);  // the watch ends before the handle goes
        ::close(handle_);
        handle_ = -1;
    }
    CancelLookup();
    OnAccept = nullptr;
    OnClose = nullptr;
    OnConnect = nullptr;
    OnOOB = nullptr;
    OnRead = nullptr;
    OnWrite = nullptr;
}

int TAsyncSocket::Receive(void* buffer, int length, int flags) {
    if (!IsOpen()) {
        WSASetLastError(WSAENOTSOCK);
        return -1;
    }
    if (!ValidLength(length)) return -1;
    const auto received = ::recv(handle_, buffer, static_cast<std::size_t>(length), flags);
    const int savedErrno = errno;
    notifications_->ReceiveCalled();
    if (received < 0) {
        SetLastErrorFromErrno(savedErrno);
        return -1;
    }
    return static_cast<int>(received);
}

int TAsyncSocket::Send(const void* data, int length, int flags) {
    if (!IsOpen()) {
        WSASetLastError(WSAENOTSOCK);
        return -1;
    }
    if (!ValidLength(length)) return -1;
    const auto sent = ::send(handle_, data, static_cast<std::size_t>(length), flags | MSG_NOSIGNAL);
    if (sent < 0) {
        if (SetLastErrorFromErrno() == WSAEWOULDBLOCK) notifications_->SendBlocked();
        return -1;
    }
    return static_cast<int>(sent);
}

void TAsyncSocket::Call(const THandler& handler, int error) {
    // A copy runs: the handler may close the socket (dropping the handlers) or delete it.
    if (const THandler running = handler) running(this, error);
}

void TAsyncSocket::DoAccept(int error) { Call(OnAccept, error); }
void TAsyncSocket::DoClose(int error) { Call(OnClose, error); }
void TAsyncSocket::DoConnect(int error) { Call(OnConnect, error); }
void TAsyncSocket::DoOOB(int error) { Call(OnOOB, error); }
void TAsyncSocket::DoRead(int error) { Call(OnRead, error); }
void TAsyncSocket::DoWrite(int error) { Call(OnWrite, error); }

bool TAsyncSocket::Connect(const sockaddr* address, socklen_t length) {
    if (!IsOpen()) {
        WSASetLastError(WSAENOTSOCK);
        return false;
    }
    if (::connect(handle_, address, length) == 0) {
        notifications_->ConnectStarted();  // FD_CONNECT comes all the same
        WSASetLastError(0);
        return true;
    }
    if (errno == EINPROGRESS || errno == EINTR) {
        // Under way; a non-blocking connect says "would block" in this numbering.
        notifications_->ConnectStarted();
        WSASetLastError(WSAEWOULDBLOCK);
        return true;
    }
    SetLastErrorFromErrno();
    return false;
}

int TAsyncSocket::ReceiveFrom(void* buffer, int length, sockaddr* address, socklen_t* addressLength, int flags) {
    if (!IsOpen()) {
        WSASetLastError(WSAENOTSOCK);
        return -1;
    }
    if (!ValidLength(length)) return -1;
    const auto received = ::recvfrom(handle_, buffer, static_cast<std::size_t>(length), flags, address, addressLength);
    const int savedErrno = errno;
    notifications_->ReceiveCalled();
    if (received < 0) {
        SetLastErrorFromErrno(savedErrno);
        return -1;
    }
    return static_cast<int>(received);
}

int TAsyncSocket::SendTo(const void* data, int length, const sockaddr* address, socklen_t addressLength, int flags) {
    if (!IsOpen()) {
        WSASetLastError(WSAENOTSOCK);
        return -1;
    }
    if (!ValidLength(length)) return -1;
    const auto sent =
        ::sendto(handle_, data, static_cast<std::size_t>(length), flags | MSG_NOSIGNAL, address, addressLength);
    if (sent < 0) {
        if (SetLastErrorFromErrno() == WSAEWOULDBLOCK) notifications_->SendBlocked();
        return -1;
    }
    return static_cast<int>(sent);
}

bool TAsyncSocket::Open(int port, const char* address, int type, int protocol) {
    const auto failed = [this] {
        const int error = WSAGetLastError();
        Close();
        WSASetLastError(error);
        return false;
    };
    if (IsOpen()) {
        WSASetLastError(WSAEINVAL);
        return failed();
    }
    if (!SocketLibraryStarted()) {
        WSASetLastError(WSANOTINITIALISED);
        return failed();
    }
    const int handle = ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
    if (handle < 0) {
        SetLastErrorFromErrno();
        return failed();
    }
    handle_ = handle;

    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = PortInNetworkOrder(port);
    if (address == nullptr || *address == '\0') {
        local.sin_addr.s_addr = htonl(INADDR_ANY);
    } else {
        local.sin_addr.s_addr = ::inet_addr(address);
        if (local.sin_addr.s_addr == INADDR_NONE) {
            WSASetLastError(WSAEINVAL);
            return failed();
        }
    }
    if (::bind(handle_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        SetLastErrorFromErrno();
        return failed();
    }
    notifications_->Select(handle_, FD_ALL_EVENTS);
    return true;
}

bool TAsyncSocket::ConnectByName(const char* host, int port) {
    if (!IsOpen()) {
        WSASetLastError(WSAENOTSOCK);
        return false;
    }
    if (host == nullptr || *host == '\0') {
        WSASetLastError(WSAEINVAL);
        return false;
    }
    CancelLookup();  // a new attempt replaces a lookup under way or one whose result waits
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = PortInNetworkOrder(port);
    remote.sin_addr.s_addr = ::inet_addr(host);
    if (remote.sin_addr.s_addr != INADDR_NONE) return Connect(reinterpret_cast<const sockaddr*>(&remote), sizeof remote);

    // The result comes back on this thread and waits its turn in the queue, so that the connect
    // and the handlers it leads to run from the event loop as every notification does.
    lookup_ = TNameLookup::Start(host, [this, remote](int error, in_addr_t address) mutable {
        remote.sin_addr.s_addr = address;
        resolved_ = remote;
        resolvedError_ = error;
        resolvedPending_ = true;
        notifications_->Post({handle_, kNameResolved, 0});
    });
    if (!lookup_) return false;
    WSASetLastError(WSAEWOULDBLOCK);
    return true;
}

// The lookup of ConnectByName has ended: its failure, or the failure of the connect to the
// address found, is the attempt's outcome, and nothing more of the attempt is reported.
void TAsyncSocket::ConnectResolved() {
    if (!resolvedPending_) return;  // cancelled after its result was queued
    CancelLookup();
    int error = resolvedError_;
    if (error == 0) {
        if (Connect(reinterpret_cast<const sockaddr*>(&resolved_), sizeof resolved_)) return;
        error = WSAGetLastError() ? WSAGetLastError() : WSAEINVAL;
        notifications_->ConnectAbandoned();
    }
    DoConnect(error);
}

int TAsyncSocket::Available() const {
    int count = 0;
    if (!IsOpen() || ::ioctl(handle_, FIONREAD, &count) != 0) return 0;
    return count;
}

std::string TAsyncSocket::ErrorText(int code) {
    if (code == -1) code = WSAGetLastError();
    return "Ошибка - " + std::to_string(code) + " \"" + SystemErrorText(code) + "\"";
}

void TAsyncSocket::Dispatch(const TSocketNotification& notification) {
    int error = notification.error;
    switch (notification.event) {
    case FD_ACCEPT:
        DoAccept(error);
        break;
    case FD_READ: {
        int count = 0;
        if (::ioctl(handle_, FIONREAD, &count) != 0) error = SetLastErrorFromErrno();
        // Bytes already taken by an earlier receive leave nothing to report.
        if (count > 0 && error == 0) DoRead(error);
        break;
    }
    case FD_WRITE:
        DoWrite(error);
        break;
    case FD_OOB:
        DoOOB(error);
        break;
    case FD_CONNECT:
        DoConnect(error);
        break;
    case FD_CLOSE:
        DoClose(error);
        break;
    case kNameResolved:
        ConnectResolved();
        break;
    default:
        break;
    }
    // The handler may have deleted this socket: nothing after it.
}

}  // namespace telv
