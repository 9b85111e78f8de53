#include "Loopback.h"
#include "NotificationQueue.h"
#include "SocketLibrary.h"
#include "SocketWait.h"
#include "WinsockErrors.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace telv {
namespace {

using test::TFd;

struct ErrnoCase {
    int errnoValue;
    int winsock;
};

class ErrnoMapping : public ::testing::TestWithParam<ErrnoCase> {};

TEST_P(ErrnoMapping, GivesTheWinsockCode) {
    EXPECT_EQ(WinsockErrorFromErrno(GetParam().errnoValue), GetParam().winsock);
    EXPECT_EQ(SetLastErrorFromErrno(GetParam().errnoValue), GetParam().winsock);
    EXPECT_EQ(WSAGetLastError(), GetParam().winsock);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ErrnoMapping,
    ::testing::Values(ErrnoCase{0, 0}, ErrnoCase{EINTR, WSAEINTR}, ErrnoCase{EINVAL, WSAEINVAL},
                      ErrnoCase{EAGAIN, WSAEWOULDBLOCK}, ErrnoCase{EINPROGRESS, WSAEINPROGRESS},
                      ErrnoCase{ENOTSOCK, WSAENOTSOCK}, ErrnoCase{EADDRINUSE, WSAEADDRINUSE},
                      ErrnoCase{ENETDOWN, WSAENETDOWN}, ErrnoCase{ENETUNREACH, WSAENETUNREACH},
                      ErrnoCase{ECONNABORTED, WSAECONNABORTED}, ErrnoCase{ECONNRESET, WSAECONNRESET},
                      ErrnoCase{EPIPE, WSAECONNRESET}, ErrnoCase{ENOTCONN, WSAENOTCONN},
                      ErrnoCase{ETIMEDOUT, WSAETIMEDOUT}, ErrnoCase{ECONNREFUSED, WSAECONNREFUSED},
                      ErrnoCase{EHOSTUNREACH, WSAEHOSTUNREACH},
                      ErrnoCase{EIO, EIO}));  // no Winsock counterpart: kept

TEST(LastError, BelongsToTheCallingThread) {
    WSASetLastError(WSAECONNREFUSED);
    int seenByOther = -1;
    std::thread other([&] {
        seenByOther = WSAGetLastError();
        WSASetLastError(WSAETIMEDOUT);
    });
    other.join();
    EXPECT_EQ(seenByOther, 0);
    EXPECT_EQ(WSAGetLastError(), WSAECONNREFUSED);
}

struct SentenceCase {
    const char* text;
    const char* expected;
};

class SentenceEnd : public ::testing::TestWithParam<SentenceCase> {};

TEST_P(SentenceEnd, IsRemovedOnlyWherePresent) {
    EXPECT_EQ(WithoutSentenceEnd(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, SentenceEnd,
                         ::testing::Values(SentenceCase{"Connection refused.\r\n", "Connection refused"},
                                           SentenceCase{"Connection refused.\n", "Connection refused"},
                                           SentenceCase{"Connection refused.", "Connection refused"},
                                           SentenceCase{"Connection refused", "Connection refused"},
                                           SentenceCase{"No text\r\n", "No text"},
                                           SentenceCase{"Etc..", "Etc."}, SentenceCase{"a.b", "a.b"},
                                           SentenceCase{".", ""}, SentenceCase{"", ""}));

std::string StrerrorText(int number) { return WithoutSentenceEnd(std::strerror(number)); }

TEST(SystemErrorText, IsTheTextOfTheMappedErrno) {
    EXPECT_EQ(SystemErrorText(WSAECONNREFUSED), StrerrorText(ECONNREFUSED));
    EXPECT_EQ(SystemErrorText(WSAEWOULDBLOCK), StrerrorText(EWOULDBLOCK));
    EXPECT_EQ(SystemErrorText(WSAETIMEDOUT), StrerrorText(ETIMEDOUT));
    EXPECT_EQ(SystemErrorText(EIO), StrerrorText(EIO));  // an errno kept as it was
    EXPECT_FALSE(SystemErrorText(WSAECONNREFUSED).ends_with('.'));
}

struct ResolverCase {
    int resolverError;
    int winsock;
    bool ownText;  // the code shows this error's text (else another's of the same code)
};

class ResolverMapping : public ::testing::TestWithParam<ResolverCase> {};

// Failures of name resolution keep their own code and show the resolver's own text.
TEST_P(ResolverMapping, GivesTheWinsockCodeAndTheResolversText) {
    EXPECT_EQ(WinsockErrorFromResolver(GetParam().resolverError), GetParam().winsock);
    if (GetParam().ownText) {
        EXPECT_EQ(SystemErrorText(GetParam().winsock), WithoutSentenceEnd(::gai_strerror(GetParam().resolverError)));
    }
}

INSTANTIATE_TEST_SUITE_P(Resolver, ResolverMapping,
                         ::testing::Values(ResolverCase{EAI_NONAME, WSAHOST_NOT_FOUND, true},
                                           ResolverCase{EAI_AGAIN, WSATRY_AGAIN, true},
                                           ResolverCase{EAI_FAIL, WSANO_RECOVERY, true},
                                           ResolverCase{EAI_NODATA, WSANO_DATA, true},
                                           ResolverCase{EAI_MEMORY, WSA_NOT_ENOUGH_MEMORY, false},
                                           ResolverCase{EAI_FAMILY, WSAEAFNOSUPPORT, false},
                                           ResolverCase{EAI_OVERFLOW, WSANO_RECOVERY, false}));

TEST(SystemErrorText, IsEmptyForCodesWithoutText) {
    EXPECT_EQ(SystemErrorText(10999), "");
    EXPECT_EQ(SystemErrorText(-5), "");
    EXPECT_EQ(SystemErrorText(123456), "");
}

TEST(SocketLibrary, CountsStartsAndStops) {
    const int before = SocketLibraryUsers();
    EXPECT_EQ(WSAStartup(MakeSocketVersion(2, 0)), 0);
    EXPECT_EQ(WSAStartup(MakeSocketVersion(2, 2)), 0);
    EXPECT_EQ(SocketLibraryUsers(), before + 2);
    EXPECT_TRUE(SocketLibraryStarted());
    EXPECT_EQ(WSACleanup(), 0);
    EXPECT_EQ(WSACleanup(), 0);
    EXPECT_EQ(SocketLibraryUsers(), before);
}

TEST(SocketLibrary, RefusesVersionZeroAndStopsBelowZero) {
    const int before = SocketLibraryUsers();
    EXPECT_EQ(WSAStartup(MakeSocketVersion(0, 9)), WSAVERNOTSUPPORTED);
    EXPECT_EQ(SocketLibraryUsers(), before);
    for (int i = 0; i < before; ++i) ASSERT_EQ(WSACleanup(), 0);
    EXPECT_EQ(WSACleanup(), -1);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
    for (int i = 0; i < before; ++i) ASSERT_EQ(WSAStartup(MakeSocketVersion(2, 0)), 0);
}

TEST(WaitForSocket, WorksAboveDescriptor1023) {
    test::TListener listener;
    TFd client = test::ConnectTo(listener.Port());
    TFd high{::fcntl(client.Get(), F_DUPFD_CLOEXEC, 1500)};
    ASSERT_GE(high.Get(), 1500) << std::strerror(errno);
    EXPECT_EQ(WaitForSocket(high.Get(), POLLOUT, 1000), 1);
    const test::TStopwatch watch;
    EXPECT_EQ(WaitForSocket(high.Get(), POLLIN, 30), 0);  // nothing sent
    EXPECT_GE(watch.ElapsedMs(), 29);
}

TEST(WaitForSocket, FailsForAClosedHandle) {
    EXPECT_EQ(WaitForSocket(-1, POLLIN, 10), -1);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
}

// --- Notification queue, fed by hand ---

class QueueTest : public ::testing::Test {
protected:
    std::vector<TSocketNotification> delivered;
    std::unique_ptr<TNotificationQueue> queue = std::make_unique<TNotificationQueue>(
        [this](const TSocketNotification& n) { delivered.push_back(n); });
};

TEST_F(QueueTest, DeliversPostedNotificationsInOrderThroughTheEventLoop) {
    queue->Post({7, FD_CONNECT, 0});
    queue->Post({7, FD_WRITE, 0});
    queue->Post({7, FD_CLOSE, WSAECONNRESET});
    EXPECT_TRUE(delivered.empty());  // never from inside Post
    ASSERT_TRUE(test::PumpUntil([&] { return delivered.size() == 3; }));
    EXPECT_EQ(delivered[0].event, FD_CONNECT);
    EXPECT_EQ(delivered[1].event, FD_WRITE);
    EXPECT_EQ(delivered[2].event, FD_CLOSE);
    EXPECT_EQ(delivered[2].error, WSAECONNRESET);
    EXPECT_EQ(queue->Queued(), 0u);
}

TEST_F(QueueTest, TakeRemovesTheOldestWithoutDelivering) {
    queue->Post({3, FD_READ, 0});
    queue->Post({3, FD_CLOSE, 0});
    const auto first = queue->Take();
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->event, FD_READ);
    test::PumpFor(30);
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0].event, FD_CLOSE);
    EXPECT_FALSE(queue->Take().has_value());
}

TEST_F(QueueTest, EndingTheWatchDropsWhatIsQueued) {
    queue->Post({3, FD_READ, 0});
    queue->Select(-1, 0);
    test::PumpFor(30);
    EXPECT_TRUE(delivered.empty());
}

TEST_F(QueueTest, DestroyedQueueDeliversNothing) {
    queue->Post({3, FD_READ, 0});
    queue->Post({3, FD_CLOSE, 0});
    queue.reset();
    test::PumpFor(30);
    EXPECT_TRUE(delivered.empty());
}

TEST_F(QueueTest, ReceiverMayDestroyTheQueue) {
    queue = std::make_unique<TNotificationQueue>([this](const TSocketNotification& n) {
        delivered.push_back(n);
        queue.reset();
    });
    queue->Post({3, FD_READ, 0});
    queue->Post({3, FD_CLOSE, 0});
    test::PumpFor(30);
    EXPECT_EQ(delivered.size(), 1u);
}

TEST(WaitIdleHook, RunsTheInstalledHookUntilRemoved) {
    int runs = 0;
    SetWaitIdleHook([&] { ++runs; });
    RunWaitIdleHook();
    RunWaitIdleHook();
    SetWaitIdleHook({});
    RunWaitIdleHook();
    EXPECT_EQ(runs, 2);
}

}  // namespace
}  // namespace telv
