// Sorting a view by a column, at the operator's click.
#pragma once

#include "HandleMap.h"
#include "LiveRows.h"
#include "ListView.h"
#include "Records.h"

namespace telv {

// The sort code: the column code in the low eight bits, 0x100 for the reversed order.
// Channel columns have codes 0 to 6, client columns 7 to 11.
inline constexpr int kSortReversed = 0x100;
inline constexpr int kFirstClientColumnCode = 7;
int SortCode(int columnCode, bool descending);
// Beyond the twelve codes of the tables' own columns: the rate columns of the two views.
inline constexpr int kChanelRateColumnCode = 12;
inline constexpr int kClientRateColumnCode = 13;

// Text comparison of the text keys: by code point, with only a-z taken as A-Z.
int CompareTexts(const std::string& a, const std::string& b);

// Negative when item1 goes before item2, positive after, 0 equal. Text columns are negated, so
// a first click puts the greatest text first; record columns put the smallest key first. A row
// without a stored record ranks after every row with one (equal among themselves), in both
// orders, so that the order is consistent.
int CompareChanelRows(const TListView& view, const ChanelTable& chanelData,
                      const TListItem& item1, const TListItem& item2, int sortCode);
int CompareClientRows(const TListView& view, const ClientTable& clientData,
                      const TListItem& item1, const TListItem& item2, int sortCode);

// Sorts all rows of the view by the sort code, stably; the same order as sorting with the
// comparisons above, with every key taken once per row.
void SortChanelRows(TListView& view, const ChanelTable& chanelData, int sortCode);
void SortClientRows(TListView& view, const ClientTable& clientData, int sortCode);

// Sorts a view by its rate column (either rate code): by the sum of the RX and TX rates of each
// row's live row, smallest first on the first click like the other number columns; rows without
// a rate rank after every row with one, in both orders.
void SortRowsByRate(TListView& view, const LiveRows& rows, int sortCode);

// The sort state of one view: a click on the last clicked column reverses the order, a click on
// another starts with that column's first order. Returns the sort code to apply.
class ColumnSortState {
public:
    int Click(int column, int columnCode);

private:
    int lastColumn_ = -1;
    bool descending_ = false;
};

}  // namespace telv
