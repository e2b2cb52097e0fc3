#include "ScanEngine/Support/CivilTime.hpp"

#include <ctime>

#include "ScanEngine/Support/Arithmetic.hpp"

namespace zelvane {
namespace {

int64_t systemOffset(int64_t unixSeconds) noexcept {
    time_t t = static_cast<time_t>(unixSeconds);
    struct tm tm {};
    if (!localtime_r(&t, &tm)) return 0;
    return tm.tm_gmtoff;
}

}  // namespace

// Howard Hinnant's days_from_civil, with the month first folded into 1-12.
int64_t daysFromCivil(int64_t year, int64_t month, int64_t day) noexcept {
    year += floorDiv(month - 1, 12);
    int64_t m = floorMod(month - 1, 12) + 1;
    int64_t y = m <= 2 ? year - 1 : year;
    int64_t era = floorDiv(y, 400);
    int64_t yoe = y - era * 400;
    int64_t mp = (m + 9) % 12;
    int64_t doy = (153 * mp + 2) / 5;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 + (day - 1);
}

int daysInMonth(int64_t year, int month) noexcept {
    return int(daysFromCivil(year, month + 1, 1) - daysFromCivil(year, month, 1));
}

CivilDateTime civilFromUnixSeconds(int64_t s) noexcept {
    int64_t days = floorDiv(s, 86400);
    int64_t secs = s - days * 86400;
    int64_t z = days + 719468;
    int64_t era = floorDiv(z, 146097);
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    CivilDateTime c;
    c.day = int(doy - (153 * mp + 2) / 5 + 1);
    c.month = int(mp < 10 ? mp + 3 : mp - 9);
    c.year = yoe + era * 400 + (c.month <= 2 ? 1 : 0);
    c.hour = int(secs / 3600);
    c.minute = int(secs / 60 % 60);
    c.second = int(secs % 60);
    return c;
}

int64_t unixSecondsFromCivil(const CivilDateTime& c) noexcept {
    return daysFromCivil(c.year, c.month, c.day) * 86400 + int64_t(c.hour) * 3600 + int64_t(c.minute) * 60 + c.second;
}

int64_t LocalOffsetCache::offsetAt(int64_t unixSeconds) noexcept {
    if (slots_.empty()) slots_.resize(kSlots);
    int64_t day = floorDiv(unixSeconds, 86400);
    Slot& slot = slots_[size_t(day) & (kSlots - 1)];
    if (slot.day != day) {
        int64_t a = systemOffset(day * 86400);
        int64_t b = systemOffset(day * 86400 + 86399);
        slot = {day, int32_t(a), a != b};
    }
    return slot.mixed ? systemOffset(unixSeconds) : slot.offset;
}

int64_t LocalOffsetCache::unixFromLocal(int64_t local) noexcept {
    // The offsets a day either side bracket any transition near the wanted instant (offsets stay
    // within a few hours of UTC), so there are at most two candidates.
    int64_t before = offsetAt(local - 86400);
    int64_t after = offsetAt(local + 86400);
    if (before == after) return local - before;
    int64_t tBefore = local - before;
    int64_t tAfter = local - after;
    bool beforeHolds = offsetAt(tBefore) == before;
    bool afterHolds = offsetAt(tAfter) == after;
    if (beforeHolds != afterHolds) return beforeHolds ? tBefore : tAfter;
    // Both hold: a repeated wall time. Neither: a skipped one. The later instant answers both.
    return tBefore > tAfter ? tBefore : tAfter;
}

}  // namespace zelvane
