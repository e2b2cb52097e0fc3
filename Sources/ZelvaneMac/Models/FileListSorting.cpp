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

template <typename Key, typename Extract, typename Less>
std::vector<FileNode*> sortByKey(const std::vector<FileNode*>& nodes, bool ascending, Extract extract, Less less) {
    std::vector<std::pair<Key, FileNode*>> keyed;
    keyed.reserve(nodes.size());
    for (FileNode* n : nodes) keyed.emplace_back(extract(*n), n);
    // Descending compares the same values the other way round, so ties keep their input order
    // in both directions.
    if (ascending)
        std::stable_sort(keyed.begin(), keyed.end(), [&](const auto& a, const auto& b) { return less(a.first, b.first); });
    else
        std::stable_sort(keyed.begin(), keyed.end(), [&](const auto& a, const auto& b) { return less(b.first, a.first); });
    std::vector<FileNode*> out;
    out.reserve(keyed.size());
    for (const auto& k : keyed) out.push_back(k.second);
    return out;
}

template <typename Key, typename Extract>
std::vector<FileNode*> sortByValue(const std::vector<FileNode*>& nodes, bool ascending, Extract extract) {
    return sortByKey<Key>(nodes, ascending, extract, [](const Key& a, const Key& b) { return a < b; });
}

}  // namespace

FileListSortKey fileListSortKeyFromIdentifier(std::string_view identifier) { return kSortKeys.keyFor(identifier); }

std::string_view fileListSortIdentifier(FileListSortKey key) { return kSortKeys.identifierOf(key); }

std::vector<FileNode*> sortNodes(const std::vector<FileNode*>& nodes, FileListSortKey key, bool ascending) {
    switch (key) {
    case FileListSortKey::name:
        return sortByKey<const FileNode*>(nodes, ascending, [](const FileNode& n) { return &n; },
                                          [](const FileNode* a, const FileNode* b) {
                                              return wideNameCompare(*a, *b) < 0;
                                          });
    case FileListSortKey::path:
        return sortByValue<int32_t>(nodes, ascending, [](const FileNode& n) { return n.sortNameIndex(); });
    case FileListSortKey::modified:
        return sortByValue<int32_t>(nodes, ascending, [](const FileNode& n) { return n.modifiedDateRaw; });
    case FileListSortKey::allocated:
        return sortByValue<int64_t>(nodes, ascending, [](const FileNode& n) { return n.effectiveAllocSize(); });
    case FileListSortKey::attributes:
        return sortByValue<uint16_t>(nodes, ascending, [](const FileNode& n) { return n.dosAttributes; });
    case FileListSortKey::dupCount:
        return sortByValue<int>(nodes, ascending, [](const FileNode& n) { return n.dupCount(); });
    case FileListSortKey::dupSize:
        return sortByValue<int64_t>(nodes, ascending, [](const FileNode& n) { return n.dupSize(); });
    case FileListSortKey::size:
    case FileListSortKey::percent: break;
    }
    return sortByValue<int64_t>(nodes, ascending, [](const FileNode& n) { return n.effectiveSize(); });
}

}  // namespace zelvane
