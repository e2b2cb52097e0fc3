#include "ScanEngine/Support/LocaleFormat.hpp"

#include <unicode/locid.h>
#include <unicode/numfmt.h>
#include <unicode/unistr.h>

#include <charconv>
#include <cmath>
#include <memory>

namespace zelvane {

std::string formatIntegerForLocale(int64_t value) {
    // Formatters are not safe to share between threads, so each thread keeps one, made again when
    // the default locale has changed.
    thread_local std::unique_ptr<icu::NumberFormat> fmt;
    thread_local std::string fmtLocale;
    const icu::Locale& locale = icu::Locale::getDefault();
    if (!fmt || fmtLocale != locale.getName()) {
        UErrorCode status = U_ZERO_ERROR;
        fmt.reset(icu::NumberFormat::createInstance(locale, status));
        if (U_FAILURE(status)) fmt.reset();
        fmtLocale = locale.getName();
    }
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
