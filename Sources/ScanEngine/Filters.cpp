#include "Filters.hpp"

namespace zelvane {

std::shared_ptr<const FilterRegex> FilterRegex::compile(std::u16string_view) { return nullptr; }
FilterRegex::~FilterRegex() = default;
std::optional<std::pair<int32_t, int32_t>> FilterRegex::firstMatch(std::u16string_view) const noexcept { return std::nullopt; }
FilterClock FilterClock::current() { return {}; }
DecodedFilter decodeFilterText(std::u16string_view, bool&, const FilterClock&) { return {}; }
DecodedFilter decodeFilterText(std::u16string_view t, bool& f) { return decodeFilterText(t, f, FilterClock::current()); }
DecodedFilter decodeFilterText(std::string_view, bool&, const FilterClock&) { return {}; }
DecodedFilter decodeFilterText(std::string_view t, bool& f) { return decodeFilterText(t, f, FilterClock::current()); }
std::vector<std::u16string> splitQuoteAware(std::u16string_view t, char16_t) { return {std::u16string(t)}; }
std::optional<FilterItem> checkSpecialOp(std::u16string_view, const FilterClock&) { return std::nullopt; }
std::optional<std::pair<int64_t, std::u16string>> parseISODate(std::u16string_view) { return std::nullopt; }
double getSeconds(std::u16string_view) { return 0; }
std::optional<double> parseTimeOfDay(std::u16string_view, std::u16string&) { return std::nullopt; }
bool matchItem(const FileNode&, const DecodedFilter&, bool, bool) { return true; }
bool matchItemFullPath(const FileNode&, const DecodedFilter&, bool) { return true; }
std::vector<TextRange> highlightRanges(const DecodedFilter&, std::u16string_view) { return {}; }
std::vector<TextRange> findAllRanges(std::u16string_view, std::u16string_view) { return {}; }

}  // namespace zelvane
