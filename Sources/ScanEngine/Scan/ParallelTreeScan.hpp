#pragma once

// The scanner of the application: one tree per root path, read by a pool of workers that share
// one stack of folders across all roots.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ScanEngine/Scan/AccessDeniedCounter.hpp"
#include "ScanEngine/Scan/DirectoryCalls.hpp"
#include "ScanEngine/Scan/DirectoryEntry.hpp"
#include "ScanEngine/Scan/FolderReading.hpp"
#include "ScanEngine/Tree/FileNode.hpp"
#include "ScanEngine/Scan/HardLinkTracker.hpp"
#include "ScanEngine/Scan/ScanProgressTracker.hpp"
#include "ScanEngine/Scan/UnreadableFoldersLocked.hpp"
#include "ScanEngine/Scan/WorkStackLocked.hpp"

namespace zelvane {

// Sees the entries of each folder a scan reads, on the worker that read it, once the folder is
// complete: the exclusions applied, every hard link's first sighting decided and the entries as
// they stay in the tree. Each entry is seen once. The calls come in this order, never two at a
// time but for `folderRead` of different workers.
class FolderEntriesObserver {
public:
    virtual ~FolderEntriesObserver() = default;
    // The roots made (files among them), before the workers start: they are numbered from 0 to
    // `workers` - 1.
    virtual void scanStarting(std::span<FileNode* const> roots, size_t workers) = 0;
    // Called on worker `worker` alone, with a folder's entries in the order they were read.
    virtual void folderRead(size_t worker, std::span<FileNode* const> entries) = 0;
    // Every worker has ended; the folders' totals are then added up before the scan returns.
    virtual void workersFinished() = 0;
};

struct ParallelScanOptions {
    std::optional<DecodedFilter> excludeFilters;       // entries it matches are left out of the tree
    bool excludeFullPath = false;
    int workerCount = 1;                               // at least 64 when a root is on a network
    ProgressCallback progressCallback;                 // called on worker threads, at most every 100 ms
    CancelCheck isCancelled;                           // asked on worker threads before each read
    AccessDeniedCounter* accessDeniedCounter = nullptr;  // folders refused for lack of permission
    UnreadableFoldersLocked* unreadableFolders = nullptr;  // every folder not read, and why
    BulkReader bulkReader = defaultBulkReader;
    DirectoryCallTally* directoryCalls = nullptr;        // counts the folders opened, for measurements
    // Each folder takes the newest modification date found in it or below it (its own included),
    // as FileNode::applyMaxModifiedDateToFolders gives, worked out while the totals roll up.
    bool newestDateToFolders = false;
    FolderEntriesObserver* folderEntries = nullptr;       // told of every folder read, if set
};

// One root node per path that exists, in the order of `roots`; folder totals rolled up (saturating
// at the largest 64-bit value) and every node numbered in name order. After cancellation: the
// partial trees, treated the same way. When fewer workers can be started than asked for, the ones
// that could (at least the calling thread) do the work. Running out of memory, on any thread of
// the scan, ends it: every thread stops reading, and once all are done, what was read is let go
// and std::bad_alloc is thrown on the calling thread.
std::vector<RootRef> parallelScanToTree(const std::vector<std::string>& roots, const ParallelScanOptions& options);

// A folder waiting to be read.
struct TreeDirWorkItem {
    FileNode* node = nullptr;
    int fd = -1;          // handed over open, or -1: open by path
    double budget = 0;    // the folder's share of its root's progress
    int rootIndex = 0;
    int retries = 0;      // opens put off for want of descriptors
    int depth = 0;        // below its root
    bool holdsBudgetSlot = true;  // whether an open `fd` holds a slot of the descriptor budget
    // The exclude filter's answer for this folder or one above it waits for the finished tree:
    // nothing below is left out while the scan reads it.
    bool exclusionHeldBack = false;
};

using TreeDirWorkQueueLocked = WorkStackLocked<TreeDirWorkItem>;

// Per folder root; made before the workers start and only read by them.
struct RootScanContext {
    HardLinkTracker hardLinks;
    HardLinkTracker cloneLinks;
    HardLinkTracker visitedDirs;
    uint64_t rootDevID = 0;
    std::optional<std::string> rootContainerID;
    int64_t rootBlockSize = 0;
};

// Whether a child folder is read: not when it lies on another volume (outside the root's
// container), was met before in this root (same device and identifier), or is the data-volume
// mirror; such a child is flagged `isVolumeBoundary` and stays empty.
bool decideDescent(FileNode& child, const EntryFacts& e, FolderPath& parentPath, RootScanContext& ctx,
                   SightingJournal& journal);

// Now, by the clock that stamps file changes (nanoseconds since 1970).
int64_t fileChangeClockNanos();

// A folder that could not be opened: flagged and recorded when permission was refused.
void recordOpenFailure(FileNode& folder, const std::string& path, int err, AccessDeniedCounter* counter);

// Splits a folder's progress share evenly over the subfolders it queues; a folder that queues
// none has its share counted as done.
void finalizeBudgets(std::vector<TreeDirWorkItem>& items, double parentBudget, ScanProgressTracker* progress);


}  // namespace zelvane
