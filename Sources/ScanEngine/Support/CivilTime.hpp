#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zelvane {

// Proleptic Gregorian calendar arithmetic on whole seconds, free of any locale or time-zone state.
struct CivilDateTime {
    int64_t year = 1970;
    int month = 1;  // 1-12
    int day = 1;    // 1-31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Days since 1970-01-01 of the given date. Months and days outside their range roll over the way a
// lenient calendar does: month 13 is January of the next year, day 0 the last day of the month before.
int64_t daysFromCivil(int64_t year, int64_t month, int64_t day) noexcept;
// Days in the given month (1-12) of the proleptic Gregorian calendar.
int daysInMonth(int64_t year, int month) noexcept;
CivilDateTime civilFromUnixSeconds(int64_t unixSeconds) noexcept;
// Seconds since 1970 of the given wall-clock fields read as UTC (lenient like daysFromCivil).
int64_t unixSecondsFromCivil(const CivilDateTime& c) noexcept;

// The local zone's UTC offset, remembered per day so that a million dates cost a few thousand
// look-ups of the C library (which takes a process-wide lock each time). A day whose two ends
// disagree holds a transition and is always asked afresh; two transitions within one day do not occur.
// One instance per thread: it has no lock.
class LocalOffsetCache final {
public:
    // Seconds east of UTC in force at that instant.
    int64_t offsetAt(int64_t unixSeconds) noexcept;
    // The instant at which the local wall clock shows `localSeconds` (wall-clock fields read as UTC).
    // A repeated wall time gives its later instant; a skipped one is read with the offset in force
    // before the transition.
    int64_t unixFromLocal(int64_t localSeconds) noexcept;
    CivilDateTime localCivil(int64_t unixSeconds) noexcept {
        return civilFromUnixSeconds(unixSeconds + offsetAt(unixSeconds));
    }

private:
    struct Slot {
        int64_t day = INT64_MIN;
        int32_t offset = 0;
        bool mixed = false;
    };
    static constexpr std::size_t kSlots = 8192;  // 22 years of distinct days
    std::vector<Slot> slots_;  // made on first use, so that short imports do not pay for it
};

}  // namespace zelvane
