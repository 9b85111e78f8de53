#include "RecordFactory.h"

#include "Cp1251.h"

#include <cstring>
#include <string>
#include <string_view>

namespace telv::sim {
namespace {

constexpr std::uint64_t kTwelveDigits = 1'000'000'000'000ULL;

// a * b mod m for a, b < m <= 10^12, without overflowing 64 bits.
std::uint64_t MulMod(std::uint64_t a, std::uint64_t b, std::uint64_t m) {
    const std::uint64_t high = b / 1'000'000, low = b % 1'000'000;
    return ((a * high % m) * 1'000'000 + a * low) % m;
}

// A bijection of [0, 10^12): distinct serials give distinct, scattered-looking numbers.
std::uint64_t Scatter(std::uint64_t serial, std::uint64_t multiplier, std::uint64_t offset) {
    return (MulMod(serial % kTwelveDigits, multiplier, kTwelveDigits) + offset) % kTwelveDigits;
}

void PutDigits(std::uint8_t* out, std::uint64_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
        out[i] = static_cast<std::uint8_t>('0' + value % 10);
        value /= 10;
    }
}

// Luhn check digit of a run of decimal digits.
std::uint8_t LuhnDigit(const std::uint8_t* digits, int count) {
    int sum = 0;
    for (int i = 0; i < count; ++i) {
        int d = digits[count - 1 - i] - '0';
        if (i % 2 == 0) {
            d *= 2;
            if (d > 9) d -= 9;
        }
        sum += d;
    }
    return static_cast<std::uint8_t>('0' + (10 - sum % 10) % 10);
}

// Four-byte prefixes of hostile IDs; each is followed by 12 digits, so the field has no zero.
constexpr std::array<std::array<std::uint8_t, 4>, 4> kHostilePrefixes = {{
    {0x07, 'I', 'D', 0x98},
    {'\t', 'N', 'o', '\r'},
    {0x1B, '[', '1', 'm'},
    {0x98, 0x98, 0x7F, 0x01},
}};

struct DeviceModel {
    std::uint8_t code;
    std::uint32_t weight;
};

// Known models 0..11, the common ones more often.
constexpr DeviceModel kModels[] = {{0, 14}, {1, 6}, {2, 8}, {3, 8}, {4, 12}, {5, 6},
                                   {6, 12}, {7, 10}, {8, 8}, {9, 8}, {10, 4}, {11, 4}};

// Type codes the console does not know, with the four-byte type text shown instead.
struct UnknownType {
    std::uint8_t code;
    std::string_view text;  // UTF-8; converted to CP1251
};
constexpr UnknownType kUnknownTypes[] = {{12, ""}, {20, "AB"}, {37, "MX41"}, {200, "Т7"}, {255, "ПУ-9"}};

bool HasEventTable(std::uint8_t code) {
    return code == 0 || code == 4 || code == 6 || code == 7 || code == 8 || code == 9;
}

struct ClientKind {
    std::string_view code;  // UTF-8; converted to CP1251, at most 6 bytes
    std::uint32_t weight;
    std::uint8_t version[2];
};
constexpr ClientKind kClientKinds[] = {
    {"TELVCL", 10, {1, 3}}, {"MERKAL", 26, {2, 1}}, {"BASTOR", 24, {3, 0}}, {"LUNDIS", 24, {1, 7}},
    {"KONFIG", 4, {5, 2}},  {"TELVC", 3, {1, 0}},   {"ИНЖ", 3, {0, 9}},     {"", 6, {1, 1}},
};

template <class Item, std::size_t N>
const Item& PickWeighted(SimRandom& rng, const Item (&items)[N]) {
    std::uint32_t total = 0;
    for (const Item& item : items) total += item.weight;
    std::uint32_t roll = rng.Below(total);
    for (const Item& item : items) {
        if (roll < item.weight) return item;
        roll -= item.weight;
    }
    return items[N - 1];
}

// Seconds on line of a connection that has been up for a while; now and then over 100 hours.
std::uint32_t MakeSecondsOnLine(SimRandom& rng) {
    if (rng.OneIn(50)) return rng.Between(360'000, 17'280'000);
    return rng.Below(7 * 86'400);
}

// Traffic that grew with the time on line; a few counters near or past the 32-bit wrap.
void MakeTraffic(SimRandom& rng, std::uint32_t seconds, std::uint32_t& rx, std::uint32_t& tx) {
    if (rng.OneIn(100)) {
        rx = 0xFFFFFFFFu - rng.Below(1'000'000);
        tx = rng.Next() > (1ULL << 63) ? 0xFFFFFFFFu - rng.Below(1'000'000) : rng.Below(1u << 30);
        return;
    }
    const std::uint64_t rxRate = rng.Below(300), txRate = rng.Below(80);
    rx = static_cast<std::uint32_t>(seconds * rxRate + rng.Below(600));
    tx = static_cast<std::uint32_t>(seconds * txRate + rng.Below(600));
}

}  // namespace

DeviceIdField MakeDeviceId(std::uint64_t serial, SimRandom& rng, bool hostileTexts) {
    DeviceIdField id{};
    if (hostileTexts && rng.OneIn(8)) {
        const std::uint32_t form = rng.Below(static_cast<std::uint32_t>(kHostilePrefixes.size() + 1));
        if (form < kHostilePrefixes.size()) {
            std::memcpy(id.data(), kHostilePrefixes[form].data(), 4);
            PutDigits(id.data() + 4, Scatter(serial, 600'000'000'007ULL, 17), 12);
        } else {
            // A short ID whose field goes on after the terminator.
            PutDigits(id.data(), serial % 100'000'000, 8);
            id[8] = 0;
            std::uint64_t rest = Scatter(serial, 777'777'777'773ULL, 3);
            id[9] = 0x98;
            for (std::size_t i = 10; i < id.size(); ++i, rest >>= 6)
                id[i] = static_cast<std::uint8_t>(0x80 | (rest & 0x3F));
        }
        return id;
    }
    if (rng.OneIn(25)) {
        // 16 characters: the field has no terminator.
        std::memcpy(id.data(), "8970", 4);
        PutDigits(id.data() + 4, Scatter(serial, 480'000'000'001ULL, 5), 12);
        return id;
    }
    // IMEI: "35", 12 digits, the Luhn digit; the 16th byte stays zero.
    id[0] = '3';
    id[1] = '5';
    PutDigits(id.data() + 2, Scatter(serial, 25'214'903'917ULL, 123'456'789), 12);
    id[14] = LuhnDigit(id.data(), 14);
    return id;
}

Ipv4Address MakePrivateAddress(SimRandom& rng) {
    return {10, static_cast<std::uint8_t>(rng.Below(256)), static_cast<std::uint8_t>(rng.Below(256)),
            static_cast<std::uint8_t>(rng.Between(1, 254))};
}

std::uint16_t MakePort(SimRandom& rng) { return static_cast<std::uint16_t>(rng.Between(1024, 65535)); }

TELV_UDP_FULL_CHANEL_DATA MakeChanel(SimRandom& rng, std::uint64_t serial, bool hostileTexts, bool fresh) {
    TELV_UDP_FULL_CHANEL_DATA r;
    if (rng.OneIn(33)) {
        const UnknownType& type = kUnknownTypes[rng.Below(static_cast<std::uint32_t>(std::size(kUnknownTypes)))];
        r.SetTypeCode(type.code);
        const std::string text = Utf8ToCp1251(type.text);
        r.SetTypeText(text.data(), text.size());
        if (hostileTexts && rng.OneIn(2)) {
            const std::uint8_t hostile[4] = {0x98, '\n', 0x01, 'Z'};
            r.SetTypeText(hostile, sizeof hostile);
        }
    } else {
        r.SetTypeCode(PickWeighted(rng, kModels).code);
    }
    // The first two version numbers are signed on the wire; a few above 127 show as negative.
    r.SetVersionByte(0, static_cast<std::uint8_t>(rng.OneIn(100) ? 200 : rng.Between(1, 4)));
    r.SetVersionByte(1, static_cast<std::uint8_t>(rng.OneIn(100) ? 250 : rng.Below(10)));
    r.SetVersionByte(2, static_cast<std::uint8_t>(rng.Below(31)));
    r.SetVersionByte(3, rng.Byte());
    if (HasEventTable(r.TypeCode()))
        r.SetEventFlags(static_cast<std::uint8_t>(rng.Byte() & rng.Byte() & rng.Byte()));
    else if (rng.OneIn(20))
        r.SetEventFlags(0xFF);  // no table: the console shows nothing whatever the flags say
    const DeviceIdField id = MakeDeviceId(serial, rng, hostileTexts);
    r.SetDeviceId(id.data(), id.size());
    r.SetAddress(MakePrivateAddress(rng));
    r.SetPort(MakePort(rng));
    if (!fresh) {
        const std::uint32_t seconds = MakeSecondsOnLine(rng);
        std::uint32_t rx = 0, tx = 0;
        MakeTraffic(rng, seconds, rx, tx);
        r.SetSecondsOnLine(seconds);
        r.SetRxBytes(rx);
        r.SetTxBytes(tx);
    }
    return r;
}

TELV_FULL_CLIENT_DATA MakeClient(SimRandom& rng, bool fresh) {
    TELV_FULL_CLIENT_DATA r;
    const ClientKind& kind = PickWeighted(rng, kClientKinds);
    const std::string code = Utf8ToCp1251(kind.code);
    r.SetTypeCode(code.data(), code.size());
    r.SetVersionByte(0, kind.version[0]);
    r.SetVersionByte(1, kind.version[1]);
    r.SetVersionByte(2, static_cast<std::uint8_t>(rng.Below(12)));
    r.SetVersionByte(3, static_cast<std::uint8_t>(rng.Below(40)));
    r.SetAddress(MakePrivateAddress(rng));
    r.SetPort(MakePort(rng));
    if (!fresh) {
        const std::uint32_t seconds = MakeSecondsOnLine(rng) / 4;
        std::uint32_t rx = 0, tx = 0;
        MakeTraffic(rng, seconds, rx, tx);
        r.SetSecondsOnLine(seconds);
        r.SetRxBytes(rx);
        r.SetTxBytes(tx);
    }
    return r;
}

}  // namespace telv::sim
