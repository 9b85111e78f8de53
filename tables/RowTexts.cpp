#include "RowTexts.h"

#include "Cp1251.h"
#include "Sysutil.h"
#include "TrafficTotals.h"

#include <array>
#include <cstring>

namespace telv {
namespace {

constexpr std::array<const char*, 12> kModelNames = {"КЕ-11",   "ЛД-21",   "ВСП-Р5",  "ВСП-Р6",
                                                     "ВСП-Р70", "ВСП-Р71", "ВСП-Р72", "ВСП-Р73",
                                                     "ЛД-22",   "ЛД-23",   "ОРН-31",  "ОРН-32"};

using EventNames = std::array<const char*, 8>;
constexpr EventNames kEventsKe11 = {"Входящий звонок", "Расписание", "Вход 1", "Вход 2", "Команда SMS", "", "", ""};
constexpr EventNames kEventsVspR70 = {"Входящий звонок", "Расписание",           "Команда SMS",     "Аппаратные НС",
                                      "Флаги внешних событий", "Флаги событий ТС", "", ""};
constexpr EventNames kEventsVspR72 = {"Входящий звонок",       "Расписание",         "Команда SMS", "Аппаратные НС",
                                      "Флаги внешних событий", "Флаги канальных НС", "Флаги НС ТС", ""};
constexpr EventNames kEventsLd22 = {"Входящий звонок",       "Расписание", "Команда SMS", "Аппаратные НС",
                                    "Флаги внешних событий", "Флаги НС",   "",            ""};

const EventNames* EventNamesOf(std::uint8_t typeCode) {
    switch (typeCode) {
    case 0: return &kEventsKe11;
    case 4: return &kEventsVspR70;
    case 6:
    case 7: return &kEventsVspR72;
    case 8:
    case 9: return &kEventsLd22;
    default: return nullptr;
    }
}

struct ClientType {
    const char* code;  // exactly six bytes
    const char* name;
};
constexpr std::array<ClientType, 4> kClientTypes = {
    {{"TELVCL", "TELV клиент"}, {"MERKAL", "Меркаль"}, {"BASTOR", "Бастор"}, {"LUNDIS", "Лундис"}}};

// Payload access: little-endian numbers at byte offsets.
std::uint32_t P32(const ListCell& c, std::size_t at) { return wire::ReadU32(&c.Payload[at]); }
std::uint16_t P16(const ListCell& c, std::size_t at) { return wire::ReadU16(&c.Payload[at]); }

ListCell Cell(CellKind kind) {
    ListCell c;
    c.Kind = static_cast<std::uint8_t>(kind);
    return c;
}

ListCell WithBytes(CellKind kind, TextField bytes) {
    ListCell c = Cell(kind);
    std::memcpy(c.Payload.data(), bytes.data(), std::min(bytes.size(), c.Payload.size()));
    return c;
}

std::string DeviceTypeFrom(std::uint8_t typeCode, TextField typeText, const int (&version)[4]) {
    std::string text = typeCode < kModelNames.size() ? kModelNames[typeCode] : FieldText(typeText);
    AppendFormat(text, ".%d.%d ver%d.%d", version[0], version[1], version[2], version[3]);
    return text;
}

std::string ClientCaptionFrom(TextField typeCode, const int (&version)[4]) {
    std::string text;
    for (const ClientType& type : kClientTypes)
        if (std::memcmp(typeCode.data(), type.code, 6) == 0) {
            text = type.name;
            break;
        }
    if (text.empty()) text = FieldText(typeCode);
    if (text.empty()) text = "Неизвестный клиент";
    AppendFormat(text, " %d.%d.%d.%d", version[0], version[1], version[2], version[3]);
    return text;
}

}  // namespace

std::string FormatByteCount(std::uint64_t count) {
    if (count <= 600) return Format("%d б", static_cast<int>(count));
    if (count <= 600000)
        return Format("%.3f кб", static_cast<double>(static_cast<float>(static_cast<double>(count) / 1024.0)));
    return Format("%.3f Mб", static_cast<double>(static_cast<float>(static_cast<double>(count) / 1048576.0)));
}

std::string FormatTimeOnLine(std::uint32_t seconds) {
    return Format("%02u:%02u:%02u", seconds / 3600, seconds % 3600 / 60, seconds % 60);
}

std::string FormatTraffic(std::uint32_t rx, std::uint32_t tx) {
    return FormatByteCount(rx) + " / " + FormatByteCount(tx);
}

std::string FormatRate(std::uint64_t bytesPerSecond) { return FormatByteCount(bytesPerSecond) + "/с"; }

std::string FormatRates(const ByteRates& rates) { return FormatRate(rates.Rx) + " / " + FormatRate(rates.Tx); }

std::string DeviceIdText(const TELV_UDP_FULL_CHANEL_DATA& record) { return FieldText(record.DeviceId()); }

std::string DeviceTypeText(const TELV_UDP_FULL_CHANEL_DATA& record) {
    const int version[4] = {record.Version(0), record.Version(1), record.Version(2), record.Version(3)};
    return DeviceTypeFrom(record.TypeCode(), record.TypeText(), version);
}

std::string EventText(std::uint8_t typeCode, std::uint8_t flags) {
    const EventNames* names = EventNamesOf(typeCode);
    std::string text;
    if (!names) return text;
    for (unsigned bit = 0; bit < 8; ++bit) {
        if (!(flags & (1u << bit))) continue;
        if (!text.empty()) text += ", ";
        text += (*names)[bit];
    }
    return text;
}


std::string AddressText(const Ipv4Address& address, std::uint16_t port) {
    return DottedAddress(address) + Format(":%u", static_cast<unsigned>(port));
}

std::string ClientCaptionText(const TELV_FULL_CLIENT_DATA& record) {
    const int version[4] = {record.Version(0), record.Version(1), record.Version(2), record.Version(3)};
    return ClientCaptionFrom(record.TypeCode(), version);
}

ListCell DeviceIdCell(const TELV_UDP_FULL_CHANEL_DATA& record) { return WithBytes(CellKind::DeviceId, record.DeviceId()); }

ListCell DeviceTypeCell(const TELV_UDP_FULL_CHANEL_DATA& record) {
    ListCell c = Cell(CellKind::DeviceType);
    c.Payload[0] = record.TypeCode();
    std::memcpy(&c.Payload[1], record.TypeText().data(), 4);
    std::memcpy(&c.Payload[5], &record.Bytes[5], 4);
    return c;
}

ListCell AddressCell(const Ipv4Address& address, std::uint16_t port) {
    ListCell c = Cell(CellKind::Address);
    std::memcpy(c.Payload.data(), address.data(), 4);
    wire::WriteU16(&c.Payload[4], port);
    return c;
}

ListCell EventsCell(std::uint8_t typeCode, std::uint8_t flags) {
    ListCell c = Cell(CellKind::Events);
    c.Payload[0] = typeCode;
    c.Payload[1] = flags;
    return c;
}

ListCell TimeOnLineCell(std::uint32_t seconds) {
    ListCell c = Cell(CellKind::TimeOnLine);
    wire::WriteU32(&c.Payload[0], seconds);
    return c;
}

ListCell TrafficCell(std::uint32_t rx, std::uint32_t tx) {
    ListCell c = Cell(CellKind::Traffic);
    wire::WriteU32(&c.Payload[0], rx);
    wire::WriteU32(&c.Payload[4], tx);
    return c;
}

ListCell TextCell(CellKind kind) { return Cell(kind); }

ListCell LinkedWithClientCell(const TELV_FULL_CLIENT_DATA* client) {
    ListCell c = Cell(CellKind::LinkedWithClient);
    if (client) {
        c.Payload[0] = 1;
        const Ipv4Address address = client->Address();
        std::memcpy(&c.Payload[1], address.data(), 4);
        wire::WriteU16(&c.Payload[5], client->Port());
    }
    return c;
}

ListCell LinkedWithDeviceCell(const TELV_UDP_FULL_CHANEL_DATA* chanel) {
    // Without a linked record the ID field stays zero: the text alone, with its trailing blank.
    return chanel ? WithBytes(CellKind::LinkedWithDevice, chanel->DeviceId()) : Cell(CellKind::LinkedWithDevice);
}

ListCell RatesCell(const RowRates& rates) {
    if (!rates.Known) return Cell(CellKind::Empty);
    ListCell c = Cell(CellKind::Rates);
    wire::WriteU32(&c.Payload[0], rates.Rates.Rx);
    wire::WriteU32(&c.Payload[4], rates.Rates.Tx);
    return c;
}

ListCell ClientCaptionCell(const TELV_FULL_CLIENT_DATA& record) {
    ListCell c = Cell(CellKind::ClientCaption);
    std::memcpy(c.Payload.data(), record.TypeCode().data(), 6);
    std::memcpy(&c.Payload[6], &record.Bytes[6], 4);
    return c;
}

std::string RenderCell(const ListCell& c) {
    const TextField payload(c.Payload.data(), c.Payload.size());
    switch (static_cast<CellKind>(c.Kind)) {
    case CellKind::Empty: return {};
    case CellKind::DeviceId: return FieldText(payload);
    case CellKind::DeviceType: {
        const int version[4] = {static_cast<std::int8_t>(c.Payload[5]), static_cast<std::int8_t>(c.Payload[6]),
                                c.Payload[7], c.Payload[8]};
        return DeviceTypeFrom(c.Payload[0], payload.subspan(1, 4), version);
    }
    case CellKind::Address:
        return AddressText({c.Payload[0], c.Payload[1], c.Payload[2], c.Payload[3]}, P16(c, 4));
    case CellKind::Events: return EventText(c.Payload[0], c.Payload[1]);
    case CellKind::TimeOnLine: return FormatTimeOnLine(P32(c, 0));
    case CellKind::Traffic: return FormatTraffic(P32(c, 0), P32(c, 4));
    case CellKind::DeviceFree: return "Прибор свободен";
    case CellKind::ChanelFree: return "Канал свободен";
    case CellKind::LinkedWithClient:
        if (!c.Payload[0]) return "Связан с клиентом";
        return "Связан с клиентом " + AddressText({c.Payload[1], c.Payload[2], c.Payload[3], c.Payload[4]}, P16(c, 5));
    case CellKind::ClientCaption: {
        const int version[4] = {c.Payload[6], c.Payload[7], c.Payload[8], c.Payload[9]};
        return ClientCaptionFrom(payload.first(6), version);
    }
    case CellKind::ClientFree: return "Клиент свободен";
    case CellKind::LinkedWithDevice: return "Связан с прибором " + FieldText(payload);
    case CellKind::EventTranslation: return "Режим трансляции событий";
    case CellKind::Rates: return FormatRates({P32(c, 0), P32(c, 4)});
    }
    return {};
}

void ShowChanelRow(TListItem* row, const TELV_UDP_FULL_CHANEL_DATA& record, bool isNew,
                   const TELV_FULL_CLIENT_DATA* linkedClient, TrafficTotals& totals) {
    if (!row) return;
    if (isNew)
        for (int i = 0; i < kChanelColumns - 1; ++i) row->AddSubItem();
    row->Caption() = DeviceIdCell(record);
    row->SubItem(0) = DeviceTypeCell(record);
    row->SubItem(2) = EventsCell(record.TypeCode(), record.EventFlags());
    row->SubItem(1) = AddressCell(record.Address(), record.Port());
    row->SubItem(3) = TimeOnLineCell(record.SecondsOnLine());
    row->SubItem(4) = TrafficCell(record.RxBytes(), record.TxBytes());
    totals.AddChanel(record.RxBytes(), record.TxBytes());
    switch (record.State()) {
    case 0: row->SubItem(5) = TextCell(CellKind::DeviceFree); break;
    case 1: row->SubItem(5) = LinkedWithClientCell(record.LinkedClient() ? linkedClient : nullptr); break;
    default: row->SubItem(5) = TextCell(CellKind::Empty); break;
    }
}

void ShowClientRow(TListItem* row, const TELV_FULL_CLIENT_DATA& record, bool isNew,
                   const TELV_UDP_FULL_CHANEL_DATA* linkedChanel, TrafficTotals& totals) {
    if (!row) return;
    if (isNew)
        for (int i = 0; i < kClientColumns - 1; ++i) row->AddSubItem();
    row->Caption() = ClientCaptionCell(record);
    row->SubItem(0) = AddressCell(record.Address(), record.Port());
    row->SubItem(1) = TimeOnLineCell(record.SecondsOnLine());
    row->SubItem(2) = TrafficCell(record.RxBytes(), record.TxBytes());
    totals.AddClient(record.RxBytes(), record.TxBytes());
    switch (record.State()) {
    case 0: row->SubItem(3) = TextCell(CellKind::ClientFree); break;
    case 1: row->SubItem(3) = LinkedWithDeviceCell(record.LinkedChanel() ? linkedChanel : nullptr); break;
    case 2: row->SubItem(3) = TextCell(CellKind::EventTranslation); break;
    default: row->SubItem(3) = TextCell(CellKind::Empty); break;
    }
}

}  // namespace telv
