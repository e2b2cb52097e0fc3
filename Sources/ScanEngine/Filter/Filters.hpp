#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zelvane {

class FileNode;

// The filter language. A text is decoded once into groups of terms: every group must hold (AND),
// and a group holds when any of its terms holds (OR). Terms keep their text folded through the
// name-folding table, so matching compares folded name units with them and never builds strings.

enum class SizeOpType { fileSize, allocated, modified, modifiedTime, nameLen, pathLen, dupCount, dupSize };
enum class SizeOp { equals, gt, gte, lt, lte };

// A compiled regular expression (PCRE2, 16-bit units, JIT), shared by every copy of its term.
// Compiled code is read-only while matching, so one expression may match on many threads at once.
class FilterRegex final {
public:
    // Case-insensitive, Unicode-aware. Absent when the pattern does not compile.
    static std::shared_ptr<const FilterRegex> compile(std::u16string_view pattern);
    ~FilterRegex();
    FilterRegex(const FilterRegex&) = delete;
    FilterRegex& operator=(const FilterRegex&) = delete;

    // Steps and backtracking depth one match may take: the larger of a floor and a multiple of the
    // text's length. Sensible patterns stay far below it, even deep backtracking over a path tens
    // of thousands of units long; a pattern that backtracks without end ((a+)+$ over a run of a's)
    // stops after about a tenth of a millisecond per name instead of tens of milliseconds.
    static constexpr uint32_t kMatchLimitFloor = 50'000;
    static constexpr uint32_t kMatchLimitPerUnit = 8;
    static constexpr uint32_t kDepthLimitFloor = 20'000;
    static constexpr uint32_t kDepthLimitPerUnit = 4;

    // The first match in `text` as (start, length) in UTF-16 units. Names that are not well-formed
    // UTF-16 (escaped bytes) are searched as they are. Never allocates after a thread's first call.
    // A match that runs into the limits above is no match.
    std::optional<std::pair<int32_t, int32_t>> firstMatch(std::u16string_view text) const noexcept;
    bool matches(std::u16string_view text) const noexcept { return firstMatch(text).has_value(); }

private:
    explicit FilterRegex(void* code) : code_(code) {}
    void* code_;  // pcre2_code_16
};

// One term. The kinds are exclusive: a comparison (`sizeOp`), a regular expression, folders only,
// files only, no extension, an extension, a wildcard pattern or a plain word.
struct FilterItem {
    std::string filterText;           // folded text, UTF-8 (for display)
    std::u16string filterTextUnits;   // the same, as the units matching uses
    std::u16string filterTextUnitsNoStar;  // extension terms: the units without the leading '*'
    bool wildcards = false;
    bool fileExtension = false;
    bool filterNoExtension = false;
    bool pathSeparator = false;
    bool notFlag = false;
    bool foldersOnly = false;
    bool filesOnly = false;
    std::optional<SizeOpType> sizeOpType;
    std::optional<SizeOp> sizeOp;
    int64_t sizeBytes = 0;  // bytes, UTF-16 units or a count; saturated to the Int64 range
    std::optional<int64_t> sizeDateDay;  // whole local days since 2001-01-01
    std::optional<double> sizeDateLocalOffsetSeconds;  // zone offset captured at parse time
    // Relative: seconds since local midnight. Absolute: seconds since 1970-01-01 UTC.
    std::optional<double> sizeTimeOfDay;
    bool sizeTimeOfDayIsAbsolute = false;
    std::shared_ptr<const FilterRegex> regex;
};

using FilterGroup = std::vector<FilterItem>;
using DecodedFilter = std::vector<FilterGroup>;

// Whether the filter holds any term. A filter without terms (an empty text, only spaces or "|")
// matches every node, so as an exclude filter it must be treated as absent: it excludes nothing,
// as an empty include filter keeps everything.
inline bool hasTerms(const DecodedFilter& filter) {
    for (const FilterGroup& group : filter)
        if (!group.empty()) return true;
    return false;
}

// What the parser knows of "now": the moment and the local zone's offset from GMT at that moment.
// Injected so that the same text always decodes the same way in tests.
struct FilterClock {
    double nowUnixSeconds = 0;
    double utcOffsetSeconds = 0;
    static FilterClock current();
};

// The parser. `fullpath` is read and written: on entry whether the caller matches full paths; set
// to true when any term contains '/', never set to false. Pass the result on to the matchers.
// The UTF-8 form keeps invalid bytes as the escaped units that node names use.
DecodedFilter decodeFilterText(std::u16string_view text, bool& fullpath, const FilterClock& clock);
DecodedFilter decodeFilterText(std::u16string_view text, bool& fullpath);
DecodedFilter decodeFilterText(std::string_view textUTF8, bool& fullpath, const FilterClock& clock);
DecodedFilter decodeFilterText(std::string_view textUTF8, bool& fullpath);

// Parser steps, public for their own tests.
// Splits on `separator` outside double quotes, walking whole characters (grapheme clusters);
// always returns at least one piece.
std::vector<std::u16string> splitQuoteAware(std::u16string_view text, char16_t separator);
// The keyword-and-comparison form of an unquoted term (S>1M, =folders, <TODAY-7, >15:30).
std::optional<FilterItem> checkSpecialOp(std::u16string_view term, const FilterClock& clock);
// A leading calendar date (year, month, day with any non-numeric separators) as its day number
// since 2001-01-01, and the text after it. Out-of-range months and days roll over.
std::optional<std::pair<int64_t, std::u16string>> parseISODate(std::u16string_view text);
// An offset such as 2h, 30m, 45s or 90 (minutes) in seconds.
double getSeconds(std::u16string_view text);
// A time of day (15:30, 3pm, 12am, 25:75) in seconds since midnight; sets `consumed` to "".
std::optional<double> parseTimeOfDay(std::u16string_view text, std::u16string& consumed);

// Matching. `subFolderSizeAvailable` is false while folder totals are not rolled up yet: size and
// allocated-size terms then count as matched for a folder (a file is judged by its own sizes).
// Safe to call from many threads at once; no allocation per call beyond a full path for the terms
// that need one (kept in a per-thread buffer), built at most once per call.
bool matchItem(const FileNode& node, const DecodedFilter& filters, bool fullpath, bool subFolderSizeAvailable);
bool matchItemFullPath(const FileNode& node, const DecodedFilter& filters, bool subFolderSizeAvailable);

// What an exclude filter says of an entry while its folder is read. A file's own facts are all
// known then; a folder's totals are not, nor its date when folders are to take the newest date
// below them (`folderDatesFinal` false), and no node has duplicates yet. A term that turns on
// those waits for the finished tree: `undecided` when the filter holds or fails by waiting terms
// alone, so that dropping the entry now could differ from the filter's answer on the finished
// tree. Dropping entries below an undecided folder would change the very totals and dates its
// answer waits for, so a scan drops nothing there and leaves the decision to the filtered copy.
enum class ScanMatch : uint8_t { notMatched, matched, undecided };
ScanMatch matchDuringScan(const FileNode& node, const DecodedFilter& filters, bool fullpath, bool folderDatesFinal);

// A range of a displayed text, in UTF-16 units.
struct TextRange {
    int32_t start = 0;
    int32_t length = 0;
    bool operator==(const TextRange&) const = default;
};

// What the filter's terms hit in `text`: first every regular expression's first match, then the
// pieces of wildcard and plain terms, in term order. Ranges may overlap or repeat.
std::vector<TextRange> highlightRanges(const DecodedFilter& filters, std::u16string_view text);
// Every non-overlapping occurrence of the folded `needle` in the folded `text`.
std::vector<TextRange> findAllRanges(std::u16string_view needle, std::u16string_view text);

}  // namespace zelvane
