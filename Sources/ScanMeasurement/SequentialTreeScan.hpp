#pragma once

// The one-thread twin of the engine's parallel tree scan for a single root: a measuring tool and
// a second reading to compare the parallel scan against. Tests and benchmarks link it, the
// programs do not.

#include <optional>
#include <string>

#include "ScanEngine/Scan/AccessDeniedCounter.hpp"
#include "ScanEngine/Scan/DirectoryCalls.hpp"
#include "ScanEngine/Scan/ParallelTreeScan.hpp"
#include "ScanEngine/Scan/ScanProgressTracker.hpp"
#include "ScanEngine/Tree/FileNode.hpp"

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

}  // namespace zelvane
