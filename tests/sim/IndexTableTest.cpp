#include "IndexTable.h"
#include "SimRandom.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace telv::sim {
namespace {

// Rows that carry their keys, removed by moving the last row into the gap, as the population does.
struct Rows {
    std::vector<std::uint32_t> keys;
};
struct KeyAt {
    const Rows* rows;
    std::uint32_t operator()(std::uint32_t at) const { return rows->keys[at]; }
};

struct HashCase {
    const char* name;
    std::uint32_t (*hash)(std::uint32_t);
};

class IndexTableTest : public ::testing::TestWithParam<HashCase> {};

// Random inserts and swap-and-pop removals agree with a reference map; weak hashes force long
// runs, collisions and wrap-around at the end of the slot array.
TEST_P(IndexTableTest, AgreesWithAReferenceMap) {
    struct Hash {
        std::uint32_t (*f)(std::uint32_t);
        std::uint32_t operator()(std::uint32_t k) const { return f(k); }
    };
    Rows rows;
    IndexTable<std::uint32_t, KeyAt, Hash> table(KeyAt{&rows}, Hash{GetParam().hash});
    std::map<std::uint32_t, std::uint32_t> reference;  // key -> position
    SimRandom rng(99);
    for (int step = 0; step < 20000; ++step) {
        const std::uint32_t key = rng.Below(3000);
        if (!reference.contains(key) && rng.Below(3) != 0) {
            const auto at = static_cast<std::uint32_t>(rows.keys.size());
            table.Insert(key, at);
            rows.keys.push_back(key);
            reference[key] = at;
        } else if (reference.contains(key)) {
            const std::uint32_t at = reference[key];
            table.Erase(key);
            reference.erase(key);
            const auto last = static_cast<std::uint32_t>(rows.keys.size() - 1);
            if (at != last) {
                table.Move(rows.keys[last], at);
                rows.keys[at] = rows.keys[last];
                reference[rows.keys[at]] = at;
            }
            rows.keys.pop_back();
        }
        if (step % 997 == 0) {
            ASSERT_EQ(table.size(), reference.size());
            for (std::uint32_t k = 0; k < 3000; ++k) {
                const auto found = table.Find(k);
                const auto it = reference.find(k);
                ASSERT_EQ(found.has_value(), it != reference.end()) << "key " << k << " at step " << step;
                if (found) {
                    ASSERT_EQ(*found, it->second);
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Hashes, IndexTableTest,
    ::testing::Values(HashCase{"Mixed", [](std::uint32_t k) { return static_cast<std::uint32_t>(Mix64(k)); }},
                      HashCase{"FewBuckets", [](std::uint32_t k) { return k % 7; }},
                      HashCase{"AllHighBits", [](std::uint32_t k) { return 0xFFFFFFF0u | (k & 0xF); }}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

}  // namespace
}  // namespace telv::sim
