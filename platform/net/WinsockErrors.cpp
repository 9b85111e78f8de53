#include "WinsockErrors.h"

#include <netdb.h>

#include <cstring>
#include <utility>

namespace telv {
namespace {

thread_local int lastError = 0;

// Winsock code and the errno it stands for. Where several errno values share a code, the first
// row of the code names the errno whose text the code shows.
constexpr std::pair<int, int> kErrorPairs[] = {
    {WSANOERROR, 0},
    {WSA_NOT_ENOUGH_MEMORY, ENOMEM},
    {WSAEINTR, EINTR},
    {WSAEBADF, EBADF},
    {WSAEACCES, EACCES},
    {WSAEACCES, EPERM},
    {WSAEFAULT, EFAULT},
    {WSAEINVAL, EINVAL},
    {WSAEMFILE, EMFILE},
    {WSAEMFILE, ENFILE},
    {WSAEWOULDBLOCK, EWOULDBLOCK},
    {WSAEWOULDBLOCK, EAGAIN},
    {WSAEINPROGRESS, EINPROGRESS},
    {WSAEALREADY, EALREADY},
    {WSAENOTSOCK, ENOTSOCK},
    {WSAEDESTADDRREQ, EDESTADDRREQ},
    {WSAEMSGSIZE, EMSGSIZE},
    {WSAEPROTOTYPE, EPROTOTYPE},
    {WSAENOPROTOOPT, ENOPROTOOPT},
    {WSAEPROTONOSUPPORT, EPROTONOSUPPORT},
    {WSAESOCKTNOSUPPORT, ESOCKTNOSUPPORT},
    {WSAEOPNOTSUPP, EOPNOTSUPP},
    {WSAEPFNOSUPPORT, EPFNOSUPPORT},
    {WSAEAFNOSUPPORT, EAFNOSUPPORT},
    {WSAEADDRINUSE, EADDRINUSE},
    {WSAEADDRNOTAVAIL, EADDRNOTAVAIL},
    {WSAENETDOWN, ENETDOWN},
    {WSAENETUNREACH, ENETUNREACH},
    {WSAENETRESET, ENETRESET},
    {WSAECONNABORTED, ECONNABORTED},
    {WSAECONNRESET, ECONNRESET},
    {WSAECONNRESET, EPIPE},  // sending on a connection the peer has closed
    {WSAENOBUFS, ENOBUFS},
    {WSAEISCONN, EISCONN},
    {WSAENOTCONN, ENOTCONN},
    {WSAESHUTDOWN, ESHUTDOWN},
    {WSAETOOMANYREFS, ETOOMANYREFS},
    {WSAETIMEDOUT, ETIMEDOUT},
    {WSAECONNREFUSED, ECONNREFUSED},
    {WSAELOOP, ELOOP},
    {WSAENAMETOOLONG, ENAMETOOLONG},
    {WSAEHOSTDOWN, EHOSTDOWN},
    {WSAEHOSTUNREACH, EHOSTUNREACH},
    {WSAENOTEMPTY, ENOTEMPTY},
    {WSAEUSERS, EUSERS},
    {WSAEDQUOT, EDQUOT},
    {WSAESTALE, ESTALE},
    {WSAEREMOTE, EREMOTE},
};

// Winsock code and the getaddrinfo error it stands for; the first row of a code names the error
// whose text the code shows.
constexpr std::pair<int, int> kResolverPairs[] = {
    {WSAHOST_NOT_FOUND, EAI_NONAME},
    {WSATRY_AGAIN, EAI_AGAIN},
    {WSANO_RECOVERY, EAI_FAIL},
    {WSANO_DATA, EAI_NODATA},
    {WSANO_DATA, EAI_ADDRFAMILY},
    {WSA_NOT_ENOUGH_MEMORY, EAI_MEMORY},
    {WSAEAFNOSUPPORT, EAI_FAMILY},
    {WSAESOCKTNOSUPPORT, EAI_SOCKTYPE},
    {WSATYPE_NOT_FOUND, EAI_SERVICE},
    {WSAEINVAL, EAI_BADFLAGS},
};

}  // namespace

int WinsockErrorFromResolver(int resolverError) {
    for (const auto& [code, error] : kResolverPairs)
        if (error == resolverError) return code;
    return WSANO_RECOVERY;
}

std::string WithoutSentenceEnd(std::string text) {
    if (text.ends_with("\r\n"))
        text.resize(text.size() - 2);
    else if (text.ends_with('\n'))
        text.pop_back();
    if (text.ends_with('.')) text.pop_back();
    return text;
}

int WSAGetLastError() { return lastError; }

void WSASetLastError(int code) { lastError = code; }

int WinsockErrorFromErrno(int errnoValue) {
    for (const auto& [code, number] : kErrorPairs)
        if (number == errnoValue) return code;
    return errnoValue;
}

int ErrnoFromWinsockError(int code) {
    for (const auto& [winsock, number] : kErrorPairs)
        if (winsock == code) return number;
    return 0;
}

int SetLastErrorFromErrno(int errnoValue) {
    const int code = WinsockErrorFromErrno(errnoValue);
    WSASetLastError(code);
    return code;
}

std::string SystemErrorText(int code) {
    // Codes of name resolution that have no errno show the resolver's text.
    if ((code >= WSAHOST_NOT_FOUND && code <= WSANO_DATA) || code == WSATYPE_NOT_FOUND) {
        for (const auto& [winsock, error] : kResolverPairs)
            if (winsock == code) return WithoutSentenceEnd(::gai_strerror(error));
    }
    // A code outside the table is an errno kept as it was (see WinsockErrorFromErrno).
    const int mapped = ErrnoFromWinsockError(code);
    const int number = mapped != 0 ? mapped : code;
    if (number < 0 || (number != 0 && strerrordesc_np(number) == nullptr)) return {};
    char buffer[256];
    return WithoutSentenceEnd(strerror_r(number, buffer, sizeof buffer));
}

}  // namespace telv
