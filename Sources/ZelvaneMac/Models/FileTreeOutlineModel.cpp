#include "ZelvaneMac/Models/FileTreeOutlineModel.hpp"

#include <QMimeData>

#include <algorithm>

#include "ZelvaneMac/Models/NodeCells.hpp"
#include "ZelvaneMac/Models/OutlineCells.hpp"
#include "ZelvaneMac/Models/OutlineChangedRows.hpp"

namespace zelvane {

const ColumnTable& FileTreeOutlineModel::columns() { return outlineColumns(); }

FileTreeOutlineModel::FileTreeOutlineModel(const FileTreeOutlineInputs& initial, QObject* parent)
    : QAbstractItemModel(parent),
      display_(initial.display),
      monitorRevision_(initial.monitorRevision) {}

FileTreeOutlineModel::~FileTreeOutlineModel() = default;

bool FileTreeOutlineModel::rebuildsFor(const FileTreeOutlineInputs& in) const {
    return in.roots != roots_ || in.display.fileGroupMinSize != display_.fileGroupMinSize;
}

OutlineUpdateActions FileTreeOutlineModel::update(const FileTreeOutlineInputs& in) {
    OutlineUpdateActions actions;
    const bool rootsChanged = in.roots != roots_;
    const bool displayChangedNow = !(in.display == display_);
    const bool groupingChanged = in.display.fileGroupMinSize != display_.fileGroupMinSize;
    const bool labelsChanged = in.rootLabels != rootLabels_;
    display_ = in.display;
    rootLabels_ = in.rootLabels;
    const bool revisionChanged = in.monitorRevision != monitorRevision_;
    monitorRevision_ = in.monitorRevision;

    if (rootsChanged || groupingChanged) {
        rebuild(in.roots);
        actions.reloaded = true;
        actions.rootsChanged = rootsChanged;
        actions.expandSingleRoot = rootsChanged && roots_.size() == 1;
    } else if (displayChangedNow || labelsChanged) {
        displayChanged();
    } else if (revisionChanged && in.monitorChangedMany) {
        refreshEveryRow();
    } else if (revisionChanged) {
        refreshDirty(in.monitorDirtyNodes);
    }
    return actions;
}

std::vector<QModelIndex> FileTreeOutlineModel::indexesToExpand(const std::vector<FileNode*>& folders,
                                                                const std::vector<FileNode*>& groupParents) {
    std::vector<QModelIndex> out;
    for (FileNode* n : folders) {
        QModelIndex i = locate(n);
        if (i.isValid()) out.push_back(i);
    }
    for (FileNode* p : groupParents) {
        QModelIndex i = groupRowOf(p);
        if (i.isValid()) out.push_back(i);
    }
    return out;
}

FileTreeOutlineModel::RowsToExpand FileTreeOutlineModel::rowsToExpandAll(size_t rowBudget, const QModelIndex& below) {
    RowsToExpand result;
    std::vector<QModelIndex>& out = result.rows;
    size_t shown = 0;
    // Depth first, as the rows are shown: each level's entry and its next row to look at.
    struct Level {
        Entry* entry;
        size_t next;
    };
    std::vector<Level> stack;
    // Opens the row when its rows fit. A folder never shows more rows than it has children
    // (grouping only folds them), so one that cannot fit is passed over without its rows being made.
    const auto opens = [&](const FileNode* n) { return n->isDir() && n->childCount() > 0 && opensBelow(*n); };
    const auto open = [&](Entry* e, size_t row) {
        FileNode* n = e->rows()[row];
        if (!opens(n)) return;
        if (shown + n->childCount() > rowBudget) {
            result.leftClosed = true;
            return;
        }
        Entry& rows = entryFor(n, e, int(row));
        shown += rows.rows().size();
        out.push_back(indexIn(int(row), 0, e));
        stack.push_back({&rows, 0});
    };
    if (below.isValid()) {
        Entry* e = below.model() == this ? entryAt(below) : nullptr;
        if (!e || size_t(below.row()) >= e->rows().size()) return result;
        open(e, size_t(below.row()));
    } else {
        Entry* top = &topEntry();
        shown = top->rows().size();
        stack.push_back({top, 0});
    }
    while (!stack.empty() && shown < rowBudget) {
        Entry* e = stack.back().entry;
        const size_t row = stack.back().next++;
        if (row >= e->rows().size()) stack.pop_back();
        else open(e, row);
    }
    // The budget ran out: whether a row not looked at yet would have opened (the rows looked
    // through are those made, no more than the budget).
    for (const Level& level : stack) {
        const auto rows = level.entry->rows();
        for (size_t row = level.next; row < rows.size() && !result.leftClosed; ++row) result.leftClosed = opens(rows[row]);
    }
    return result;
}

int FileTreeOutlineModel::columnFor(OutlineSortKey key) {
    switch (key) {
    case OutlineSortKey::name: return nameColumn;
    case OutlineSortKey::percent: return percentColumn;
    case OutlineSortKey::size: return sizeColumn;
    case OutlineSortKey::items: return itemsColumn;
    case OutlineSortKey::files: return filesColumn;
    case OutlineSortKey::folders: return foldersColumn;
    case OutlineSortKey::modified: return modifiedColumn;
    case OutlineSortKey::attributes: return attributesColumn;
    case OutlineSortKey::allocated: break;
    }
    return allocatedColumn;
}

void FileTreeOutlineModel::setSort(OutlineSortKey key, bool ascending) {
    rows_.setOrder(key, ascending);
    resortInPlace();
}

void FileTreeOutlineModel::sort(int column, Qt::SortOrder order) {
    setSort(outlineSortKeyFromIdentifier(outlineColumns().identifier(column)), order == Qt::AscendingOrder);
}

FileNode* FileTreeOutlineModel::groupIn(const Entry& e) { return groupRowIn(e); }

// Every index() and rowCount() asks: rows made already are found without a call.
FileTreeOutlineModel::Entry& FileTreeOutlineModel::topEntry() const {
    if (Entry* made = rows_.madeTop()) return *made;
    return rows_.top(roots_);
}

FileTreeOutlineModel::Entry& FileTreeOutlineModel::entryFor(FileNode* folder, Entry* parentEntry, int rowInParent) const {
    if (Entry* made = rows_.find(folder)) return *made;
    return rows_.rowsOf(folder, parentEntry, rowInParent, display_.fileGroupMinSize);
}

void FileTreeOutlineModel::rebuild(std::vector<FileNode*> roots) {
    beginResetModel();
    rows_.retireAll();
    roots_ = std::move(roots);
    endResetModel();
}

void FileTreeOutlineModel::resortInPlace() {
    if (!rows_.madeTop()) return;  // nothing shown yet: rows are sorted as they are made
    emit rowsAboutToBeLaidOutAgain();
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<std::pair<Entry*, FileNode*>> held;
    held.reserve(size_t(before.size()));
    for (const QModelIndex& i : before) {
        Entry* e = entryAt(i);
        held.emplace_back(e, e && size_t(i.row()) < e->rows().size() ? e->rows()[size_t(i.row())] : nullptr);
    }
    rows_.resort(roots_);
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype k = 0; k < before.size(); ++k) {
        auto [e, node] = held[size_t(k)];
        int row = -1;
        if (e && node) {
            Entry* own = node->isDir() ? rows_.find(node) : nullptr;
            row = (own && own->parent == e) ? own->rowInParent : rows_.finder().rowOf(*e, node);
        }
        after.push_back(row < 0 ? QModelIndex() : indexIn(row, before[k].column(), e));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    emit rowsLaidOutAgain();
}

void FileTreeOutlineModel::displayChanged() {
    // Only texts change: a layout change redraws every row and keeps expansion and selection.
    emit rowsAboutToBeLaidOutAgain();
    emit layoutAboutToBeChanged();
    emit layoutChanged();
    emit rowsLaidOutAgain();
}

void FileTreeOutlineModel::refreshDirty(const std::vector<FileNode*>& nodes) {
    if (!rows_.madeTop() || nodes.empty()) return;
    const auto retired = [this](const FileNode* n) { return rows_.isRetiredGroup(n); };
    const std::vector<OutlineRowRange> ranges = outlineRowsChangedBy(nodes, *rows_.madeTop(), rows_.table(), retired);
    // A tree view finds where each changed row is drawn by a walk of its laid-out rows, so tens of
    // thousands of changed rows among tens of thousands open (a large deletion after Expand All)
    // would take minutes one by one; past a few hundred, one redraw of every row costs far less.
    size_t changedRows = 0;
    for (const OutlineRowRange& r : ranges) changedRows += size_t(r.last - r.first + 1);
    if (changedRows > kRowsChangedOneByOne) {
        displayChanged();
        return;
    }
    for (const OutlineRowRange& r : ranges)
        emit dataChanged(indexIn(r.first, 0, r.folder), indexIn(r.last, kColumnCount - 1, r.folder));
}

void FileTreeOutlineModel::refreshEveryRow() {
    if (!rows_.madeTop()) return;
    for (const Entry& e : rows_.made())
        if (FileNode* g = groupIn(e)) g->refreshSyntheticGroup();
    displayChanged();
}

QModelIndex FileTreeOutlineModel::locate(FileNode* node) {
    RowFinder& finder = rows_.finder();
    if (!node || rows_.isRetiredGroup(node)) return {};
    std::vector<FileNode*> chain;
    for (FileNode* p = node; p; p = p->parent()) chain.push_back(p);
    std::reverse(chain.begin(), chain.end());
    Entry* e = &topEntry();
    int row = finder.rowOf(*e, chain[0]);
    if (row < 0) return {};
    if (chain.size() > size_t(kMaxOpenDepth) + 1) return {};
    for (size_t i = 1; i < chain.size(); ++i) {
        FileNode* folder = e->rows()[size_t(row)];
        if (!folder->isDir() || !opensBelow(*folder)) return {};
        e = &entryFor(folder, e, row);
        row = finder.rowOf(*e, chain[i]);
        if (row >= 0) continue;
        // A loose file folded into its folder's group row.
        FileNode* group = groupIn(*e);
        if (i + 1 != chain.size() || !group) return {};
        auto kids = group->children();
        if (std::find(kids.begin(), kids.end(), node) == kids.end()) return {};
        const int groupRow = finder.rowOf(*e, group);
        if (groupRow < 0 || !opensBelow(*group)) return {};
        e = &entryFor(group, e, groupRow);
        row = finder.rowOf(*e, node);
        if (row < 0) return {};
    }
    return indexIn(row, 0, e);
}

QModelIndex FileTreeOutlineModel::indexForNode(FileNode* node) { return locate(node); }

QModelIndexList FileTreeOutlineModel::indexesForNodes(const std::vector<FileNode*>& nodes) {
    QModelIndexList out;
    out.reserve(qsizetype(nodes.size()));
    for (FileNode* n : nodes) {
        QModelIndex i = locate(n);
        if (i.isValid()) out.push_back(i);
    }
    return out;
}

QModelIndex FileTreeOutlineModel::existingIndexForNode(FileNode* node) const {
    const Entry* top = rows_.madeTop();
    if (!node || !top || rows_.isRetiredGroup(node)) return {};
    // A folder whose rows were made knows where it stands, without a search of its parent's rows.
    if (node->isDir())
        if (const Entry* own = rows_.find(node); own && own->parent && size_t(own->rowInParent) < own->parent->rows().size() &&
                                                     own->parent->rows()[size_t(own->rowInParent)] == node)
            return indexIn(own->rowInParent, 0, own->parent);
    RowFinder& finder = rows_.finder();
    if (node->isRoot()) {
        int r = finder.rowOf(*top, node);
        return r < 0 ? QModelIndex() : indexIn(r, 0, top);
    }
    Entry* e = rows_.find(node->parent());
    if (!e) return {};
    int r = finder.rowOf(*e, node);
    if (FileNode* group = r < 0 ? groupIn(*e) : nullptr) {
        e = rows_.find(group);
        if (!e) return {};
        r = finder.rowOf(*e, node);
    }
    return r < 0 ? QModelIndex() : indexIn(r, 0, e);
}

QModelIndex FileTreeOutlineModel::groupRowOf(FileNode* folder) {
    if (!folder || !folder->isDir() || rows_.isRetiredGroup(folder) || !opensBelow(*folder)) return {};
    const QModelIndex i = locate(folder);
    if (!i.isValid()) return {};
    Entry& rows = entryFor(folder, entryAt(i), i.row());
    FileNode* group = groupIn(rows);
    const int row = group ? rows_.finder().rowOf(rows, group) : -1;
    return row < 0 ? QModelIndex() : indexIn(row, 0, &rows);
}

std::shared_ptr<const void> FileTreeOutlineModel::groupNodesHeld() const { return rows_.groupNodesHeld(); }

FileNode* FileTreeOutlineModel::syntheticGroupOf(FileNode* folder) { return nodeAt(groupRowOf(folder)); }

namespace {

// Group rows stand for the files they fold, each node once, in the order of `rows`, the first
// `most` of them.
std::vector<FileNode*> unfoldGroupRows(const std::vector<FileNode*>& rows, const CancelFlag* cancel,
                                       const std::unordered_set<const FileNode*>* retired, size_t most) {
    std::vector<FileNode*> out;
    std::unordered_set<const FileNode*> seen;
    size_t looked = 0;
    for (FileNode* n : rows) {
        if ((++looked & 0xffff) == 0 && isCancelled(cancel)) return {};
        if (!n || (retired && retired->count(n))) continue;
        if (n->isSyntheticGroup()) {
            for (FileNode* f : n->children())
                if (out.size() < most && seen.insert(f).second) out.push_back(f);
        } else if (out.size() < most && seen.insert(n).second) {
            out.push_back(n);
        }
        if (out.size() == most) break;
    }
    return out;
}

}  // namespace

std::vector<FileNode*> FileTreeOutlineModel::nodesForActions(const std::vector<FileNode*>& selected) const {
    return unfoldGroupRows(selected, nullptr, &rows_.retiredGroups(), SIZE_MAX);
}

std::vector<FileNode*> FileTreeOutlineModel::nodesForActionsOfRows(const std::vector<FileNode*>& rows, const CancelFlag* cancel,
                                                                   size_t most) {
    return unfoldGroupRows(rows, cancel, nullptr, most);
}

void FileTreeOutlineModel::refreshNode(FileNode* node) {
    QModelIndex i = existingIndexForNode(node);
    if (i.isValid()) emit dataChanged(i, i.siblingAtColumn(kColumnCount - 1));
}

FileNode* FileTreeOutlineModel::nodeAt(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this) return nullptr;
    const Entry* e = entryAt(index);
    return e && size_t(index.row()) < e->rows().size() ? e->rows()[size_t(index.row())] : nullptr;
}

std::span<FileNode* const> FileTreeOutlineModel::madeRows(const QModelIndex& parent) const {
    if (!parent.isValid()) return rows_.madeTop() ? rows_.madeTop()->rows().span() : std::span<FileNode* const>();
    if (parent.model() != this || parent.column() != 0) return {};
    const Entry* pe = entryAt(parent);
    if (!pe || size_t(parent.row()) >= pe->rows().size()) return {};
    const Entry* e = rows_.find(pe->rows()[size_t(parent.row())]);
    return e ? e->rows().span() : std::span<FileNode* const>();
}

QModelIndex FileTreeOutlineModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column < 0 || column >= kColumnCount) return {};
    Entry* e = nullptr;
    if (!parent.isValid()) {
        e = &topEntry();
    } else {
        Entry* pe = entryAt(parent);
        if (!pe || size_t(parent.row()) >= pe->rows().size()) return {};
        FileNode* n = pe->rows()[size_t(parent.row())];
        if (!n->isDir() || !opensBelow(*n)) return {};
        e = &entryFor(n, pe, parent.row());
    }
    if (size_t(row) >= e->rows().size()) return {};
    return indexIn(row, column, e);
}

QModelIndex FileTreeOutlineModel::parent(const QModelIndex& child) const {
    const Entry* e = child.isValid() ? entryAt(child) : nullptr;
    if (!e || e == rows_.madeTop() || !e->parent) return {};
    return indexIn(e->rowInParent, 0, e->parent);
}

int FileTreeOutlineModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) return int(topEntry().rows().size());
    if (parent.column() != 0) return 0;
    Entry* pe = entryAt(parent);
    if (!pe || size_t(parent.row()) >= pe->rows().size()) return 0;
    FileNode* n = pe->rows()[size_t(parent.row())];
    if (!n->isDir() || !opensBelow(*n)) return 0;
    return int(entryFor(n, pe, parent.row()).rows().size());
}

int FileTreeOutlineModel::columnCount(const QModelIndex&) const { return kColumnCount; }

bool FileTreeOutlineModel::hasChildren(const QModelIndex& parent) const {
    if (!parent.isValid()) return !topEntry().rows().empty();
    if (parent.column() != 0) return false;
    const FileNode* n = nodeAt(parent);
    // Grouping never empties a folder, so the stored children answer without sorting anything.
    return n && n->isDir() && n->childCount() > 0 && opensBelow(*n);
}

Qt::ItemFlags FileTreeOutlineModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    const FileNode* n = nodeAt(index);
    if (dragEnabled_ && n && !n->isSyntheticGroup()) f |= Qt::ItemIsDragEnabled;
    return f;
}

QStringList FileTreeOutlineModel::mimeTypes() const { return {QStringLiteral("text/uri-list")}; }

QMimeData* FileTreeOutlineModel::mimeData(const QModelIndexList& indexes) const {
    if (!dragEnabled_) return nullptr;
    // Group rows stand for no file.
    return fileURLsMimeData(indexes, [this](const QModelIndex& i) -> const FileNode* {
        const FileNode* n = nodeAt(i);
        return n && !n->isSyntheticGroup() ? n : nullptr;
    });
}

QModelIndexList FileTreeOutlineModel::match(const QModelIndex& start, int role, const QVariant& value, int hits,
                                    Qt::MatchFlags flags) const {
    return QAbstractItemModel::match(start, role, typedSearchAsShown(role, value, flags), hits, flags);
}

QVariant FileTreeOutlineModel::headerData(int section, Qt::Orientation orientation, int role) const {
    return outlineHeaderData(section, orientation, role);
}

QVariant FileTreeOutlineModel::data(const QModelIndex& index, int role) const {
    const FileNode* n = nodeAt(index);
    if (!n) return {};
    return outlineCellData(*n, index.column(), role, OutlineCellContext{display_, roots_, rootLabels_, rows_.sortKey()});
}

size_t FileTreeOutlineModel::cachedRowCount() const { return rows_.rowCount(); }

size_t FileTreeOutlineModel::cacheBytes() const { return rows_.bytes(); }

}  // namespace zelvane
