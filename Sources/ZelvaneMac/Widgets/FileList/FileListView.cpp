#include "ZelvaneMac/Widgets/FileList/FileListView.hpp"

#include <QHeaderView>
#include <QCursor>
#include <QItemSelectionModel>
#include <QLocale>
#include <QMenu>
#include <QStyle>
#include <QToolTip>
#include <QVBoxLayout>

#include <limits>
#include <map>
#include <unordered_set>

#include "ZelvaneMac/Actions/ActionTargets.hpp"
#include "ZelvaneMac/Actions/FileActionController.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Core/Text/Utf8Text.hpp"
#include "ZelvaneMac/Models/FileListModel.hpp"
#include "ZelvaneMac/Models/FileTypeIcons.hpp"
#include "ZelvaneMac/Models/NodeCells.hpp"
#include "ZelvaneMac/Widgets/Common/FolderIconCache.hpp"
#include "ZelvaneMac/Widgets/Common/ResultTableDelegate.hpp"
#include "ZelvaneMac/Widgets/Common/ResultTableSetup.hpp"
#include "ZelvaneMac/Widgets/FileList/FileListOutlineView.hpp"
#include "ZelvaneMac/Widgets/FileList/FileListSelectionModel.hpp"
#include "ZelvaneMac/Widgets/Outline/ContextMenuOutlineView.hpp"
#include "ZelvaneMac/Widgets/Treemap/BusyCursor.hpp"

namespace zelvane {

FileListView::FileListView(Preferences& preferences, std::optional<std::pair<FileListSortKey, bool>> initialSort,
                           QWidget* parent)
    : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    pipeline_ = new FileListPipeline(initialSort, this);
    // The cursor token pops in the hop back to the GUI thread, whether the run's result is used,
    // dropped as superseded, or discarded because the list is gone.
    pipeline_->setBusyHook([] { return std::static_pointer_cast<void>(std::make_shared<ScopedBusyCursor>()); });
    model_ = new FileListModel(*pipeline_, this);
    outline_ = new FileListOutlineView(*model_, [this] { return dragData(); }, this);
    layout->addWidget(outline_);

    delegate_ = new ResultTableDelegate(outline_);
    // The style makes its file icon anew on each call, reading its images: kept for every row.
    delegate_->setIconProvider([this, fileIcon = QIcon()](const QModelIndex& index) mutable -> QIcon {
        if (index.column() != FileListModel::nameColumn) return {};
        const FileNode* n = model_->nodeAt(index);
        if (!n) return {};
        if (n->isDir() && n->accessDenied()) return FolderIconCache::shared().accessDeniedIcon();
        if (n->isDir()) return FolderIconCache::shared().iconFor(qStringFromUtf8(n->fullPath()));
        QIcon icon = fileTypeIcon(qStringFromUtf8(n->detectedExtension()));
        if (!icon.isNull()) return icon;
        if (fileIcon.isNull()) fileIcon = outline_->style()->standardIcon(QStyle::SP_FileIcon);
        return fileIcon;
    });
    connect(&FolderIconCache::shared(), &FolderIconCache::iconReady, outline_->viewport(),
            [this] { outline_->viewport()->update(); });

    setUpResultOutline(*outline_, *delegate_, FileListModel::columns(), options_.altRowColors,
                       options_.showHorizontalLines, options_.enableDragDrop);
    outline_->setExpandsOnDoubleClick(false);

    QHeaderView* header = outline_->header();
    // The order comes from the command line when it names one, else from the stored layout (the
    // order the user chose last time), else the pipeline's own default.
    const bool restored = autosaveColumnLayout(*header, QStringLiteral("ZelvaneMac.FileListTableView.columns"),
                                               preferences, initialSort ? StoredSort::keepGiven : StoredSort::restore);
    widenColumnsToFit(*header, outline_->font(), FileListModel::columns());
    header->setSectionHidden(FileListModel::dupCountColumn, true);
    header->setSectionHidden(FileListModel::dupSizeColumn, true);
    if (!initialSort && restored) {
        const int stored = header->sortIndicatorSection();
        if (FileListModel::columns().sortable(stored)) {
            pipeline_->restoreSort(fileListSortKeyFromIdentifier(FileListModel::columns().identifier(stored)),
                                   header->sortIndicatorOrder() == Qt::AscendingOrder);
        }
    }
    header->setSortIndicator(FileListModel::columnFor(pipeline_->sortKey()),
                             pipeline_->sortAscending() ? Qt::AscendingOrder : Qt::DescendingOrder);
    connect(header, &QHeaderView::sectionClicked, this, &FileListView::onHeaderClicked);

    connect(pipeline_, &FileListPipeline::duplicateColumnsVisibleChanged, this, [this](bool visible) {
        outline_->header()->setSectionHidden(FileListModel::dupCountColumn, !visible);
        outline_->header()->setSectionHidden(FileListModel::dupSizeColumn, !visible);
    });
    connect(&outline_->rowSelection(), &FileListSelectionModel::selectedRowsChanged, this, [this] {
        goneJobs_.supersede();
        emit selectionChanged(selection());
    });
    // A reset clears the selection without a change signal.
    connect(model_, &QAbstractItemModel::modelReset, this, [this] { emit selectionChanged({}); });
    connect(outline_, &QTreeView::doubleClicked, this, &FileListView::activateRow);
    connect(outline_, &ContextMenuOutlineView::rowHovered, this,
            [this](const QModelIndex& index) { emit hoveredNode(model_->nodeAt(index)); });
    connect(outline_, &ContextMenuOutlineView::quickLookRequested, this, [this] {
        if (fileActions_.quickLook) fileActions_.quickLook(outline_, selection().firstNodes(kItemsPreviewed));
    });
    connect(outline_, &ContextMenuOutlineView::menuRequested, this, [this](const QPoint& at) {
        if (QMenu* menu = makeContextMenu()) {
            menu->exec(at);
            menu->deleteLater();
        }
    });
}

FileListView::~FileListView() = default;

void FileListView::setOptions(const FileListOptions& options) {
    if (options == options_) return;
    options_ = options;
    applyResultTableSettings(*outline_, *delegate_, options.altRowColors, options.showHorizontalLines);
    outline_->setDragEnabled(options.enableDragDrop);
}

void FileListView::refreshNodes(const std::vector<FileNode*>& nodes) {
    model_->refreshNodes(nodes);
    outline_->viewport()->update();
}

namespace {

// The selected rows whose items are gone: every one, or those among the rows given to the view.
struct GoneRows {
    bool all = false;
    std::unordered_set<const FileNode*> shown;
};

}  // namespace

void FileListView::dropGoneRows() {
    auto chosen = std::make_shared<const FileListSelection>(selection());
    if (chosen->empty()) return;
    runInBackground(
        this, goneJobs_,
        [chosen](const CancelFlag& cancel) {
            GoneRows gone;
            size_t left = 0;
            for (const FileNode* n : chosen->shown) {
                if (n->isDeleted())
                    gone.shown.insert(n);
                else
                    ++left;
            }
            const std::span<FileNode* const> more = chosen->unloaded();
            for (size_t i = 0; i < more.size() && left == 0; ++i) {
                if (i % 65536 == 0 && cancel.isSet()) return GoneRows();
                if (!more[i]->isDeleted()) ++left;
            }
            gone.all = left == 0;
            if (gone.all) gone.shown.clear();
            return gone;
        },
        [this](const GoneRows& gone) {
            FileListSelectionModel& rows = outline_->rowSelection();
            if (gone.all) {
                rows.select(QItemSelection(), QItemSelectionModel::Clear);
                return;
            }
            if (gone.shown.empty()) return;
            // Gone rows are taken a run at a time: merging them one by one into a selection
            // looks through every range already in it, which held the window for seconds when
            // a hundred thousand rows were trashed.
            QItemSelection dropped;
            for (const QItemSelectionRange& range : outline_->selectionModel()->selection()) {
                if (range.left() > 0 || !range.isValid()) continue;
                const QModelIndex parent = range.parent();
                int runStart = -1;
                for (int r = range.top(); r <= range.bottom() + 1; ++r) {
                    const bool isGone = r <= range.bottom() && gone.shown.count(model_->nodeAt(model_->index(r, 0, parent)));
                    if (isGone && runStart < 0) runStart = r;
                    if (isGone || runStart < 0) continue;
                    dropped.append(QItemSelectionRange(model_->index(runStart, 0, parent), model_->index(r - 1, 0, parent)));
                    runStart = -1;
                }
            }
            if (!dropped.isEmpty()) rows.select(dropped, QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
        });
}

std::vector<FileNode*> FileListSelection::firstNodes(size_t limit) const {
    std::vector<FileNode*> out(shown.begin(), shown.begin() + long(std::min(limit, shown.size())));
    if (out.size() == limit) return out;
    const std::unordered_set<const FileNode*> seen(shown.begin(), shown.end());
    for (FileNode* n : unloaded()) {
        if (out.size() == limit) break;
        if (!seen.count(n)) out.push_back(n);
    }
    return out;
}

std::vector<FileNode*> FileListSelection::nodes() const {
    const std::span<FileNode* const> more = unloaded();
    std::vector<FileNode*> out;
    out.reserve(shown.size() + more.size());
    out = shown;
    if (more.empty()) return out;
    // A row not given to the view yet may be a member row shown under a file.
    const std::unordered_set<const FileNode*> seen(shown.begin(), shown.end());
    for (FileNode* n : more)
        if (!seen.count(n)) out.push_back(n);
    return out;
}

FileListSelection FileListView::selection() const {
    FileListSelection result;
    if (const std::optional<size_t> run = outline_->rowSelection().runToListEnd()) {
        result.list = model_->list();
        result.unloadedFrom = std::max(*run, size_t(model_->rowCount()));
    }
    // Read from the selected ranges, in the order the rows are shown: a file's row, then the
    // member rows under it. The selection model's own list of selected rows asks every range
    // about every row and each row's flags, and the view's geometry would cost a search a row;
    // a Select All over a slice of 50,000 rows is one range here.
    std::vector<std::pair<int, int>> tops;                   // runs of top-level rows
    std::map<int, std::vector<std::pair<int, int>>> members;  // runs of member rows by their file's row
    for (const QItemSelectionRange& range : outline_->selectionModel()->selection()) {
        if (range.left() > 0 || !range.isValid()) continue;
        const QModelIndex parent = range.parent();
        if (parent.isValid())
            members[parent.row()].emplace_back(range.top(), range.bottom());
        else
            tops.emplace_back(range.top(), range.bottom());
    }
    std::sort(tops.begin(), tops.end());
    for (auto& [row, runs] : members) std::sort(runs.begin(), runs.end());
    std::vector<FileNode*>& out = result.shown;
    // A node shows once at the top level, but may also be a member row under another file.
    std::unordered_set<FileNode*> seen;
    const bool anyMembers = !members.empty();
    const auto add = [&](FileNode* n) {
        if (n && (!anyMembers || seen.insert(n).second)) out.push_back(n);
    };
    auto next = members.begin();
    const auto addMembersUpTo = [&](int row) {
        for (; next != members.end() && next->first <= row; ++next) {
            const QModelIndex parent = model_->index(next->first, 0);
            int done = -1;
            for (auto [top, bottom] : next->second)
                for (int r = std::max(top, done + 1); r <= bottom; done = r++) add(model_->nodeAt(model_->index(r, 0, parent)));
        }
    };
    int done = -1;
    for (auto [top, bottom] : tops) {
        for (int r = std::max(top, done + 1); r <= bottom; done = r++) {
            addMembersUpTo(r - 1);
            add(model_->nodeAt(model_->index(r, 0)));
            addMembersUpTo(r);
        }
    }
    addMembersUpTo(std::numeric_limits<int>::max());
    return result;
}

void FileListView::activateRow(const QModelIndex& index) {
    if (!index.isValid()) return;
    const QModelIndex first = index.siblingAtColumn(0);
    // A file with duplicates opens and closes its member rows instead of opening.
    if (model_->hasChildren(first)) {
        outline_->setExpanded(first, !outline_->isExpanded(first));
        return;
    }
    if (!options_.enableDoubleClickOpen) return;
    FileNode* n = model_->nodeAt(first);
    if (!n) return;
    if (n->isDir())
        emit revealRequested(n);
    else
        emit openRequested(n);
}

void FileListView::startRename(FileNode* target) {
    auto ended = [this] { emit renameEditingEnded(); };
    const QModelIndex index = target ? model_->indexOfTopNode(target) : QModelIndex();
    if (!index.isValid()) {
        ended();
        return;
    }
    auto commit = [this, target](const QString& newName) {
        if (!fileActions_.rename) return false;
        const bool ok = fileActions_.rename(outline_, target, newName);
        if (ok) refreshNodes({target});
        return ok;
    };
    if (!outline_->beginRenaming(index, qStringFromUtf8(target->name()), commit, ended)) ended();
}

void FileListView::onHeaderClicked(int column) {
    const FileListSortKey key = fileListSortKeyFromIdentifier(FileListModel::columns().identifier(column));
    bool ascending = FileListModel::columns().firstSortOrder(column) == Qt::AscendingOrder;
    if (key == pipeline_->sortKey()) ascending = !pipeline_->sortAscending();
    outline_->header()->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    pipeline_->setSort(key, ascending);
    outline_->viewport()->update();
}

FileActionHooks::Selection FileListView::actionSelection() {
    auto chosen = std::make_shared<const FileListSelection>(selection());
    FileActionHooks::Selection out;
    out.nodes = [chosen] { return chosen->nodes(); };
    // Counted exactly while that is quick; a selection of more rows counts its rows (a row shown
    // under a file and again in the list, or a row of a deleted item, counts all the same).
    out.count = [chosen] {
        return chosen->size() <= FileActionController::kItemsCopiedInPlace ? countActionTargets(chosen->nodes()) : chosen->size();
    };
    out.previewed = [chosen] { return chosen->firstNodes(kItemsPreviewed); };
    out.listing = [chosen, holder = treesHolder_] {
        NodeListing listing;
        listing.count = chosen->size();
        listing.gather = [chosen](const CancelFlag&) { return chosen->nodes(); };
        if (holder) listing.trees = holder();
        return listing;
    };
    return out;
}

QMimeData* FileListView::dragData() {
    const FileListSelection chosen = selection();
    if (chosen.size() > kItemsDragged) {
        // The drag's data is made while the pointer moves and read at the drop, on this thread:
        // millions of items would hold the window for seconds, and no file manager takes them.
        QToolTip::showText(QCursor::pos(),
                           fillPlaceholders(localized("A drag carries at most %@ items. Copy and paste them instead."),
                                            {QLocale().toString(qulonglong(kItemsDragged))}),
                           outline_);
        return nullptr;
    }
    const std::vector<FileNode*> nodes = chosen.nodes();
    return fileURLsMimeData(std::vector<const FileNode*>(nodes.begin(), nodes.end()));
}

QMenu* FileListView::makeContextMenu() {
    QMenu* menu = nullptr;
    if (fileActions_.makeSelectionMenu) menu = fileActions_.makeSelectionMenu(outline_, actionSelection());
    else if (fileActions_.makeContextMenu) menu = fileActions_.makeContextMenu(outline_, [this] { return selectedNodes(); });
    if (menu && menu->isEmpty()) {
        delete menu;
        return nullptr;
    }
    return menu;
}

}  // namespace zelvane
