// Socket error codes in Winsock numbering, the calling thread's last socket error, and the
// system's text of a code. Failures of the socket layer leave one of these codes behind.
#pragma once

#include <cerrno>
#include <string>

namespace telv {

inline constexpr int WSANOERROR = 0;
inline constexpr int WSA_NOT_ENOUGH_MEMORY = 8;
inline constexpr int WSAEINTR = 10004;
inline constexpr int WSAEBADF = 10009;
inline constexpr int WSAEACCES = 10013;
inline constexpr int WSAEFAULT = 10014;
inline constexpr int WSAEINVAL = 10022;
inline constexpr int WSAEMFILE = 10024;
inline constexpr int WSAEWOULDBLOCK = 10035;
inline constexpr int WSAEINPROGRESS = 10036;
inline constexpr int WSAEALREADY = 10037;
inline constexpr int WSAENOTSOCK = 10038;
inline constexpr int WSAEDESTADDRREQ = 10039;
inline constexpr int WSAEMSGSIZE = 10040;
inline constexpr int WSAEPROTOTYPE = 10041;
inline constexpr int WSAENOPROTOOPT = 10042;
inline constexpr int WSAEPROTONOSUPPORT = 10043;
inline constexpr int WSAESOCKTNOSUPPORT = 10044;
inline constexpr int WSAEOPNOTSUPP = 10045;
inline constexpr int WSAEPFNOSUPPORT = 10046;
inline constexpr int WSAEAFNOSUPPORT = 10047;
inline constexpr int WSAEADDRINUSE = 10048;
inline constexpr int WSAEADDRNOTAVAIL = 10049;
inline constexpr int WSAENETDOWN = 10050;
inline constexpr int WSAENETUNREACH = 10051;
inline constexpr int WSAENETRESET = 10052;
inline constexpr int WSAECONNABORTED = 10053;
inline constexpr int WSAECONNRESET = 10054;
inline constexpr int WSAENOBUFS = 10055;
inline constexpr int WSAEISCONN = 10056;
inline constexpr int WSAENOTCONN = 10057;
inline constexpr int WSAESHUTDOWN = 10058;
inline constexpr int WSAETOOMANYREFS = 10059;
inline constexpr int WSAETIMEDOUT = 10060;
inline constexpr int WSAECONNREFUSED = 10061;
inline constexpr int WSAELOOP = 10062;
inline constexpr int WSAENAMETOOLONG = 10063;
inline constexpr int WSAEHOSTDOWN = 10064;
inline constexpr int WSAEHOSTUNREACH = 10065;
inline constexpr int WSAENOTEMPTY = 10066;
inline constexpr int WSAEUSERS = 10068;
inline constexpr int WSAEDQUOT = 10069;
inline constexpr int WSAESTALE = 10070;
inline constexpr int WSAEREMOTE = 10071;
inline constexpr int WSAVERNOTSUPPORTED = 10092;
inline constexpr int WSANOTINITIALISED = 10093;
inline constexpr int WSATYPE_NOT_FOUND = 10109;
// Failures of name resolution.
inline constexpr int WSAHOST_NOT_FOUND = 11001;
inline constexpr int WSATRY_AGAIN = 11002;
inline constexpr int WSANO_RECOVERY = 11003;
inline constexpr int WSANO_DATA = 11004;

// The calling thread's last socket error (0 at thread start).
int WSAGetLastError();
void WSASetLastError(int code);

// The Winsock code of an errno value; an errno without a Winsock counterpart is kept as it is.
int WinsockErrorFromErrno(int errnoValue);
// The errno value a Winsock code stands for; 0 when the code has none.
int ErrnoFromWinsockError(int code);
// The Winsock code of a failure of getaddrinfo (an EAI_ code other than EAI_SYSTEM, which
// stands for errno).
int WinsockErrorFromResolver(int resolverError);
// Maps an errno value (by default the current one) to its Winsock code, stores that as the
// thread's last error and returns it.
int SetLastErrorFromErrno(int errnoValue = errno);

// text without one final line break ("\r\n" or "\n") and then one final full stop, each only
// where present.
std::string WithoutSentenceEnd(std::string text);

// The system's text for a code (strerror of the errno it stands for, the resolver's own text
// for a failure of name resolution), without a final line break or full stop; empty when the
// system has no text for it.
std::string SystemErrorText(int code);

}  // namespace telv
