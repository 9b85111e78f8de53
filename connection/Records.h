// Byte layouts of the records carried by the server's list and statistics messages.
// Each record is held as the bytes received and read field by field, little-endian, so that
// nothing depends on struct packing or on the host's byte order.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace telv {

// The server's opaque 32-bit name of a channel or a client; 0 in a linked field means none.
using Handle = std::uint32_t;

// An IPv4 address as it travels: four bytes in network order, first octet first.
using Ipv4Address = std::array<std::uint8_t, 4>;

// A fixed-width text field, as stored (not necessarily zero-terminated).
using TextField = std::span<const std::uint8_t>;

namespace wire {

inline std::uint16_t ReadU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t ReadU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void WriteU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void WriteU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline Ipv4Address ReadAddress(const std::uint8_t* p) { return {p[0], p[1], p[2], p[3]}; }

}  // namespace wire

// Common storage of a fixed-size record: its bytes exactly as received.
template <std::size_t N>
struct WireRecord {
    static constexpr std::size_t kSize = N;
    std::array<std::uint8_t, N> Bytes{};

protected:
    std::uint8_t U8(std::size_t at) const { return Bytes[at]; }
    std::uint16_t U16(std::size_t at) const { return wire::ReadU16(&Bytes[at]); }
    std::uint32_t U32(std::size_t at) const { return wire::ReadU32(&Bytes[at]); }
    TextField Text(std::size_t at, std::size_t width) const { return {&Bytes[at], width}; }
    void SetU8(std::size_t at, std::uint8_t v) { Bytes[at] = v; }
    void SetU16(std::size_t at, std::uint16_t v) { wire::WriteU16(&Bytes[at], v); }
    void SetU32(std::size_t at, std::uint32_t v) { wire::WriteU32(&Bytes[at], v); }
    // Copies up to width bytes of text into the field and zero-fills the rest.
    void SetText(std::size_t at, std::size_t width, const void* text, std::size_t length) {
        std::memset(&Bytes[at], 0, width);
        std::memcpy(&Bytes[at], text, length < width ? length : width);
    }
};

// One device channel held by the server: 53 bytes.
struct TELV_UDP_FULL_CHANEL_DATA : WireRecord<53> {
    static constexpr std::size_t kDeviceIdOffset = 10;
    static constexpr std::size_t kDeviceIdWidth = 16;
    static constexpr std::size_t kTypeTextWidth = 4;

    static TELV_UDP_FULL_CHANEL_DATA FromBytes(const std::uint8_t* p) {
        TELV_UDP_FULL_CHANEL_DATA r;
        std::memcpy(r.Bytes.data(), p, kSize);
        return r;
    }

    std::uint8_t TypeCode() const { return U8(0); }
    TextField TypeText() const { return Text(1, kTypeTextWidth); }
    // The four version numbers: the first two are signed bytes, the last two unsigned.
    int Version(int i) const {
        const std::uint8_t b = U8(5 + static_cast<std::size_t>(i));
        return i < 2 ? static_cast<int>(static_cast<std::int8_t>(b)) : static_cast<int>(b);
    }
    std::uint8_t EventFlags() const { return U8(9); }
    TextField DeviceId() const { return Text(kDeviceIdOffset, kDeviceIdWidth); }
    std::uint8_t State() const { return U8(26); }
    Ipv4Address Address() const { return wire::ReadAddress(&Bytes[27]); }
    std::uint16_t Port() const { return U16(31); }
    std::uint32_t SecondsOnLine() const { return U32(33); }
    std::uint32_t RxBytes() const { return U32(37); }
    std::uint32_t TxBytes() const { return U32(41); }
    Handle ChanelHandle() const { return U32(45); }
    Handle LinkedClient() const { return U32(49); }

    void SetTypeCode(std::uint8_t v) { SetU8(0, v); }
    void SetTypeText(const void* t, std::size_t n) { SetText(1, kTypeTextWidth, t, n); }
    void SetVersionByte(int i, std::uint8_t v) { SetU8(5 + static_cast<std::size_t>(i), v); }
    void SetEventFlags(std::uint8_t v) { SetU8(9, v); }
    void SetDeviceId(const void* t, std::size_t n) { SetText(kDeviceIdOffset, kDeviceIdWidth, t, n); }
    void SetState(std::uint8_t v) { SetU8(26, v); }
    void SetAddress(const Ipv4Address& a) { std::memcpy(&Bytes[27], a.data(), 4); }
    void SetPort(std::uint16_t v) { SetU16(31, v); }
    void SetSecondsOnLine(std::uint32_t v) { SetU32(33, v); }
    void SetRxBytes(std::uint32_t v) { SetU32(37, v); }
    void SetTxBytes(std::uint32_t v) { SetU32(41, v); }
    void SetChanelHandle(Handle v) { SetU32(45, v); }
    void SetLinkedClient(Handle v) { SetU32(49, v); }
};

// One client connection held by the server: 37 bytes (seconds come before the state here).
struct TELV_FULL_CLIENT_DATA : WireRecord<37> {
    static constexpr std::size_t kTypeCodeWidth = 6;
    static constexpr std::size_t kAddressOffset = 10;
    static constexpr std::size_t kPortOffset = 14;

    static TELV_FULL_CLIENT_DATA FromBytes(const std::uint8_t* p) {
        TELV_FULL_CLIENT_DATA r;
        std::memcpy(r.Bytes.data(), p, kSize);
        return r;
    }

    TextField TypeCode() const { return Text(0, kTypeCodeWidth); }
    int Version(int i) const { return U8(6 + static_cast<std::size_t>(i)); }
    Ipv4Address Address() const { return wire::ReadAddress(&Bytes[kAddressOffset]); }
    std::uint16_t Port() const { return U16(kPortOffset); }
    std::uint32_t SecondsOnLine() const { return U32(16); }
    std::uint8_t State() const { return U8(20); }
    std::uint32_t RxBytes() const { return U32(21); }
    std::uint32_t TxBytes() const { return U32(25); }
    Handle ClientHandle() const { return U32(29); }
    Handle LinkedChanel() const { return U32(33); }

    void SetTypeCode(const void* t, std::size_t n) { SetText(0, kTypeCodeWidth, t, n); }
    void SetVersionByte(int i, std::uint8_t v) { SetU8(6 + static_cast<std::size_t>(i), v); }
    void SetAddress(const Ipv4Address& a) { std::memcpy(&Bytes[kAddressOffset], a.data(), 4); }
    void SetPort(std::uint16_t v) { SetU16(kPortOffset, v); }
    void SetSecondsOnLine(std::uint32_t v) { SetU32(16, v); }
    void SetState(std::uint8_t v) { SetU8(20, v); }
    void SetRxBytes(std::uint32_t v) { SetU32(21, v); }
    void SetTxBytes(std::uint32_t v) { SetU32(25, v); }
    void SetClientHandle(Handle v) { SetU32(29, v); }
    void SetLinkedChanel(Handle v) { SetU32(33, v); }
};

// The changing part of a channel or client record: 21 bytes, the same layout in channel
// statistics (linked field = a client handle) and client statistics (= a channel handle).
struct TELV_STATISTICS_DATA : WireRecord<21> {
    static TELV_STATISTICS_DATA FromBytes(const std::uint8_t* p) {
        TELV_STATISTICS_DATA r;
        std::memcpy(r.Bytes.data(), p, kSize);
        return r;
    }

    std::uint8_t State() const { return U8(0); }
    std::uint32_t SecondsOnLine() const { return U32(1); }
    std::uint32_t RxBytes() const { return U32(5); }
    std::uint32_t TxBytes() const { return U32(9); }
    Handle OwnHandle() const { return U32(13); }
    Handle LinkedHandle() const { return U32(17); }

    void SetState(std::uint8_t v) { SetU8(0, v); }
    void SetSecondsOnLine(std::uint32_t v) { SetU32(1, v); }
    void SetRxBytes(std::uint32_t v) { SetU32(5, v); }
    void SetTxBytes(std::uint32_t v) { SetU32(9, v); }
    void SetOwnHandle(Handle v) { SetU32(13, v); }
    void SetLinkedHandle(Handle v) { SetU32(17, v); }
};

// A run of records read in place from a received message.
template <class Record>
class RecordArray {
public:
    RecordArray() = default;
    RecordArray(const std::uint8_t* first, std::uint32_t count) : first_(first), count_(count) {}

    std::uint32_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    Record operator[](std::uint32_t i) const {
        return Record::FromBytes(first_ + static_cast<std::size_t>(i) * Record::kSize);
    }

private:
    const std::uint8_t* first_ = nullptr;
    std::uint32_t count_ = 0;
};

}  // namespace telv
