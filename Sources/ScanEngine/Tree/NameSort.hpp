#pragma once

#include <compare>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ScanEngine/Tree/FileNode.hpp"
#include "ScanEngine/Tree/UpcaseData.hpp"

namespace zelvane {

// Every scalar below U+10000 replaced by its folded unit; astral characters stay.
std::u16string upcaseFoldString(std::u16string_view text);
std::string upcaseFoldString(std::string_view textUTF8);

// Name order: folded units compared position by position, then the shorter name first.
// Names equal under folding compare as 0.
int32_t wideNameCompare(const FileNode& a, const FileNode& b) noexcept;
// The same order on names as they were read: a sort that may run while the GUI thread renames
// reads each name once and compares what it read, so its order stays consistent.
int32_t wideNameCompare(const StoredName& a, const StoredName& b) noexcept;
int32_t wideNameCompare(std::u16string_view a, std::u16string_view b) noexcept;

// The first eight folded units of the name, four to a word, the first unit highest and missing
// units 0. Keys that differ order their names as `wideNameCompare` does; equal keys say nothing.
struct FoldedNamePrefix {
    uint64_t high = 0;
    uint64_t low = 0;
    auto operator<=>(const FoldedNamePrefix&) const = default;
};
FoldedNamePrefix foldedNamePrefix(const FileNode& node) noexcept;

// Numbers the subtrees of all roots with one counter, in the given order.
void assignSortNameIndices(std::span<FileNode* const> roots);
void assignSortNameIndices(std::span<const RootRef> roots);

// `pattern`, `suffix` and `needle` must already be folded; the text is folded unit by unit.
bool wildCmp(std::u16string_view pattern, std::u16string_view name) noexcept;
bool hasCaseFoldedSuffix(std::u16string_view text, std::u16string_view suffix) noexcept;
bool containsCaseFolded(std::u16string_view text, std::u16string_view needle) noexcept;

// The node's full path as UTF-16 units, built with one allocation of the final size.
std::u16string fullPathUTF16(const FileNode& node);
// The same into a buffer the caller reuses (no allocation once it is large enough).
void fullPathUTF16(const FileNode& node, std::u16string& out);
// Units of the full path, without building it.
size_t fullPathLength(const FileNode& node) noexcept;
// A root whose name ends in '/' is joined to its child without another separator.
inline bool rootEndsWithSlash(const FileNode& n) noexcept {
    if (!n.isRoot()) return false;
    auto u = n.nameUnits();
    return !u.empty() && u.back() == u'/';
}

}  // namespace zelvane
