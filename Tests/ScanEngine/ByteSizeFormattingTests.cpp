#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

#include <unicode/locid.h>

#include "ScanEngine/Tree/ByteSizeFormatting.hpp"

using namespace zelvane;

namespace {
constexpr auto D = ByteUnitBase::decimal;
constexpr auto B = ByteUnitBase::binary;
using M = ByteSizeDisplayMode;
}  // namespace

TEST(HumanBytes, UnitBoundariesInBothBasesAndEveryMode) {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("en_US"), status);
    struct Case {
        int64_t bytes;
        ByteUnitBase base;
        ByteSizeDisplayMode mode;
        int decimals;
        const char* text;
    } cases[] = {
        {999, D, M::dynamic, 1, "999 B"},
        {1000, D, M::dynamic, 1, "1.0 KB"},
        {999'999, D, M::dynamic, 1, "1000.0 KB"},  // the unit is chosen before rounding
        {1023, B, M::dynamic, 2, "1023 B"},
        {1024, B, M::dynamic, 2, "1.00 KB"},
        {1'048'576, B, M::dynamic, 2, "1.00 MB"},
        {int64_t(1) << 50, B, M::dynamic, 2, "1024.00 TB"},
        {int64_t(1) << 40, B, M::dynamic, 0, "1 TB"},
        {-5, D, M::dynamic, 2, "-5 B"},
        {-5000, D, M::dynamic, 2, "-5000 B"},
        {0, D, M::bytes, 2, "0"},
        {1'234'567, D, M::bytes, 2, "1,234,567"},
        {1'500'000, D, M::mb, 1, "1.5 MB"},
        {1'048'576, B, M::mb, 0, "1 MB"},
        {500, D, M::gb, 2, "0.00 GB"},
        {1536, B, M::kb, 2, "1.50 KB"},
        {2'000'000'000'000, D, M::tb, 3, "2.000 TB"},
        {3'000'000'000, D, M::gb, 1, "3.0 GB"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(humanBytes(c.bytes, c.base, c.mode, c.decimals), c.text) << c.bytes << " " << int(c.mode);
}

TEST(HumanBytes, DecimalPointIgnoresProcessLocale) {
    // A process locale with a decimal comma must not reach the formatted numbers.
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "de_DE locale not installed";
    EXPECT_EQ(humanBytes(1536, B, M::dynamic, 2), "1.50 KB");
    EXPECT_EQ(formatSizeForClipboardExport(1536), "1.50 KB");
    std::setlocale(LC_ALL, "C");
}

TEST(HumanBytes, RawValuesOfTheSettings) {
    EXPECT_EQ(byteUnitBaseFromRaw(1000), D);
    EXPECT_EQ(byteUnitBaseFromRaw(1024), B);
    EXPECT_FALSE(byteUnitBaseFromRaw(1023));
    EXPECT_EQ(byteSizeDisplayModeFromRaw(5), M::tb);
    EXPECT_FALSE(byteSizeDisplayModeFromRaw(6));
    EXPECT_FALSE(byteSizeDisplayModeFromRaw(-1));
}

TEST(ClipboardSizes, FixedBaseAndTwoDecimals) {
    EXPECT_EQ(formatSizeForClipboardExport(0), "0");
    EXPECT_EQ(formatSizeForClipboardExport(-7), "0");
    EXPECT_EQ(formatSizeForClipboardExport(1), "1 Bytes");
    EXPECT_EQ(formatSizeForClipboardExport(1023), "1023 Bytes");
    EXPECT_EQ(formatSizeForClipboardExport(1024), "1.00 KB");
    EXPECT_EQ(formatSizeForClipboardExport(1536), "1.50 KB");
    EXPECT_EQ(formatSizeForClipboardExport(int64_t(1) << 30), "1.00 GB");
    EXPECT_EQ(formatSizeForClipboardExport(int64_t(1) << 52), "4096.00 TB");
}
