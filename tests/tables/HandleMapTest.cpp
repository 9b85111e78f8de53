// The handle-keyed record table: filled from lists in any order, with repeated handles,
// compared with a std::map filled the way the tables always were (first record of a handle
// stays, ascending handle order).
#include "HandleMap.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

namespace telv {
namespace {

struct Item {
    Handle handle;
    int position;
};

struct Items {
    std::vector<Item> list;
    std::uint32_t size() const { return static_cast<std::uint32_t>(list.size()); }
    const Item& operator[](std::uint32_t i) const { return list[i]; }
};

Handle KeyOf(const Item& item) { return item.handle; }

void ExpectSameAsMap(const HandleMap<Item>& table, const Items& items) {
    std::map<Handle, Item> reference;
    for (const Item& item : items.list) reference.try_emplace(item.handle, item);
    ASSERT_EQ(table.size(), reference.size());
    auto it = table.begin();
    for (const auto& [handle, item] : reference) {
        ASSERT_EQ(it->first, handle);
        EXPECT_EQ(it->second.position, item.position) << "handle " << handle;
        ASSERT_NE(table.Find(handle), nullptr);
        EXPECT_EQ(table.Find(handle)->position, item.position);
        EXPECT_EQ(table.count(handle), 1u);
        ++it;
    }
}

struct ListCase {
    const char* name;
    std::vector<Handle> handles;
};

class HandleMapLists : public ::testing::TestWithParam<ListCase> {};

TEST_P(HandleMapLists, HoldsTheFirstRecordOfEachHandleInOrder) {
    Items items;
    for (const Handle h : GetParam().handles) items.list.push_back({h, static_cast<int>(items.list.size())});
    HandleMap<Item> table;
    table.Refill(items, KeyOf);
    ExpectSameAsMap(table, items);
    for (const Handle absent : {Handle{7}, Handle{0xFFFFFFFEu}, Handle{12345}}) {
        bool listed = false;
        for (const Handle h : GetParam().handles) listed |= h == absent;
        if (!listed) {
            EXPECT_EQ(table.Find(absent), nullptr);
            EXPECT_EQ(table.find(absent), table.end());
            EXPECT_EQ(table.count(absent), 0u);
        }
    }
}

const ListCase kLists[] = {
    {"empty", {}},
    {"one", {5}},
    {"ascending", {1, 2, 3, 10, 20}},
    {"descending", {20, 10, 3, 2, 1}},
    {"repeated_handles_first_stays", {4, 1, 4, 4, 1, 9}},
    {"extremes", {0, 0xFFFFFFFFu, 0x80000000u, 0, 0xFFFFFFFFu}},
    {"all_the_same", {8, 8, 8, 8}},
};

INSTANTIATE_TEST_SUITE_P(Lists, HandleMapLists, ::testing::ValuesIn(kLists),
                         [](const ::testing::TestParamInfo<ListCase>& p) { return std::string(p.param.name); });

TEST(HandleMap, RandomListsAgreeWithAMapAndRefillReplacesEverything) {
    std::mt19937 random(3);
    HandleMap<Item> table;
    for (int round = 0; round < 20; ++round) {
        Items items;
        const int n = static_cast<int>(random() % 2000);
        for (int i = 0; i < n; ++i) items.list.push_back({static_cast<Handle>(random() % 1500), i});
        table.Refill(items, KeyOf);
        ExpectSameAsMap(table, items);
    }
    table.clear();
    EXPECT_TRUE(table.empty());
    EXPECT_EQ(table.begin(), table.end());
}

}  // namespace
}  // namespace telv
