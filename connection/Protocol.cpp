#include "Protocol.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace telv {
namespace {

constexpr char kServerMagic[] = "TELVSRV";  // 7 bytes on the wire, no terminator
constexpr char kClientMagic[] = "TELVCL";   // 6 bytes on the wire, no terminator
constexpr char kEventEnable[] = "EVENT_ENABLE";
constexpr char kEventDisable[] = "EVENT_DISABLE";

template <std::size_t N>
bool StartsWith(const std::uint8_t* bytes, const char (&text)[N]) {
    return std::memcmp(bytes, text, N - 1) == 0;
}

DecodedMessage Outcome(DecodeOutcome outcome, std::size_t length = 0) {
    DecodedMessage m;
    m.outcome = outcome;
    m.length = length;
    return m;
}

DecodedMessage Message(MessageKind kind, std::size_t length) {
    DecodedMessage m = Outcome(DecodeOutcome::Message, length);
    m.kind = kind;
    return m;
}

// The record count of a list or statistics message and its whole length, from its 5-byte
// header; nothing when the count is beyond the protocol's limit. Within it a message has at most
// 5 + 53 * 0xFFFF0 bytes: no overflow in any size type.
struct ListShape {
    std::uint32_t Count = 0;
    std::size_t Length = 0;
};

std::optional<ListShape> ListShapeOf(const std::uint8_t* header) {
    const std::uint32_t n = wire::ReadU32(header + 1);
    if (n > kMaxRecordCount) return std::nullopt;
    return ListShape{n, kListHeaderLength + RecordSizeOf(header[0]) * std::size_t{n}};
}

DecodedMessage DecodeRunning(const std::uint8_t* b, std::size_t count) {
    switch (b[0]) {
    case code::EventMode: {
        if (count < kEventModeLength) return Outcome(DecodeOutcome::Incomplete);
        DecodedMessage m = Message(MessageKind::EventMode, kEventModeLength);
        if (StartsWith(b + 1, kEventEnable))
            m.eventMode = EventModeText::Enable;
        else if (StartsWith(b + 1, kEventDisable))
            m.eventMode = EventModeText::Disable;
        return m;
    }
    case code::ChannelCommand: {
        if (count < kChannelCommandLength) return Outcome(DecodeOutcome::Incomplete);
        DecodedMessage m = Message(MessageKind::ChannelNotice, kChannelCommandLength);
        m.mode = b[1];
        m.deviceId = TextField(b + 2, TELV_UDP_FULL_CHANEL_DATA::kDeviceIdWidth);
        return m;
    }
    case code::TextMessage: {
        if (count < kTextHeaderLength) return Outcome(DecodeOutcome::Incomplete);
        const std::size_t textLength = wire::ReadU16(b + 2);
        if (count < kTextHeaderLength + textLength) return Outcome(DecodeOutcome::Incomplete);
        DecodedMessage m = Message(MessageKind::TextMessage, kTextHeaderLength + textLength);
        m.text = TextField(b + kTextHeaderLength, textLength);
        return m;
    }
    case code::ClientClose: {
        if (count < kClientCloseLength) return Outcome(DecodeOutcome::Incomplete);
        DecodedMessage m = Message(MessageKind::ClientClosed, kClientCloseLength);
        m.address = wire::ReadAddress(b + 1);
        m.port = wire::ReadU16(b + 5);
        return m;
    }
    case code::ChannelList:
    case code::ChannelStatistics:
    case code::ClientList:
    case code::ClientStatistics: {
        if (count < kListHeaderLength) return Outcome(DecodeOutcome::Incomplete);
        const std::optional<ListShape> shape = ListShapeOf(b);
        if (!shape) return Outcome(DecodeOutcome::DiscardAll);
        const std::uint32_t n = shape->Count;
        const std::size_t length = shape->Length;
        if (count < length) return Outcome(DecodeOutcome::Incomplete);
        const std::uint8_t* records = b + kListHeaderLength;
        switch (b[0]) {
        case code::ChannelList: {
            DecodedMessage m = Message(MessageKind::ChannelList, length);
            m.chanels = RecordArray<TELV_UDP_FULL_CHANEL_DATA>(records, n);
            return m;
        }
        case code::ClientList: {
            DecodedMessage m = Message(MessageKind::ClientList, length);
            m.clients = RecordArray<TELV_FULL_CLIENT_DATA>(records, n);
            return m;
        }
        default: {
            DecodedMessage m = Message(b[0] == code::ChannelStatistics ? MessageKind::ChannelStatistics
                                                                       : MessageKind::ClientStatistics,
                                       length);
            m.statistics = RecordArray<TELV_STATISTICS_DATA>(records, n);
            return m;
        }
        }
    }
    case code::Empty:
        return Message(MessageKind::Empty, 1);
    default:
        return Outcome(DecodeOutcome::DiscardAll);
    }
}

}  // namespace

Bytes EncodeRequest(int requestCode) {
    switch (requestCode) {
    case code::VersionRequest:
    case code::ChannelList:
    case code::ChannelStatistics:
    case code::ClientList:
    case code::ClientStatistics:
        return Bytes{static_cast<std::uint8_t>(requestCode)};
    default:
        return {};
    }
}

Bytes EncodeClientVersion(const int (&version)[4]) {
    Bytes m(11, 0);
    m[0] = code::ClientVersion;
    std::memcpy(&m[1], kClientMagic, 6);
    for (std::size_t i = 0; i < 4; ++i) m[7 + i] = static_cast<std::uint8_t>(version[i] & 0xFF);
    return m;
}

Bytes EncodeEventMode(bool enable) {
    Bytes m(kEventModeLength, 0);
    m[0] = code::EventMode;
    const char* text = enable ? kEventEnable : kEventDisable;
    std::memcpy(&m[1], text, std::strlen(text));
    return m;
}

Bytes EncodeChannelCommand(std::uint8_t mode, TextField deviceIdField) {
    Bytes m(kChannelCommandLength, 0);
    m[0] = code::ChannelCommand;
    m[1] = mode;
    std::copy_n(deviceIdField.begin(), std::min<std::size_t>(deviceIdField.size(), 16), m.begin() + 2);
    return m;
}

Bytes EncodeClientClose(const Ipv4Address& address, std::uint16_t port) {
    Bytes m(kClientCloseLength, 0);
    m[0] = code::ClientClose;
    std::copy(address.begin(), address.end(), m.begin() + 1);
    wire::WriteU16(&m[5], port);
    return m;
}

std::size_t RecordSizeOf(std::uint8_t messageCode) {
    switch (messageCode) {
    case code::ChannelList: return TELV_UDP_FULL_CHANEL_DATA::kSize;
    case code::ClientList: return TELV_FULL_CLIENT_DATA::kSize;
    case code::ChannelStatistics:
    case code::ClientStatistics: return TELV_STATISTICS_DATA::kSize;
    default: return 0;
    }
}

std::size_t ListMessageLength(int state, const std::uint8_t* bytes, std::size_t count) {
    if (state != Running || bytes == nullptr || count < kListHeaderLength || RecordSizeOf(bytes[0]) == 0) return 0;
    const std::optional<ListShape> shape = ListShapeOf(bytes);
    return shape ? shape->Length : 0;
}

DecodedMessage DecodeNext(int state, const std::uint8_t* bytes, std::size_t count) {
    if (count == 0 || bytes == nullptr) return Outcome(DecodeOutcome::Incomplete);
    switch (state) {
    case WaitingHello: {
        if (count < kServerVersionLength) return Outcome(DecodeOutcome::Incomplete);
        if (bytes[0] != code::VersionRequest || !StartsWith(bytes + 1, kServerMagic))
            return Outcome(DecodeOutcome::Skip, kServerVersionLength);
        DecodedMessage m = Message(MessageKind::ServerVersion, kServerVersionLength);
        std::copy_n(bytes + 8, 4, m.serverVersion);
        return m;
    }
    case WaitingAck:
        if (count < kAckLength) return Outcome(DecodeOutcome::Incomplete);
        if (bytes[0] != code::ClientVersion) return Outcome(DecodeOutcome::Skip, kAckLength);
        return Message(MessageKind::ClientVersionAck, kAckLength);
    case Running:
        return DecodeRunning(bytes, count);
    default:
        return Outcome(DecodeOutcome::DiscardAll);
    }
}

}  // namespace telv
