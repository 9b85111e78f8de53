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

// Sorts the rows stably by their keys, each key taken once per row.
template <class KeyOf>
void SortRows(TListView& view, int sortCode, bool textKey, KeyOf keyOf) {
    std::vector<std::pair<SortKey, TListItem*>> keyed;
    keyed.reserve(static_cast<std::size_t>(view.Count()));
    for (const auto& row : view.Rows()) keyed.emplace_back(keyOf(*row), row.get());
    const bool reversed = sortCode & kSortReversed;
    std::stable_sort(keyed.begin(), keyed.end(), [&](const auto& a, const auto& b) {
        return CompareKeys(a.first, b.first, textKey, reversed) < 0;
    });
    std::vector<TListItem*> order;
    order.reserve(keyed.size());
    for (auto& k : keyed) order.push_back(k.second);
    view.Reorder(std::move(order));
}

SortKey ChanelSortKey(const TListView& view, const std::map<Handle, TELV_UDP_FULL_CHANEL_DATA>& data,
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

SortKey ClientSortKey(const TListView& view, const std::map<Handle, TELV_FULL_CLIENT_DATA>& data,
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

int CompareChanelRows(const TListView& view, const std::map<Handle, TELV_UDP_FULL_CHANEL_DATA>& chanelData,
                      const TListItem& item1, const TListItem& item2, int sortCode) {
    const int code = sortCode & 0xFF;
    if (code > 6) return 0;
    return CompareKeys(ChanelSortKey(view, chanelData, item1, code), ChanelSortKey(view, chanelData, item2, code),
                       IsChanelTextCode(code), sortCode & kSortReversed);
}

int CompareClientRows(const TListView& view, const std::map<Handle, TELV_FULL_CLIENT_DATA>& clientData,
                      const TListItem& item1, const TListItem& item2, int sortCode) {
    const int code = sortCode & 0xFF;
    if (code < kFirstClientColumnCode || code > 11) return 0;
    return CompareKeys(ClientSortKey(view, clientData, item1, code), ClientSortKey(view, clientData, item2, code),
                       code == kFirstClientColumnCode, sortCode & kSortReversed);
}

void SortChanelRows(TListView& view, const std::map<Handle, TELV_UDP_FULL_CHANEL_DATA>& chanelData, int sortCode) {
    const int code = sortCode & 0xFF;
    if (code > 6) return;
    SortRows(view, sortCode, IsChanelTextCode(code),
             [&](const TListItem& item) { return ChanelSortKey(view, chanelData, item, code); });
}

void SortClientRows(TListView& view, const std::map<Handle, TELV_FULL_CLIENT_DATA>& clientData, int sortCode) {
    const int code = sortCode & 0xFF;
    if (code < kFirstClientColumnCode || code > 11) return;
    SortRows(view, sortCode, code == kFirstClientColumnCode,
             [&](const TListItem& item) { return ClientSortKey(view, clientData, item, code); });
}

int ColumnSortState::Click(int column, int columnCode) {
    descending_ = column == lastColumn_ ? !descending_ : false;
    lastColumn_ = column;
    return SortCode(columnCode, descending_);
}

}  // namespace telv
