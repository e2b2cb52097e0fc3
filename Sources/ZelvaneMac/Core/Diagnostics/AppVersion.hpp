#pragma once

#include <QDateTime>

#include <string_view>

namespace zelvane::AppVersion {

inline constexpr std::string_view version = "1.00";

// The build date as "yyyyMMdd" (UTC), fixed when the program is built from the date of its commit.
std::string_view buildDate();

// Midnight UTC of the build date; the current moment when the text is no date.
QDateTime buildDateAsDate();

// The conversion itself: year from characters 1-4, month from 5-6, day from 7-8, all decimal
// digits and together a real Gregorian day; anything else gives the current moment.
QDateTime dateFromBuildDateText(std::string_view text);

}  // namespace zelvane::AppVersion
