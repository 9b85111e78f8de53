#include "Sorting.h"

#include "RowTexts.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>
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
// numbers orders as comparing those bytes); equal prefixes fall back to the whole texts, unless
// a text fits in the prefix.
struct KeyedRow {
    static constexpr std::uint32_t kFits = 0xFFFFFFFFu;  // the prefix is the whole text
    std::uint64_t high = 0;  // the number, or text bytes 0-7
    std::uint64_t low = 0;   // text bytes 8-15
    std::uint32_t text = kFits;  // else the whole text in the sort's text list
    bool missing = false;
    TListItem* row = nullptr;
};

std::uint64_t BigEndianBytes(const std::uint8_t* bytes, std::size_t size, std::size_t from) {
    std::uint64_t value = 0;
    for (std::size_t i = from; i < from + 8; ++i) value = (value << 8) | (i < size ? bytes[i] : 0u);
    return value;
}

void PackText(KeyedRow& k, const std::uint8_t* bytes, std::size_t size) {
    k.high = BigEndianBytes(bytes, size, 0);
    k.low = BigEndianBytes(bytes, size, 8);
}

// The folded texts of one sort. A cell's text depends on the cell alone, so cells repeated over
// many rows (device types, client kinds) are rendered once; an ASCII device ID is folded
// straight from its bytes.
class SortTexts {
public:
    SortTexts(const TListView& view, int column) : view_(view), column_(column) {}

    void Key(const TListItem& item, KeyedRow& k) {
        const ListCell& cell = item.Cell(column_);
        if (cell.Kind == static_cast<std::uint8_t>(CellKind::DeviceId) && FoldAscii(cell, k)) return;
        auto [it, isNew] = known_.try_emplace(cell, 0u);
        if (isNew) {
            it->second = static_cast<std::uint32_t>(texts.size());
            texts.push_back(Folded(view_.Text(item, column_)));
        }
        const std::string& text = texts[it->second];
        PackText(k, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
        k.text = text.size() <= 16 ? KeyedRow::kFits : it->second;
    }

    std::vector<std::string> texts;

private:
    struct CellHash {
        std::size_t operator()(const ListCell& c) const {
            std::uint64_t h = c.Kind;
            for (const std::uint8_t b : c.Payload) h = (h ^ b) * 0x100000001B3ull;
            return static_cast<std::size_t>(h);
        }
    };

    // A device ID field of printable ASCII bytes is its own text (control characters are shown
    // as symbols): up to the first zero byte, a-z as A-Z.
    static bool FoldAscii(const ListCell& cell, KeyedRow& k) {
        std::uint8_t bytes[ListCell::kPayloadSize];
        std::size_t size = 0;
        for (; size < ListCell::kPayloadSize && cell.Payload[size] != 0; ++size) {
            const std::uint8_t b = cell.Payload[size];
            if (b < 0x20 || b >= 0x7F) return false;
            bytes[size] = b >= 'a' && b <= 'z' ? static_cast<std::uint8_t>(b - 'a' + 'A') : b;
        }
        PackText(k, bytes, size);
        k.text = KeyedRow::kFits;
        return true;
    }

    const TListView& view_;
    int column_;
    std::unordered_map<ListCell, std::uint32_t, CellHash> known_;
};

// The stored record of every row, found in one walk: the rows' handles in ascending order
// stepped through beside the table's, instead of a search per row.
template <class Record>
std::vector<const Record*> RecordsOfRows(const TListView& view, const HandleMap<Record>& data) {
    const std::size_t n = static_cast<std::size_t>(view.Count());
    std::vector<std::uint64_t> byHandle(n);  // handle, then row position
    for (std::size_t i = 0; i < n; ++i) byHandle[i] = (std::uint64_t{static_cast<Handle>(view.Item(static_cast<int>(i))->Data)} << 32) | i;
    if (!std::is_sorted(byHandle.begin(), byHandle.end())) std::sort(byHandle.begin(), byHandle.end());
    std::vector<const Record*> records(n, nullptr);
    const std::vector<Handle>& handles = data.Handles();
    const auto entries = data.begin();
    std::size_t k = 0;
    for (const std::uint64_t key : byHandle) {
        const auto handle = static_cast<Handle>(key >> 32);
        while (k < handles.size() && handles[k] < handle) ++k;
        if (k < handles.size() && handles[k] == handle) records[key & 0xFFFFFFFFu] = &entries[static_cast<std::ptrdiff_t>(k)].second;
    }
    return records;
}

// Sorts the rows stably by their keys, each key taken once per row. Orders exactly as
// CompareKeys does. `fill(row position, item, key)` sets the key of each row.
template <class Fill>
void SortRows(TListView& view, int sortCode, bool textKey, std::vector<std::string>& texts, Fill fill) {
    std::vector<KeyedRow> keyed(static_cast<std::size_t>(view.Count()));
    for (std::size_t i = 0; i < keyed.size(); ++i) {
        keyed[i].row = view.Item(static_cast<int>(i));
        fill(i, *keyed[i].row, keyed[i]);
    }
    const bool reversed = sortCode & kSortReversed;
    const auto compare = [&](const KeyedRow& a, const KeyedRow& b) {
        if (a.missing || b.missing) return int{a.missing} - int{b.missing};  // not reversed
        int r = a.high != b.high ? Sign(a.high, b.high) : Sign(a.low, b.low);
        if (textKey && r == 0 && (a.text != KeyedRow::kFits || b.text != KeyedRow::kFits)) {
            // Equal first 16 bytes: a text that ends there is a prefix of the other.
            if (a.text == KeyedRow::kFits) r = -1;
            else if (b.text == KeyedRow::kFits) r = 1;
            else r = Compare(texts[a.text], texts[b.text]);
        }
        if (textKey) r = -r;
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
    if (IsChanelTextCode(code)) {
        SortTexts texts(view, code);
        SortRows(view, sortCode, true, texts.texts,
                 [&](std::size_t, const TListItem& item, KeyedRow& k) { texts.Key(item, k); });
        return;
    }
    const std::vector<const TELV_UDP_FULL_CHANEL_DATA*> records = RecordsOfRows(view, chanelData);
    std::vector<std::string> noTexts;
    SortRows(view, sortCode, false, noTexts, [&](std::size_t i, const TListItem&, KeyedRow& k) {
        k.missing = records[i] == nullptr;
        if (!k.missing) k.high = ChanelKey(*records[i], code);
    });
}

void SortClientRows(TListView& view, const ClientTable& clientData, int sortCode) {
    const int code = sortCode & 0xFF;
    if (code < kFirstClientColumnCode || code > 11) return;
    const std::vector<const TELV_FULL_CLIENT_DATA*> records = RecordsOfRows(view, clientData);
    const bool textKey = code == kFirstClientColumnCode;
    SortTexts texts(view, 0);
    SortRows(view, sortCode, textKey, texts.texts, [&](std::size_t i, const TListItem& item, KeyedRow& k) {
        k.missing = records[i] == nullptr;
        if (k.missing) return;
        if (textKey)
            texts.Key(item, k);
        else
            k.high = ClientKey(*records[i], code);
    });
}

void SortRowsByRate(TListView& view, const LiveRows& rows, int sortCode) {
    std::vector<std::string> noTexts;
    SortRows(view, sortCode, false, noTexts, [&rows](std::size_t, const TListItem& item, KeyedRow& k) {
        const std::size_t row = rows.Find(static_cast<Handle>(item.Data));
        k.missing = row == LiveRows::npos || !rows[row].Rates.Known;
        if (!k.missing) k.high = std::uint64_t{rows[row].Rates.Rates.Rx} + rows[row].Rates.Rates.Tx;
    });
}

int ColumnSortState::Click(int column, int columnCode) {
    descending_ = column == lastColumn_ ? !descending_ : false;
    lastColumn_ = column;
    return SortCode(columnCode, descending_);
}

}  // namespace telv
