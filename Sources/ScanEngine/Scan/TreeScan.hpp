#pragma once

// The filtered copy of a loaded tree.

#include <vector>

#include "ScanEngine/Filter/Filters.hpp"
#include "ScanEngine/Tree/FileNode.hpp"

namespace zelvane {

// The nodes below `root` (not the root itself) that the filter matches, in pre-order with
// children in stored order; a folder comes before its descendants whether or not it matched.
std::vector<FileNode*> applyIncludeFilter(const FileNode& root, const DecodedFilter& filters, bool fullpath);

struct FilteredTreeOptions {
    const DecodedFilter* includeFilters = nullptr;  // absent: every node is included
    bool includeFullpath = false;
    const DecodedFilter* excludeFilters = nullptr;  // absent: nothing is excluded
    bool excludeFullpath = false;
};

// A new tree (sharing no node with the source) of what the include filter keeps and the exclude
// filter does not drop: a file survives when it matches the include filter, a folder when it
// matches or holds a survivor; an excluded folder goes with its whole subtree; nodes marked
// deleted are left out. Totals are recomputed, nodes numbered, and the root's flat list holds
// every surviving node in post-order. The source must be rolled up and must not change meanwhile.
RootRef loadFilteredTree(const FileNode& root, const FilteredTreeOptions& options);

}  // namespace zelvane
