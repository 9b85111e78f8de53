// What the operator reads in the two list views: the text of every cell, made from the
// server's records. Rows keep their cells compact (ListCell); RenderCell makes the text when
// a cell is shown, so a million rows cost no formatting until they are on screen.
#pragma once

#include "FieldTexts.h"
#include "ListView.h"
#include "Records.h"
#include "TrafficRates.h"

#include <cstdint>
#include <string>

namespace telv {

class TrafficTotals;

// "%d б" up to 600 bytes, "%.3f кб" up to 600000, "%.3f Mб" above (M Latin, б Cyrillic); the
// quotient is rounded to single precision before printing, with a decimal point.
std::string FormatByteCount(std::uint64_t count);
// "%02d:%02d:%02d"; hours are not reduced modulo 24.
std::string FormatTimeOnLine(std::uint32_t seconds);
// "%s / %s" of the two byte counts, RX first.
std::string FormatTraffic(std::uint32_t rx, std::uint32_t tx);
// A rate in the units of the traffic cells followed by "/с": "1.250 кб/с".
std::string FormatRate(std::uint64_t bytesPerSecond);
// "%s / %s" of the two rates, RX first: "1.250 кб/с / 12 б/с".
std::string FormatRates(const ByteRates& rates);

// Texts of record fields.
std::string DeviceIdText(const TELV_UDP_FULL_CHANEL_DATA& record);
std::string DeviceTypeText(const TELV_UDP_FULL_CHANEL_DATA& record);
std::string EventText(std::uint8_t typeCode, std::uint8_t flags);
std::string AddressText(const Ipv4Address& address, std::uint16_t port);
std::string ClientCaptionText(const TELV_FULL_CLIENT_DATA& record);

// The kinds of cells, each with the fields its text is made from.
enum class CellKind : std::uint8_t {
    Empty = 0,
    DeviceId,          // the 16-byte device ID field
    DeviceType,        // type code, 4-byte type text, 4 version bytes
    Address,           // IPv4 address, port
    Events,            // type code, event flags
    TimeOnLine,        // seconds
    Traffic,           // RX, TX
    DeviceFree,        // "Прибор свободен"
    ChanelFree,        // "Канал свободен"
    LinkedWithClient,  // "Связан с клиентом", with the client's address and port when known
    ClientCaption,     // 6-byte type code, 4 version bytes
    ClientFree,        // "Клиент свободен"
    LinkedWithDevice,  // "Связан с прибором " and the linked device's ID field
    EventTranslation,  // "Режим трансляции событий"
    Rates,             // RX and TX bytes per second
};

ListCell DeviceIdCell(const TELV_UDP_FULL_CHANEL_DATA& record);
ListCell DeviceTypeCell(const TELV_UDP_FULL_CHANEL_DATA& record);
ListCell AddressCell(const Ipv4Address& address, std::uint16_t port);
ListCell EventsCell(std::uint8_t typeCode, std::uint8_t flags);
ListCell TimeOnLineCell(std::uint32_t seconds);
ListCell TrafficCell(std::uint32_t rx, std::uint32_t tx);
ListCell TextCell(CellKind kind);  // the fixed texts: DeviceFree, ChanelFree, ClientFree, ...
ListCell LinkedWithClientCell(const TELV_FULL_CLIENT_DATA* client);     // nullptr: the text alone
ListCell LinkedWithDeviceCell(const TELV_UDP_FULL_CHANEL_DATA* chanel); // nullptr: the text alone
ListCell ClientCaptionCell(const TELV_FULL_CLIENT_DATA& record);
// The rate of a row; the empty text while it has none.
ListCell RatesCell(const RowRates& rates);

// The text of a cell, UTF-8.
std::string RenderCell(const ListCell& cell);

// Channel columns: caption and six sub-items; client columns: caption and four.
inline constexpr int kChanelColumns = 7;
inline constexpr int kClientColumns = 5;
// After them, in the views, the rate column "Скорость RX / TX" (one more sub-item).
inline constexpr int kChanelRateColumn = kChanelColumns;
inline constexpr int kClientRateColumn = kClientColumns;
inline constexpr int kChanelViewColumns = kChanelColumns + 1;
inline constexpr int kClientViewColumns = kClientColumns + 1;

// Writes the caption and all sub-items of a row from a full record and adds its traffic to
// the totals; a new row first gets its empty sub-items. A null row is ignored.
void ShowChanelRow(TListItem* row, const TELV_UDP_FULL_CHANEL_DATA& record, bool isNew,
                   const TELV_FULL_CLIENT_DATA* linkedClient, TrafficTotals& totals);
void ShowClientRow(TListItem* row, const TELV_FULL_CLIENT_DATA& record, bool isNew,
                   const TELV_UDP_FULL_CHANEL_DATA* linkedChanel, TrafficTotals& totals);

}  // namespace telv
