#pragma once

#include <cstdint>
#include <string>

namespace zelvane {

// An integer with the digit grouping of the user's locale (for example 1,234,567 in English).
std::string formatIntegerForLocale(int64_t value);

// "%.Nf" in the C locale, whatever locale the process runs under.
std::string formatFixed(double value, int decimals);

}  // namespace zelvane
