// The binary messages exchanged with the server: encoders for what the console sends and the
// decoder that cuts the server's messages out of the received bytes. Pure functions: no socket,
// no buffer, no state of their own.
#pragma once

#include "ConnectionState.h"
#include "Records.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace telv {

using Bytes = std::vector<std::uint8_t>;

// Message codes. Some mean different things in the two directions (3, 4, 16, 17).
namespace code {
inline constexpr std::uint8_t VersionRequest = 0;   // console → server; server version reply back
inline constexpr std::uint8_t EventMode = 3;
inline constexpr std::uint8_t ChannelCommand = 4;   // console → server; channel notice back
inline constexpr std::uint8_t TextMessage = 6;
inline constexpr std::uint8_t ClientVersion = 16;   // console → server; acknowledgement back
inline constexpr std::uint8_t ClientClose = 17;     // console → server; client closed notice back
inline constexpr std::uint8_t ChannelList = 32;
inline constexpr std::uint8_t ChannelStatistics = 33;
inline constexpr std::uint8_t ClientList = 48;
inline constexpr std::uint8_t ClientStatistics = 49;
inline constexpr std::uint8_t Empty = 255;
}  // namespace code

// The most records one list or statistics message may carry; above it the buffer is dropped.
inline constexpr std::uint32_t kMaxRecordCount = 0xFFFF0;  // 1,048,560

inline constexpr std::size_t kServerVersionLength = 12;
inline constexpr std::size_t kAckLength = 11;
inline constexpr std::size_t kEventModeLength = 17;
inline constexpr std::size_t kChannelCommandLength = 18;
inline constexpr std::size_t kClientCloseLength = 7;
inline constexpr std::size_t kTextHeaderLength = 4;
inline constexpr std::size_t kListHeaderLength = 5;
inline constexpr std::size_t kEventModeTextWidth = 16;

// The longest message the server may send: a channel list at the count limit.
inline constexpr std::size_t kMaxMessageLength =
    kListHeaderLength + TELV_UDP_FULL_CHANEL_DATA::kSize * kMaxRecordCount;

// --- Console → server ---

// The one-byte request for code 0, 32, 33, 48 or 49; empty (nothing to send) for any other code.
Bytes EncodeRequest(int requestCode);
// Client version: 16, "TELVCL", the low byte of each of the four version numbers.
Bytes EncodeClientVersion(const int (&version)[4]);
// Event mode: 3 and "EVENT_ENABLE" or "EVENT_DISABLE", zero-filled to 16 bytes.
Bytes EncodeEventMode(bool enable);
// Channel command: 4, the mode, and the 16-byte device ID field copied as stored, bytes after a
// terminator included (a shorter field is zero-filled, a longer one cut at 16 bytes).
Bytes EncodeChannelCommand(std::uint8_t mode, TextField deviceIdField);
// Client close: 17, the stored IPv4 address and the stored little-endian port.
Bytes EncodeClientClose(const Ipv4Address& address, std::uint16_t port);

// --- Server → console ---

enum class DecodeOutcome {
    Incomplete,  // the front message is not complete yet: consume nothing, wait for more
    Skip,        // consume `length` bytes, no effect
    DiscardAll,  // drop every buffered byte
    Message,     // a whole message of `length` bytes, kind and fields below
};

enum class MessageKind {
    ServerVersion,
    ClientVersionAck,
    EventMode,
    ChannelNotice,
    TextMessage,
    ClientClosed,
    ChannelList,
    ChannelStatistics,
    ClientList,
    ClientStatistics,
    Empty,
};

enum class EventModeText { Enable, Disable, Other };

// One outcome of DecodeNext. The spans and record arrays point into the bytes handed in; they
// stay valid as long as those bytes do.
struct DecodedMessage {
    DecodeOutcome outcome = DecodeOutcome::Incomplete;
    std::size_t length = 0;  // bytes to consume (Skip and Message)
    MessageKind kind = MessageKind::Empty;

    std::uint8_t serverVersion[4] = {};                 // ServerVersion
    EventModeText eventMode = EventModeText::Other;      // EventMode
    std::uint8_t mode = 0;                               // ChannelNotice
    TextField deviceId;                                  // ChannelNotice: the 16-byte field
    TextField text;                                      // TextMessage: L bytes, no terminator
    Ipv4Address address{};                               // ClientClosed
    std::uint16_t port = 0;                              // ClientClosed
    RecordArray<TELV_UDP_FULL_CHANEL_DATA> chanels;      // ChannelList
    RecordArray<TELV_FULL_CLIENT_DATA> clients;          // ClientList
    RecordArray<TELV_STATISTICS_DATA> statistics;        // ChannelStatistics, ClientStatistics
};

// Looks at the unconsumed bytes at the front of the receive buffer and returns exactly one
// outcome, by the rules of the connection's state. Never reads beyond `count` bytes.
DecodedMessage DecodeNext(int state, const std::uint8_t* bytes, std::size_t count);

// The record size of a list or statistics code (32, 33, 48, 49), 0 for any other code.
std::size_t RecordSizeOf(std::uint8_t messageCode);

// The whole length of the list or statistics message at the front of the bytes, as its header
// gives it, while the connection runs; 0 when the front is no such header (or not one yet).
std::size_t ListMessageLength(int state, const std::uint8_t* bytes, std::size_t count);

}  // namespace telv
