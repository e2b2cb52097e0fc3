#include "ScanEngine/Filter/Filters.hpp"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>
#include <unicode/ubrk.h>
#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <ctime>
#include <limits>

#include "ScanEngine/Support/Arithmetic.hpp"
#include "ScanEngine/Support/CivilTime.hpp"
#include "ScanEngine/Support/Text.hpp"
#include "ScanEngine/Tree/FileNode.hpp"
#include "ScanEngine/Filter/FilterMatching.hpp"
#include "ScanEngine/Tree/NameCoding.hpp"
#include "ScanEngine/Tree/NameSort.hpp"

namespace zelvane {

// ---- regular expressions -------------------------------------------------------------------

namespace {

// One match-data block and one match context per thread, made on the thread's first match:
// matching millions of names must not allocate, a block may not be shared between threads, and
// the context's limits are set for each text.
class ThreadMatchData final {
public:
    ThreadMatchData() : data_(pcre2_match_data_create(1, nullptr)), context_(pcre2_match_context_create(nullptr)) {}
    ~ThreadMatchData() {
        pcre2_match_data_free(data_);
        pcre2_match_context_free(context_);
    }
    ThreadMatchData(const ThreadMatchData&) = delete;
    ThreadMatchData& operator=(const ThreadMatchData&) = delete;
    pcre2_match_data* data() const { return data_; }
    pcre2_match_context* contextFor(size_t length) {
        const auto scaled = [length](uint32_t floor, uint32_t perUnit) {
            return uint32_t(std::min<uint64_t>(std::max<uint64_t>(floor, uint64_t(length) * perUnit), UINT32_MAX));
        };
        pcre2_set_match_limit(context_, scaled(FilterRegex::kMatchLimitFloor, FilterRegex::kMatchLimitPerUnit));
        pcre2_set_depth_limit(context_, scaled(FilterRegex::kDepthLimitFloor, FilterRegex::kDepthLimitPerUnit));
        return context_;
    }

private:
    pcre2_match_data* data_;
    pcre2_match_context* context_;
};

ThreadMatchData& threadMatchData() {
    thread_local ThreadMatchData data;
    return data;
}

// Bit 0 of the stored code pointer says whether the JIT compile succeeded (pcre2_code is aligned).
constexpr uintptr_t kJitBit = 1;

}  // namespace

std::shared_ptr<const FilterRegex> FilterRegex::compile(std::u16string_view pattern) {
    int error = 0;
    PCRE2_SIZE offset = 0;
    // Names may hold escaped bytes (lone surrogates): MATCH_INVALID_UTF lets them be searched as
    // they are instead of making the match undefined.
    const uint32_t options = PCRE2_UTF | PCRE2_UCP | PCRE2_CASELESS | PCRE2_MATCH_INVALID_UTF;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), options, &error,
                                     &offset, nullptr);
    if (!code) return nullptr;
    uintptr_t stored = reinterpret_cast<uintptr_t>(code);
    if (pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) == 0) stored |= kJitBit;
    return std::shared_ptr<const FilterRegex>(new FilterRegex(reinterpret_cast<void*>(stored)));
}

FilterRegex::~FilterRegex() {
    pcre2_code_free(reinterpret_cast<pcre2_code*>(reinterpret_cast<uintptr_t>(code_) & ~kJitBit));
}

std::optional<std::pair<int32_t, int32_t>> FilterRegex::firstMatch(std::u16string_view text) const noexcept {
    const uintptr_t stored = reinterpret_cast<uintptr_t>(code_);
    const auto* code = reinterpret_cast<const pcre2_code*>(stored & ~kJitBit);
    ThreadMatchData& thread = threadMatchData();
    pcre2_match_data* md = thread.data();
    pcre2_match_context* limits = thread.contextFor(text.size());
    if (!md || !limits) return std::nullopt;
    const auto* subject = reinterpret_cast<PCRE2_SPTR>(text.data());
    int rc = (stored & kJitBit) ? pcre2_jit_match(code, subject, text.size(), 0, 0, md, limits)
                                : pcre2_match(code, subject, text.size(), 0, 0, md, limits);
    // The JIT's machine stack is small; a pattern that backtracks deeply over a long path runs out
    // of it and is then matched again by the interpreter, whose frames live on the heap.
    if (rc == PCRE2_ERROR_JIT_STACKLIMIT) rc = pcre2_match(code, subject, text.size(), 0, PCRE2_NO_JIT, md, limits);
    if (rc < 0) return std::nullopt;  // no match, or a resource limit: either way not a hit
    const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md);
    if (ov[0] > ov[1] || ov[1] > text.size()) return std::nullopt;  // \K games can invert a match
    return std::pair<int32_t, int32_t>(int32_t(ov[0]), int32_t(ov[1] - ov[0]));
}

// ---- clock ---------------------------------------------------------------------------------

FilterClock FilterClock::current() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    FilterClock c;
    c.nowUnixSeconds = duration<double>(now.time_since_epoch()).count();
    std::time_t t = system_clock::to_time_t(now);
    std::tm local{};
    if (localtime_r(&t, &local)) c.utcOffsetSeconds = double(local.tm_gmtoff);
    return c;
}

// ---- small text helpers --------------------------------------------------------------------

namespace {

// The largest double below 2^63: a clamped value still converts to Int64 without overflow.
constexpr double kLargestInt64Double = 9223372036854774784.0;

double clampToInt64Range(double v) noexcept {
    if (std::isnan(v)) return 0;
    return std::clamp(v, -kLargestInt64Double, kLargestInt64Double);
}

bool startsWith(std::u16string_view s, std::u16string_view prefix) noexcept {
    return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}

// Keyword letters are ASCII; a unit counts when its simple upper case is that letter.
bool upperEquals(char16_t u, char asciiUpper) noexcept { return u_toupper(UChar32(u)) == UChar32(asciiUpper); }
bool lowerEquals(char16_t u, char asciiLower) noexcept { return u_tolower(UChar32(u)) == UChar32(asciiLower); }

bool startsWithKeyword(std::u16string_view s, std::string_view upperKeyword) noexcept {
    if (s.size() < upperKeyword.size()) return false;
    for (size_t i = 0; i < upperKeyword.size(); ++i)
        if (!upperEquals(s[i], upperKeyword[i])) return false;
    return true;
}

bool equalsIgnoringCase(std::u16string_view s, std::string_view lowerWord) noexcept {
    if (s.size() != lowerWord.size()) return false;
    for (size_t i = 0; i < s.size(); ++i)
        if (u_foldCase(UChar32(s[i]), U_FOLD_CASE_DEFAULT) != UChar32(lowerWord[i])) return false;
    return true;
}

bool isNumericChar(UChar32 c) noexcept { return u_getIntPropertyValue(c, UCHAR_NUMERIC_TYPE) != U_NT_NONE; }

// ASCII text only (digits, signs, points, exponents); anything else does not parse.
bool toAscii(std::u16string_view s, std::string& out) {
    out.clear();
    for (char16_t u : s) {
        if (u >= 0x80) return false;
        out.push_back(char(u));
    }
    return true;
}

// A whole decimal integer with an optional sign; none when it is empty, has other characters or
// does not fit in 64 bits.
std::optional<int64_t> parseDecimalInteger(std::u16string_view s) {
    std::string a;
    if (!toAscii(s, a)) return std::nullopt;
    return zelvane::parseDecimalInteger(std::string_view(a));
}

// A whole decimal floating-point number in the C locale; an optional leading '+' is accepted.
// Values beyond a double's range read as infinity or zero, as their magnitude says.
std::optional<double> parseDecimalDouble(std::u16string_view s) {
    std::string a;
    if (!toAscii(s, a) || a.empty()) return std::nullopt;
    const char* b = a.data();
    const char* e = b + a.size();
    if (*b == '+') {
        ++b;
        if (b == e || *b == '+' || *b == '-') return std::nullopt;
    }
    double v = 0;
    auto [p, ec] = std::from_chars(b, e, v, std::chars_format::general);
    if (p != e) return std::nullopt;
    if (ec == std::errc::result_out_of_range) {
        const bool negative = *b == '-';
        const char* exp = std::find_if(b, e, [](char c) { return c == 'e' || c == 'E'; });
        bool tiny;
        if (exp != e) {
            tiny = exp + 1 != e && exp[1] == '-';
        } else {
            const char* point = std::find(b, e, '.');
            tiny = std::all_of(b, point, [](char c) { return c == '0' || c == '-'; });
        }
        if (tiny) return negative ? -0.0 : 0.0;
        return negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    }
    if (ec != std::errc()) return std::nullopt;
    return v;
}

// Unit offsets of the first `count` code points' ends; fewer entries when the text is shorter.
std::vector<size_t> codePointEnds(std::u16string_view s, size_t count) {
    std::vector<size_t> ends;
    size_t i = 0;
    while (i < s.size() && ends.size() < count) {
        UChar32 c;
        U16_NEXT(s.data(), i, s.size(), c);
        (void)c;
        ends.push_back(i);
    }
    return ends;
}

UChar32 codePointAt(std::u16string_view s, size_t i) {
    UChar32 c;
    U16_NEXT(s.data(), i, s.size(), c);
    return c;
}

constexpr int64_t kReferenceDayFromUnix = 11323;  // 2001-01-01 in days since 1970-01-01

int64_t localDay(double unixSeconds, double offset) {
    return saturateToInt64(std::floor((unixSeconds - double(kReferenceDateUnixSeconds) + offset) / 86400.0));
}

}  // namespace

// ---- parser steps --------------------------------------------------------------------------

std::vector<std::u16string> splitQuoteAware(std::u16string_view text, char16_t separator) {
    std::vector<std::u16string> pieces;
    std::u16string current;
    bool inQuotes = false;
    auto take = [&](std::u16string_view ch) {
        if (ch.size() == 1 && ch[0] == u'"') {
            inQuotes = !inQuotes;
            current.push_back(u'"');
        } else if (ch.size() == 1 && ch[0] == separator && !inQuotes) {
            pieces.push_back(std::move(current));
            current.clear();
        } else {
            current.append(ch);
        }
    };

    // Whole characters: a quote or separator followed by a combining mark is another character.
    // Plain ASCII text has no clusters beyond CR LF, which holds neither a quote nor a separator.
    bool ascii = std::all_of(text.begin(), text.end(), [](char16_t u) { return u < 0x80; });
    UErrorCode status = U_ZERO_ERROR;
    UBreakIterator* it = nullptr;
    if (!ascii && !text.empty())
        it = ubrk_open(UBRK_CHARACTER, "", reinterpret_cast<const UChar*>(text.data()), int32_t(text.size()), &status);
    if (it && U_SUCCESS(status)) {
        int32_t start = ubrk_first(it);
        for (int32_t end = ubrk_next(it); end != UBRK_DONE; start = end, end = ubrk_next(it))
            take(text.substr(size_t(start), size_t(end - start)));
    } else {
        for (size_t i = 0; i < text.size(); ++i) take(text.substr(i, 1));
    }
    if (it) ubrk_close(it);
    pieces.push_back(std::move(current));
    return pieces;
}

std::optional<std::pair<int64_t, std::u16string>> parseISODate(std::u16string_view text) {
    auto ends = codePointEnds(text, 10);
    if (ends.size() < 10) return std::nullopt;
    auto piece = [&](size_t firstChar, size_t lastChar) {  // characters counted from 1
        size_t b = firstChar == 1 ? 0 : ends[firstChar - 2];
        return text.substr(b, ends[lastChar - 1] - b);
    };
    if (isNumericChar(codePointAt(text, ends[3])) || isNumericChar(codePointAt(text, ends[6]))) return std::nullopt;
    auto year = parseDecimalInteger(piece(1, 4));
    auto month = parseDecimalInteger(piece(6, 7));
    auto day = parseDecimalInteger(piece(9, 10));
    if (!year || !month || !day) return std::nullopt;
    // Out-of-range months and days roll over into the neighbouring years and months. The day
    // number is the calendar day itself: taking it from local midnight with today's zone offset
    // would shift dates on the other side of a daylight-saving change by a whole day.
    int64_t m0 = *month - 1;
    int64_t y = *year + floorDiv(m0, 12);
    int64_t m = m0 - floorDiv(m0, 12) * 12 + 1;
    int64_t dayNumber = daysFromCivil(y, m, 1) + (*day - 1) - kReferenceDayFromUnix;
    return std::pair<int64_t, std::u16string>(dayNumber, std::u16string(text.substr(ends[9])));
}

double getSeconds(std::u16string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        size_t next = i;
        UChar32 c;
        U16_NEXT(text.data(), next, text.size(), c);
        if (!isNumericChar(c)) break;
        i = next;
    }
    double multiplier = 60;
    if (i < text.size()) {
        UChar32 unit = u_tolower(codePointAt(text, i));
        if (unit == 'h') multiplier = 3600;
        else if (unit == 'm') multiplier = 60;
        else if (unit == 's') multiplier = 1;
    }
    std::string ascii;
    double number = 0;
    if (i > 0 && toAscii(text.substr(0, i), ascii)) {
        auto [p, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), number);
        if (ec == std::errc::result_out_of_range) number = std::numeric_limits<double>::infinity();
        else if (ec != std::errc() || p != ascii.data() + ascii.size()) number = 0;
    }
    return number * multiplier;
}

std::optional<double> parseTimeOfDay(std::u16string_view text, std::u16string& consumed) {
    enum class Half { none, am, pm } half = Half::none;
    std::u16string_view clock = text;
    auto firstOf = [&](char lower) -> size_t {
        for (size_t i = 0; i < text.size(); ++i)
            if (lowerEquals(text[i], lower)) return i;
        return std::u16string_view::npos;
    };
    if (size_t a = firstOf('a'); a != std::u16string_view::npos) {
        clock = text.substr(0, a);
        half = Half::am;
    } else if (size_t p = firstOf('p'); p != std::u16string_view::npos) {
        clock = text.substr(0, p);
        half = Half::pm;
    }
    std::vector<std::u16string_view> pieces;
    for (size_t start = 0;;) {
        size_t colon = clock.find(u':', start);
        pieces.push_back(clock.substr(start, colon == std::u16string_view::npos ? std::u16string_view::npos : colon - start));
        if (colon == std::u16string_view::npos) break;
        start = colon + 1;
    }
    auto hour = parseDecimalInteger(pieces[0]);
    if (!hour || *hour < 0) return std::nullopt;
    int64_t minute = pieces.size() > 1 ? parseDecimalInteger(pieces[1]).value_or(0) : 0;
    int64_t second = pieces.size() > 2 ? parseDecimalInteger(pieces[2]).value_or(0) : 0;
    int64_t h = *hour;
    if (half == Half::am && h == 12) h = 0;
    if (half == Half::pm && h < 12) h += 12;
    int64_t total = saturatingAdd(saturatingAdd(saturatingMul(h, 3600), saturatingMul(minute, 60)), second);
    consumed.clear();
    return clampToInt64Range(double(total));
}

std::optional<FilterItem> checkSpecialOp(std::u16string_view term, const FilterClock& clock) {
    static constexpr std::pair<std::string_view, SizeOpType> kKeywords[] = {
        {"DUPCOUNT", SizeOpType::dupCount}, {"DUPSIZE", SizeOpType::dupSize}, {"NAMELEN", SizeOpType::nameLen},
        {"PATHLEN", SizeOpType::pathLen},   {"A", SizeOpType::allocated},     {"S", SizeOpType::fileSize},
    };
    SizeOpType type = SizeOpType::fileSize;
    std::u16string_view rest = term;
    for (const auto& [word, t] : kKeywords) {
        if (startsWithKeyword(term, word)) {
            type = t;
            rest = term.substr(word.size());
            break;
        }
    }

    FilterItem item;
    SizeOp op;
    if (startsWith(rest, u"=")) {
        rest.remove_prefix(1);
        if (equalsIgnoringCase(rest, "folder") || equalsIgnoringCase(rest, "folders")) {
            item.foldersOnly = true;
            return item;
        }
        if (equalsIgnoringCase(rest, "file") || equalsIgnoringCase(rest, "files")) {
            item.filesOnly = true;
            return item;
        }
        if (equalsIgnoringCase(rest, "dup") || equalsIgnoringCase(rest, "dups")) {
            item.sizeOpType = SizeOpType::dupCount;
            item.sizeOp = SizeOp::gt;
            item.sizeBytes = 0;
            return item;
        }
        op = SizeOp::equals;
    } else if (startsWith(rest, u">=")) {
        op = SizeOp::gte;
        rest.remove_prefix(2);
    } else if (startsWith(rest, u"<=")) {
        op = SizeOp::lte;
        rest.remove_prefix(2);
    } else if (startsWith(rest, u">")) {
        op = SizeOp::gt;
        rest.remove_prefix(1);
    } else if (startsWith(rest, u"<")) {
        op = SizeOp::lt;
        rest.remove_prefix(1);
    } else {
        return std::nullopt;
    }
    item.sizeOp = op;

    // A number with an optional unit.
    std::u16string_view number = rest;
    if (!number.empty() && (number.back() == u'B' || number.back() == u'b')) number.remove_suffix(1);
    double multiplier = 1;
    if (!number.empty()) {
        switch (number.back()) {
        case u'K': case u'k': multiplier = 1024.0; break;
        case u'M': case u'm': multiplier = 1048576.0; break;
        case u'G': case u'g': multiplier = 1073741824.0; break;
        case u'T': case u't': multiplier = 1099511627776.0; break;
        default: break;
        }
        if (multiplier != 1) number.remove_suffix(1);
    }
    if (auto value = parseDecimalDouble(number); value && *value >= 0) {
        item.sizeOpType = type;
        // Values past the Int64 range (S>1e300) saturate: such a term matches nothing or
        // everything, as its comparison says, instead of converting out of range.
        item.sizeBytes = saturateToInt64(std::round(*value * multiplier));
        return item;
    }

    // A date or a time; the keyword no longer matters.
    const double offset = clock.utcOffsetSeconds;
    std::optional<int64_t> baseDay;
    std::u16string_view remainder;
    std::u16string isoRest;
    if (startsWithKeyword(rest, "TODAY")) {
        baseDay = localDay(clock.nowUnixSeconds, offset);
        remainder = rest.substr(5);
    } else if (auto iso = parseISODate(rest)) {
        baseDay = iso->first;
        isoRest = std::move(iso->second);
        remainder = isoRest;
    }
    if (baseDay) {
        int64_t day = *baseDay;
        if (!remainder.empty() && (remainder[0] == u'-' || remainder[0] == u'+')) {
            const int64_t sign = remainder[0] == u'-' ? -1 : 1;
            remainder.remove_prefix(1);
            const char16_t last = remainder.empty() ? u'\0' : remainder.back();
            if (!remainder.empty() && (upperEquals(last, 'H') || upperEquals(last, 'M') || upperEquals(last, 'S'))) {
                item.sizeOpType = SizeOpType::modifiedTime;
                item.sizeTimeOfDay = clampToInt64Range(clock.nowUnixSeconds + double(sign) * getSeconds(remainder));
                item.sizeTimeOfDayIsAbsolute = true;
                return item;
            }
            if (auto n = parseDecimalInteger(remainder)) day = saturatingAdd(day, saturatingMul(sign, *n));
        }
        item.sizeOpType = SizeOpType::modified;
        item.sizeDateDay = day;
        item.sizeDateLocalOffsetSeconds = offset;
        return item;
    }
    if (startsWithKeyword(rest, "NOW")) {
        double t = clock.nowUnixSeconds;
        std::u16string_view after = rest.substr(3);
        if (!after.empty() && (after[0] == u'-' || after[0] == u'+'))
            t += (after[0] == u'-' ? -1.0 : 1.0) * getSeconds(after.substr(1));
        item.sizeOpType = SizeOpType::modifiedTime;
        item.sizeTimeOfDay = clampToInt64Range(t);
        item.sizeTimeOfDayIsAbsolute = true;
        return item;
    }
    std::u16string consumed(rest);
    if (auto seconds = parseTimeOfDay(rest, consumed)) {
        item.sizeOpType = SizeOpType::modifiedTime;
        item.sizeTimeOfDay = *seconds;
        item.sizeTimeOfDayIsAbsolute = false;
        item.sizeDateLocalOffsetSeconds = offset;
        return item;
    }
    return std::nullopt;
}

// ---- decoding ------------------------------------------------------------------------------

namespace {

bool contains(std::u16string_view s, char16_t u) { return s.find(u) != std::u16string_view::npos; }

void trimSpacesAndTabs(std::u16string& s) {
    auto blank = [](char16_t u) { return u == u' ' || u == u'\t'; };
    size_t b = 0, e = s.size();
    while (b < e && blank(s[b])) ++b;
    while (e > b && blank(s[e - 1])) --e;
    s = s.substr(b, e - b);
}

std::optional<FilterItem> decodeAlternative(std::u16string text, bool& fullpath, const FilterClock& clock) {
    size_t lead = 0;
    while (lead < text.size() && text[lead] == u' ') ++lead;
    text.erase(0, lead);
    if (text.empty()) return std::nullopt;

    bool quoted = false;
    if (text[0] == u'"') {
        quoted = true;
        text.erase(0, 1);
        if (!text.empty() && text.back() == u'"') text.pop_back();
        if (text.empty()) return std::nullopt;
    }

    FilterItem item;
    if (!quoted) {
        if (text[0] == u'!') {
            item.notFlag = true;
            text.erase(0, 1);
            if (!text.empty() && text[0] == u'"') {
                text.erase(0, 1);
                if (!text.empty() && text.back() == u'"') text.pop_back();
            }
        }
        if (auto special = checkSpecialOp(text, clock)) {
            special->notFlag = item.notFlag;
            return special;
        }
    }

    item.wildcards = contains(text, u'*') || contains(text, u'?');
    item.pathSeparator = contains(text, u'/');
    if (item.pathSeparator) fullpath = true;

    // A regular expression is recognised before full-path anchoring: a '*' put in front would
    // hide the leading backslash, and every expression with '*' or '?' would silently turn into
    // a wildcard pattern in full-path mode.
    if (!text.empty() && text[0] == u'\\') {
        std::u16string_view pattern(text);
        pattern.remove_prefix(1);
        if (!pattern.empty() && pattern.back() == u'\\') pattern.remove_suffix(1);
        if (pattern.size() >= 2 && pattern.front() == u'"' && pattern.back() == u'"')
            pattern = pattern.substr(1, pattern.size() - 2);
        item.regex = FilterRegex::compile(pattern);
    }

    if (!item.regex && item.wildcards && fullpath && text[0] != u'*') text.insert(text.begin(), u'*');

    if (startsWith(text, u"*.") && text.size() >= 3) {
        std::u16string_view ext = std::u16string_view(text).substr(2);
        item.fileExtension = !contains(ext, u'*') && !contains(ext, u'?');
    }
    item.filterNoExtension = text == u"*.";

    if (item.wildcards && !item.fileExtension && fullpath && text.back() != u'*' && !item.regex && !contains(text, u'.'))
        text.push_back(u'*');

    item.filterTextUnits = upcaseFoldString(text);
    item.filterText = displayUTF8(item.filterTextUnits);
    if (item.fileExtension) item.filterTextUnitsNoStar = item.filterTextUnits.substr(1);
    return item;
}

}  // namespace

DecodedFilter decodeFilterText(std::u16string_view input, bool& fullpath, const FilterClock& clock) {
    std::u16string text(input);
    replaceAll(text, u" | ", u"|");
    replaceAll(text, u" |", u"|");
    replaceAll(text, u"| ", u"|");

    DecodedFilter groups;
    for (std::u16string& token : splitQuoteAware(text, u' ')) {
        trimSpacesAndTabs(token);
        if (token == u"*.*") token.assign(1, u'*');
        if (token.empty()) continue;
        FilterGroup group;
        for (std::u16string& alternative : splitQuoteAware(token, u'|'))
            if (auto item = decodeAlternative(std::move(alternative), fullpath, clock)) group.push_back(std::move(*item));
        if (!group.empty()) groups.push_back(std::move(group));
    }
    return groups;
}

DecodedFilter decodeFilterText(std::u16string_view text, bool& fullpath) {
    return decodeFilterText(text, fullpath, FilterClock::current());
}

DecodedFilter decodeFilterText(std::string_view textUTF8, bool& fullpath, const FilterClock& clock) {
    return decodeFilterText(std::u16string_view(decodeNameUTF8(textUTF8)), fullpath, clock);
}

DecodedFilter decodeFilterText(std::string_view textUTF8, bool& fullpath) {
    return decodeFilterText(textUTF8, fullpath, FilterClock::current());
}

// ---- matching ------------------------------------------------------------------------------

namespace filtermatch {

bool compareTerm(const FilterItem& t, const FileNode& node, bool subFolderSizeAvailable, size_t pathLength) noexcept {
    auto cmp = [op = *t.sizeOp](auto v, auto b) {
        switch (op) {
        case SizeOp::equals: return v == b;
        case SizeOp::gt: return v > b;
        case SizeOp::gte: return v >= b;
        case SizeOp::lt: return v < b;
        case SizeOp::lte: return v <= b;
        }
        return false;
    };
    const double offset = t.sizeDateLocalOffsetSeconds.value_or(0);
    switch (*t.sizeOpType) {
    case SizeOpType::fileSize:
        if (!node.isDir()) return cmp(node.fileSize, t.sizeBytes);
        return !subFolderSizeAvailable || cmp(node.subFolderTotSize(), t.sizeBytes);
    case SizeOpType::allocated:
        if (!node.isDir()) return cmp(node.allocSize, t.sizeBytes);
        return !subFolderSizeAvailable || cmp(node.subFolderTotSizeAlloc(), t.sizeBytes);
    case SizeOpType::nameLen: return cmp(int64_t(node.nameLength()), t.sizeBytes);
    case SizeOpType::pathLen: return cmp(int64_t(pathLength), t.sizeBytes);
    case SizeOpType::dupCount: return cmp(int64_t(node.dupCount()), t.sizeBytes);
    case SizeOpType::dupSize: return cmp(node.dupSize(), t.sizeBytes);
    case SizeOpType::modified:
        return cmp(saturateToInt64(std::floor((double(node.modifiedDateRaw) + offset) / 86400.0)), t.sizeDateDay.value_or(0));
    case SizeOpType::modifiedTime:
        if (t.sizeTimeOfDayIsAbsolute)
            return cmp(double(node.modifiedDateRaw) + double(kReferenceDateUnixSeconds), t.sizeTimeOfDay.value_or(0));
        {
            double tod = std::fmod(double(node.modifiedDateRaw) + offset, 86400.0);
            if (tod < 0) tod += 86400.0;
            return cmp(tod, t.sizeTimeOfDay.value_or(0));
        }
    }
    return false;
}

}  // namespace filtermatch

namespace {

// The node's full path, built on first need into a per-thread buffer and reused for the later
// terms of the same call. Matching runs once per entry of a scan: the buffer keeps that
// allocation-free once it has grown to the longest path seen.
class LazyThreadPath final {
public:
    explicit LazyThreadPath(const FileNode& node) : node_(node) {}
    std::u16string_view operator()() {
        thread_local std::u16string buffer;
        if (!built_) {
            filtermatch::buildFullPath(node_, buffer);
            built_ = true;
        }
        return buffer;
    }

private:
    const FileNode& node_;
    bool built_ = false;
};

template <bool FullPathMode>
bool matchGroups(const FileNode& node, const DecodedFilter& filters, bool subFolderSizeAvailable) {
    LazyThreadPath path(node);
    for (const FilterGroup& group : filters) {
        bool holds = false;
        for (const FilterItem& term : group) {
            if (filtermatch::evaluateTerm(term, node, FullPathMode, subFolderSizeAvailable, path) != term.notFlag) {
                holds = true;
                break;
            }
        }
        if (!holds) return false;
    }
    return true;
}

// Whether the term's answer for this node is only known once the tree is complete.
inline bool waitsForFinishedTree(const FilterItem& term, const FileNode& node, bool folderDatesFinal) noexcept {
    if (!term.sizeOp || !term.sizeOpType) return false;
    switch (*term.sizeOpType) {
    case SizeOpType::fileSize:
    case SizeOpType::allocated: return node.isDir();
    case SizeOpType::modified:
    case SizeOpType::modifiedTime: return node.isDir() && !folderDatesFinal;
    case SizeOpType::dupCount:
    case SizeOpType::dupSize: return true;
    case SizeOpType::nameLen:
    case SizeOpType::pathLen: return false;
    }
    return false;
}

template <bool FullPathMode>
ScanMatch matchGroupsDuringScan(const FileNode& node, const DecodedFilter& filters, bool folderDatesFinal) {
    LazyThreadPath path(node);
    bool undecided = false;
    for (const FilterGroup& group : filters) {
        bool holds = false;
        bool waits = false;
        for (const FilterItem& term : group) {
            if (waitsForFinishedTree(term, node, folderDatesFinal)) {
                waits = true;
                continue;
            }
            if (filtermatch::evaluateTerm(term, node, FullPathMode, true, path) != term.notFlag) {
                holds = true;
                break;
            }
        }
        if (holds) continue;
        if (!waits) return ScanMatch::notMatched;
        undecided = true;
    }
    return undecided ? ScanMatch::undecided : ScanMatch::matched;
}

}  // namespace

ScanMatch matchDuringScan(const FileNode& node, const DecodedFilter& filters, bool fullpath, bool folderDatesFinal) {
    if (fullpath) return matchGroupsDuringScan<true>(node, filters, folderDatesFinal);
    return matchGroupsDuringScan<false>(node, filters, folderDatesFinal);
}

bool matchItem(const FileNode& node, const DecodedFilter& filters, bool fullpath, bool subFolderSizeAvailable) {
    if (fullpath) return matchGroups<true>(node, filters, subFolderSizeAvailable);
    return matchGroups<false>(node, filters, subFolderSizeAvailable);
}

bool matchItemFullPath(const FileNode& node, const DecodedFilter& filters, bool subFolderSizeAvailable) {
    return matchGroups<true>(node, filters, subFolderSizeAvailable);
}

// ---- highlighting --------------------------------------------------------------------------

std::vector<TextRange> findAllRanges(std::u16string_view needle, std::u16string_view text) {
    std::vector<TextRange> out;
    const size_t n = needle.size();
    if (n == 0) return out;  // an empty needle would match at every position without advancing
    size_t p = 0;
    while (p + n <= text.size()) {
        size_t k = 0;
        while (k < n && foldUnit(text[p + k]) == needle[k]) ++k;
        if (k == n) {
            out.push_back({int32_t(p), int32_t(n)});
            p += n;
        } else {
            ++p;
        }
    }
    return out;
}

std::vector<TextRange> highlightRanges(const DecodedFilter& filters, std::u16string_view text) {
    std::vector<TextRange> out;
    for (const FilterGroup& group : filters)
        for (const FilterItem& term : group)
            if (term.regex)
                if (auto m = term.regex->firstMatch(text)) out.push_back({m->first, m->second});

    auto append = [&](std::u16string_view piece) {
        auto found = findAllRanges(piece, text);
        out.insert(out.end(), found.begin(), found.end());
    };
    for (const FilterGroup& group : filters) {
        for (const FilterItem& term : group) {
            if (term.regex || term.foldersOnly || term.filesOnly || term.filterNoExtension || term.sizeOp) continue;
            std::u16string_view units = term.filterTextUnits;
            if (term.wildcards) {
                if (contains(units, u'?')) continue;
                for (size_t start = 0; start <= units.size();) {
                    size_t star = units.find(u'*', start);
                    if (star == std::u16string_view::npos) star = units.size();
                    if (star > start) append(units.substr(start, star - start));
                    start = star + 1;
                }
            } else if (!units.empty()) {
                append(units);
            }
        }
    }
    return out;
}

}  // namespace zelvane
