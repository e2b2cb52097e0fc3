#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <string>
#include <vector>

#include "Platform/VolumeCapacity.hpp"
#include "ScanEngine/Support/Arithmetic.hpp"
#include "ScanEngine/Support/ParallelFor.hpp"
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

// ThreadSanitizer runs this program: the loop's workers share one counter and the caller's data.
TEST(SharedHelpers, ParallelForCallsEveryIndexOnceWithAWorkerInRange) {
    EXPECT_GE(parallelWorkerCount(), 1u);
    EXPECT_EQ(parallelWorkerCount(1), 1u);
    EXPECT_LE(parallelWorkerCount(1000), unsigned(activeProcessorCount()));
    for (size_t count : {size_t(0), size_t(1), size_t(7), size_t(10'000)}) {
        for (unsigned workers : {1u, 4u, 64u}) {
            std::vector<std::atomic<int>> seen(count);
            std::atomic<bool> workerOutOfRange{false};
            parallelFor(count, workers, 16, [&](size_t i, unsigned worker) {
                seen[i].fetch_add(1);
                if (worker >= workers) workerOutOfRange = true;
            });
            for (size_t i = 0; i < count; ++i) ASSERT_EQ(seen[i].load(), 1) << count << " " << workers << " " << i;
            EXPECT_FALSE(workerOutOfRange.load());
        }
    }
}

// A superseded job sets its flag from another thread while the loop runs: no batch starts after
// the loop saw it, and a flag set before the loop starts lets nothing run at all.
TEST(SharedHelpers, ParallelForHandsOutNoFurtherBatchOnceCancelled) {
    for (unsigned workers : {1u, 4u}) {
        CancelFlag cancel;
        std::atomic<size_t> calls{0};
        constexpr size_t kCount = 100'000;
        parallelFor(
            kCount, workers, 8,
            [&](size_t, unsigned) {
                if (calls.fetch_add(1) == 100) cancel.set();
            },
            &cancel);
        EXPECT_TRUE(cancel.isSet());
        // At most the batches under way when the flag went up finish: one per worker.
        EXPECT_LE(calls.load(), 101 + size_t(workers) * 8) << workers;

        std::atomic<size_t> after{0};
        parallelFor(kCount, workers, 8, [&](size_t, unsigned) { after.fetch_add(1); }, &cancel);
        EXPECT_EQ(after.load(), 0u);
    }
}
