#include "ZelvaneMac/Core/CommandLine/CLIAutomation.hpp"

#include "ScanEngine/Support/LocalizedStandardCollator.hpp"
#include "ScanEngine/Support/Text.hpp"
#include "ScanEngine/Tree/NameCoding.hpp"

#include <unicode/ubrk.h>

#include <algorithm>
#include <charconv>
#include <numeric>

namespace zelvane::CLIAutomation {
namespace {

// The first argument that begins with "--name=" wins; the program path takes part like any other.
std::optional<std::string_view> rawValue(std::span<const std::string> arguments, std::string_view name) {
    std::string prefix;
    prefix.reserve(name.size() + 3);
    prefix.append("--").append(name).push_back('=');
    for (const std::string& argument : arguments) {
        if (std::string_view(argument).starts_with(prefix)) return std::string_view(argument).substr(prefix.size());
    }
    return std::nullopt;
}

bool isTrueText(std::string_view value) {
    if (value == "1") return true;
    constexpr std::string_view kTrue = "TRUE";
    if (value.size() != kTrue.size()) return false;
    // No non-ASCII character upper-cases to one of T, R, U, E, so an ASCII comparison decides.
    for (size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != kTrue[i]) return false;
    }
    return true;
}

std::string decodeFilter(std::string_view raw) {
    std::string text = decodeQuotes(raw);
    replaceAll(text, " | ", "|");
    replaceAll(text, " |", "|");
    replaceAll(text, "| ", "|");
    return text;
}

struct BreakIteratorCloser {
    void operator()(UBreakIterator* it) const { ubrk_close(it); }
};

}  // namespace

Options parse(std::span<const std::string> arguments) {
    Options o;
    const auto raw = [&](std::string_view name) { return rawValue(arguments, name); };
    const auto boolValue = [&](std::string_view name, bool absent, bool* wasSet = nullptr) {
        const auto v = raw(name);
        if (wasSet) *wasSet = v.has_value();
        return v ? isTrueText(*v) : absent;
    };
    const auto intValue = [&](std::string_view name, int64_t defaultValue, bool* wasSet = nullptr) {
        const auto v = raw(name);
        if (wasSet) *wasSet = v.has_value();
        if (!v || v->empty()) return defaultValue;
        return parseDecimalInteger(*v).value_or(defaultValue);
    };
    const auto pathValue = [&](std::string_view name) -> std::optional<std::string> {
        if (auto v = raw(name)) return std::string(*v);
        return std::nullopt;
    };
    const auto filterValue = [&](std::string_view name) -> std::optional<std::string> {
        if (auto v = raw(name)) return decodeFilter(*v);
        return std::nullopt;
    };

    o.exportPath = pathValue("export");
    o.exportFileTypesPath = pathValue("exportfiletypes");
    o.filter = filterValue("filter");
    o.filterExclude = filterValue("filterexclude");
    o.filterFullPath = boolValue("filterfullpath", true, &o.filterFullPathWasSet);
    o.exportFolders = boolValue("exportfolders", true, &o.exportFoldersWasSet);
    o.exportFiles = boolValue("exportfiles", true, &o.exportFilesWasSet);
    o.sortBy = intValue("sortby", 0, &o.sortByWasSet);
    o.sortByFileTypes = intValue("sortbyfiletypes", 1, &o.sortByFileTypesWasSet);
    o.exportMFTRecNo = boolValue("exportmftrecno", false, &o.exportMFTRecNoWasSet);
    o.exportAllDates = boolValue("exportalldates", false, &o.exportAllDatesWasSet);
    o.exportAllSizes = boolValue("exportallsizes", false, &o.exportAllSizesWasSet);
    o.exportSplitFilename = boolValue("exportsplitfilename", false, &o.exportSplitFilenameWasSet);
    o.exportDriveCapacity = boolValue("exportdrivecapacity", true, &o.exportDriveCapacityWasSet);
    o.exportPercentOfParent = boolValue("exportpercentofparent", false, &o.exportPercentOfParentWasSet);
    o.exportMaxDepth = intValue("exportmaxdepth", 0, &o.exportMaxDepthWasSet);
    o.exportUTCTime = boolValue("exportutctime", false);
    o.treemapImageFile = pathValue("treemapimagefile");
    o.treemapImageWidth = intValue("treemapimagewidth", 1920);
    o.treemapImageHeight = intValue("treemapimageheight", 1080);
    o.treemapImageGray = boolValue("treemapimagegray", false);
    o.treemapImageFreeSpace = boolValue("treemapimagefreespace", false);
    o.treemapImageShowAllocated = boolValue("treemapimageshowallocated", false);
    return o;
}

namespace {

constexpr std::string_view kBooleanOptions[] = {
    "filterfullpath",     "exportfolders",         "exportfiles",        "exportmftrecno",
    "exportalldates",     "exportallsizes",        "exportsplitfilename", "exportdrivecapacity",
    "exportpercentofparent", "exportutctime",      "treemapimagegray",   "treemapimagefreespace",
    "treemapimageshowallocated",
};

struct IntegerOption {
    std::string_view name;
    int64_t defaultValue;
};
constexpr IntegerOption kIntegerOptions[] = {
    {"sortby", 0}, {"sortbyfiletypes", 1}, {"exportmaxdepth", 0}, {"treemapimagewidth", 1920}, {"treemapimageheight", 1080},
};

bool isFalseText(std::string_view value) {
    if (value == "0") return true;
    constexpr std::string_view kFalse = "FALSE";
    if (value.size() != kFalse.size()) return false;
    for (size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != kFalse[i]) return false;
    }
    return true;
}

}  // namespace

std::vector<std::string> valuesNotUnderstood(std::span<const std::string> arguments) {
    std::vector<std::string> messages;
    const auto quoted = [](std::string_view v) { return "\"" + std::string(v) + "\""; };
    for (std::string_view name : kBooleanOptions) {
        const auto v = rawValue(arguments, name);
        if (v && !isTrueText(*v) && !isFalseText(*v))
            messages.push_back("the value " + quoted(*v) + " of --" + std::string(name) +
                               " is not understood (1, 0, true or false); it is taken as false");
    }
    for (const IntegerOption& option : kIntegerOptions) {
        const auto v = rawValue(arguments, option.name);
        if (v && !parseDecimalInteger(*v))
            messages.push_back("the value " + quoted(*v) + " of --" + std::string(option.name) +
                               " is not a whole number in the 64-bit range; the default " +
                               std::to_string(option.defaultValue) + " is used");
    }
    return messages;
}

Options parse(int argc, const char* const* argv) {
    std::vector<std::string> arguments;
    arguments.reserve(argc > 0 ? static_cast<size_t>(argc) : 0);
    for (int i = 0; i < argc; ++i) arguments.emplace_back(argv[i] ? argv[i] : "");
    return parse(arguments);
}

std::string decodeQuotes(std::string_view text) {
    if (text.find('\'') == std::string_view::npos) return std::string(text);

    // Bytes that are not UTF-8 travel as escaped units and come back unchanged.
    const std::u16string units = decodeNameUTF8(text);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UBreakIterator, BreakIteratorCloser> it(
        ubrk_open(UBRK_CHARACTER, "", reinterpret_cast<const UChar*>(units.data()),
                  static_cast<int32_t>(units.size()), &status));

    // Character boundaries; without a break iterator every unit is its own character.
    std::vector<int32_t> bounds;
    if (it && U_SUCCESS(status)) {
        for (int32_t b = ubrk_first(it.get()); b != UBRK_DONE; b = ubrk_next(it.get())) bounds.push_back(b);
    } else {
        bounds.resize(units.size() + 1);
        std::iota(bounds.begin(), bounds.end(), 0);
    }

    const auto isApostrophe = [&](size_t i) {
        return i + 1 < bounds.size() && bounds[i + 1] - bounds[i] == 1 && units[static_cast<size_t>(bounds[i])] == u'\'';
    };
    std::u16string out;
    out.reserve(units.size());
    for (size_t i = 0; i + 1 < bounds.size(); ++i) {
        if (isApostrophe(i)) {
            if (isApostrophe(i + 1)) {
                out.push_back(u'\'');
                ++i;
            } else {
                out.push_back(u'"');
            }
            continue;
        }
        out.append(units, static_cast<size_t>(bounds[i]), static_cast<size_t>(bounds[i + 1] - bounds[i]));
    }
    return encodeNameBytes(out);
}

TreeSortKey treeSortKey(int64_t code) {
    switch (code) {
    case 1:
        return TreeSortKey::size;
    case 2:
        return TreeSortKey::allocatedSize;
    case 3:
        return TreeSortKey::modifiedDate;
    default:
        return TreeSortKey::name;
    }
}

void sortTree(std::span<FileNode* const> roots, int64_t code) { zelvane::sortTree(roots, treeSortKey(code)); }

void sortTree(std::span<const RootRef> roots, int64_t code) { zelvane::sortTree(roots, treeSortKey(code)); }

FileTypesSortKey fileTypesSortKey(int64_t code) {
    switch (code) {
    case 1: return FileTypesSortKey::size;
    case 2: return FileTypesSortKey::allocated;
    default: return FileTypesSortKey::extension;
    }
}

std::vector<ExtensionStats> sortedExtensionStats(std::span<const ExtensionStats> stats, int64_t code) {
    std::vector<ExtensionStats> out(stats.begin(), stats.end());
    const FileTypesSortKey key = fileTypesSortKey(code);
    if (key == FileTypesSortKey::size) {
        std::stable_sort(out.begin(), out.end(),
                         [](const ExtensionStats& a, const ExtensionStats& b) { return a.totalSize > b.totalSize; });
        return out;
    }
    if (key == FileTypesSortKey::allocated) {
        std::stable_sort(out.begin(), out.end(),
                         [](const ExtensionStats& a, const ExtensionStats& b) { return a.totalAlloc > b.totalAlloc; });
        return out;
    }
    const LocalizedStandardCollator collator;
    std::stable_sort(out.begin(), out.end(), [&](const ExtensionStats& a, const ExtensionStats& b) {
        return collator.compare(std::string_view(a.ext), std::string_view(b.ext)) < 0;
    });
    return out;
}

}  // namespace zelvane::CLIAutomation
