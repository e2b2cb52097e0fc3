#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <unordered_set>
#include <vector>

#include "ScanEngine/Tree/FileNode.hpp"
#include "ZelvaneMac/Models/OutlineRowFinder.hpp"
#include "ZelvaneMac/Models/OutlineRowStore.hpp"
#include "ZelvaneMac/Models/OutlineSorting.hpp"

namespace zelvane {

// The rows the tree outline made: the top level's (the roots) and those of every folder and group
// row a view asked about, each list grouped and sorted by the current key when it is made, and
// sorted again in place by `resort`. The shared tree is never reordered. Each made folder knows
// the row it stands at under its own parent.
//
// Synthetic group nodes live in a store of this cache. When the rows go (`retireAll`) the groups
// of the old rows are retired, not freed: a selection elsewhere in the window may still hold one,
// and such a node is recognised (and left out) without being read. GUI thread only.
class OutlineRowCache final {
public:
    using Entry = OutlineFolderRows;

    OutlineSortKey sortKey() const { return sortKey_; }
    bool sortAscending() const { return sortAscending_; }
    // Lists made from now on are sorted so; those made before keep their order until `resort`.
    void setOrder(OutlineSortKey key, bool ascending) { sortKey_ = key, sortAscending_ = ascending; }

    // The top level's rows, made from `roots` the first time.
    Entry& top(const std::vector<FileNode*>& roots);
    Entry* madeTop() const { return top_.get(); }
    // The rows under `folder`, which stands at `rowInParent` among the rows of `parent`, made the
    // first time with the loose files of at least `fileGroupMinSize` folded into a group row.
    Entry& rowsOf(FileNode* folder, Entry* parent, int rowInParent, int fileGroupMinSize);
    Entry* find(const FileNode* folder) const { return entries_.find(folder); }
    const NodeKeyedTable<Entry>& table() const { return entries_; }
    // Every folder's rows made, in the order they were made (the top level's not among them).
    const std::deque<Entry>& made() const { return entryStore_; }
    // Where nodes stand among the rows of long lists; emptied whenever rows are reordered or replaced.
    OutlineRowFinder& finder() { return positions_; }

    // Every list made is sorted again from its stored order (`roots` for the top level: folders in
    // stored order, then the group), so rows with equal keys stand as they would in a freshly made
    // list, whatever the sort before; each made folder learns its new row under its parent.
    void resort(const std::vector<FileNode*>& roots);
    // Lets go of every list made; their group rows are retired.
    void retireAll();
    bool isRetiredGroup(const FileNode* node) const { return retiredGroups_.count(node) != 0; }
    const std::unordered_set<const FileNode*>& retiredGroups() const { return retiredGroups_; }
    // Holds every group node made, current and retired, for work on the thread pool.
    std::shared_ptr<const void> groupNodesHeld() const;

    // Bytes held by the lists and their bookkeeping, and the rows they hold.
    size_t bytes() const;
    size_t rowCount() const;

private:
    void sortRows(const RowList& rows) const { sortOutlineRows(rows.span(), sortKey_, sortAscending_); }

    OutlineSortKey sortKey_ = OutlineSortKey::allocated;
    bool sortAscending_ = false;
    std::unique_ptr<Entry> top_;
    RowArena rowArena_;
    std::deque<Entry> entryStore_;
    NodeKeyedTable<Entry> entries_;
    OutlineRowFinder positions_;
    std::shared_ptr<NodeStore> groupStore_;
    NodeArena* groupArena_ = nullptr;
    std::unordered_set<const FileNode*> retiredGroups_;
    std::vector<std::shared_ptr<NodeStore>> retiredStores_;
};

}  // namespace zelvane
