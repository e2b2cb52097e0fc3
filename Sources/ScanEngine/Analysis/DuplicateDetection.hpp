#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ScanEngine/Support/CancelFlag.hpp"
#include "ScanEngine/Tree/FileNode.hpp"

namespace zelvane {

enum class DuplicateMethod : int {
    none = 0,          // no detection, no groups
    nameSize = 1,      // cleaned name and size match
    nameSizeDate = 2,  // and the modification dates are less than a second apart
};
inline constexpr DuplicateMethod kAllDuplicateMethods[] = {DuplicateMethod::none, DuplicateMethod::nameSize,
                                                           DuplicateMethod::nameSizeDate};
std::optional<DuplicateMethod> duplicateMethodFromRaw(int raw);

// Groups of likely copies among `nodes`, judged by name, size and date alone (no contents are read),
// in key order; every group has at least two members. Reads the nodes and changes nothing: the
// caller stores each group in its members' `dupGroup`. Members are listed oldest first, equal dates
// in their input order. Runs on every processor; once `cancel` is set it stops early and returns
// nothing.
std::vector<DupGroupRef> detectDuplicates(std::span<FileNode* const> nodes, DuplicateMethod method,
                                          const CancelFlag* cancel = nullptr);

// The name with its copy decoration (" - copy", " copy", " copy N", " (N)") taken off, lower-cased.
std::u16string cleanedFilenameForDupMatch(std::u16string_view name);
std::string cleanedFilenameForDupMatch(std::string_view nameUTF8);

}  // namespace zelvane
