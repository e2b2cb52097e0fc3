#include "LocaleFormat.hpp"

#include <unicode/locid.h>
#include <unicode/numfmt.h>
#include <unicode/unistr.h>

#include <charconv>
#include <cmath>
#include <memory>

namespace zelvane {

std::string formatIntegerForLocale(int64_t value) {
    // A formatter is cheap to clone and not safe to share between threads, so each thread keeps one.
    thread_local std::unique_ptr<icu::NumberFormat> fmt = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::NumberFormat> f(icu::NumberFormat::createInstance(icu::Locale::getDefault(), status));
        if (U_FAILURE(status)) f.reset();
        return f;
    }();
    if (!fmt) return std::to_string(value);
    icu::UnicodeString out;
    fmt->format(static_cast<int64_t>(value), out);
    std::string utf8;
    out.toUTF8String(utf8);
    return utf8;
}

std::string formatFixed(double value, int decimals) {
    if (decimals < 0) decimals = 0;
    if (decimals > 30) decimals = 30;
    char buf[400];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    if (res.ec != std::errc()) return std::isnan(value) ? "nan" : "inf";
    return std::string(buf, res.ptr);
}

}  // namespace zelvane
