// The server's half of the protocol: encoders of the messages a server sends and a decoder of
// the console's messages. Used by the simulator, the tests, the benchmarks and the fuzz corpus;
// the console itself never links it.
#pragma once

#include "Protocol.h"

#include <span>
#include <string_view>

namespace telv::server {

Bytes EncodeServerVersion(std::uint8_t major, std::uint8_t minor, std::uint8_t release, std::uint8_t build);
Bytes EncodeAck();
Bytes EncodeEventMode(bool enable);
Bytes EncodeChannelNotice(std::uint8_t mode, TextField deviceIdField);
// Text message of the given 8-bit bytes; longer texts are cut at 65535 bytes.
Bytes EncodeTextMessage(std::string_view text);
Bytes EncodeClientClosed(const Ipv4Address& address, std::uint16_t port);
Bytes EncodeEmpty();
// The 5-byte header of a list or statistics message (code, count), for streaming its records.
Bytes EncodeListHeader(std::uint8_t messageCode, std::uint32_t count);
Bytes EncodeChanelList(std::span<const TELV_UDP_FULL_CHANEL_DATA> records);
Bytes EncodeClientList(std::span<const TELV_FULL_CLIENT_DATA> records);
// Channel (33) or client (49) statistics.
Bytes EncodeStatistics(std::uint8_t messageCode, std::span<const TELV_STATISTICS_DATA> records);

// A message of the console, as the server reads it.
enum class ConsoleMessageKind {
    Incomplete,     // wait for more bytes
    Unknown,        // an unknown code: the server drops one byte
    VersionRequest,
    ClientVersion,
    EventMode,
    ChannelCommand,
    ClientClose,
    ChannelListRequest,
    ChannelStatisticsRequest,
    ClientListRequest,
    ClientStatisticsRequest,
};

struct ConsoleMessage {
    ConsoleMessageKind kind = ConsoleMessageKind::Incomplete;
    std::size_t length = 0;
    std::uint8_t version[4] = {};                    // ClientVersion
    bool magicMatches = false;                       // ClientVersion: "TELVCL" present
    EventModeText eventMode = EventModeText::Other;  // EventMode
    std::uint8_t mode = 0;                           // ChannelCommand
    std::array<std::uint8_t, 16> deviceId{};         // ChannelCommand: the field as sent
    Ipv4Address address{};                           // ClientClose
    std::uint16_t port = 0;                          // ClientClose
};

ConsoleMessage DecodeConsoleMessage(const std::uint8_t* bytes, std::size_t count);

}  // namespace telv::server
