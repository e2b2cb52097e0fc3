#pragma once

// Term evaluation shared by the matchers and the full-path tree filter, so that both decide every
// term the same way.

#include <string>
#include <string_view>

#include "ScanEngine/Tree/FileNode.hpp"
#include "ScanEngine/Filter/Filters.hpp"
#include "ScanEngine/Tree/NameSort.hpp"

namespace zelvane::filtermatch {

using zelvane::fullPathLength;
using zelvane::rootEndsWithSlash;
inline void buildFullPath(const FileNode& node, std::u16string& out) { fullPathUTF16(node, out); }
bool compareTerm(const FilterItem& term, const FileNode& node, bool subFolderSizeAvailable, size_t pathLength) noexcept;

inline bool nameHasNoExtension(std::u16string_view name) noexcept {
    size_t dot = name.rfind(u'.');
    return dot == std::u16string_view::npos || dot + 1 == name.size();
}

// A pattern's units after its last '*' must match the end of the text unit for unit, so a text
// that ends otherwise is rejected before the backtracking match runs over a whole path.
inline bool wildcardTailFits(std::u16string_view pattern, std::u16string_view text) noexcept {
    const size_t star = pattern.rfind(u'*');
    if (star == std::u16string_view::npos) return true;
    const std::u16string_view tail = pattern.substr(star + 1);
    if (tail.size() > text.size()) return false;
    const char16_t* end = text.data() + text.size() - tail.size();
    for (size_t i = 0; i < tail.size(); ++i)
        if (tail[i] != u'?' && tail[i] != foldUnit(end[i])) return false;
    return true;
}

// Whether `term` matches `node`, before negation. `path()` gives the node's full path and is
// called only by terms that need it. In full-path mode a plain word without '/' is looked for in
// the names of the node and its ancestors, which is the same as looking in the full path (the
// word cannot span a separator) without building it.
template <typename PathFn>
bool evaluateTerm(const FilterItem& term, const FileNode& node, bool fullPathMode, bool subFolderSizeAvailable,
                  PathFn&& path) {
    const auto stored = node.nameUnits();
    const std::u16string_view name = stored;
    if (term.sizeOp && term.sizeOpType) {
        size_t pathLength = 0;
        if (*term.sizeOpType == SizeOpType::pathLen) pathLength = fullPathLength(node);
        return compareTerm(term, node, subFolderSizeAvailable, pathLength);
    }
    if (term.regex) return term.regex->matches(fullPathMode ? path() : name);
    if (term.foldersOnly) return node.isDir();
    if (term.filesOnly) return !node.isDir();
    if (term.filterNoExtension) return nameHasNoExtension(name);
    if (term.fileExtension) return hasCaseFoldedSuffix(name, term.filterTextUnitsNoStar);
    if (!term.wildcards) {
        if (!fullPathMode) return containsCaseFolded(name, term.filterTextUnits);
        if (term.pathSeparator) return containsCaseFolded(path(), term.filterTextUnits);
        for (const FileNode* n = &node; n; n = n->parent())
            if (auto u = n->nameUnits(); containsCaseFolded(u, term.filterTextUnits)) return true;
        return false;
    }
    if (!fullPathMode) return wildCmp(term.filterTextUnits, name);
    // A full path ends with the node's name: a tail that fits in the name is checked there, before
    // the path is built.
    const std::u16string_view pattern = term.filterTextUnits;
    const size_t star = pattern.rfind(u'*');
    if (star != std::u16string_view::npos && pattern.size() - star - 1 <= name.size() && !wildcardTailFits(pattern, name))
        return false;
    const std::u16string_view fullPath = path();
    return wildcardTailFits(pattern, fullPath) && wildCmp(pattern, fullPath);
}

}  // namespace zelvane::filtermatch
