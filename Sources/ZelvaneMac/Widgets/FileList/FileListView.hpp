#pragma once

#include <QWidget>

#include <optional>
#include <utility>
#include <vector>

#include "ZelvaneMac/Models/FileListPipeline.hpp"
#include "ZelvaneMac/Widgets/Common/FileActionHooks.hpp"

namespace zelvane {

class ContextMenuOutlineView;
class FileListModel;
class Preferences;
class ResultTableDelegate;

struct FileListOptions {
    bool showHorizontalLines = false;
    bool altRowColors = true;
    bool enableDragDrop = true;
    bool enableDoubleClickOpen = true;
    bool operator==(const FileListOptions&) const = default;
};

// The file list's table: the pipeline's rows with duplicate members under their files, cells
// painted by the shared result-table delegate, header clicks re-sorting through the pipeline.
class FileListView final : public QWidget {
    Q_OBJECT
public:
    FileListView(Preferences& preferences, std::optional<std::pair<FileListSortKey, bool>> initialSort, QWidget* parent = nullptr);
    ~FileListView() override;

    FileListPipeline& pipeline() { return *pipeline_; }
    FileListModel& model() { return *model_; }
    ContextMenuOutlineView& outline() { return *outline_; }

    // Until set, the list has no file actions: no menu entries, no preview, renames refused.
    void setFileActions(FileActionHooks hooks) { fileActions_ = std::move(hooks); }
    void setOptions(const FileListOptions& options);
    void refreshNodes(const std::vector<FileNode*>& nodes);
    // An in-place rename of the node's row; ends at once (`renameEditingEnded`) when it cannot start.
    void startRename(FileNode* target);
    std::vector<FileNode*> selectedNodes() const;
    void activateRow(const QModelIndex& index);

signals:
    // After every change of the selected rows, and with none after the rows were replaced.
    void selectionChanged(const std::vector<FileNode*>& nodes);
    void hoverPathChanged(const std::optional<QString>& path);
    void renameEditingEnded();
    // A double-click with double-click opening on: a file is to be opened, a folder shown in the
    // file manager.
    void openRequested(FileNode* file);
    void revealRequested(FileNode* folder);

private:
    void onHeaderClicked(int section);
    QMenu* makeContextMenu();

    FileActionHooks fileActions_;
    FileListOptions options_;
    FileListPipeline* pipeline_ = nullptr;
    FileListModel* model_ = nullptr;
    ContextMenuOutlineView* outline_ = nullptr;
    ResultTableDelegate* delegate_ = nullptr;
};

}  // namespace zelvane
