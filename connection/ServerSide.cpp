#include "ServerSide.h"

#include <algorithm>
#include <cstring>

namespace telv::server {
namespace {

template <class Record>
Bytes EncodeRecords(std::uint8_t messageCode, std::span<const Record> records) {
    Bytes m = EncodeListHeader(messageCode, static_cast<std::uint32_t>(records.size()));
    m.reserve(m.size() + records.size() * Record::kSize);
    for (const Record& r : records) m.insert(m.end(), r.Bytes.begin(), r.Bytes.end());
    return m;
}

}  // namespace

Bytes EncodeServerVersion(std::uint8_t major, std::uint8_t minor, std::uint8_t release, std::uint8_t build) {
    Bytes m{code::VersionRequest, 'T', 'E', 'L', 'V', 'S', 'R', 'V', major, minor, release, build};
    return m;
}

Bytes EncodeAck() {
    Bytes m(kAckLength, 0);
    m[0] = code::ClientVersion;
    std::memcpy(&m[1], "TELVSRV", 7);
    return m;
}

Bytes EncodeEventMode(bool enable) { return telv::EncodeEventMode(enable); }

Bytes EncodeChannelNotice(std::uint8_t mode, TextField deviceIdField) {
    return EncodeChannelCommand(mode, deviceIdField);
}

Bytes EncodeTextMessage(std::string_view text) {
    const std::size_t length = std::min<std::size_t>(text.size(), 0xFFFF);
    Bytes m(kTextHeaderLength + length, 0);
    m[0] = code::TextMessage;
    wire::WriteU16(&m[2], static_cast<std::uint16_t>(length));
    std::memcpy(m.data() + kTextHeaderLength, text.data(), length);
    return m;
}

Bytes EncodeClientClosed(const Ipv4Address& address, std::uint16_t port) {
    return EncodeClientClose(address, port);
}

Bytes EncodeEmpty() { return Bytes{code::Empty}; }

Bytes EncodeListHeader(std::uint8_t messageCode, std::uint32_t count) {
    Bytes m(kListHeaderLength, 0);
    m[0] = messageCode;
    wire::WriteU32(&m[1], count);
    return m;
}

Bytes EncodeChanelList(std::span<const TELV_UDP_FULL_CHANEL_DATA> records) {
    return EncodeRecords(code::ChannelList, records);
}

Bytes EncodeClientList(std::span<const TELV_FULL_CLIENT_DATA> records) {
    return EncodeRecords(code::ClientList, records);
}

Bytes EncodeStatistics(std::uint8_t messageCode, std::span<const TELV_STATISTICS_DATA> records) {
    return EncodeRecords(messageCode, records);
}

ConsoleMessage DecodeConsoleMessage(const std::uint8_t* b, std::size_t count) {
    ConsoleMessage m;
    if (count == 0) return m;
    auto need = [&](std::size_t length, ConsoleMessageKind kind) {
        if (count < length) return false;
        m.kind = kind;
        m.length = length;
        return true;
    };
    switch (b[0]) {
    case code::VersionRequest: need(1, ConsoleMessageKind::VersionRequest); break;
    case code::ChannelList: need(1, ConsoleMessageKind::ChannelListRequest); break;
    case code::ChannelStatistics: need(1, ConsoleMessageKind::ChannelStatisticsRequest); break;
    case code::ClientList: need(1, ConsoleMessageKind::ClientListRequest); break;
    case code::ClientStatistics: need(1, ConsoleMessageKind::ClientStatisticsRequest); break;
    case code::ClientVersion:
        if (need(11, ConsoleMessageKind::ClientVersion)) {
            m.magicMatches = std::memcmp(b + 1, "TELVCL", 6) == 0;
            std::copy_n(b + 7, 4, m.version);
        }
        break;
    case code::EventMode:
        if (need(kEventModeLength, ConsoleMessageKind::EventMode)) {
            if (std::memcmp(b + 1, "EVENT_ENABLE", 12) == 0)
                m.eventMode = EventModeText::Enable;
            else if (std::memcmp(b + 1, "EVENT_DISABLE", 13) == 0)
                m.eventMode = EventModeText::Disable;
        }
        break;
    case code::ChannelCommand:
        if (need(kChannelCommandLength, ConsoleMessageKind::ChannelCommand)) {
            m.mode = b[1];
            std::copy_n(b + 2, 16, m.deviceId.begin());
        }
        break;
    case code::ClientClose:
        if (need(kClientCloseLength, ConsoleMessageKind::ClientClose)) {
            m.address = wire::ReadAddress(b + 1);
            m.port = wire::ReadU16(b + 5);
        }
        break;
    default:
        m.kind = ConsoleMessageKind::Unknown;
        m.length = 1;
        break;
    }
    return m;
}

}  // namespace telv::server
