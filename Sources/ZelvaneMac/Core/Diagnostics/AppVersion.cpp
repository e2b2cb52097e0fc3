#include "ZelvaneMac/Core/Diagnostics/AppVersion.hpp"

#include "AppVersionBuildDate.hpp"

#include <QDate>
#include <QTimeZone>

#include <charconv>
#include <optional>

namespace zelvane::AppVersion {
namespace {

std::optional<int> digitsValue(std::string_view text, size_t start, size_t length) {
    if (start >= text.size()) return std::nullopt;
    const std::string_view part = text.substr(start, length);
    if (part.empty()) return std::nullopt;
    for (char c : part)
        if (c < '0' || c > '9') return std::nullopt;
    int value = 0;
    const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), value);
    if (ec != std::errc() || end != part.data() + part.size()) return std::nullopt;
    return value;
}

}  // namespace

std::string_view buildDate() { return ZELVANE_BUILD_DATE; }

QDateTime buildDateAsDate() { return dateFromBuildDateText(buildDate()); }

QDateTime dateFromBuildDateText(std::string_view text) {
    const auto year = digitsValue(text, 0, 4);
    const auto month = digitsValue(text, 4, 2);
    const auto day = digitsValue(text, 6, 2);
    if (year && month && day) {
        const QDate date(*year, *month, *day);
        if (date.isValid()) return QDateTime(date, QTime(0, 0), QTimeZone::utc());
    }
    return QDateTime::currentDateTimeUtc();
}

}  // namespace zelvane::AppVersion
