#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <unordered_set>
#include <utility>
#include <vector>

#include "ZelvaneMac/Models/FileTreeOutlineModel.hpp"
#include "ZelvaneMac/Widgets/Common/FileActionHooks.hpp"

class QMenu;

namespace zelvane {

class ContextMenuOutlineView;
class Preferences;
class ResultTableDelegate;

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

// What the outline tells its owner.
struct FileTreeOutlineCallbacks {
    std::function<void(const std::vector<FileNode*>&)> onSelectionChanged;  // the rows' nodes, in row order
    std::function<void()> onRenameEditingEnded;
    std::function<void(const std::optional<QString>&)> onHover;  // full path under the pointer
    std::function<QString(const FileNode&)> rootDisplayLabel;
    // Entries the owner adds after the file actions in the context menu (export, zoom, ...).
    std::function<void(QMenu&)> extendContextMenu;
    FileActionHooks fileActions;
};

// The tree outline: the model of FileTreeOutlineModel in a ContextMenuOutlineView with the result
// tables' cells, sortable by any column header (the first click on a column sorts by its own first
// direction), with the selection kept in step both ways with the window's.
class FileTreeOutlineView final : public QWidget {
    Q_OBJECT
public:
    // `initial` seeds the monitor revision; `initialSort` is (key, ascending), allocated size descending when none.
    FileTreeOutlineView(const FileTreeOutlineInputs& initial, FileTreeOutlineCallbacks callbacks, Preferences& preferences,
                        std::optional<std::pair<QString, bool>> initialSort = std::nullopt, QWidget* parent = nullptr);
    ~FileTreeOutlineView() override;

    // Applies the window's inputs, carries out `commands`, then makes the outline's selection
    // `selection` (when it differs).
    void update(const FileTreeOutlineInputs& inputs, const FileTreeOutlineOptions& options,
                const std::unordered_set<FileNode*>& selection, const OutlineCommands& commands = {});

    bool isNodeExpanded(FileNode* node) const;
    bool isGroupExpanded(FileNode* folder) const;
    std::vector<FileNode*> selectedNodes() const;  // row order, group rows included
    std::vector<FileNode*> actionTargets() const;  // group rows replaced by their files
    void sortBy(const QString& key, bool ascending);

    FileTreeOutlineModel& model() const { return *model_; }
    ContextMenuOutlineView& outline() const { return *outline_; }

private:
    void syncSelection(const std::unordered_set<FileNode*>& target);
    void onOutlineSelectionChanged();
    void onHeaderClicked(int column);
    void startRename(FileNode* target);
    QMenu* makeContextMenu();
    void reopenSingleRoot();

    FileTreeOutlineCallbacks callbacks_;
    FileTreeOutlineModel* model_ = nullptr;
    ContextMenuOutlineView* outline_ = nullptr;
    ResultTableDelegate* delegate_ = nullptr;
    FileTreeOutlineOptions options_;
    bool syncingSelection_ = false;
};

}  // namespace zelvane
