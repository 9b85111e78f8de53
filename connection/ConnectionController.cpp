#include "ConnectionController.h"

#include "Cp1251.h"
#include "FieldTexts.h"
#include "Sysutil.h"

#include <netinet/in.h>

#include <algorithm>
#include <charconv>
#include <exception>
#include <vector>

namespace telv {
namespace {

// Counts nesting of handlers, so that a failed send ends the connection only once the
// outermost handler is done with the socket.
class HandlerScope {
public:
    explicit HandlerScope(int& depth) : depth_(depth) { ++depth_; }
    ~HandlerScope() { --depth_; }
    HandlerScope(const HandlerScope&) = delete;
    HandlerScope& operator=(const HandlerScope&) = delete;

private:
    int& depth_;
};

}  // namespace

ConnectionController::ConnectionController(ConnectionView& view, SessionTables& tables)
    : view_(view), tables_(tables) {}

ConnectionController::~ConnectionController() {
    // A message the tables still handle reads the receive buffer, which goes with the controller.
    tables_.FinishPending();
    // Deleting the socket closes it and detaches the handlers; nothing is sent or logged.
    Socket.reset();
}

int ConnectionController::PortFromText(const std::string& text) {
    std::size_t first = text.find_first_not_of(" \t");
    std::size_t last = text.find_last_not_of(" \t");
    if (first == std::string::npos) return kDefaultPort;
    if (text[first] == '+') ++first;
    int value = 0;
    const char* begin = text.data() + first;
    const char* end = text.data() + last + 1;
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || ptr != end) return kDefaultPort;
    return value;
}

void ConnectionController::ConnectDisconectActionExecute() {
    HandlerScope scope(handlerDepth_);
    retiredSocket_.reset();
    if (State == Disconnected)
        Connect();
    else
        Disconnect(ConnectionEnd::OperatorAsked);
}

void ConnectionController::Connect() {
    Socket.reset();
    RecvBuffer.DiscardAll();  // a new connection starts with the server's first byte
    connectAddress_ = view_.AddressText();
    connectPortText_ = view_.PortText();
    const auto port = static_cast<std::uint16_t>(PortFromText(connectPortText_) & 0xFFFF);
    if (port == 0) {
        view_.LogEvent(Format("Неверный порт сервера \"%s\"", connectPortText_.c_str()));
        view_.ConnectionEnded(ConnectionEnd::AttemptFailed);
        return;
    }
    Socket = std::make_unique<TSyncSocket>(kFirstWaitMs, kLaterWaitMs);
    const bool opened = Socket->Open(0, "0", SOCK_STREAM, IPPROTO_TCP);
    Socket->OnConnect = [this](TAsyncSocket* sender, int error) { SocketConnect(sender, error); };
    Socket->OnRead = [this](TAsyncSocket* sender, int) { SocketRead(sender); };
    Socket->OnClose = [this](TAsyncSocket*, int) { SocketDisconnect(); };
    State = Connecting;
    WSASetLastError(0);
    if (!opened || !Socket->ConnectByName(Utf8ToCp1251(connectAddress_).c_str(), port)) {
        // The attempt cannot start (empty or unknown address, no socket): say why and stay
        // ready for the next one instead of waiting in Connecting for ever.
        // A connect that timed out is still under way in the system: the socket goes, so that
        // nothing of this attempt reaches the controller later.
        const int error = WSAGetLastError();
        Socket.reset();
        State = Disconnected;
        AttemptFailed(error ? error : WSAEINVAL);
    }
}

void ConnectionController::Disconnect(ConnectionEnd how) {
    if (Socket) {
        Socket->Close();
        RetireSocket();
    }
    SocketDisconnect(how);
}

void ConnectionController::AttemptFailed(int error) {
    const std::string text = TAsyncSocket::ErrorText(error);
    view_.LogEvent(text);
    view_.ConnectAttemptFailed(error, text);
    view_.ConnectionEnded(ConnectionEnd::AttemptFailed);
}

// A closed socket is freed at the next operator action or timer tick, never inside one of its
// own handlers.
void ConnectionController::RetireSocket() { retiredSocket_ = std::move(Socket); }

void ConnectionController::SocketDisconnect(ConnectionEnd how) {
    FlushHeld();  // what arrived before the end is shown, as it would have been without holding
    view_.SetServerEditsEnabled(true);
    view_.SetConnectCaption("Подключить");
    State = Disconnected;
    TimeoutTicks = 0;
    view_.LogEvent("Соединение завершено");
    view_.ConnectionEnded(how);
}

void ConnectionController::SocketConnect(TAsyncSocket* sender, int error) {
    HandlerScope scope(handlerDepth_);
    if (sender != Socket.get()) return;
    if (error != 0) {
        // The attempt is over: its socket is closed (freed after this handler) so that no later
        // report of it can come back to life as a connection.
        Socket->Close();
        RetireSocket();
        State = Disconnected;
        AttemptFailed(error);
        return;
    }
    view_.SetServerEditsEnabled(false);
    view_.SetConnectCaption("Отключить");
    view_.LogEvent("Соединение установлено");
    const int port = PortFromText(connectPortText_);
    view_.ServerConnected(connectAddress_, connectPortText_, static_cast<std::uint16_t>(port & 0xFFFF));
    TimeoutTicks = kHandshakeTicks;
    State = WaitingHello;
    SendRequest(code::VersionRequest);
    EndIfSendFailed();
}

void ConnectionController::SocketRead(TAsyncSocket* sender) {
    HandlerScope scope(handlerDepth_);
    // While the tables handle a message, its bytes stay where they are: reading resumes after.
    if (sender != Socket.get() || tables_.Pending()) return;
    std::size_t drained = 0, listBytes = 0;
    while (drained < kMaxDrainBytes && sender == Socket.get() && !failedSendError_ && !tables_.Pending()) {
        const std::size_t owed = ListBytesOwed();
        const bool bulk = owed > static_cast<std::size_t>(kReadBlockBytes) && listBytes < kMaxListBytesPerTurn;
        const std::size_t want = bulk ? std::min(owed, kMaxListBytesPerTurn - listBytes) : std::size_t{kReadBlockBytes};
        const int n = static_cast<int>(std::min(static_cast<std::size_t>(std::max(Socket->Available(), 0)), want));
        if (n <= 0) break;
        std::uint8_t* room = RecvBuffer.Reserve(static_cast<std::size_t>(n));
        const int received = Socket->Receive(room, n, 0);
        RecvBuffer.Commit(received > 0 ? static_cast<std::size_t>(received) : 0);
        if (received <= 0) break;  // 0: end of stream, reported by the close notification
        (bulk ? listBytes : drained) += static_cast<std::size_t>(received);
        DispatchMessages();
    }
    EndIfSendFailed();
}

std::size_t ConnectionController::ListBytesOwed() const {
    const std::size_t length = ListMessageLength(State, RecvBuffer.Front(), RecvBuffer.Remaining());
    return length > RecvBuffer.Remaining() ? length - RecvBuffer.Remaining() : 0;
}

void ConnectionController::BytesReceived(const std::uint8_t* bytes, std::size_t count) {
    HandlerScope scope(handlerDepth_);
    tables_.FinishPending();  // appending may move the bytes a pending message reads
    RecvBuffer.Append(bytes, count);
    DispatchMessages();
    EndIfSendFailed();
}

void ConnectionController::ResumeDispatch() {
    HandlerScope scope(handlerDepth_);
    DispatchMessages();
    if (Socket && !tables_.Pending()) SocketRead(Socket.get());
    EndIfSendFailed();
}

void ConnectionController::SettlePending() {
    if (!tables_.Pending()) return;
    HandlerScope scope(handlerDepth_);
    tables_.FinishPending();
    ResumeDispatch();
}

void ConnectionController::FlushHeld() {
    while (tables_.Pending()) {
        tables_.FinishPending();
        DispatchMessages();
    }
}

void ConnectionController::DispatchMessages() {
    while (RecvBuffer.Remaining() > 0 && !tables_.Pending()) {
        const DecodedMessage m = DecodeNext(State, RecvBuffer.Front(), RecvBuffer.Remaining());
        switch (m.outcome) {
        case DecodeOutcome::Incomplete: return;
        case DecodeOutcome::Skip: RecvBuffer.Consume(m.length); break;
        case DecodeOutcome::DiscardAll: RecvBuffer.DiscardAll(); break;
        case DecodeOutcome::Message:
            RecvBuffer.Consume(m.length);  // the bytes stay readable until the next append
            try {
                Act(m);
            } catch (const std::exception& e) {
                view_.LogEvent(Format("Ошибка при обработке сообщения сервера: %s", e.what()));
            }
            break;
        }
    }
}

void ConnectionController::Act(const DecodedMessage& m) {
    switch (m.kind) {
    case MessageKind::ServerVersion: {
        State = WaitingAck;
        const std::string version = Format("%d.%d.%d.%d", m.serverVersion[0], m.serverVersion[1],
                                           m.serverVersion[2], m.serverVersion[3]);
        view_.LogEvent("Версия TELV сервера " + version);
        view_.ServerVersionReceived(version);
        SendRequest(code::ClientVersion);
        break;
    }
    case MessageKind::ClientVersionAck:
        State = Running;
        view_.ConnectionRunning();
        tables_.SessionStarted();
        EventCheckBoxClick();
        SendRequest(code::ChannelList);
        SendRequest(code::ClientList);
        break;
    case MessageKind::EventMode:
        if (m.eventMode == EventModeText::Enable) view_.LogEvent("Трансляция событий сервера включена");
        if (m.eventMode == EventModeText::Disable) view_.LogEvent("Трансляция событий сервера отключена");
        break;
    case MessageKind::ChannelNotice: {
        const std::string id = FieldText(m.deviceId);
        if (m.mode == 0)
            view_.LogEvent(Format("Соединение с прибором ID - %s сброшено", id.c_str()));
        else if (m.mode == 2)
            view_.LogEvent(Format("Прибор c ID - %s отключен с завершением интервала опроса", id.c_str()));
        else
            view_.LogEvent(Format("Прибор c ID - %s отключен", id.c_str()));
        break;
    }
    case MessageKind::TextMessage:
        view_.LogEvent(Cp1251ToUtf8(m.text));
        if (!view_.AutoRequestChecked()) RequestActionExecute();
        break;
    case MessageKind::ClientClosed:
        view_.LogEvent(Format("Отключен клиент. Адрес - %s:%u", DottedAddress(m.address).c_str(),
                              static_cast<unsigned>(m.port)));
        break;
    case MessageKind::ChannelList:
        tables_.ChannelListReceived(m.chanels);
        SendRequest(code::ClientList);
        break;
    case MessageKind::ChannelStatistics:
        tables_.ChannelStatisticsReceived(m.statistics);
        SendRequest(code::ClientStatistics);
        break;
    case MessageKind::ClientList:
        tables_.ClientListReceived(m.clients);
        break;
    case MessageKind::ClientStatistics:
        tables_.ClientStatisticsReceived(m.statistics);
        break;
    case MessageKind::Empty:
        break;
    }
}

void ConnectionController::RequestActionExecute() {
    HandlerScope scope(handlerDepth_);
    if (State != Running) return;
    SendRequest(code::ChannelList);
    SendRequest(code::ClientList);
    EndIfSendFailed();
}

void ConnectionController::EventCheckBoxClick() {
    HandlerScope scope(handlerDepth_);
    if (State != Running) return;
    Send(EncodeEventMode(view_.EventsChecked()));
    EndIfSendFailed();
}

void ConnectionController::TimerTimer() {
    HandlerScope scope(handlerDepth_);
    retiredSocket_.reset();
    if (TimeoutTicks == 0) return;
    if (--TimeoutTicks > 0) return;
    if (State == WaitingHello) {
        view_.LogEvent("Ошибка при запросе версии сервера");
        Disconnect(ConnectionEnd::Lost);
    } else if (State == WaitingAck) {
        view_.LogEvent("Ошибка при отсылки версии клиента");
        Disconnect(ConnectionEnd::Lost);
    }
}

void ConnectionController::ReqTimerTimer() {
    HandlerScope scope(handlerDepth_);
    if (!view_.AutoRequestChecked() || State != Running) return;
    SendRequest(tables_.NeedsFullList() ? code::ChannelList : code::ChannelStatistics);
    EndIfSendFailed();
}

void ConnectionController::SendCommands(const std::vector<Bytes>& messages) {
    HandlerScope scope(handlerDepth_);
    for (const Bytes& message : messages) Send(message);
    EndIfSendFailed();
}

void ConnectionController::SendRequest(int requestCode) {
    if (requestCode == code::ClientVersion)
        Send(EncodeClientVersion(ClientVersion));
    else
        Send(EncodeRequest(requestCode));
}

void ConnectionController::Send(const Bytes& message) {
    if (!Socket || message.empty() || failedSendError_) return;
    if (Socket->Send(message.data(), static_cast<int>(message.size()), 0) < 0) {
        const int error = WSAGetLastError();
        failedSendError_ = error ? error : WSAENOTCONN;
    }
}

void ConnectionController::EndIfSendFailed() {
    if (!failedSendError_ || handlerDepth_ > 1) return;
    const int error = failedSendError_;
    failedSendError_ = 0;
    view_.LogEvent(TAsyncSocket::ErrorText(error));
    if (State != Disconnected) Disconnect(ConnectionEnd::Lost);
}

}  // namespace telv
