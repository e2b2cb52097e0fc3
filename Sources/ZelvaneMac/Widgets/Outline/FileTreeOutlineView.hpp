#pragma once

#include <QIcon>
#include <QString>
#include <QWidget>

#include <concepts>
#include <optional>
#include <unordered_set>
#include <utility>
#include <vector>

#include "ZelvaneMac/Models/FileTreeOutlineModel.hpp"
#include "ZelvaneMac/Widgets/Common/FileActionHooks.hpp"
#include "ZelvaneMac/Widgets/Outline/OutlineRowSelection.hpp"
#include "ZelvaneMac/Window/TreeExpansion.hpp"

class QPoint;

namespace zelvane {

class ContextMenuOutlineView;
class Preferences;
class ResultTableDelegate;

// The tree outline: the model of FileTreeOutlineModel in a ContextMenuOutlineView with the result
// tables' cells, sortable by any column header (the first click on a column sorts by its own first
// direction), with the selection kept in step both ways with the window's. It answers which of its
// rows are open to the window's widget-free code.
class FileTreeOutlineView final : public QWidget, public TreeExpansionQuery {
    Q_OBJECT
public:
    // Expand All opens rows until about this many are shown. The view lays out every open row
    // again whenever rows come or go (a sort, a fold, new roots), on the GUI thread; this many
    // take it a few tens of milliseconds, and far more rows than a reader pages through.
    static constexpr size_t kExpandAllRows = 50'000;

    // `initial` seeds the monitor revision; `initialSort` is (key, ascending), allocated size descending when none.
    FileTreeOutlineView(const FileTreeOutlineInputs& initial, FileActionHooks fileActions, Preferences& preferences,
                        std::optional<std::pair<OutlineSortKey, bool>> initialSort = std::nullopt, QWidget* parent = nullptr);
    ~FileTreeOutlineView() override;

    // Applies the window's inputs, carries out `commands`, then makes the outline's selection
    // `selection` (when it differs).
    void update(const FileTreeOutlineInputs& inputs, const FileTreeOutlineOptions& options, const NodeSet& selection,
                const OutlineCommands& commands = {});
    // The same with the selection in a standard set (a template, so that `{}` means a NodeSet).
    template <class Set>
        requires std::same_as<Set, std::unordered_set<FileNode*>>
    void update(const FileTreeOutlineInputs& inputs, const FileTreeOutlineOptions& options, const Set& selection,
                const OutlineCommands& commands = {}) {
        update(inputs, options, NodeSet(selection.begin(), selection.end()), commands);
    }

    bool isNodeExpanded(const FileNode* node) const override;
    bool isGroupExpanded(const FileNode* folder) const override;
    OpenTreeRows openRows() const override;
    std::shared_ptr<const void> ownNodesHeld() const override { return model_->groupNodesHeld(); }
    std::vector<FileNode*> selectedNodes() const;  // row order, group rows included
    std::vector<FileNode*> actionTargets() const;  // group rows replaced by their files
    // The same targets in the same order, listed on the thread pool from the rows selected now
    // (the rows are copied here a run at a time, not looked at one by one).
    NodeListing::Gathering actionTargetsLater() const;
    // The first `most` of them, listed at once: the rows are looked at only up to those.
    std::vector<FileNode*> firstActionTargets(size_t most) const;
    void sortBy(OutlineSortKey key, bool ascending);
    // Takes the rows of items that are gone (erased by an action or on disk) out of the selection
    // as a user's deselection would: they stay shown, drawn gone, but are neither highlighted nor
    // acted on, and the window's selection follows. The selected rows are looked at a range at a
    // time and the rows kept selected again in whole runs.
    void dropGoneRows();
    // What the context menu acts on when the owner holds the selection in a form that need not be
    // listed on the GUI thread (a selection of millions); none: the rows selected, listed at once.
    using LargeSelection = std::function<std::optional<FileActionHooks::Selection>()>;
    void setLargeSelection(LargeSelection selection) { largeSelection_ = std::move(selection); }

    FileTreeOutlineModel& model() const { return *model_; }
    ContextMenuOutlineView& outline() const { return *outline_; }

signals:
    // The user changed the rows selected: their nodes, in row order, and as a set (the one the
    // outline compares the window's selection with, so that handing it back costs nothing).
    void selectionChanged(const std::vector<zelvane::FileNode*>& nodes, const zelvane::NodeSet& set);
    void renameEditingEnded();
    // Whether the rows Expand All opened last stopped short of the tree for want of room (some
    // folder that could open stayed closed); told when that changes, and false again once the
    // outline is folded or shows other roots.
    void expandAllLeftRowsClosed(bool closed);
    // The node of the row under the pointer; none when it left the rows.
    void hoveredNode(const zelvane::FileNode* node);

private:
    // Calls `visit` with the node of every open row, the open rows below closed ones left out.
    template <class Visit>
    void forEachOpenRow(Visit visit) const;
    void onOutlineSelectionChanged();
    void onHeaderClicked(int column);
    void startRename(FileNode* target);
    void openContextMenu(const QPoint& globalPos);
    void reopenSingleRoot();

    FileActionHooks fileActions_;
    LargeSelection largeSelection_;
    FileTreeOutlineModel* model_ = nullptr;
    ContextMenuOutlineView* outline_ = nullptr;
    ResultTableDelegate* delegate_ = nullptr;
    FileTreeOutlineOptions options_;
    std::optional<OutlineRowSelection> rowSelection_;
    QIcon fileIcon_;  // the style's, for files of a type without an icon of its own
    bool expandAllLeftRowsClosed_ = false;
    void setExpandAllLeftRowsClosed(bool closed);
};

}  // namespace zelvane
