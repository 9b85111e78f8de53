// The fuzz seeds and many mutations of them through the exporter's monitor with every property
// of its metrics checked, so that the normal suite (and its sanitizer build) covers the
// exporter's connection path as the fuzzer does.
#include "ExporterFuzz.h"
#include "SeedCorpus.h"

#include <gtest/gtest.h>

#include <random>

namespace telv::fuzz {
namespace {

TEST(ExporterSeeds, EverySeedHoldsEveryProperty) {
    const std::vector<Seed> seeds = MakeSeedCorpus();
    ASSERT_FALSE(seeds.empty());
    for (const Seed& seed : seeds) {
        // Each seed also with per-channel series on, under a small limit.
        for (const std::uint8_t extra : {std::uint8_t{0}, std::uint8_t{0x40}, std::uint8_t{0xC0}}) {
            Bytes input = seed.input;
            input[0] = static_cast<std::uint8_t>(input[0] | extra);
            const ExporterRunResult r = RunExporterInput(input.data(), input.size());
            EXPECT_EQ(r.failure, "") << seed.name << " +" << int{extra};
        }
    }
}

TEST(ExporterSeeds, MutationsHoldEveryProperty) {
    const std::vector<Seed> seeds = MakeSeedCorpus();
    std::mt19937 random(20);
    for (int i = 0; i < 2000; ++i) {
        Bytes input = seeds[random() % seeds.size()].input;
        for (int flips = 1 + static_cast<int>(random() % 4); flips > 0; --flips) {
            if (input.empty()) break;
            const std::size_t at = random() % input.size();
            switch (random() % 3) {
            case 0: input[at] = static_cast<std::uint8_t>(random()); break;
            case 1: input.erase(input.begin() + static_cast<std::ptrdiff_t>(at)); break;
            default: input.insert(input.begin() + static_cast<std::ptrdiff_t>(at), static_cast<std::uint8_t>(random()));
            }
        }
        const ExporterRunResult r = RunExporterInput(input.data(), input.size());
        ASSERT_EQ(r.failure, "") << "mutation " << i;
    }
}

TEST(ExporterSeeds, AHandshakeAndListsPublishAnUpServer) {
    // The seed that runs a whole handshake and lists from WaitingHello publishes snapshots.
    std::size_t published = 0;
    for (const Seed& seed : MakeSeedCorpus()) published += RunExporterInput(seed.input.data(), seed.input.size()).published;
    EXPECT_GT(published, 0u);
}

}  // namespace
}  // namespace telv::fuzz
