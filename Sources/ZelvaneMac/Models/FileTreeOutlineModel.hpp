#pragma once

#include <QAbstractItemModel>
#include <QString>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ScanEngine/Support/CancelFlag.hpp"
#include "ScanEngine/Tree/ByteSizeFormatting.hpp"
#include "ScanEngine/Tree/FileNode.hpp"
#include "ZelvaneMac/Models/ColumnTable.hpp"
#include "ZelvaneMac/Models/OutlineRowCache.hpp"
#include "ZelvaneMac/Models/OutlineRowFinder.hpp"
#include "ZelvaneMac/Models/OutlineRowStore.hpp"
#include "ZelvaneMac/Models/OutlineSorting.hpp"

namespace zelvane {

struct OutlineDisplaySettings {
    ByteUnitBase byteUnitBase = ByteUnitBase::decimal;
    ByteSizeDisplayMode byteSizeDisplayMode = ByteSizeDisplayMode::dynamic;
    int decimalPlaces = 1;
    int fileGroupMinSize = FileNode::defaultMinGroupSize;
    bool operator==(const OutlineDisplaySettings&) const = default;
};

// Everything the window hands the tree outline on each update.
struct FileTreeOutlineInputs {
    std::vector<FileNode*> roots;
    // What each root's row is called, in the order of `roots`; a root without one shows its name.
    std::vector<QString> rootLabels;
    OutlineDisplaySettings display;
    int monitorRevision = 0;
    // The nodes the live monitor changed since the last revision taken, unless too many were
    // changed to list: then every row made is brought up to date.
    std::vector<FileNode*> monitorDirtyNodes;
    bool monitorChangedMany = false;
    // Holds the trees of the roots (and of the window's selection) for work on the thread pool.
    std::shared_ptr<const void> trees;
};

// How the outline looks and acts, from the preferences.
struct FileTreeOutlineOptions {
    bool showHorizontalLines = false;
    bool altRowColors = true;
    bool enableDragDrop = true;
    bool operator==(const FileTreeOutlineOptions&) const = default;
};

// Commands gathered for the outline's next update, carried out after its rows are up to date, in
// this order: open the listed rows, open everything, fold everything (and reopen a single root),
// start a rename.
struct OutlineCommands {
    std::vector<FileNode*> expandFolders;       // opened without their children
    std::vector<FileNode*> expandGroupsOf;      // the group rows of these folders
    bool expandAll = false;
    bool collapseAll = false;
    bool rename = false;
    FileNode* renameTarget = nullptr;  // null: the rename ends at once
};

// What the view does after the model took an update.
struct OutlineUpdateActions {
    bool rootsChanged = false;        // the rows were rebuilt for new roots ("Tree View load")
    bool reloaded = false;            // the rows were rebuilt (new roots or new grouping)
    bool expandSingleRoot = false;    // after the rebuild: open the one root a level
};

// The tree outline's rows: the roots, and under each folder its children with the loose files
// folded into one synthetic group row, sorted by the current key.
//
// Rows are made lazily (OutlineRowCache): a folder's rows are grouped and sorted the first time a
// view asks for them, then kept. Each cached folder knows the row it stands at under its own
// parent, so `index()`, `parent()` and `rowCount()` are O(1). The shared tree is never reordered;
// a sort reorders the cached row lists in place (so expanded folders and the selection survive).
// The group rows of rows rebuilt are retired, not freed, and left out wherever they turn up.
// GUI thread only.
class FileTreeOutlineModel final : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Column { nameColumn, percentColumn, sizeColumn, allocatedColumn, itemsColumn, filesColumn,
                  foldersColumn, modifiedColumn, attributesColumn, columnCount_ };
    static constexpr int kColumnCount = columnCount_;
    // Folders this many levels below a root (and deeper) show no rows of their own. The view lays
    // out open rows recursively, one call per level, and a chain of tens of thousands of open
    // folders (Expand All on a deep tree) would overflow the stack; no real path is this deep.
    static constexpr int kMaxOpenDepth = 1000;
    // Changed rows told to the view one range at a time up to this many; more redraw every row.
    static constexpr size_t kRowsChangedOneByOne = 256;
    static bool opensBelow(const FileNode& folder) { return folder.depth() < kMaxOpenDepth; }
    // Identifiers, English titles, widths and first sort orders of the columns.
    static const ColumnTable& columns();

    // The monitor revision of `initial` is taken as already seen.
    explicit FileTreeOutlineModel(const FileTreeOutlineInputs& initial, QObject* parent = nullptr);
    ~FileTreeOutlineModel() override;

    OutlineUpdateActions update(const FileTreeOutlineInputs& inputs);

    const std::vector<FileNode*>& roots() const { return roots_; }
    OutlineSortKey sortKey() const { return rows_.sortKey(); }
    bool sortAscending() const { return rows_.sortAscending(); }
    void setSort(OutlineSortKey key, bool ascending);
    // The column that sorts by `key`.
    static int columnFor(OutlineSortKey key);

    // The row of a node, making the rows of every folder above it. A file inside a group row is
    // found inside that group. Invalid for nodes not in the tree and for retired group nodes.
    QModelIndex indexForNode(FileNode* node);
    // The same for many nodes at once (a selection made elsewhere): invalid entries are left out.
    QModelIndexList indexesForNodes(const std::vector<FileNode*>& nodes);
    // The rows to open for these folders and for the group rows of those folders, in that order,
    // without their children; nodes not in the tree are left out.
    std::vector<QModelIndex> indexesToExpand(const std::vector<FileNode*>& folders,
                                             const std::vector<FileNode*>& groupParents);
    // Expand All: the folder and group rows to open, parents first, in the order the rows are
    // shown. A row is opened only while the rows it brings still fit, with the roots' rows and
    // those opened before it, within `rowBudget` rows; one whose rows do not fit stays closed and
    // the rows after it are still tried. The work and the rows made grow with the rows opened,
    // never with the tree: Expand All on millions of entries opens the first screens of them.
    // With `below`, that row and the rows inside it, counting only the rows they bring.
    // `leftClosed` says whether a row that could open stayed closed for want of room.
    struct RowsToExpand {
        std::vector<QModelIndex> rows;
        bool leftClosed = false;
    };
    RowsToExpand rowsToExpandAll(size_t rowBudget, const QModelIndex& below = {});
    // Whether `update(inputs)` would rebuild every row (new roots or a new group size).
    bool rebuildsFor(const FileTreeOutlineInputs& inputs) const;
    FileNode* nodeAt(const QModelIndex& index) const;
    // The node's row when its folder's rows are already made; never makes any.
    QModelIndex existingIndexForNode(FileNode* node) const;
    bool isRetiredGroup(const FileNode* node) const { return rows_.isRetiredGroup(node); }
    // The open rows whose own rows are shown: every folder and group row whose rows were made,
    // for which `isOpen` holds along with every row above it. Asks `isOpen` once per row whose
    // rows were made, never about the rows of files; in no particular order.
    template <class IsOpen>
    std::vector<QModelIndex> shownOpenRows(IsOpen isOpen) const {
        std::vector<QModelIndex> out;
        std::unordered_map<const Entry*, bool> shown;
        std::vector<const Entry*> chain;
        for (const Entry& made : rows_.made()) {
            chain.clear();
            bool open = true;
            for (const Entry* e = &made; e && e != rows_.madeTop(); e = e->parent) {
                if (const auto known = shown.find(e); known != shown.end()) {
                    open = known->second;
                    break;
                }
                chain.push_back(e);
                // A folder no longer among its parent's rows (a live change) has no row to open.
                if (!e->parent || size_t(e->rowInParent) >= e->parent->rows().size() ||
                    e->parent->rows()[size_t(e->rowInParent)] != e->folder || !isOpen(indexIn(e->rowInParent, 0, e->parent))) {
                    open = false;
                    break;
                }
            }
            for (const Entry* e : chain) shown.emplace(e, open);
            if (open) out.push_back(indexIn(made.rowInParent, 0, made.parent));
        }
        return out;
    }
    // The nodes of the rows under `parent` (the roots for an invalid one) when they were made,
    // without making them or reading any node; empty otherwise.
    std::span<FileNode* const> madeRows(const QModelIndex& parent) const;
    // Holds every group node this model made, current and retired, for work on the thread pool.
    std::shared_ptr<const void> groupNodesHeld() const;
    // The group row among a folder's rows (making them), or null.
    FileNode* syntheticGroupOf(FileNode* folder);
    // Nodes for a file action: group rows stand for the files they fold; retired groups and
    // duplicates are dropped; order kept.
    std::vector<FileNode*> nodesForActions(const std::vector<FileNode*>& selected) const;
    // The same for rows of this model's current lists, which hold no retired group (any thread,
    // with the groups held), the first `most` of them; gives up with nothing once `cancel` is set.
    static std::vector<FileNode*> nodesForActionsOfRows(const std::vector<FileNode*>& rows, const CancelFlag* cancel,
                                                        size_t most = SIZE_MAX);
    // Redraws a node's row in every column (after a rename).
    void refreshNode(FileNode* node);

    // Bytes held by the cached rows and their bookkeeping (for the benchmark).
    size_t cacheBytes() const;
    size_t cachedRowCount() const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    QModelIndexList match(const QModelIndex& start, int role, const QVariant& value, int hits,
                          Qt::MatchFlags flags) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }
    void setDragEnabled(bool on) { dragEnabled_ = on; }

signals:
    // Around a layout change of every row (a sort, new texts), before its signals and after them.
    // Qt's selection follows each selected row through such a change on its own, a persistent
    // index per row; a view lets go of its selection before and selects the same rows again
    // after, folder by folder.
    void rowsAboutToBeLaidOutAgain();
    void rowsLaidOutAgain();

private:
    using Entry = OutlineFolderRows;
    // The synthetic group row among a folder's rows, if any.
    static FileNode* groupIn(const Entry& e);
    using RowFinder = OutlineRowFinder;

    Entry& topEntry() const;
    Entry& entryFor(FileNode* folder, Entry* parentEntry, int rowInParent) const;
    // Qt hashes an index as (row << 4) + column + internal id. With the ids plain addresses of
    // entries made side by side, the rows of different folders land on the same hash values, and
    // letting go of the persistent indexes of a large opened tree (Reset Tree Expansion) took
    // seconds. The id is the address times an odd constant, undone by its inverse, which spreads
    // neighbouring entries over the whole range.
    static constexpr quintptr kIdFactor = quintptr(0x9E3779B97F4A7C15ull);
    static constexpr quintptr kIdInverse = quintptr(0xf1de83e19937733dull);
    static_assert(quintptr(kIdFactor * kIdInverse) == 1);
    QModelIndex indexIn(int row, int column, const Entry* e) const {
        return createIndex(row, column, reinterpret_cast<quintptr>(e) * kIdFactor);
    }
    static Entry* entryAt(const QModelIndex& index) { return reinterpret_cast<Entry*>(index.internalId() * kIdInverse); }
    QModelIndex locate(FileNode* node);
    // The group row among a folder's rows (making them), or invalid.
    QModelIndex groupRowOf(FileNode* folder);
    void rebuild(std::vector<FileNode*> roots);
    void resortInPlace();
    void refreshDirty(const std::vector<FileNode*>& nodes);
    // Every group row made sums its files again, and every row is redrawn.
    void refreshEveryRow();
    void displayChanged();

    std::vector<FileNode*> roots_;
    OutlineDisplaySettings display_;
    int monitorRevision_ = 0;
    bool dragEnabled_ = true;
    std::vector<QString> rootLabels_;
    // Made as views ask for them, from const members too.
    mutable OutlineRowCache rows_;
};

}  // namespace zelvane
