// The fuzz target's seeds and many mutations of them run through the controller and the tables
// with every property checked, so that the normal test suite (and its sanitizer build) covers
// what the fuzzer starts from.
#include "ControllerFuzz.h"
#include "SeedCorpus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>

namespace telv::fuzz {
namespace {

Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

const std::vector<Seed>& Seeds() {
    static const std::vector<Seed> seeds = MakeSeedCorpus();
    return seeds;
}

TEST(SeedCorpus, FolderHoldsExactlyTheGeneratedSeeds) {
    std::map<std::string, Bytes> onDisk;
    for (const auto& entry : std::filesystem::directory_iterator(TELV_SEED_CORPUS_DIR))
        onDisk[entry.path().filename().string()] = ReadFile(entry.path());
    std::map<std::string, Bytes> generated;
    for (const Seed& seed : Seeds()) generated[seed.name] = seed.input;
    EXPECT_TRUE(onDisk == generated) << "fuzz/corpus is out of date: make_seed_corpus " TELV_SEED_CORPUS_DIR;
}

TEST(SeedCorpus, AFewDozenSmallSeeds) {
    EXPECT_GE(Seeds().size(), 24u);
    EXPECT_LE(Seeds().size(), 60u);
    for (const Seed& seed : Seeds()) EXPECT_LT(seed.input.size(), kMaxSeedSize) << seed.name;
}

struct Expected {
    const char* seed;
    int state;
    int chanelRows;
    int clientRows;
    std::size_t logLines;
};

// What some seeds must end in: they reach the states and tables they were made for.
constexpr Expected kExpected[] = {
    {"session-whole", Running, 7, 3, 10},
    {"session-single-bytes", Running, 7, 3, 10},
    {"session-pieces-of-5", Running, 7, 3, 10},
    {"session-varying-pieces", Running, 7, 3, 10},
    {"session-auto-request-off", Running, 7, 3, 10},
    {"hello-after-12-wrong-bytes", Running, 0, 0, 1},
    {"hello-after-13-wrong-bytes", WaitingHello, 0, 0, 0},
    {"hello-twice", WaitingAck, 0, 0, 1},
    {"hello-time-limit", Disconnected, 0, 0, 2},
    {"disconnected-discards", Disconnected, 0, 0, 0},
    {"connecting-discards", Connecting, 0, 0, 0},
    {"running-event-modes", Running, 0, 0, 4},
    {"running-duplicate-handles", Running, 2, 1, 0},
    {"running-count-at-limit", Running, 0, 0, 0},
};

class EverySeed : public ::testing::TestWithParam<Seed> {};

TEST_P(EverySeed, HoldsEveryProperty) {
    const Seed& seed = GetParam();
    const RunResult result = RunControllerInput(seed.input.data(), seed.input.size());
    EXPECT_EQ(result.failure, "");
    const auto expected = std::find_if(std::begin(kExpected), std::end(kExpected),
                                       [&](const Expected& e) { return seed.name == e.seed; });
    if (expected == std::end(kExpected)) return;
    EXPECT_EQ(result.finalState, expected->state);
    EXPECT_EQ(result.chanelRows, expected->chanelRows);
    EXPECT_EQ(result.clientRows, expected->clientRows);
    EXPECT_EQ(result.logLines, expected->logLines);
}

INSTANTIATE_TEST_SUITE_P(Corpus, EverySeed, ::testing::ValuesIn(Seeds()),
                         [](const ::testing::TestParamInfo<Seed>& seed) {
                             std::string name = seed.param.name;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// A deterministic stand-in for the fuzzer's own mutations: bytes changed, ranges inserted,
// removed or copied from another seed, the header redrawn.
Bytes Mutate(const Bytes& input, const Bytes& other, std::mt19937& random) {
    Bytes m = input;
    const auto pick = [&](std::size_t n) { return n ? static_cast<std::size_t>(random() % n) : 0; };
    for (int steps = 1 + static_cast<int>(random() % 4); steps > 0; --steps) {
        switch (random() % 6) {
        case 0:
            if (!m.empty()) m[pick(m.size())] = static_cast<std::uint8_t>(random());
            break;
        case 1:
            if (!m.empty()) m[pick(m.size())] ^= static_cast<std::uint8_t>(1u << (random() % 8));
            break;
        case 2: {
            const std::size_t at = pick(m.size() + 1);
            m.insert(m.begin() + static_cast<std::ptrdiff_t>(at), 1 + pick(16), static_cast<std::uint8_t>(random()));
            break;
        }
        case 3: {
            const std::size_t at = pick(m.size() + 1);
            const std::size_t n = std::min(m.size() - at, 1 + pick(64));
            m.erase(m.begin() + static_cast<std::ptrdiff_t>(at), m.begin() + static_cast<std::ptrdiff_t>(at + n));
            break;
        }
        case 4: {
            if (other.size() <= kHeaderSize) break;
            const std::size_t from = kHeaderSize + pick(other.size() - kHeaderSize);
            const std::size_t n = std::min(other.size() - from, 1 + pick(200));
            m.insert(m.begin() + static_cast<std::ptrdiff_t>(pick(m.size() + 1)),
                     other.begin() + static_cast<std::ptrdiff_t>(from),
                     other.begin() + static_cast<std::ptrdiff_t>(from + n));
            break;
        }
        default:
            for (std::size_t i = 0; i < kHeaderSize && i < m.size(); ++i) m[i] = static_cast<std::uint8_t>(random());
            break;
        }
    }
    return m;
}

TEST(MutatedSeeds, HoldEveryProperty) {
    std::mt19937 random(20240611);
    const auto& seeds = Seeds();
    int runs = 0;
    for (const Seed& seed : seeds) {
        for (int i = 0; i < 60; ++i) {
            const Bytes input = Mutate(seed.input, seeds[random() % seeds.size()].input, random);
            const RunResult result = RunControllerInput(input.data(), input.size());
            ASSERT_EQ(result.failure, "") << "mutant " << i << " of " << seed.name;
            ++runs;
        }
    }
    EXPECT_EQ(runs, static_cast<int>(seeds.size()) * 60);
}

TEST(ShortInputs, EveryLengthUpToTheHeaderIsAccepted) {
    const std::uint8_t bytes[kHeaderSize + 1] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    for (std::size_t n = 0; n <= sizeof bytes; ++n) EXPECT_EQ(RunControllerInput(bytes, n).failure, "") << n;
}

}  // namespace
}  // namespace telv::fuzz
