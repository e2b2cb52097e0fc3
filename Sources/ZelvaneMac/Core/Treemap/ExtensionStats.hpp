#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <QStringList>

#include "ScanEngine/Scan/ParallelTreeScan.hpp"
#include "ScanEngine/Tree/FileNode.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapColorSettings.hpp"

namespace zelvane {

// One row of the per-extension totals.
struct ExtensionStats {
    std::string ext;         // as detectedExtensionInto gives it; "" for names without a dot
    int64_t totalSize = 0;
    int64_t totalAlloc = 0;  // files flagged doNotCountAllocated add 0
    int64_t fileCount = 0;
    bool operator==(const ExtensionStats&) const = default;
};

struct ExtensionStatsResult {
    std::vector<ExtensionStats> all;  // in no particular order: consumers sort
    ColorRank colorRank;
};

// One walk over the stored children of every root (no file grouping, deleted and denied nodes
// counted like the others). The caller keeps the trees unchanged while it runs.
ExtensionStatsResult computeExtensionStats(std::span<FileNode* const> roots, bool colorBySize,
                                           const QStringList& extensionLists);
ExtensionStatsResult computeExtensionStats(std::span<const RootRef> roots, bool colorBySize,
                                           const QStringList& extensionLists);

class ExtensionTally;

// The per-extension totals counted while a scan reads its folders, each worker into a table of
// its own, so that they are there as soon as the scan ends: the same as computeExtensionStats
// over the scanned trees.
class ScanExtensionCounter final : public FolderEntriesObserver {
public:
    ScanExtensionCounter();
    ~ScanExtensionCounter() override;
    ScanExtensionCounter(const ScanExtensionCounter&) = delete;
    ScanExtensionCounter& operator=(const ScanExtensionCounter&) = delete;

    void scanStarting(std::span<FileNode* const> roots, size_t workers) override;
    void folderRead(size_t worker, std::span<FileNode* const> entries) override;
    void workersFinished() override;

    // Once the scan has returned: its totals, ranked for the colours.
    ExtensionStatsResult finish(bool colorBySize, const QStringList& extensionLists);

private:
    std::vector<std::unique_ptr<ExtensionTally>> tallies_;  // one per worker
    std::vector<ExtensionStats> rows_;                      // their sum, in order
    std::jthread adding_;                                   // makes `rows_` while the scan ends
};

// Slots 0-11 to the twelve rows with the largest allocated totals; ties keep their input order.
ColorRank colorRankBySize(std::span<const ExtensionStats> stats);

// The colour slots as the preferences choose them: by size from these totals, or from the
// user's extension lists.
ColorRank colorRankFor(std::span<const ExtensionStats> stats, bool colorBySize, const QStringList& extensionLists);

// The node's detected extension written into `buffer` (reused between calls, so that walks over
// millions of files allocate nothing for the common ASCII extensions). Lower-cased as
// `node.detectedExtension()` does, but as the exact bytes of the name: equal to it for names that
// are UTF-8, while bytes that are not UTF-8 are kept rather than shown as U+FFFD.
std::string_view detectedExtensionInto(const FileNode& node, std::string& buffer);

}  // namespace zelvane
