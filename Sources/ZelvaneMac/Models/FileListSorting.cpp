#include "ZelvaneMac/Models/FileListSorting.hpp"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "ScanEngine/Support/ParallelFor.hpp"
#include "ScanEngine/Tree/NameSort.hpp"
#include "ZelvaneMac/Core/Support/SortKeyTable.hpp"

namespace zelvane {

namespace {

constexpr SortKeyTable<FileListSortKey, 9> kSortKeys{{{
                                                         {FileListSortKey::name, "name"},
                                                         {FileListSortKey::path, "path"},
                                                         {FileListSortKey::percent, "percent"},
                                                         {FileListSortKey::size, "size"},
                                                         {FileListSortKey::allocated, "allocated"},
                                                         {FileListSortKey::modified, "modified"},
                                                         {FileListSortKey::dupCount, "dupCount"},
                                                         {FileListSortKey::dupSize, "dupSize"},
                                                         {FileListSortKey::attributes, "attributes"},
                                                     }},
                                                     FileListSortKey::size};

// Each row with its value and its place in the input; ties go by place, so an unstable sort (or
// a heap) gives the stable order. `compare` is three-way. Values are read on every processor: a
// value may cost a walk up the tree (the duplicate columns).
template <typename Key, typename Extract, typename Compare>
std::vector<FileNode*> sortByKey(std::span<FileNode* const> nodes, bool ascending, size_t limit, Extract extract,
                                 Compare compare) {
    struct Keyed {
        Key key;
        size_t index;
    };
    const auto before = [&](const Keyed& a, const Keyed& b) {
        int c = compare(a.key, b.key);
        if (!ascending) c = -c;
        return c != 0 ? c < 0 : a.index < b.index;
    };
    if (limit == 0) return {};
    constexpr size_t kChunk = 65536;
    const size_t chunks = (nodes.size() + kChunk - 1) / kChunk;
    const auto chunkOf = [&](size_t c) {
        return std::pair(c * kChunk, std::min(nodes.size(), (c + 1) * kChunk));
    };
    std::vector<Keyed> keyed;
    if (limit < nodes.size() && limit < kChunk) {
        // The best `limit` rows of each chunk in a heap whose top is the worst of them (most rows
        // are turned away by one comparison), then the best of those. A cap of a chunk or more
        // would turn none away and hold every row twice: those rows are picked from all of them.
        std::vector<std::vector<Keyed>> best(chunks);
        parallelFor(chunks, parallelWorkerCount(), 1, [&](size_t c, unsigned) {
            std::vector<Keyed>& heap = best[c];
            const auto [begin, end] = chunkOf(c);
            heap.reserve(std::min(limit, end - begin));
            for (size_t i = begin; i < end; ++i) {
                Keyed k{extract(*nodes[i]), i};
                if (heap.size() < limit) {
                    heap.push_back(k);
                    std::push_heap(heap.begin(), heap.end(), before);
                } else if (before(k, heap.front())) {
                    std::pop_heap(heap.begin(), heap.end(), before);
                    heap.back() = k;
                    std::push_heap(heap.begin(), heap.end(), before);
                }
            }
        });
        size_t total = 0;
        for (const auto& b : best) total += b.size();
        keyed.reserve(total);
        for (auto& b : best) {
            keyed.insert(keyed.end(), b.begin(), b.end());
            std::vector<Keyed>().swap(b);
        }
        if (keyed.size() > limit) {
            std::nth_element(keyed.begin(), keyed.begin() + ptrdiff_t(limit), keyed.end(), before);
            keyed.resize(limit);
        }
    } else {
        keyed.resize(nodes.size());
        parallelFor(chunks, parallelWorkerCount(), 1, [&](size_t c, unsigned) {
            const auto [begin, end] = chunkOf(c);
            for (size_t i = begin; i < end; ++i) keyed[i] = {extract(*nodes[i]), i};
        });
        if (limit < keyed.size()) {
            std::nth_element(keyed.begin(), keyed.begin() + ptrdiff_t(limit), keyed.end(), before);
            keyed.resize(limit);
        }
    }
    std::sort(keyed.begin(), keyed.end(), before);
    std::vector<FileNode*> out;
    out.reserve(keyed.size());
    for (const Keyed& k : keyed) out.push_back(nodes[k.index]);
    return out;
}

template <typename Key, typename Extract>
std::vector<FileNode*> sortByValue(std::span<FileNode* const> nodes, bool ascending, size_t limit, Extract extract) {
    return sortByKey<Key>(nodes, ascending, limit, extract,
                          [](const Key& a, const Key& b) { return a < b ? -1 : (b < a ? 1 : 0); });
}

}  // namespace

FileListSortKey fileListSortKeyFromIdentifier(std::string_view identifier) { return kSortKeys.keyFor(identifier); }

std::string_view fileListSortIdentifier(FileListSortKey key) { return kSortKeys.identifierOf(key); }

std::vector<FileNode*> sortNodes(std::span<FileNode* const> nodes, FileListSortKey key, bool ascending, size_t limit) {
    switch (key) {
    case FileListSortKey::name:
        // Each name is read once: the GUI thread may rename a node while the sort runs, and a
        // comparison that changes its answer halfway would send the sort past its ends. Replaced
        // names stay in the arena, so what was read stays readable.
        return sortByKey<StoredName>(nodes, ascending, limit, [](const FileNode& n) { return n.storedName(); },
                                     [](const StoredName& a, const StoredName& b) {
                                         const int32_t c = wideNameCompare(a, b);
                                         return c < 0 ? -1 : (c > 0 ? 1 : 0);
                                     });
    case FileListSortKey::path:
        return sortByValue<int32_t>(nodes, ascending, limit, [](const FileNode& n) { return n.sortNameIndex(); });
    case FileListSortKey::modified:
        return sortByValue<int32_t>(nodes, ascending, limit, [](const FileNode& n) { return n.modifiedDateRaw; });
    case FileListSortKey::allocated:
        return sortByValue<int64_t>(nodes, ascending, limit, [](const FileNode& n) { return n.effectiveAllocSize(); });
    case FileListSortKey::attributes:
        return sortByValue<uint16_t>(nodes, ascending, limit, [](const FileNode& n) { return n.dosAttributes; });
    case FileListSortKey::dupCount:
        return sortByValue<int>(nodes, ascending, limit, [](const FileNode& n) { return n.dupCount(); });
    case FileListSortKey::dupSize:
        return sortByValue<int64_t>(nodes, ascending, limit, [](const FileNode& n) { return n.dupSize(); });
    case FileListSortKey::size:
    case FileListSortKey::percent: break;
    }
    return sortByValue<int64_t>(nodes, ascending, limit, [](const FileNode& n) { return n.effectiveSize(); });
}

size_t listedCopiesOf(const FileNode& node) {
    const DuplicateGroup* g = node.dupGroup();
    if (!g || g->members.size() < 2) return 0;
    return size_t(std::count_if(g->members.begin(), g->members.end(), [&](const FileNode* m) { return m != &node; }));
}

RowsWithCopies::RowsWithCopies(std::span<FileNode* const> rows, const CancelFlag* cancel) {
    rows = rows.first(std::min(rows.size(), kRowsMarked));
    // A word of 64 rows is written by one thread alone.
    std::vector<uint64_t> bits((rows.size() + 63) / 64, 0);
    parallelFor(bits.size(), parallelWorkerCount(), 256, [&](size_t word, unsigned) {
        uint64_t w = 0;
        const size_t end = std::min(rows.size(), (word + 1) * 64);
        for (size_t i = word * 64; i < end; ++i)
            if (listedCopiesOf(*rows[i]) > 0) w |= uint64_t(1) << (i % 64);
        bits[word] = w;
    }, cancel);
    if (isCancelled(cancel)) return;
    bits_ = std::move(bits);
    rows_ = rows.size();
}

}  // namespace zelvane
