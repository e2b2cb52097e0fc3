#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ScanEngine/Filter/Filters.hpp"

namespace zelvane {

// Every node of the subtree at `root` that `matchItemFullPath` accepts, in pre-order, walking the
// tree once. A plain word without '/' that an ancestor's name contains holds for the whole subtree
// below that ancestor, so it is settled once instead of being searched again at every node.
// Folders are part of the result only with `includeFolders`.
std::vector<FileNode*> filterTreeFullPath(FileNode& root, const DecodedFilter& filters, bool includeFolders,
                                          bool subFolderSizeAvailable);

// One term other than a plain word without '/', in full-path mode, before negation. The node's full
// path is built into `fullPathLazy` on first need and reused by later terms for the same node.
bool evaluateNonMonotonicItem(const FilterItem& item, const FileNode& node, bool subFolderSizeAvailable,
                              std::optional<std::u16string>& fullPathLazy);

}  // namespace zelvane
