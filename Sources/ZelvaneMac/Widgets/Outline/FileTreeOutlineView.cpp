#include "ZelvaneMac/Widgets/Outline/FileTreeOutlineView.hpp"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QPointer>
#include <QStyle>
#include <QVBoxLayout>


#include "ZelvaneMac/Core/Diagnostics/DebugTimingLog.hpp"
#include "ZelvaneMac/Core/Text/Utf8Text.hpp"
#include "ZelvaneMac/Models/FileTypeIcons.hpp"
#include "ZelvaneMac/Models/ResultTableRoles.hpp"
#include "ZelvaneMac/Widgets/Common/FolderIconCache.hpp"
#include "ZelvaneMac/Widgets/Common/ResultTableDelegate.hpp"
#include "ZelvaneMac/Widgets/Common/ResultTableSetup.hpp"
#include "ZelvaneMac/Widgets/Outline/ContextMenuOutlineView.hpp"
#include "ZelvaneMac/Widgets/Outline/SelectedRowRuns.hpp"

namespace zelvane {

FileTreeOutlineView::FileTreeOutlineView(const FileTreeOutlineInputs& initial, FileActionHooks fileActions,
                                         Preferences& preferences, std::optional<std::pair<OutlineSortKey, bool>> initialSort,
                                         QWidget* parent)
    : QWidget(parent), fileActions_(std::move(fileActions)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    outline_ = new ContextMenuOutlineView(this);
    layout->addWidget(outline_);

    FileTreeOutlineInputs seed = initial;
    seed.roots.clear();  // the first update brings the roots, as a load
    model_ = new FileTreeOutlineModel(seed, this);
    const OutlineSortKey key = initialSort ? initialSort->first : OutlineSortKey::allocated;
    const bool ascending = initialSort ? initialSort->second : false;
    model_->setSort(key, ascending);

    delegate_ = new ResultTableDelegate(outline_);
    delegate_->setIconProvider([this](const QModelIndex& index) -> QIcon {
        if (index.column() != FileTreeOutlineModel::nameColumn) return {};
        const FileNode* n = model_->nodeAt(index);
        if (!n) return {};
        if (n->accessDenied()) return FolderIconCache::shared().accessDeniedIcon();
        // A group row is no folder on disk: its made-up path is never looked up.
        if (n->isSyntheticGroup()) return FolderIconCache::shared().genericIcon();
        if (n->isDir()) return FolderIconCache::shared().iconFor(qStringFromUtf8(n->fullPath()));
        QIcon icon = fileTypeIcon(qStringFromUtf8(n->detectedExtension()));
        if (!icon.isNull()) return icon;
        // The style makes its icon anew on each call, reading its images: kept for every row.
        if (fileIcon_.isNull()) fileIcon_ = outline_->style()->standardIcon(QStyle::SP_FileIcon);
        return fileIcon_;
    });
    connect(&FolderIconCache::shared(), &FolderIconCache::iconReady, outline_->viewport(), [this] {
        outline_->viewport()->update();
    });

    outline_->setModel(model_);
    outline_->setOpenRowsSource([this] {
        return model_->shownOpenRows([this](const QModelIndex& row) { return outline_->isExpanded(row); });
    });
    rowSelection_.emplace(*outline_, *model_, kExpandAllRows);
    connect(model_, &FileTreeOutlineModel::rowsAboutToBeLaidOutAgain, this, [this] { rowSelection_->holdForLayout(); });
    connect(model_, &FileTreeOutlineModel::rowsLaidOutAgain, this, [this] { rowSelection_->restoreAfterLayout(); });
    setUpResultOutline(*outline_, *delegate_, FileTreeOutlineModel::columns(), options_.altRowColors,
                       options_.showHorizontalLines, options_.enableDragDrop);

    QHeaderView* header = outline_->header();
    header->setSortIndicator(FileTreeOutlineModel::columnFor(key), ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    autosaveColumnLayout(*header, QStringLiteral("ZelvaneMac.FileTreeOutlineView.columns"), preferences);
    widenColumnsToFit(*header, outline_->font(), FileTreeOutlineModel::columns());
    // Deep names need the room: the folder column takes what the other columns leave.
    giveSpareWidthToColumn(*outline_, FileTreeOutlineModel::nameColumn);
    connect(header, &QHeaderView::sectionClicked, this, &FileTreeOutlineView::onHeaderClicked);

    connect(outline_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &FileTreeOutlineView::onOutlineSelectionChanged);
    connect(outline_, &ContextMenuOutlineView::rowHovered, this,
            [this](const QModelIndex& index) { emit hoveredNode(model_->nodeAt(index)); });
    connect(outline_, &ContextMenuOutlineView::quickLookRequested, this, [this] {
        if (fileActions_.quickLook) fileActions_.quickLook(outline_, actionTargets());
    });
    connect(outline_, &ContextMenuOutlineView::menuRequested, this, &FileTreeOutlineView::openContextMenu);
    connect(outline_, &ContextMenuOutlineView::expandBelowRequested, this,
            [this](const QModelIndex& index) { outline_->expandRows(model_->rowsToExpandAll(kExpandAllRows, index).rows); });
}

FileTreeOutlineView::~FileTreeOutlineView() {
    // The outline is taken down while this object is whole: what it does on the way out (a last
    // selection change, a layout asking the delegate for icons) reaches no half-destroyed owner.
    fileActions_ = {};
    disconnect(outline_, nullptr, this, nullptr);
    disconnect(outline_->selectionModel(), nullptr, this, nullptr);
    delegate_->setIconProvider({});
    delete outline_;
    outline_ = nullptr;
}

template <class Visit>
void FileTreeOutlineView::forEachOpenRow(Visit visit) const {
    std::vector<QModelIndex> stack;
    for (int r = 0; r < model_->rowCount(); ++r) stack.push_back(model_->index(r, 0));
    while (!stack.empty()) {
        const QModelIndex i = stack.back();
        stack.pop_back();
        if (!outline_->isExpanded(i)) continue;
        FileNode* n = model_->nodeAt(i);
        if (!n) continue;
        visit(n);
        // Only a folder's or a group's row opens: the rows of files are not asked about.
        for (int r = 0; r < model_->rowCount(i); ++r) {
            const QModelIndex child = model_->index(r, 0, i);
            const FileNode* c = model_->nodeAt(child);
            if (c && c->isDir() && c->childCount() > 0) stack.push_back(child);
        }
    }
}


void FileTreeOutlineView::update(const FileTreeOutlineInputs& inputs, const FileTreeOutlineOptions& options,
                                 const NodeSet& selection, const OutlineCommands& commands) {
    if (!(options == options_)) {
        options_ = options;
        applyResultTableSettings(*outline_, *delegate_, options.altRowColors, options.showHorizontalLines);
        outline_->setDragEnabled(options.enableDragDrop);
    }
    model_->setDragEnabled(options.enableDragDrop);

    const bool newRoots = inputs.roots != model_->roots();
    const bool rebuilding = model_->rebuildsFor(inputs);
    std::optional<QUuid> load;
    if (newRoots) load = DebugTimingLog::begin(QStringLiteral("Tree View load"));
    // Folders open before a regrouping of the same roots are opened again afterwards (only real
    // folders: group rows are made anew).
    std::vector<FileNode*> reopen;
    if (rebuilding && outline_->isRenaming()) outline_->endRenaming(false, {});
    if (rebuilding && !newRoots) {
        forEachOpenRow([&](FileNode* n) {
            if (!n->isSyntheticGroup()) reopen.push_back(n);
        });
    }
    const OutlineUpdateActions actions = model_->update(inputs);
    if (actions.reloaded) rowSelection_->forget();
    if (actions.rootsChanged) setExpandAllLeftRowsClosed(false);
    if (actions.expandSingleRoot) reopenSingleRoot();
    if (actions.reloaded && !actions.rootsChanged) {
        const QModelIndexList again = model_->indexesForNodes(reopen);
        outline_->expandRows(std::vector<QModelIndex>(again.begin(), again.end()));
    }
    outline_->expandRows(model_->indexesToExpand(commands.expandFolders, commands.expandGroupsOf));
    if (commands.expandAll) {
        const QUuid token = DebugTimingLog::begin(QStringLiteral("Expand All"));
        const FileTreeOutlineModel::RowsToExpand expand = model_->rowsToExpandAll(kExpandAllRows);
        outline_->expandRows(expand.rows);
        DebugTimingLog::end(token);
        setExpandAllLeftRowsClosed(expand.leftClosed);
    }
    if (commands.collapseAll) {
        // The edited row folds away with the rest; its field would float over other rows.
        if (outline_->isRenaming()) outline_->endRenaming(false, {});
        outline_->collapseAll();
        reopenSingleRoot();
        setExpandAllLeftRowsClosed(false);
    }
    if (commands.rename) startRename(commands.renameTarget);
    if (load) DebugTimingLog::end(*load);
    rowSelection_->show(selection, inputs.trees);
}

void FileTreeOutlineView::setExpandAllLeftRowsClosed(bool closed) {
    if (closed == expandAllLeftRowsClosed_) return;
    expandAllLeftRowsClosed_ = closed;
    emit expandAllLeftRowsClosed(closed);
}

void FileTreeOutlineView::reopenSingleRoot() {
    if (model_->rowCount() == 1) outline_->expand(model_->index(0, 0));
}

void FileTreeOutlineView::startRename(FileNode* target) {
    auto ended = [guard = QPointer<FileTreeOutlineView>(this)] {
        if (guard) emit guard->renameEditingEnded();
    };
    // A group row has no name on disk: its made-up name never reaches a file action.
    if (!target || target->isSyntheticGroup() || model_->isRetiredGroup(target)) {
        ended();
        return;
    }
    const QModelIndex index = model_->indexForNode(target);
    const QString current = qStringFromUtf8(target->name());
    auto commit = [guard = QPointer<FileTreeOutlineView>(this), target](const QString& newName) {
        if (!guard || !guard->fileActions_.rename) return false;
        const bool ok = guard->fileActions_.rename(guard->outline_, target, newName);
        if (ok) guard->model_->refreshNode(target);
        return ok;
    };
    if (!outline_->beginRenaming(index, current, commit, ended)) ended();
}

bool FileTreeOutlineView::isNodeExpanded(const FileNode* node) const {
    // A file's row has nothing to open; asked for every file of a clipboard listing.
    if (!outline_ || !node || !node->isDir()) return false;
    const QModelIndex i = model_->existingIndexForNode(const_cast<FileNode*>(node));
    return i.isValid() && outline_->isExpanded(i);
}

bool FileTreeOutlineView::isGroupExpanded(const FileNode* folder) const {
    if (!outline_) return false;
    const QModelIndex f = model_->existingIndexForNode(const_cast<FileNode*>(folder));
    if (!f.isValid() || !outline_->isExpanded(f)) return false;
    for (int r = 0; r < model_->rowCount(f); ++r) {
        const QModelIndex i = model_->index(r, 0, f);
        const FileNode* n = model_->nodeAt(i);
        if (n && n->isSyntheticGroup()) return outline_->isExpanded(i);
    }
    return false;
}

OpenTreeRows FileTreeOutlineView::openRows() const {
    OpenTreeRows open;
    if (!outline_) return open;
    // Only rows whose own rows were made can be open: those are asked, not every row shown. A
    // row counts when every row above it is open too (a group row's is its folder's).
    for (const QModelIndex& row : model_->shownOpenRows([this](const QModelIndex& i) { return outline_->isExpanded(i); })) {
        const FileNode* n = model_->nodeAt(row);
        if (!n) continue;
        if (!n->isSyntheticGroup()) open.folders.insert(n);
        else if (n->parent()) open.groupsOf.insert(n->parent());
    }
    return open;
}

std::vector<FileNode*> FileTreeOutlineView::selectedNodes() const { return rowSelection_->nodes(); }

std::vector<FileNode*> FileTreeOutlineView::actionTargets() const { return model_->nodesForActions(selectedNodes()); }

std::vector<FileNode*> FileTreeOutlineView::firstActionTargets(size_t most) const {
    const SelectedRowRuns runs(outline_->selectionModel()->selection(), *model_);
    const CancelFlag never;
    return FileTreeOutlineModel::nodesForActionsOfRows(runs.inRowOrder(never, most), nullptr, most);
}

NodeListing::Gathering FileTreeOutlineView::actionTargetsLater() const {
    auto runs = std::make_shared<const SelectedRowRuns>(outline_->selectionModel()->selection(), *model_);
    return [runs, groups = model_->groupNodesHeld()](const CancelFlag& cancel) {
        return FileTreeOutlineModel::nodesForActionsOfRows(runs->inRowOrder(cancel), &cancel);
    };
}

void FileTreeOutlineView::sortBy(OutlineSortKey key, bool ascending) {
    model_->setSort(key, ascending);
    outline_->header()->setSortIndicator(FileTreeOutlineModel::columnFor(key),
                                         ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void FileTreeOutlineView::dropGoneRows() {
    const QItemSelection selected = outline_->selectionModel()->selection();
    const int lastColumn = FileTreeOutlineModel::kColumnCount - 1;
    QItemSelection kept;
    bool anyGone = false;
    for (const QItemSelectionRange& range : selected) {
        if (range.left() > 0 || !range.isValid()) continue;
        const QModelIndex parent = range.parent();
        const std::span<FileNode* const> rows = model_->madeRows(parent);
        int first = -1;
        for (int row = range.top(); row <= range.bottom() + 1; ++row) {
            const bool inRange = row <= range.bottom();
            const bool gone = inRange && size_t(row) < rows.size() && rows[size_t(row)] && rows[size_t(row)]->isDeleted();
            anyGone = anyGone || gone;
            if (inRange && !gone) {
                if (first < 0) first = row;
                continue;
            }
            if (first >= 0) kept.append(QItemSelectionRange(model_->index(first, 0, parent), model_->index(row - 1, lastColumn, parent)));
            first = -1;
        }
    }
    if (anyGone) outline_->replaceSelection(kept);
}

void FileTreeOutlineView::onHeaderClicked(int column) {
    const OutlineSortKey key = outlineSortKeyFromIdentifier(FileTreeOutlineModel::columns().identifier(column));
    bool ascending = FileTreeOutlineModel::columns().firstSortOrder(column) == Qt::AscendingOrder;
    if (key == model_->sortKey()) ascending = !model_->sortAscending();
    sortBy(key, ascending);
}

void FileTreeOutlineView::onOutlineSelectionChanged() {
    if (rowSelection_->isShowing()) return;
    const std::vector<FileNode*> nodes = selectedNodes();
    emit selectionChanged(nodes, rowSelection_->remember(nodes));
}

void FileTreeOutlineView::openContextMenu(const QPoint& globalPos) {
    QMenu* menu = nullptr;
    std::optional<FileActionHooks::Selection> many = largeSelection_ ? largeSelection_() : std::nullopt;
    if (many && fileActions_.makeSelectionMenu) {
        menu = fileActions_.makeSelectionMenu(outline_, std::move(*many));
    } else if (fileActions_.makeContextMenu) {
        QPointer<FileTreeOutlineView> guard(this);
        menu = fileActions_.makeContextMenu(outline_, [guard] { return guard ? guard->actionTargets() : std::vector<FileNode*>{}; });
    }
    if (!menu) return;
    if (!menu->isEmpty()) menu->exec(globalPos);
    menu->deleteLater();
}

}  // namespace zelvane
