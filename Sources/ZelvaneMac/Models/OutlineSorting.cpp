#include "ZelvaneMac/Models/OutlineSorting.hpp"

#include <algorithm>
#include <cstdint>

#include "ScanEngine/Tree/NameSort.hpp"

namespace zelvane {

OutlineSortKey outlineSortKeyFromIdentifier(std::string_view id) {
    if (id == "name") return OutlineSortKey::name;
    if (id == "items") return OutlineSortKey::items;
    if (id == "files") return OutlineSortKey::files;
    if (id == "folders") return OutlineSortKey::folders;
    if (id == "modified") return OutlineSortKey::modified;
    if (id == "size") return OutlineSortKey::size;
    if (id == "attributes") return OutlineSortKey::attributes;
    return OutlineSortKey::allocated;
}

namespace {

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
    case OutlineSortKey::allocated: break;
    }
    return n.effectiveAllocSize();
}

}  // namespace

void sortOutlineRows(std::span<FileNode*> rows, OutlineSortKey key, bool ascending) {
    if (rows.size() < 2) return;
    if (key == OutlineSortKey::name) {
        // Each row's group flag and the first folded units of its name are read once into a side
        // table: most comparisons end there, and only rows whose names share those units reach
        // the names themselves.
        struct Named {
            FoldedNamePrefix prefix;
            FileNode* node;
            bool group;
        };
        std::vector<Named> named;
        named.reserve(rows.size());
        for (FileNode* n : rows) named.push_back({foldedNamePrefix(*n), n, n->isSyntheticGroup()});
        std::stable_sort(named.begin(), named.end(), [ascending](const Named& a, const Named& b) {
            if (a.group != b.group) return ascending ? b.group : a.group;
            if (a.group) return false;
            if (a.prefix != b.prefix) return ascending ? a.prefix < b.prefix : b.prefix < a.prefix;
            const int32_t c = wideNameCompare(*a.node, *b.node);
            return ascending ? c < 0 : c > 0;
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
