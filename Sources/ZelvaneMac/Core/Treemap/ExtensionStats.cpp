#include "ZelvaneMac/Core/Treemap/ExtensionStats.hpp"

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "ScanEngine/Tree/NameCoding.hpp"

#include <algorithm>
#include <limits>
#include <unordered_map>

#include "ScanEngine/Support/Arithmetic.hpp"
#include "ScanEngine/Support/ParallelFor.hpp"

namespace zelvane {

namespace {

struct Totals {
    int64_t size = 0;
    int64_t alloc = 0;
    int64_t count = 0;
};

// Below this many entries one thread counts them all: threads would cost more than they save.
constexpr int64_t kEntriesForThreads = 1 << 14;
// Subtrees handed out per thread, so that one big folder does not leave the others idle.
constexpr size_t kSubtreesPerThread = 64;

// The totals of one thread. Deleted nodes (on disk or by a file action) are left out with their
// subtrees: they are out of their folders' totals, and the table's rows would otherwise add up
// to more than the tree.
class ExtensionTally final {
public:
    std::unordered_map<std::string, Totals, StringKeyHash, std::equal_to<>> totals;

    void addFile(const FileNode& node) {
        detectedExtensionInto(node, ext_);
        auto it = totals.find(std::string_view(ext_));
        if (it == totals.end()) it = totals.emplace(ext_, Totals{}).first;
        Totals& t = it->second;
        t.size = saturatingAdd(t.size, node.effectiveSize());
        if (!node.doNotCountAllocated()) t.alloc = saturatingAdd(t.alloc, node.effectiveAllocSize());
        t.count += 1;
    }

    void addSubtree(const FileNode* top) {
        stack_.push_back(top);
        while (!stack_.empty()) {
            const FileNode* node = stack_.back();
            stack_.pop_back();
            if (node->isDeleted()) continue;
            if (!node->isDir()) {
                addFile(*node);
                continue;
            }
            auto kids = node->children();
            stack_.insert(stack_.end(), kids.begin(), kids.end());
        }
    }

    void add(const ExtensionTally& other) {
        for (const auto& [key, o] : other.totals) {
            Totals& t = totals[key];
            t.size = saturatingAdd(t.size, o.size);
            t.alloc = saturatingAdd(t.alloc, o.alloc);
            t.count += o.count;
        }
    }

private:
    std::vector<const FileNode*> stack_;
    std::string ext_;
};

// Folders whose subtrees together hold everything below the roots but the files met on the way
// down to them, which `tally` counts: breadth first from the roots until `wanted` folders wait.
std::vector<const FileNode*> splitIntoSubtrees(std::span<FileNode* const> roots, size_t wanted, ExtensionTally& tally) {
    std::vector<const FileNode*> queue;
    for (const FileNode* root : roots) {
        if (!root || root->isDeleted()) continue;
        if (root->isDir()) queue.push_back(root);
        else tally.addFile(*root);
    }
    size_t head = 0;
    while (head < queue.size() && queue.size() - head < wanted) {
        const FileNode* folder = queue[head++];
        for (const FileNode* kid : folder->children()) {
            if (kid->isDeleted()) continue;
            if (kid->isDir()) queue.push_back(kid);
            else tally.addFile(*kid);
        }
    }
    queue.erase(queue.begin(), queue.begin() + std::ptrdiff_t(head));
    return queue;
}

}  // namespace

std::string_view detectedExtensionInto(const FileNode& node, std::string& buffer) {
    buffer.clear();
    const auto stored = node.nameUnits();
    const std::u16string_view name = stored;
    const size_t dot = name.rfind(u'.');
    if (dot == std::u16string_view::npos || dot + 1 == name.size()) return buffer;
    const std::u16string_view ext = name.substr(dot + 1);
    for (char16_t c : ext) {
        // Anything beyond ASCII takes the full Unicode lower-casing; bytes that are not UTF-8
        // (escaped units, which lower-casing leaves alone) come back as themselves, so that
        // extensions of different invalid bytes stay different.
        if (c >= 0x80) {
            icu::UnicodeString lower(false, reinterpret_cast<const UChar*>(ext.data()), int32_t(ext.size()));
            lower.toLower(icu::Locale::getRoot());
            buffer = encodeNameBytes(
                std::u16string_view(reinterpret_cast<const char16_t*>(lower.getBuffer()), size_t(lower.length())));
            return buffer;
        }
        buffer.push_back(c >= u'A' && c <= u'Z' ? char(c - u'A' + 'a') : char(c));
    }
    return buffer;
}

ExtensionStatsResult computeExtensionStats(std::span<FileNode* const> roots, bool colorBySize,
                                           const QStringList& extensionLists) {
    // The trees are split into subtrees near their tops, which threads of their own count, each
    // into its own table; the tables are added together at the end.
    int64_t entries = 0;
    for (const FileNode* root : roots)
        if (root) entries += root->isDir() ? int64_t(root->subFolderFileCount()) + root->subFolderDirCount() : 1;
    const unsigned workers = entries < kEntriesForThreads ? 1 : parallelWorkerCount();
    std::vector<ExtensionTally> tallies(workers);
    const std::vector<const FileNode*> subtrees = splitIntoSubtrees(roots, workers * kSubtreesPerThread, tallies[0]);
    parallelFor(subtrees.size(), workers, 1, [&](size_t i, unsigned w) { tallies[w].addSubtree(subtrees[i]); });
    for (size_t w = 1; w < tallies.size(); ++w) tallies[0].add(tallies[w]);

    ExtensionStatsResult result;
    result.all.reserve(tallies[0].totals.size());
    for (auto& [key, t] : tallies[0].totals) result.all.push_back({key, t.size, t.alloc, t.count});
    // One order whatever the threads did, so that totals that tie rank alike from run to run.
    std::sort(result.all.begin(), result.all.end(), [](const ExtensionStats& a, const ExtensionStats& b) { return a.ext < b.ext; });
    result.colorRank = colorRankFor(result.all, colorBySize, extensionLists);
    return result;
}

ColorRank colorRankFor(std::span<const ExtensionStats> stats, bool colorBySize, const QStringList& extensionLists) {
    return colorBySize ? colorRankBySize(stats) : TreemapColorSettings::colorRank(extensionLists);
}

ExtensionStatsResult computeExtensionStats(std::span<const RootRef> roots, bool colorBySize,
                                           const QStringList& extensionLists) {
    std::vector<FileNode*> raw;
    raw.reserve(roots.size());
    for (const RootRef& r : roots) raw.push_back(r.get());
    return computeExtensionStats(std::span<FileNode* const>(raw), colorBySize, extensionLists);
}

ColorRank colorRankBySize(std::span<const ExtensionStats> stats) {
    std::vector<const ExtensionStats*> order;
    order.reserve(stats.size());
    for (const ExtensionStats& s : stats) order.push_back(&s);
    std::stable_sort(order.begin(), order.end(),
                     [](const ExtensionStats* a, const ExtensionStats* b) { return a->totalAlloc > b->totalAlloc; });
    ColorRank rank;
    const size_t ranked = std::min<size_t>(order.size(), 12);
    for (size_t i = 0; i < ranked; ++i) rank.insert_or_assign(order[i]->ext, int(i));
    return rank;
}

}  // namespace zelvane
