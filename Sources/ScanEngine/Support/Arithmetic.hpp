#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace zelvane {

// Sizes, counts and dates from hostile input (a crafted CSV, a filter term, a sparse file claiming
// exabytes) must never wrap around: sums and products stop at the ends of the Int64 range.
constexpr int64_t saturatingAdd(int64_t a, int64_t b) noexcept {
    int64_t r = 0;
    if (__builtin_add_overflow(a, b, &r)) return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    return r;
}

constexpr int64_t saturatingMul(int64_t a, int64_t b) noexcept {
    int64_t r = 0;
    if (__builtin_mul_overflow(a, b, &r))
        return ((a < 0) != (b < 0)) ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
    return r;
}

// NaN reads as 0; values past either end of the range stop there.
inline int64_t saturateToInt64(double v) noexcept {
    constexpr double kInt64MaxAsDouble = 9223372036854775807.0;  // rounds to 2^63
    if (std::isnan(v)) return 0;
    if (v >= kInt64MaxAsDouble) return std::numeric_limits<int64_t>::max();
    if (v <= -kInt64MaxAsDouble) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(v);
}

// Division rounding towards negative infinity, and its remainder (never negative for b > 0).
constexpr int64_t floorDiv(int64_t a, int64_t b) noexcept { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
constexpr int64_t floorMod(int64_t a, int64_t b) noexcept { return a - floorDiv(a, b) * b; }

}  // namespace zelvane
