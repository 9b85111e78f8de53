#include "ServerHistory.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace telv {
namespace {

struct AddCase {
    const char* label;
    ServerList before;
    std::string address;
    std::uint16_t port;
    ServerList after;
};

void PrintTo(const AddCase& c, std::ostream* os) {
    *os << c.label;
}

class AddServerTest : public ::testing::TestWithParam<AddCase> {};

TEST_P(AddServerTest, PutsTheServerAtTheFrontOnce) {
    ServerList list = GetParam().before;
    AddServer(list, GetParam().address, GetParam().port);
    EXPECT_EQ(list, GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AddServerTest,
    ::testing::Values(
        AddCase{"FirstEntry", {}, "127.0.0.1", 5100, {{"127.0.0.1", 5100}}},
        AddCase{"NewAddressGoesInFront", {{"a", 1}, {"b", 2}}, "c", 3, {{"c", 3}, {"a", 1}, {"b", 2}}},
        AddCase{"KnownAddressMovesToFrontWithNewPort",
                {{"a", 1}, {"b", 2}, {"c", 3}}, "b", 5200, {{"b", 5200}, {"a", 1}, {"c", 3}}},
        AddCase{"FrontEntryStaysAtFront", {{"a", 1}, {"b", 2}}, "a", 1, {{"a", 1}, {"b", 2}}},
        AddCase{"HandEditedDuplicatesCollapse",
                {{"b", 1}, {"a", 2}, {"b", 3}, {"b", 4}, {"c", 5}}, "b", 6, {{"b", 6}, {"a", 2}, {"c", 5}}},
        AddCase{"LetterCaseMakesADifferentEntry", {{"server.local", 1}}, "SERVER.local", 2,
                {{"SERVER.local", 2}, {"server.local", 1}}},
        AddCase{"TrailingBlankMakesADifferentEntry", {{"host", 1}}, "host ", 2, {{"host ", 2}, {"host", 1}}},
        AddCase{"EmptyEntriesFromTheStoreAreLeftAlone", {{"", 0}, {"a", 1}, {"", 0}}, "a", 7,
                {{"a", 7}, {"", 0}, {"", 0}}},
        AddCase{"Utf8Address", {{"сервер", 1}}, "сервер", 9, {{"сервер", 9}}}),
    [](const ::testing::TestParamInfo<AddCase>& param) { return std::string(param.param.label); });

struct LookUpCase {
    const char* label;
    ServerList list;
    std::string text;
    std::optional<std::uint16_t> port;
};

void PrintTo(const LookUpCase& c, std::ostream* os) {
    *os << c.label;
}

class LookUpServerPortTest : public ::testing::TestWithParam<LookUpCase> {};

TEST_P(LookUpServerPortTest, TakesTheLastExactMatch) {
    EXPECT_EQ(LookUpServerPort(GetParam().list, GetParam().text), GetParam().port);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LookUpServerPortTest,
    ::testing::Values(LookUpCase{"Match", {{"a", 1}, {"host", 5200}}, "host", 5200},
                      LookUpCase{"LastMatchWins", {{"host", 1}, {"b", 2}, {"host", 3}}, "host", 3},
                      LookUpCase{"NoMatchLeavesThePort", {{"host", 5200}}, "other", std::nullopt},
                      LookUpCase{"OneMoreCharacterLeavesThePort", {{"host", 5200}}, "hostx", std::nullopt},
                      LookUpCase{"PrefixDoesNotMatch", {{"host", 5200}}, "hos", std::nullopt},
                      LookUpCase{"CaseSensitive", {{"host", 5200}}, "HOST", std::nullopt},
                      LookUpCase{"EmptyTextMatchesEmptyEntry", {{"", 0}, {"a", 1}}, "", 0},
                      LookUpCase{"EmptyList", {}, "host", std::nullopt}),
    [](const ::testing::TestParamInfo<LookUpCase>& param) { return std::string(param.param.label); });

}  // namespace
}  // namespace telv
