#include "ZelvaneMac/Core/Treemap/ExtensionStats.hpp"

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "ScanEngine/Tree/NameCoding.hpp"

#include <algorithm>
#include <limits>
#include <system_error>
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

// The lower-cased extension of a name with a unit beyond ASCII after its last dot, which takes
// the full Unicode lower-casing; bytes that are not UTF-8 (escaped units, which lower-casing
// leaves alone) come back as themselves, so that extensions of different invalid bytes stay
// different.
std::string_view lowerExtensionBeyondASCII(const StoredName& name, size_t begin, std::string& buffer) {
    icu::UnicodeString lower;
    for (size_t i = begin; i < name.units; ++i) lower.append(UChar(name.unit(i)));
    lower.toLower(icu::Locale::getRoot());
    buffer = encodeNameBytes(std::u16string_view(reinterpret_cast<const char16_t*>(lower.getBuffer()), size_t(lower.length())));
    return buffer;
}

}  // namespace

namespace {

// The key of an extension of at most eight ASCII bytes, lower-cased, packed into one word
// (first byte lowest; no name holds a NUL byte, so lengths never mix up): the common case, which
// then needs no text of its own. False for any other extension, which takes its text.
bool packedExtensionKey(const FileNode& node, uint64_t& key) {
    const StoredName name = node.storedName();
    size_t begin = name.units;
    while (begin > 0 && name.unit(begin - 1) != u'.') --begin;
    key = 0;
    if (begin == 0 || begin == name.units) return true;
    if (name.units - begin > sizeof key) return false;
    for (size_t i = begin; i < name.units; ++i) {
        const char16_t c = name.unit(i);
        if (c >= 0x80) return false;
        key |= uint64_t(c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c) << (8 * (i - begin));
    }
    return true;
}

std::string unpackedExtension(uint64_t key) {
    std::string ext;
    for (; key; key >>= 8) ext.push_back(char(key & 0xff));
    return ext;
}

}  // namespace

// The totals of one thread. Deleted nodes (on disk or by a file action) are left out with their
// subtrees: they are out of their folders' totals, and the table's rows would otherwise add up
// to more than the tree.
class ExtensionTally final {
public:
    std::unordered_map<uint64_t, Totals> packed;  // by `packedExtensionKey`
    std::unordered_map<std::string, Totals, StringKeyHash, std::equal_to<>> texts;  // every other extension

    void addFile(const FileNode& node) {
        uint64_t key = 0;
        Totals* row = nullptr;
        if (packedExtensionKey(node, key)) {
            // Files of a folder mostly share their extension: the last one's row is tried first.
            if (!lastPacked_ || key != lastKey_) {
                lastPacked_ = &packed[key];
                lastKey_ = key;
            }
            row = lastPacked_;
        } else {
            detectedExtensionInto(node, ext_);
            auto it = texts.find(std::string_view(ext_));
            if (it == texts.end()) it = texts.emplace(ext_, Totals{}).first;
            row = &it->second;
        }
        row->size = saturatingAdd(row->size, node.effectiveSize());
        if (!node.doNotCountAllocated()) row->alloc = saturatingAdd(row->alloc, node.effectiveAllocSize());
        row->count += 1;
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
        for (const auto& [key, o] : other.packed) addTo(packed[key], o);
        for (const auto& [key, o] : other.texts) addTo(texts[key], o);
    }

private:
    static void addTo(Totals& t, const Totals& o) {
        t.size = saturatingAdd(t.size, o.size);
        t.alloc = saturatingAdd(t.alloc, o.alloc);
        t.count += o.count;
    }

    std::vector<const FileNode*> stack_;
    std::string ext_;
    uint64_t lastKey_ = 0;
    Totals* lastPacked_ = nullptr;  // the row of `lastKey_`; rows keep their place as the table grows
};

namespace {

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

// The threads' tables added into the first, as rows in one order whatever the threads did, so
// that totals that tie rank alike from run to run.
std::vector<ExtensionStats> rowsOfTallies(std::span<const std::unique_ptr<ExtensionTally>> tallies) {
    std::vector<ExtensionStats> rows;
    if (tallies.empty()) return rows;
    ExtensionTally& sum = *tallies[0];
    for (size_t w = 1; w < tallies.size(); ++w) sum.add(*tallies[w]);
    std::vector<ExtensionStats> unordered;
    unordered.reserve(sum.packed.size() + sum.texts.size());
    for (const auto& [key, t] : sum.packed) unordered.push_back({unpackedExtension(key), t.size, t.alloc, t.count});
    for (const auto& [key, t] : sum.texts) unordered.push_back({key, t.size, t.alloc, t.count});
    // Put in order by reference, then moved once to where each belongs.
    std::vector<ExtensionStats*> order;
    order.reserve(unordered.size());
    for (ExtensionStats& row : unordered) order.push_back(&row);
    std::sort(order.begin(), order.end(), [](const ExtensionStats* a, const ExtensionStats* b) { return a->ext < b->ext; });
    rows.reserve(order.size());
    for (ExtensionStats* row : order) rows.push_back(std::move(*row));
    return rows;
}

}  // namespace

std::string_view detectedExtensionInto(const FileNode& node, std::string& buffer) {
    buffer.clear();
    // Read from the stored units, without widening the whole name: only the part after the last
    // dot is looked at.
    const StoredName name = node.storedName();
    size_t begin = name.units;
    while (begin > 0 && name.unit(begin - 1) != u'.') --begin;
    if (begin == 0 || begin == name.units) return buffer;
    for (size_t i = begin; i < name.units; ++i) {
        const char16_t c = name.unit(i);
        if (c >= 0x80) return lowerExtensionBeyondASCII(name, begin, buffer);
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
    std::vector<std::unique_ptr<ExtensionTally>> tallies;
    for (unsigned w = 0; w < workers; ++w) tallies.push_back(std::make_unique<ExtensionTally>());
    const std::vector<const FileNode*> subtrees = splitIntoSubtrees(roots, workers * kSubtreesPerThread, *tallies[0]);
    parallelFor(subtrees.size(), workers, 1, [&](size_t i, unsigned w) { tallies[w]->addSubtree(subtrees[i]); });
    ExtensionStatsResult result;
    result.all = rowsOfTallies(tallies);
    result.colorRank = colorRankFor(result.all, colorBySize, extensionLists);
    return result;
}

ScanExtensionCounter::ScanExtensionCounter() = default;
ScanExtensionCounter::~ScanExtensionCounter() = default;

void ScanExtensionCounter::scanStarting(std::span<FileNode* const> roots, size_t workers) {
    tallies_.clear();
    for (size_t w = 0; w < std::max<size_t>(workers, 1); ++w) tallies_.push_back(std::make_unique<ExtensionTally>());
    for (const FileNode* root : roots)
        if (root && !root->isDir() && !root->isDeleted()) tallies_[0]->addFile(*root);
}

void ScanExtensionCounter::folderRead(size_t worker, std::span<FileNode* const> entries) {
    ExtensionTally& tally = *tallies_[worker];
    for (const FileNode* node : entries)
        if (!node->isDir()) tally.addFile(*node);
}

void ScanExtensionCounter::workersFinished() {
    // While the scan adds up its folders' totals: the tables are added together, the rows put in
    // order and the tables freed, on a thread of their own.
    try {
        adding_ = std::jthread([this] {
            rows_ = rowsOfTallies(tallies_);
            tallies_.clear();
        });
    } catch (const std::system_error&) {
        // No thread to be had: `finish` adds them.
    }
}

ExtensionStatsResult ScanExtensionCounter::finish(bool colorBySize, const QStringList& extensionLists) {
    if (adding_.joinable()) adding_.join();
    else rows_ = rowsOfTallies(tallies_);
    ExtensionStatsResult result;
    result.all = std::move(rows_);
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
