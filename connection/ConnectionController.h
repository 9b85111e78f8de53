// The server connection: connects to the address and port the operator typed, performs the
// two-step handshake, drains the socket into the receive buffer and acts on every message,
// sends the requests and commands, and enforces the handshake time limit.
#pragma once

#include "ConnectionState.h"
#include "Protocol.h"
#include "SessionTables.h"
#include "SocketCore.h"
#include "StackBuffer.h"

#include <memory>
#include <string>
#include <vector>

namespace telv {

// How a connection, or an attempt to make one, ended.
enum class ConnectionEnd {
    OperatorAsked,  // the operator's disconnect
    Lost,           // the server closed it, a send failed or the handshake took too long
    AttemptFailed,  // the attempt could not start or the server could not be reached
};

// The controls of the window that the controller reads and sets, and the log.
class ConnectionView {
public:
    virtual ~ConnectionView() = default;
    virtual std::string AddressText() const = 0;  // AddrEdit
    virtual std::string PortText() const = 0;     // PortEdit
    virtual void SetServerEditsEnabled(bool enabled) = 0;
    virtual void SetConnectCaption(const std::string& caption) = 0;
    virtual bool AutoRequestChecked() const = 0;
    virtual bool EventsChecked() const = 0;
    virtual void LogEvent(const std::string& text) = 0;
    // The TCP connection to this server succeeded: record it in the history and save it.
    virtual void ServerConnected(const std::string& address, const std::string& portText, std::uint16_t port) = 0;
    // News for whoever keeps the connection up: it ended (after its log lines), or its handshake
    // is complete.
    virtual void ConnectionEnded(ConnectionEnd /*how*/) {}
    virtual void ConnectionRunning() {}
    // The server's version, as "a.b.c.d", right after its log line.
    virtual void ServerVersionReceived(const std::string& /*version*/) {}
    // An attempt failed with this socket error before a connection was made, right after the
    // error's log line (the text), and before ConnectionEnded.
    virtual void ConnectAttemptFailed(int /*error*/, const std::string& /*text*/) {}
};

class ConnectionController {
public:
    static constexpr int kDefaultPort = 5100;
    static constexpr int kHandshakeTicks = 200;  // of the 100 ms timer: 20 s
    static constexpr int kFirstWaitMs = 3000;
    static constexpr int kLaterWaitMs = 0;
    // One read notification receives blocks of at most kReadBlockBytes and handles the messages
    // after each, so that the receive buffer holds one block and an unfinished message at most.
    // After kMaxDrainBytes the event loop runs again; bytes still waiting bring another notification.
    // One block a turn: 64 KiB of the smallest messages are some 3,600 log lines, which keeps a
    // turn of the event loop short under a flood of notices.
    static constexpr int kReadBlockBytes = 64 << 10;
    static constexpr std::size_t kMaxDrainBytes = std::size_t{64} << 10;
    // The rest of a list message whose header has come completes nothing before its last byte,
    // so it is received in reads of up to what it still lacks, up to kMaxListBytesPerTurn a
    // turn beside the blocks above: a 56 MB list takes a few turns instead of hundreds.
    static constexpr std::size_t kMaxListBytesPerTurn = std::size_t{16} << 20;

    ConnectionController(ConnectionView& view, SessionTables& tables);
    ~ConnectionController();
    ConnectionController(const ConnectionController&) = delete;
    ConnectionController& operator=(const ConnectionController&) = delete;

    // Operator actions and timers.
    void ConnectDisconectActionExecute();
    void RequestActionExecute();
    void EventCheckBoxClick();
    bool ActionsEnabled() const { return State == Running; }
    void TimerTimer();
    void ReqTimerTimer();

    // Sends a message over the connection at once; nothing without a socket. A send that fails
    // is logged and ends the connection (a half-sent message would corrupt the stream).
    void Send(const Bytes& message);
    void SendRequest(int requestCode);
    // Sends operator commands one after another, as an operator action.
    void SendCommands(const std::vector<Bytes>& messages);
    bool HasSocket() const { return Socket != nullptr; }

    // The tables have finished a message they handled over several turns: the messages held
    // meanwhile are handed over in order, then the socket is read again.
    void ResumeDispatch();
    // A message the tables are still handling is finished at once, and those held behind it are
    // handed over; for operator actions that must see whole refreshes (sorting, filtering,
    // exporting).
    void SettlePending();

    // Acts on bytes as if the socket had just delivered them: appends them to RecvBuffer and
    // dispatches every complete message, as a read notification does after draining the socket.
    // Lets the fuzz target and the reliability tests drive the message handling without a socket.
    void BytesReceived(const std::uint8_t* bytes, std::size_t count);

    // The text of the port box as the controller reads it: an integer, or the default port.
    static int PortFromText(const std::string& text);

    int State = Disconnected;
    int TimeoutTicks = 0;
    int ClientVersion[4] = {0, 0, 0, 0};
    std::unique_ptr<TSyncSocket> Socket;
    StackBuffer RecvBuffer;

private:
    void Connect();
    void Disconnect(ConnectionEnd how);
    void AttemptFailed(int error);  // logs the error and reports the failed attempt
    void SocketConnect(TAsyncSocket* sender, int error);
    void SocketRead(TAsyncSocket* sender);
    void SocketDisconnect(ConnectionEnd how = ConnectionEnd::Lost);
    void DispatchMessages();
    // Finishes every message the tables are handling and hands over those held behind it.
    void FlushHeld();
    // Bytes the list message at the front of the receive buffer still lacks (0: none).
    std::size_t ListBytesOwed() const;
    void Act(const DecodedMessage& message);
    void RetireSocket();
    void EndIfSendFailed();

    ConnectionView& view_;
    SessionTables& tables_;
    std::unique_ptr<TSyncSocket> retiredSocket_;  // closed inside its own handler; freed later
    std::string connectAddress_;                  // the boxes when the attempt started
    std::string connectPortText_;
    int failedSendError_ = 0;
    int handlerDepth_ = 0;
};

}  // namespace telv
