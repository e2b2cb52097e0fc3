#include <gtest/gtest.h>

#include "ZelvaneMac/Core/Diagnostics/AppVersion.hpp"

#include <QTimeZone>

using namespace zelvane;

namespace {

TEST(AppVersion, BuildDateTextBecomesMidnightUTC) {
    const QDateTime d = AppVersion::dateFromBuildDateText("20260916");
    EXPECT_EQ(d, QDateTime(QDate(2026, 9, 16), QTime(0, 0), QTimeZone::utc()));
    EXPECT_EQ(d.toSecsSinceEpoch(), 1789516800);
    // West of UTC the same moment is still the previous evening.
    EXPECT_EQ(d.toTimeZone(QTimeZone("America/New_York")).date(), QDate(2026, 9, 15));
    EXPECT_EQ(AppVersion::dateFromBuildDateText("20240229").date(), QDate(2024, 2, 29));
}

TEST(AppVersion, TextThatIsNoDateGivesTheCurrentMoment) {
    for (const char* text : {"", "2026", "202609", "2026-9-1", "20261301", "20230229", "2026091x", "abcdefgh",
                             "00000101", "+2026091"}) {
        const QDateTime before = QDateTime::currentDateTimeUtc();
        const QDateTime d = AppVersion::dateFromBuildDateText(text);
        const QDateTime after = QDateTime::currentDateTimeUtc();
        EXPECT_TRUE(d >= before && d <= after) << '"' << text << '"';
    }
}

TEST(AppVersion, TheBuiltInDateIsADay) {
    const std::string_view text = AppVersion::buildDate();
    ASSERT_EQ(text.size(), 8u);
    const QDateTime d = AppVersion::buildDateAsDate();
    EXPECT_EQ(d.time(), QTime(0, 0));
    EXPECT_EQ(d.date().toString("yyyyMMdd").toStdString(), std::string(text));
    EXPECT_EQ(AppVersion::version, "1.00");
}

}  // namespace
