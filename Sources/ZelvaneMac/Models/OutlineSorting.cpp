#include "ZelvaneMac/Models/OutlineSorting.hpp"

#include <algorithm>
#include <cstdint>
#include <string>

#include "ScanEngine/Tree/NameSort.hpp"
#include "ZelvaneMac/Core/Support/SortKeyTable.hpp"

namespace zelvane {

namespace {

constexpr SortKeyTable<OutlineSortKey, 9> kKeys{{{
                                                    {OutlineSortKey::name, "name"},
                                                    {OutlineSortKey::items, "items"},
                                                    {OutlineSortKey::files, "files"},
                                                    {OutlineSortKey::folders, "folders"},
                                                    {OutlineSortKey::modified, "modified"},
                                                    {OutlineSortKey::size, "size"},
                                                    {OutlineSortKey::attributes, "attributes"},
                                                    {OutlineSortKey::allocated, "allocated"},
                                                    {OutlineSortKey::percent, "percent"},
                                                }},
                                                OutlineSortKey::allocated};

int64_t numericKey(const FileNode& n, OutlineSortKey key) {
    switch (key) {
    case OutlineSortKey::items:
        return n.isDir() ? int64_t(n.subFolderFileCount()) + n.subFolderDirCount() : 0;
    case OutlineSortKey::files: return n.isDir() ? n.subFolderFileCount() : 0;
    case OutlineSortKey::folders: return n.isDir() ? n.subFolderDirCount() : 0;
    case OutlineSortKey::modified: return n.modifiedDateRaw;
    case OutlineSortKey::size: return n.effectiveSize();
    case OutlineSortKey::attributes: return n.dosAttributes;
    case OutlineSortKey::name:
    case OutlineSortKey::allocated:
    case OutlineSortKey::percent: break;
    }
    return n.effectiveAllocSize();
}

}  // namespace

OutlineSortKey outlineSortKeyFromIdentifier(std::string_view identifier) { return kKeys.keyFor(identifier); }

std::string_view outlineSortIdentifier(OutlineSortKey key) { return kKeys.identifierOf(key); }

void sortOutlineRows(std::span<FileNode*> rows, OutlineSortKey key, bool ascending) {
    if (rows.size() < 2) return;
    if (key == OutlineSortKey::name) {
        // Each row's group flag and folded name are read once into a side table and one buffer:
        // the comparisons never reach the nodes or their names, which lie far apart in memory.
        // Most end at the first folded units, kept in the table itself; names sharing those are
        // compared on in the buffer. (Folded units in order, then the shorter first: the order
        // of `wideNameCompare`.)
        struct Named {
            FoldedNamePrefix prefix;
            uint32_t start;
            uint32_t length;
            FileNode* node;
            bool group;
        };
        std::vector<Named> named;
        named.reserve(rows.size());
        std::u16string folded;
        for (FileNode* n : rows) {
            const auto start = uint32_t(folded.size());
            const StoredName s = n->storedName();
            for (size_t i = 0; i < s.units; ++i)
                folded.push_back(foldUnit(s.wide ? s.unit(i) : char16_t(static_cast<unsigned char>(s.bytes[i]))));
            named.push_back({foldedNamePrefix(*n), start, uint32_t(s.units), n, n->isSyntheticGroup()});
        }
        const char16_t* units = folded.data();
        auto less = [units](const Named& a, const Named& b) {
            if (a.prefix != b.prefix) return a.prefix < b.prefix;
            return std::lexicographical_compare(units + a.start, units + a.start + a.length, units + b.start,
                                                units + b.start + b.length);
        };
        std::stable_sort(named.begin(), named.end(), [ascending, &less](const Named& a, const Named& b) {
            if (a.group != b.group) return ascending ? b.group : a.group;
            if (a.group) return false;
            return ascending ? less(a, b) : less(b, a);
        });
        for (size_t i = 0; i < rows.size(); ++i) rows[i] = named[i].node;
        return;
    }
    // The keys are read once into a side table: comparing through the node would chase a pointer
    // (and for folders a second one) on every comparison of a 100,000-row folder.
    struct Keyed {
        int64_t key;
        FileNode* node;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(rows.size());
    for (FileNode* n : rows) keyed.push_back({numericKey(*n, key), n});
    if (ascending) {
        std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) { return a.key < b.key; });
    } else {
        std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) { return a.key > b.key; });
    }
    for (size_t i = 0; i < rows.size(); ++i) rows[i] = keyed[i].node;
}

}  // namespace zelvane
