// Reconciling the views with the server's lists and statistics.
#include "MonitorTables.h"
#include "RecordMessage.h"
#include "RowTexts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace telv {
namespace {

template <class Record>
using Message = test::RecordMessage<Record>;

TELV_UDP_FULL_CHANEL_DATA Chanel(Handle h, const std::string& id, std::uint32_t rx = 0, std::uint8_t state = 0,
                                 Handle linkedClient = 0) {
    TELV_UDP_FULL_CHANEL_DATA c;
    c.SetChanelHandle(h);
    c.SetDeviceId(id.data(), id.size());
    c.SetRxBytes(rx);
    c.SetState(state);
    c.SetLinkedClient(linkedClient);
    return c;
}

TELV_FULL_CLIENT_DATA Client(Handle h, std::uint8_t lastOctet, std::uint8_t state = 0, Handle linkedChanel = 0) {
    TELV_FULL_CLIENT_DATA c;
    c.SetClientHandle(h);
    c.SetTypeCode("TELVCL", 6);
    c.SetAddress({10, 0, 0, lastOctet});
    c.SetPort(5000);
    c.SetState(state);
    c.SetLinkedChanel(linkedChanel);
    return c;
}

TELV_STATISTICS_DATA Stat(Handle h, std::uint32_t seconds, std::uint32_t rx, std::uint8_t state = 0, Handle linked = 0) {
    TELV_STATISTICS_DATA s;
    s.SetOwnHandle(h);
    s.SetSecondsOnLine(seconds);
    s.SetRxBytes(rx);
    s.SetState(state);
    s.SetLinkedHandle(linked);
    return s;
}

struct Panels : StatusPanels {
    std::string text[2];
    void SetPanelText(int panel, const std::string& t) override { text[panel] = t; }
};

class TablesTest : public ::testing::Test {
protected:
    TListView chanels{kChanelColumns, RenderCell};
    TListView clients{kClientColumns, RenderCell};
    Panels panels;
    MonitorTables tables{chanels, clients, panels};

    // What the controller does on a full client list.
    void ApplyClientList(const Message<TELV_FULL_CLIENT_DATA>& list) {
        tables.ReplaceClients(list);
        tables.ResetTotals(true, true);
        tables.RebuildViews();
        tables.ShowTotals();
    }
    void ApplyLists(const Message<TELV_UDP_FULL_CHANEL_DATA>& c, const Message<TELV_FULL_CLIENT_DATA>& k) {
        tables.ReplaceChanels(c);
        ApplyClientList(k);
    }
    std::vector<std::string> Captions(const TListView& view) const {
        std::vector<std::string> out;
        for (int i = 0; i < view.Count(); ++i) out.push_back(view.Text(i, 0));
        return out;
    }
    // Rows and their index agree with the handle map.
    void ExpectConsistent() const {
        ASSERT_EQ(tables.ChanelItems.size(), static_cast<std::size_t>(chanels.Count()));
        for (int i = 0; i < chanels.Count(); ++i) {
            const TListItem* row = chanels.Item(i);
            EXPECT_EQ(row->Index(), i);
            EXPECT_EQ(tables.ChanelItems.Find(static_cast<Handle>(row->Data)), row);
        }
        ASSERT_EQ(tables.ClientItems.size(), static_cast<std::size_t>(clients.Count()));
    }
};

TEST_F(TablesTest, FirstListAddsRowsInAscendingHandleOrder) {
    ApplyLists({Chanel(30, "C", 100), Chanel(10, "A", 200), Chanel(20, "B", 300)}, {Client(5, 1), Client(4, 2)});
    EXPECT_EQ(Captions(chanels), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(clients.Text(0, 1), "10.0.0.2:5000");
    EXPECT_EQ(panels.text[0], "Приборы (Количество - 3 RX : 600 б TX : 0 б)");
    EXPECT_EQ(panels.text[1], "Клиенты (Количество - 2 RX : 0 б TX : 0 б)");
    EXPECT_FALSE(tables.FullListNeeded);
    ExpectConsistent();
}

TEST_F(TablesTest, ChanelListAloneDoesNotTouchTheView) {
    ApplyLists({Chanel(1, "A")}, {});
    tables.ReplaceChanels(Message<TELV_UDP_FULL_CHANEL_DATA>{Chanel(2, "B")});
    EXPECT_EQ(Captions(chanels), (std::vector<std::string>{"A"}));
    EXPECT_EQ(tables.ChanelData.count(1), 0u);
}

TEST_F(TablesTest, RebuildKeepsOrderSelectionAndAppendsNewRowsAtTheEnd) {
    ApplyLists({Chanel(1, "A"), Chanel(2, "B"), Chanel(3, "C"), Chanel(4, "D")}, {});
    // The operator sorted the view (D C B A) and selected C.
    std::vector<TListItem*> order{chanels.Item(3), chanels.Item(2), chanels.Item(1), chanels.Item(0)};
    chanels.Reorder(order);
    TListItem* c = chanels.Item(1);
    chanels.SetSelected(*c, true);
    ApplyLists({Chanel(4, "D2"), Chanel(3, "C2"), Chanel(1, "A2"), Chanel(9, "N"), Chanel(7, "M")}, {});
    EXPECT_EQ(Captions(chanels), (std::vector<std::string>{"D2", "C2", "A2", "M", "N"}));
    EXPECT_EQ(chanels.Item(1), c);
    EXPECT_TRUE(c->Selected());
    EXPECT_EQ(chanels.SelectedCount(), 1);
    ExpectConsistent();
}

TEST_F(TablesTest, SecondIdenticalListChangesNothing) {
    const Message<TELV_UDP_FULL_CHANEL_DATA> list{Chanel(1, "A", 5), Chanel(2, "B", 6)};
    const Message<TELV_FULL_CLIENT_DATA> clientList{Client(1, 1)};
    ApplyLists(list, clientList);
    chanels.SetSelected(*chanels.Item(1), true);
    const std::string before = panels.text[0];
    const TListItem* first = chanels.Item(0);
    ApplyClientList(clientList);  // the client list comes twice after a request for both lists
    EXPECT_EQ(chanels.Item(0), first);
    EXPECT_EQ(Captions(chanels), (std::vector<std::string>{"A", "B"}));
    EXPECT_TRUE(chanels.Item(1)->Selected());
    EXPECT_EQ(panels.text[0], before);
}

TEST_F(TablesTest, DuplicateHandleInAListKeepsTheFirstRecordAndOneRow) {
    ApplyLists({Chanel(5, "first"), Chanel(5, "second")}, {Client(1, 1), Client(1, 2)});
    EXPECT_EQ(Captions(chanels), (std::vector<std::string>{"first"}));
    EXPECT_EQ(clients.Count(), 1);
    EXPECT_EQ(clients.Text(0, 1), "10.0.0.1:5000");
}

TEST_F(TablesTest, StatisticsUpdateRowsInPlaceAndRemoveUnmentionedRows) {
    ApplyLists({Chanel(1, "A"), Chanel(2, "B"), Chanel(3, "C")}, {Client(8, 7)});
    tables.ChanelStatisticsPass(Message<TELV_STATISTICS_DATA>{Stat(3, 3725, 1200, 1, 8), Stat(1, 60, 700000, 0)});
    EXPECT_EQ(Captions(chanels), (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(chanels.Text(0, 4), "00:01:00");
    EXPECT_EQ(chanels.Text(0, 6), "Канал свободен");
    EXPECT_EQ(chanels.Text(1, 5), "1.172 кб / 0 б");
    EXPECT_EQ(chanels.Text(1, 6), "Связан с клиентом 10.0.0.7:5000");
    EXPECT_EQ(panels.text[0], "Приборы (Количество - 2 RX : 0.669 Mб TX : 0 б)");
    EXPECT_EQ(tables.ChanelData.count(2), 1u);  // the record stays until the next full list
    EXPECT_FALSE(tables.FullListNeeded);
    ExpectConsistent();
}

TEST_F(TablesTest, StatisticsWithNoRecordsEmptyTheViewAndTheTotals) {
    ApplyLists({Chanel(1, "A", 50), Chanel(2, "B", 50)}, {Client(1, 1)});
    const std::string clientPanel = panels.text[1];
    tables.ChanelStatisticsPass(Message<TELV_STATISTICS_DATA>{});
    EXPECT_EQ(chanels.Count(), 0);
    EXPECT_EQ(panels.text[0], "Приборы (Количество - 0 RX : 0 б TX : 0 б)");
    EXPECT_EQ(panels.text[1], clientPanel);
    EXPECT_EQ(tables.ChanelData.size(), 2u);
    ExpectConsistent();
}

TEST_F(TablesTest, HandleWithoutRowSetsFullListNeededAndIsNotCounted) {
    ApplyLists({Chanel(1, "A")}, {});
    tables.ChanelStatisticsPass(Message<TELV_STATISTICS_DATA>{Stat(1, 1, 100), Stat(77, 1, 5000)});
    EXPECT_TRUE(tables.FullListNeeded);
    EXPECT_EQ(chanels.Count(), 1);
    EXPECT_EQ(tables.Totals.ChanelRxTotal, 100u);
    // The next full lists bring the row, at the end.
    ApplyLists({Chanel(1, "A"), Chanel(77, "N")}, {});
    EXPECT_EQ(Captions(chanels), (std::vector<std::string>{"A", "N"}));
    EXPECT_FALSE(tables.FullListNeeded);
}

TEST_F(TablesTest, RepeatedHandleInOneStatisticsMessageCountsTwiceLastTextWins) {
    ApplyLists({Chanel(1, "A")}, {});
    tables.ChanelStatisticsPass(Message<TELV_STATISTICS_DATA>{Stat(1, 10, 100), Stat(1, 20, 300)});
    EXPECT_EQ(chanels.Text(0, 4), "00:00:20");
    EXPECT_EQ(tables.Totals.ChanelRxTotal, 400u);
    EXPECT_EQ(chanels.Count(), 1);
}

TEST_F(TablesTest, LinkedClientMissingKeepsTheStateTextButUpdatesTheRest) {
    ApplyLists({Chanel(1, "A", 0, 1, 8)}, {Client(8, 7)});
    EXPECT_EQ(chanels.Text(0, 6), "Связан с клиентом 10.0.0.7:5000");
    tables.ChanelStatisticsPass(Message<TELV_STATISTICS_DATA>{Stat(1, 99, 10, 1, 9)});
    EXPECT_EQ(chanels.Text(0, 6), "Связан с клиентом 10.0.0.7:5000");
    EXPECT_EQ(chanels.Text(0, 4), "00:01:39");
    EXPECT_EQ(tables.Totals.ChanelRxTotal, 10u);
    EXPECT_TRUE(tables.FullListNeeded);
    // State 1 with no linked handle empties the cell; a free channel after a rebuild and after
    // a statistics update reads differently.
    tables.ChanelStatisticsPass(Message<TELV_STATISTICS_DATA>{Stat(1, 99, 10, 1, 0)});
    EXPECT_EQ(chanels.Text(0, 6), "");
}

TEST_F(TablesTest, HandleReusedAfterItsRowWasRemoved) {
    ApplyLists({Chanel(1, "A"), Chanel(2, "B")}, {});
    tables.ChanelStatisticsPass(Message<TELV_STATISTICS_DATA>{Stat(2, 1, 1)});
    EXPECT_EQ(Captions(chanels), (std::vector<std::string>{"B"}));
    tables.ChanelStatisticsPass(Message<TELV_STATISTICS_DATA>{Stat(1, 1, 1), Stat(2, 1, 1)});
    EXPECT_TRUE(tables.FullListNeeded);
    ApplyLists({Chanel(1, "A-again"), Chanel(2, "B")}, {});
    EXPECT_EQ(Captions(chanels), (std::vector<std::string>{"B", "A-again"}));
    ExpectConsistent();
}

TEST_F(TablesTest, ClientStatisticsStates) {
    ApplyLists({Chanel(3, "860001")}, {Client(1, 1, 1, 0), Client(2, 2), Client(4, 4)});
    EXPECT_EQ(clients.Text(0, 4), "Связан с прибором ");
    tables.ClientStatisticsPass(
        Message<TELV_STATISTICS_DATA>{Stat(1, 5, 1, 1, 0), Stat(2, 5, 2, 2, 3), Stat(4, 5, 4, 1, 3)});
    EXPECT_EQ(clients.Text(0, 4), "");
    EXPECT_EQ(clients.Text(1, 4), "Режим трансляции событий");
    EXPECT_EQ(clients.Text(2, 4), "Связан с прибором 860001");
    EXPECT_FALSE(tables.FullListNeeded);
    tables.ClientStatisticsPass(Message<TELV_STATISTICS_DATA>{Stat(4, 6, 4, 1, 99)});
    EXPECT_EQ(clients.Count(), 1);
    EXPECT_EQ(clients.Text(0, 4), "Связан с прибором 860001");
    EXPECT_EQ(clients.Text(0, 2), "00:00:06");
    EXPECT_TRUE(tables.FullListNeeded);
    EXPECT_EQ(chanels.Count(), 1);  // the channel side is untouched
}

TEST_F(TablesTest, DeletedRowsLeaveTheSelection) {
    ApplyLists({Chanel(1, "A"), Chanel(2, "B"), Chanel(3, "C")}, {});
    for (int i = 0; i < 3; ++i) chanels.SetSelected(*chanels.Item(i), true);
    tables.ChanelStatisticsPass(Message<TELV_STATISTICS_DATA>{Stat(2, 1, 1)});
    EXPECT_EQ(chanels.SelectedCount(), 1);
    EXPECT_TRUE(chanels.Item(0)->Selected());
}

TEST_F(TablesTest, TablesOutliveADisconnect) {
    // Nothing reacts to the connection ending: the rows and records stay for the next rebuild.
    ApplyLists({Chanel(1, "A")}, {Client(1, 1)});
    EXPECT_EQ(chanels.Count(), 1);
    EXPECT_EQ(tables.ClientData.size(), 1u);
}

// A refresh of very many rows in pieces, one per scheduled turn: the same rows, texts, totals and
// rates as the whole pass, the view told once at the end, and the connection told once.
class PiecewisePassTest : public ::testing::Test {
protected:
    static constexpr std::uint32_t kPiece = 1000;  // the pass goes in pieces of this many records
    static constexpr std::uint32_t kRows = kPiece * 5 / 2;

    struct Side {
        TListView chanels{kChanelViewColumns, RenderCell};
        TListView clients{kClientViewColumns, RenderCell};
        Panels panels;
        MonitorTables tables{chanels, clients, panels};
    };
    struct CountingObserver : ListViewObserver {
        int reports = 0;
        void RowsChanged(bool) override { ++reports; }
    };

    PiecewisePassTest() {
        std::vector<TELV_UDP_FULL_CHANEL_DATA> list;
        for (Handle h = 1; h <= kRows; ++h) list.push_back(Chanel(h, "D" + std::to_string(h), h, 1, h % 3 ? 0 : 2));
        const Message<TELV_UDP_FULL_CHANEL_DATA> chanelList(list);
        const Message<TELV_FULL_CLIENT_DATA> clientList{Client(1, 1), Client(2, 2)};
        for (Side* side : {&whole, &pieces}) {
            side->tables.ReplaceChanels(chanelList);
            side->tables.ReplaceClients(clientList);
            side->tables.ResetTotals(true, true);
            side->tables.RebuildViews();
        }
        pieces.tables.PassPieceRecords = kPiece;
        pieces.tables.Later = [this](std::function<void()> piece) { scheduled.push_back(std::move(piece)); };
        pieces.tables.PassDone = [this] { ++passDone; };
        pieces.chanels.SetObserver(&observer);

        // Every row but each 100th, a block out of the list's order, states free, linked to a
        // stored client and linked to one that is not stored.
        std::vector<TELV_STATISTICS_DATA> stats;
        for (Handle h = 1; h <= kRows; ++h) {
            if (h % 100 == 0) continue;
            const std::uint8_t state = h % 5 == 0 ? 0 : 1;
            const Handle linked = h % 7 == 0 ? 99 : (h % 2) + 1;
            stats.push_back(Stat(h, h + 60, 2 * h, state, linked));
        }
        std::reverse(stats.begin() + 950, stats.begin() + 1050);  // across two pieces
        statistics = std::make_unique<Message<TELV_STATISTICS_DATA>>(stats);
    }

    // Runs what the pass scheduled, one piece at a time, as the event loop would.
    int RunScheduled() {
        int ran = 0;
        while (!scheduled.empty()) {
            auto piece = std::move(scheduled.front());
            scheduled.erase(scheduled.begin());
            piece();
            ++ran;
        }
        return ran;
    }
    void ExpectSameAsWhole() {
        whole.tables.ChanelStatisticsPass(*statistics);
        ASSERT_EQ(pieces.chanels.Count(), whole.chanels.Count());
        for (int i = 0; i < whole.chanels.Count(); ++i)
            for (int column = 0; column < kChanelViewColumns; ++column)
                ASSERT_EQ(pieces.chanels.Text(i, column), whole.chanels.Text(i, column)) << i << ", " << column;
        EXPECT_EQ(pieces.panels.text[0], whole.panels.text[0]);
        EXPECT_EQ(pieces.tables.ChanelRates.Rx, whole.tables.ChanelRates.Rx);
        EXPECT_EQ(pieces.tables.ChanelRates.RowsWithRate, whole.tables.ChanelRates.RowsWithRate);
        EXPECT_EQ(pieces.tables.FullListNeeded, whole.tables.FullListNeeded);
        EXPECT_TRUE(pieces.tables.FullListNeeded);  // the client 99 is not stored
    }

    Side whole, pieces;
    CountingObserver observer;
    std::vector<std::function<void()>> scheduled;
    int passDone = 0;
    std::unique_ptr<Message<TELV_STATISTICS_DATA>> statistics;
};

TEST_F(PiecewisePassTest, PiecesEndAsTheWholePassAndTheViewHearsOnce) {
    const int rowsBefore = pieces.chanels.Count();
    pieces.tables.ChanelStatisticsPass(*statistics);
    EXPECT_TRUE(pieces.tables.Pending());
    EXPECT_EQ(observer.reports, 0);
    EXPECT_EQ(pieces.chanels.Count(), rowsBefore);  // rows go at the end of the pass
    EXPECT_EQ(RunScheduled(), 2);
    EXPECT_FALSE(pieces.tables.Pending());
    EXPECT_EQ(observer.reports, 1);
    EXPECT_EQ(passDone, 1);
    EXPECT_EQ(pieces.chanels.Count(), rowsBefore - static_cast<int>(kRows / 100));
    ExpectSameAsWhole();
}

TEST_F(PiecewisePassTest, FinishingAtOnceEndsThePassWithoutItsHook) {
    pieces.tables.ChanelStatisticsPass(*statistics);
    ASSERT_TRUE(pieces.tables.Pending());
    pieces.tables.FinishPending();
    EXPECT_FALSE(pieces.tables.Pending());
    EXPECT_EQ(observer.reports, 1);
    EXPECT_EQ(RunScheduled(), 1);  // the piece scheduled before does nothing now
    EXPECT_EQ(observer.reports, 1);
    EXPECT_EQ(passDone, 0);
    ExpectSameAsWhole();
}

TEST_F(PiecewisePassTest, ANewMessageFinishesThePendingPassFirst) {
    pieces.tables.ChanelStatisticsPass(*statistics);
    ASSERT_TRUE(pieces.tables.Pending());
    pieces.tables.ClientStatisticsPass(Message<TELV_STATISTICS_DATA>{Stat(1, 5, 5), Stat(2, 6, 6)});
    EXPECT_FALSE(pieces.tables.Pending());
    RunScheduled();
    ExpectSameAsWhole();
}

}  // namespace
}  // namespace telv
