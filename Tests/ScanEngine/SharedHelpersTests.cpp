#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "Platform/VolumeCapacity.hpp"
#include "ScanEngine/Support/Arithmetic.hpp"
#include "ScanEngine/Support/Text.hpp"

using namespace zelvane;

namespace {
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
}  // namespace

TEST(SharedHelpers, IntegerFieldsAreWholeSignedDecimalsInRange) {
    struct Case {
        const char* text;
        std::optional<int64_t> value;
    };
    const Case cases[] = {
        {"0", 0},         {"+7", 7},        {"-7", -7},          {"007", 7},
        {"9223372036854775807", kMax},      {"-9223372036854775808", kMin},
        {"9223372036854775808", std::nullopt}, {"", std::nullopt}, {"+", std::nullopt},
        {"-", std::nullopt}, {"+-5", std::nullopt}, {"--5", std::nullopt}, {" 1", std::nullopt},
        {"1 ", std::nullopt}, {"1.0", std::nullopt}, {"0x10", std::nullopt}, {"\xd9\xa3", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(parseDecimalInteger(c.text), c.value) << '"' << c.text << '"';
}

TEST(SharedHelpers, ArithmeticStopsAtTheEndsOfTheRange) {
    EXPECT_EQ(saturatingAdd(kMax, 1), kMax);
    EXPECT_EQ(saturatingAdd(kMin, -1), kMin);
    EXPECT_EQ(saturatingAdd(5, -7), -2);
    EXPECT_EQ(saturatingMul(kMax / 2, 3), kMax);
    EXPECT_EQ(saturatingMul(kMax / 2, -3), kMin);
    EXPECT_EQ(saturatingMul(-4, -5), 20);
    EXPECT_EQ(saturateToInt64(1e300), kMax);
    EXPECT_EQ(saturateToInt64(-1e300), kMin);
    EXPECT_EQ(saturateToInt64(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(floorDiv(-1, 86400), -1);
    EXPECT_EQ(floorMod(-1, 12), 11);
    EXPECT_EQ(floorDiv(86400, 86400), 1);
}

TEST(SharedHelpers, QuotingAndReplacement) {
    std::string out;
    appendCSVQuoted(out, "say \"hi\", \"\"");
    EXPECT_EQ(out, "\"say \"\"hi\"\", \"\"\"\"\"");
    out.clear();
    appendCSVQuoted(out, "");
    EXPECT_EQ(out, "\"\"");

    std::string s = "aaa|%d|%d";
    replaceAll(s, "aa", "a");  // not searched again after a replacement
    EXPECT_EQ(s, "aa|%d|%d");
    replaceAll(s, "%d", "20260101%d");
    EXPECT_EQ(s, "aa|20260101%d|20260101%d");
    replaceAll(s, "", "x");  // nothing to find: unchanged, and no endless loop
    EXPECT_EQ(s, "aa|20260101%d|20260101%d");
    std::u16string u = u"a | b |c";
    replaceAll(u, u" | ", u"|");
    EXPECT_EQ(u, u"a|b |c");
}

TEST(SharedHelpers, VolumeCapacityOfRealAndMissingPaths) {
    const VolumeCapacity here = volumeCapacity("/");
    ASSERT_TRUE(here.isKnown());
    EXPECT_GT(*here.total, 0);
    EXPECT_LE(*here.available, *here.total);
    EXPECT_EQ(volumeCapacity("/no/such/folder"), VolumeCapacity{});
    EXPECT_FALSE((VolumeCapacity{1, std::nullopt}).isKnown());
}
