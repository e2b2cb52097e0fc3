#pragma once

// The one-thread twin of the parallel tree scan for a single root, and (with the filters) the
// filtered copy of a loaded tree.

#include <optional>
#include <string>
#include <vector>

#include "ScanEngine/Scan/AccessDeniedCounter.hpp"
#include "ScanEngine/Scan/BulkScan.hpp"
#include "ScanEngine/Scan/DirectoryEntry.hpp"
#include "ScanEngine/Tree/FileNode.hpp"
#include "ScanEngine/Filter/Filters.hpp"
#include "ScanEngine/Scan/ParallelTreeScan.hpp"
#include "ScanEngine/Scan/ScanProgressTracker.hpp"

namespace zelvane {

struct SequentialScanOptions {
    std::optional<DecodedFilter> excludeFilters;
    bool excludeFullPath = false;
    ProgressCallback progressCallback;
    CancelCheck isCancelled;
    AccessDeniedCounter* accessDeniedCounter = nullptr;
    BulkReader bulkReader = defaultBulkReader;
};

// The root rolled up and numbered; null when the path cannot be stat'ed; a file root comes back
// as is. No flat list is gathered. Runs on the calling thread, which also gets the callbacks.
RootRef scanToTree(const std::string& root, const SequentialScanOptions& options);

// Everything one sequential scan reads a folder against.
struct SequentialScanContext {
    const SequentialScanOptions& options;
    NodeArena& arena;
    ScanProgressTracker* progress = nullptr;
    RootScanContext& root;
};

// Reads `folder` and its whole subtree, depth first, subfolders in child order. One buffer and
// at most one descriptor are held at a time: a folder is closed before its subfolders are read,
// so a deep tree costs neither memory nor descriptors per level. Stops when cancelled.
void scanDirIntoTree(FileNode& folder, double budget, SequentialScanContext& c);

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
