#pragma once

// The one-thread twin of the parallel tree scan for a single root, and (with the filters) the
// filtered copy of a loaded tree.

#include <string>

#include "AccessDeniedCounter.hpp"
#include "BulkScan.hpp"
#include "DirectoryEntry.hpp"
#include "FileNode.hpp"
#include "ParallelTreeScan.hpp"
#include "ScanProgressTracker.hpp"

namespace zelvane {

struct SequentialScanOptions {
    ExcludeTest exclude;
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

}  // namespace zelvane
