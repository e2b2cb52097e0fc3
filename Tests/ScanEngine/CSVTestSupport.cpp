#include "CSVTestSupport.hpp"

#include <cstdlib>
#include <ctime>

namespace zelvane::testing {

void useTestTimeZone() {
    static const bool once = [] {
        setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        tzset();
        return true;
    }();
    (void)once;
}

int32_t packedUTC(int y, int mo, int d, int h, int mi, int s) {
    struct tm tm {};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    return packDate(referenceSecondsFromUnix(double(timegm(&tm))));
}

}  // namespace zelvane::testing
