// The socket layer: a non-blocking IPv4 socket that reports its events to handlers on the GUI
// thread (TAsyncSocket), and one whose data calls block for a bounded time (TSyncSocket).
// Failures return false or −1 and leave a Winsock-numbered code as the thread's last error
// (WSAGetLastError); nothing throws. Every call and every handler runs on the thread that
// created the socket, which needs a running Qt event loop for the notifications.
#pragma once

#include "NotificationQueue.h"
#include "WinsockErrors.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <functional>
#include <memory>
#include <string>

namespace telv {

class TNameLookup;

class TAsyncSocket {
public:
    // sender is the socket that raised the event; error its Winsock code, 0 for none.
    using THandler = std::function<void(TAsyncSocket* sender, int error)>;

    // Starts the socket library for the program unless this unit already did; true when started.
    // Done once when the program starts.
    static bool SockInit();
    // Stops the library if SockInit started it. Done once when the program ends.
    static void SockDone();

    TAsyncSocket();
    virtual ~TAsyncSocket();
    TAsyncSocket(const TAsyncSocket&) = delete;
    TAsyncSocket& operator=(const TAsyncSocket&) = delete;

    // Accepts a connection into newSocket, which must be closed; it is opened and watched.
    virtual bool Accept(TAsyncSocket& newSocket, sockaddr* address, socklen_t* length);
    // Closes the handle if open and, in every case, removes all six handlers and cancels a name
    // lookup under way.
    virtual void Close();
    virtual int Receive(void* buffer, int length, int flags);
    // Never raises SIGPIPE: a send on a closed connection fails with an error.
    virtual int Send(const void* data, int length, int flags);
    virtual void DoAccept(int error);
    virtual void DoClose(int error);
    virtual void DoConnect(int error);
    virtual void DoOOB(int error);
    virtual void DoRead(int error);
    virtual void DoWrite(int error);
    // True when connected or under way (last error WSAEWOULDBLOCK; FD_CONNECT tells the outcome).
    virtual bool Connect(const sockaddr* address, socklen_t length);
    virtual int ReceiveFrom(void* buffer, int length, sockaddr* address, socklen_t* addressLength, int flags);
    virtual int SendTo(const void* data, int length, const sockaddr* address, socklen_t addressLength, int flags);

    // Creates a non-blocking AF_INET socket, binds it to the dotted IPv4 address (any address
    // when empty or null) and port, and watches all six events. Fails on an open socket, and
    // every failure leaves the socket closed without handlers.
    bool Open(int port, const char* address, int type, int protocol);
    // Connects to a dotted IPv4 address as Connect does. A host name is looked up first, on a
    // worker thread, so that the event loop goes on: true with WSAEWOULDBLOCK, and the outcome
    // comes through OnConnect: the resolver's failure (WSAHOST_NOT_FOUND, ...), the failure of
    // the connect to the name's first IPv4 address, or that connection's own outcome.
    bool ConnectByName(const char* host, int port);
    // The bytes that can be read now; 0 when closed or unknown.
    int Available() const;
    // "Ошибка - <code> "<system text>"" (UTF-8); code −1 stands for the thread's last error.
    static std::string ErrorText(int code);

    int Handle() const { return handle_; }
    bool IsOpen() const { return handle_ >= 0; }

    THandler OnAccept;
    THandler OnClose;
    THandler OnConnect;
    THandler OnOOB;
    THandler OnRead;
    THandler OnWrite;

protected:
    TNotificationQueue& Notifications() { return *notifications_; }

private:
    void Dispatch(const TSocketNotification& notification);
    void Adopt(int handle);
    void Call(const THandler& handler, int error);
    void CancelLookup();
    void ConnectResolved();

    int handle_ = -1;
    std::unique_ptr<TNotificationQueue> notifications_;
    std::unique_ptr<TNameLookup> lookup_;  // the name being looked up for ConnectByName
    sockaddr_in resolved_{};               // its outcome, queued for the event loop
    int resolvedError_ = 0;
    bool resolvedPending_ = false;
};

// Data calls block the caller, the socket stays non-blocking and its notifications go on
// reaching the inherited handlers. Connect, send and receive wait on the socket itself; accept,
// receive-from and send-to wait for the socket's own notification (a message-pump wait that
// dispatches nothing). While such a wait runs, every other call but Close fails with
// WSAEINPROGRESS; Close cancels it (WSAEINTR).
class TSyncSocket : public TAsyncSocket {
public:
    // firstWaitMs: the longest wait for writability when connecting, the whole time a send may
    // take, the wait for the first bytes of a receive, and the limit of a message-pump wait
    // (0 = none). laterWaitMs: in a receive, the longest pause after some bytes have come
    // (0 = return after the first bytes).
    TSyncSocket(int firstWaitMs, int laterWaitMs);
    ~TSyncSocket() override;

    bool Accept(TAsyncSocket& newSocket, sockaddr* address, socklen_t* length) override;
    void Close() override;
    // Up to length bytes; 0 at the end of the stream before any byte; −1 with WSAEWOULDBLOCK
    // when nothing came within the first wait.
    int Receive(void* buffer, int length, int flags) override;
    // length once all bytes are accepted, 0 for length ≤ 0; −1 with WSAETIMEDOUT when they are
    // not accepted within the first-wait time-out (some may have gone).
    int Send(const void* data, int length, int flags) override;
    // Waits for the attempt to end, at most the first-wait time-out (else WSAETIMEDOUT); the
    // outcome comes through OnConnect.
    bool Connect(const sockaddr* address, socklen_t length) override;
    int ReceiveFrom(void* buffer, int length, sockaddr* address, socklen_t* addressLength, int flags) override;
    int SendTo(const void* data, int length, const sockaddr* address, socklen_t addressLength, int flags) override;

    int FirstWait() const { return firstWaitMs_; }
    int LaterWait() const { return laterWaitMs_; }

private:
    class TDeadline;
    bool RefusedWhileWaiting() const;
    bool PumpWait(int event, const TDeadline& deadline);

    int firstWaitMs_;
    int laterWaitMs_;
    bool* pendingWait_ = nullptr;  // the active flag of the message-pump wait in progress
};

}  // namespace telv
