#include "ZelvaneMac/Models/FileListSorting.hpp"

#include <algorithm>
#include <cstdint>
#include <utility>

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
// a heap) gives the stable order. `compare` is three-way.
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
    std::vector<Keyed> keyed;
    if (limit < nodes.size()) {
        // The best `limit` rows in a heap whose top is the worst of them: most rows are turned
        // away by one comparison.
        if (limit == 0) return {};
        keyed.reserve(limit);
        for (size_t i = 0; i < nodes.size(); ++i) {
            Keyed k{extract(*nodes[i]), i};
            if (keyed.size() < limit) {
                keyed.push_back(k);
                std::push_heap(keyed.begin(), keyed.end(), before);
            } else if (before(k, keyed.front())) {
                std::pop_heap(keyed.begin(), keyed.end(), before);
                keyed.back() = k;
                std::push_heap(keyed.begin(), keyed.end(), before);
            }
        }
    } else {
        keyed.reserve(nodes.size());
        for (size_t i = 0; i < nodes.size(); ++i) keyed.push_back({extract(*nodes[i]), i});
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
        return sortByKey<const FileNode*>(nodes, ascending, limit, [](const FileNode& n) { return &n; },
                                          [](const FileNode* a, const FileNode* b) {
                                              const int32_t c = wideNameCompare(*a, *b);
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

}  // namespace zelvane
