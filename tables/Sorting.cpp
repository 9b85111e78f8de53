#include "Sorting.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <variant>
#include <vector>

namespace telv {
namespace {

std::uint64_t AddressKey(const Ipv4Address& a, std::uint16_t port) {
    const std::uint32_t address = (std::uint32_t{a[0]} << 24) | (std::uint32_t{a[1]} << 16) |
                                  (std::uint32_t{a[2]} << 8) | a[3];
    return std::uint64_t{address} * 65536 + port;
}

std::uint64_t ChanelKey(const TELV_UDP_FULL_CHANEL_DATA& r, int columnCode) {
    switch (columnCode) {
    case 2: return AddressKey(r.Address(), r.Port());
    case 3: return r.EventFlags();
    case 4: return r.SecondsOnLine();
    case 5: return std::uint64_t{r.RxBytes()} + r.TxBytes();
    case 6: return r.State();
    default: return 0;
    }
}

std::uint64_t ClientKey(const TELV_FULL_CLIENT_DATA& r, int columnCode) {
    switch (columnCode) {
    case 8: return AddressKey(r.Address(), r.Port());
    case 9: return r.SecondsOnLine();
    case 10: return std::uint64_t{r.RxBytes()} + r.TxBytes();
    case 11: return r.State();
    default: return 0;
    }
}

int Sign(std::uint64_t a, std::uint64_t b) { return a < b ? -1 : a > b ? 1 : 0; }

// The folded form of a text key: a-z as A-Z; byte order of UTF-8 is code point order.
std::string Folded(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

int Compare(const std::string& a, const std::string& b) {
    const int r = a.compare(b);
    return r < 0 ? -1 : r > 0 ? 1 : 0;
}

// A row's key for one sort: its text or number, and whether a stored record was found.
struct SortKey {
    bool missing = false;
    std::uint64_t number = 0;
    std::string text;
};

int CompareKeys(const SortKey& a, const SortKey& b, bool textKey, bool reversed) {
    if (a.missing || b.missing) return int{a.missing} - int{b.missing};  // not reversed
    const int r = textKey ? -Compare(a.text, b.text) : Sign(a.number, b.number);
    return reversed ? -r : r;
}

// One row in a sort: its key packed so that most comparisons read only these bytes. A text key
// keeps its first 16 bytes here, big-endian, padded with zero bytes (so comparing the two
// numbers orders as comparing those bytes); equal prefixes fall back to the whole texts.
struct KeyedRow {
    std::uint64_t high = 0;  // the number, or text bytes 0-7
    std::uint64_t low = 0;   // text bytes 8-15
    std::uint32_t text = 0;  // the whole text in the sort's text list
    bool missing = false;
    TListItem* row = nullptr;
};

std::uint64_t BigEndianBytes(const std::string& text, std::size_t from) {
    std::uint64_t value = 0;
    for (std::size_t i = from; i < from + 8; ++i)
        value = (value << 8) | (i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0u);
    return value;
}

// Sorts the rows stably by their keys, each key taken once per row. Orders exactly as
// CompareKeys does.
template <class KeyOf>
void SortRows(TListView& view, int sortCode, bool textKey, KeyOf keyOf) {
    std::vector<KeyedRow> keyed;
    std::vector<std::string> texts;
    keyed.reserve(static_cast<std::size_t>(view.Count()));
    if (textKey) texts.reserve(static_cast<std::size_t>(view.Count()));
    for (const auto& row : view.Rows()) {
        SortKey key = keyOf(*row);
        KeyedRow k;
        k.missing = key.missing;
        k.row = row.get();
        if (textKey) {
            k.high = BigEndianBytes(key.text, 0);
            k.low = BigEndianBytes(key.text, 8);
            k.text = static_cast<std::uint32_t>(texts.size());
            texts.push_back(std::move(key.text));
        } else {
            k.high = key.number;
        }
        keyed.push_back(k);
    }
    const bool reversed = sortCode & kSortReversed;
    const auto compare = [&](const KeyedRow& a, const KeyedRow& b) {
        if (a.missing || b.missing) return int{a.missing} - int{b.missing};  // not reversed
        int r = a.high != b.high ? Sign(a.high, b.high) : Sign(a.low, b.low);
        if (textKey) r = -(r != 0 ? r : Compare(texts[a.text], texts[b.text]));
        return reversed ? -r : r;
    };
    std::stable_sort(keyed.begin(), keyed.end(), [&](const KeyedRow& a, const KeyedRow& b) { return compare(a, b) < 0; });
    std::vector<TListItem*> order;
    order.reserve(keyed.size());
    for (const KeyedRow& k : keyed) order.push_back(k.row);
    view.Reorder(std::move(order));
}

SortKey ChanelSortKey(const TListView& view, const ChanelTable& data,
                      const TListItem& item, int columnCode) {
    SortKey key;
    if (columnCode == 0 || columnCode == 1) {
        key.text = Folded(view.Text(item, columnCode));
        return key;
    }
    const auto it = data.find(static_cast<Handle>(item.Data));
    if (it == data.end())
        key.missing = true;
    else
        key.number = ChanelKey(it->second, columnCode);
    return key;
}

SortKey ClientSortKey(const TListView& view, const ClientTable& data,
                      const TListItem& item, int columnCode) {
    SortKey key;
    const auto it = data.find(static_cast<Handle>(item.Data));
    if (it == data.end()) {
        key.missing = true;
    } else if (columnCode == kFirstClientColumnCode) {
        key.text = Folded(view.Text(item, 0));
    } else {
        key.number = ClientKey(it->second, columnCode);
    }
    return key;
}

bool IsChanelTextCode(int code) { return code == 0 || code == 1; }

}  // namespace

int SortCode(int columnCode, bool descending) { return (columnCode & 0xFF) | (descending ? kSortReversed : 0); }

int CompareTexts(const std::string& a, const std::string& b) { return Compare(Folded(a), Folded(b)); }

int CompareChanelRows(const TListView& view, const ChanelTable& chanelData,
                      const TListItem& item1, const TListItem& item2, int sortCode) {
    const int code = sortCode & 0xFF;
    if (code > 6) return 0;
    return CompareKeys(ChanelSortKey(view, chanelData, item1, code), ChanelSortKey(view, chanelData, item2, code),
                       IsChanelTextCode(code), sortCode & kSortReversed);
}

int CompareClientRows(const TListView& view, const ClientTable& clientData,
                      const TListItem& item1, const TListItem& item2, int sortCode) {
    const int code = sortCode & 0xFF;
    if (code < kFirstClientColumnCode || code > 11) return 0;
    return CompareKeys(ClientSortKey(view, clientData, item1, code), ClientSortKey(view, clientData, item2, code),
                       code == kFirstClientColumnCode, sortCode & kSortReversed);
}

void SortChanelRows(TListView& view, const ChanelTable& chanelData, int sortCode) {
    const int code = sortCode & 0xFF;
    if (code > 6) return;
    SortRows(view, sortCode, IsChanelTextCode(code),
             [&](const TListItem& item) { return ChanelSortKey(view, chanelData, item, code); });
}

void SortClientRows(TListView& view, const ClientTable& clientData, int sortCode) {
    const int code = sortCode & 0xFF;
    if (code < kFirstClientColumnCode || code > 11) return;
    SortRows(view, sortCode, code == kFirstClientColumnCode,
             [&](const TListItem& item) { return ClientSortKey(view, clientData, item, code); });
}

void SortRowsByRate(TListView& view, const LiveRows& rows, int sortCode) {
    SortRows(view, sortCode, false, [&rows](const TListItem& item) {
        SortKey key;
        const std::size_t row = rows.Find(static_cast<Handle>(item.Data));
        if (row == LiveRows::npos || !rows[row].Rates.Known)
            key.missing = true;
        else
            key.number = std::uint64_t{rows[row].Rates.Rates.Rx} + rows[row].Rates.Rates.Tx;
        return key;
    });
}

int ColumnSortState::Click(int column, int columnCode) {
    descending_ = column == lastColumn_ ? !descending_ : false;
    lastColumn_ = column;
    return SortCode(columnCode, descending_);
}

}  // namespace telv
