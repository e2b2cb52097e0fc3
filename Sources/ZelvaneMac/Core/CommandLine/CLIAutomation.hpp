#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ZelvaneMac/Core/FileTypes/FileTypesSortKey.hpp"
#include "ZelvaneMac/Core/Treemap/ExtensionStats.hpp"
#include "ScanEngine/Tree/FileNode.hpp"
#include "ScanEngine/Tree/TreeSort.hpp"

namespace zelvane {

// The command line of ZelvaneMac: folder arguments plus options written "--name=value". Parsing
// is a pure function of the arguments; callers parse again wherever they need the options.
namespace CLIAutomation {

// Texts are the argument bytes as given (paths may hold any bytes); the filter texts are decoded.
struct Options {
    std::optional<std::string> exportPath;
    std::optional<std::string> exportFileTypesPath;
    std::optional<std::string> filter;
    std::optional<std::string> filterExclude;
    bool filterFullPath = true;
    bool filterFullPathWasSet = false;
    bool exportFolders = true;
    bool exportFiles = true;
    int64_t sortBy = 0;
    int64_t sortByFileTypes = 1;
    bool sortByWasSet = false;
    bool sortByFileTypesWasSet = false;
    bool exportMFTRecNo = false;
    bool exportAllDates = false;
    bool exportAllSizes = false;
    bool exportSplitFilename = false;
    bool exportDriveCapacity = true;
    bool exportPercentOfParent = false;
    int64_t exportMaxDepth = 0;
    bool exportUTCTime = false;
    bool exportFoldersWasSet = false;
    bool exportFilesWasSet = false;
    bool exportMFTRecNoWasSet = false;
    bool exportAllDatesWasSet = false;
    bool exportAllSizesWasSet = false;
    bool exportSplitFilenameWasSet = false;
    bool exportDriveCapacityWasSet = false;
    bool exportPercentOfParentWasSet = false;
    bool exportMaxDepthWasSet = false;
    std::optional<std::string> treemapImageFile;
    int64_t treemapImageWidth = 1920;
    int64_t treemapImageHeight = 1080;
    bool treemapImageGray = false;
    bool treemapImageFreeSpace = false;
    bool treemapImageShowAllocated = false;

    // Export mode: the program scans, writes the outputs and quits without a window. An empty
    // value still counts.
    bool isExportMode() const { return exportPath || exportFileTypesPath || treemapImageFile; }

    bool operator==(const Options&) const = default;
};

// The whole argument list, program path first. Never fails: unknown or malformed options are
// ignored, values that do not parse take the default.
Options parse(std::span<const std::string> arguments);
Options parse(int argc, const char* const* argv);

// One message (without the program prefix) for each option whose value `parse` did not
// understand and so took as its default, or, for a Boolean, as false: a number that is not a
// whole decimal in the 64-bit range, a Boolean other than 1, 0, true or false (in any case).
std::vector<std::string> valuesNotUnderstood(std::span<const std::string> arguments);

// Apostrophes as the shell user's stand-in for double quotes: a single apostrophe becomes a
// double quotation mark, two in a row one apostrophe. Works on whole user-perceived characters,
// so an apostrophe carrying a combining mark is copied unchanged.
std::string decodeQuotes(std::string_view text);

// The tree order a --sortby code names: 1 size, 2 allocated size, 3 modified date, any other
// code the name.
TreeSortKey treeSortKey(int64_t code);
// The engine's tree sort (see TreeSort.hpp) by a --sortby code. Needs exclusive access to the trees.
void sortTree(std::span<FileNode* const> roots, int64_t code);
void sortTree(std::span<const RootRef> roots, int64_t code);

// The file-type order a --sortbyfiletypes code names: 1 size, 2 allocated size, any other code
// the extension.
FileTypesSortKey fileTypesSortKey(int64_t code);

// A sorted copy, stable: 1 largest total size first, 2 largest total allocated size first, any
// other code by extension in the user's locale, as names are sorted.
std::vector<ExtensionStats> sortedExtensionStats(std::span<const ExtensionStats> stats, int64_t code);

}  // namespace CLIAutomation
}  // namespace zelvane
